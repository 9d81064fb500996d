#include "syncfixture.h"

#include <QtTest>

static const QString k_rule = "--------------------------------------------\n";
static const QString k_info = "controlled document information.txt";
static const qint64 k_time = 1772543109; // 03 Mar 2026 14:05:09 in Berlin

class TestSync : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void first_and_second_sync();
    void time_rule_data();
    void time_rule();
    void file_where_folder_is_needed();
    void folder_where_file_is_needed();
    void no_touch_program_then_repaired();
    void gnu_touch();
    void destination_inside_source_data();
    void destination_inside_source();
    void stops_data();
    void stops();
    void information_file();
};

void TestSync::first_and_second_sync()
{
    TSyncFixture f;
    QVERIFY(Make_File(f.Src("A.doc"), "a", k_time));
    QVERIFY(Make_File(f.Src("Procedures/Quality/QP-01.doc"), "qp", k_time + 1));
    QVERIFY(Make_File(f.Src("Procedures/Quality/QP-02.doc"), "qp2", k_time + 2));
    QVERIFY(Make_File(f.Dst("only here.txt"), "mine", 1000));
    f.Field("d_source")->setText(f.source.path() + "/");
    f.Sync();
    QCOMPARE(f.watcher.Count(), 0);
    QCOMPARE(f.Updated(), QStringList() << "/A.doc"
                                        << "/Procedures/Quality/QP-01.doc"
                                        << "/Procedures/Quality/QP-02.doc");
    QVERIFY(f.Output().contains("03 Mar 2026 02:05:10 PM\t/Procedures/Quality/QP-01.doc\n"));
    QCOMPARE(Read_File(f.Dst("Procedures/Quality/QP-01.doc")), QByteArray("qp"));
    QCOMPARE(File_Time(f.Dst("Procedures/Quality/QP-01.doc")), k_time + 1);
    QCOMPARE(File_Time(f.Dst("A.doc")), k_time);
    QCOMPARE(Read_File(f.Dst("only here.txt")), QByteArray("mine"));
    QCOMPARE(File_Time(f.Dst("only here.txt")), qint64(1000));
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());
    QVERIFY(TSyncFixture::Leftovers(f.destination.path()).isEmpty());

    f.Sync();
    QCOMPARE(f.watcher.Count(), 0);
    QCOMPARE(f.Updated(), QStringList());
    QVERIFY(f.Output().endsWith(k_rule));
    QVERIFY(f.Output().contains("\n\nUpdated Files on "));
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());
}

void TestSync::time_rule_data()
{
    QTest::addColumn<qint64>("offset"); // destination time minus source time
    QTest::addColumn<bool>("copied");
    QTest::newRow("equal") << qint64(0) << false;
    QTest::newRow("1 s older") << qint64(-1) << false;
    QTest::newRow("2 s older") << qint64(-2) << true;
    QTest::newRow("3598 s older") << qint64(-3598) << true;
    QTest::newRow("3599 s older") << qint64(-3599) << false;
    QTest::newRow("3600 s older") << qint64(-3600) << false;
    QTest::newRow("3601 s older") << qint64(-3601) << false;
    QTest::newRow("3602 s older") << qint64(-3602) << true;
    QTest::newRow("1 s newer") << qint64(1) << true;
    QTest::newRow("3600 s newer") << qint64(3600) << true;
}

void TestSync::time_rule()
{
    QFETCH(qint64, offset);
    QFETCH(bool, copied);
    TSyncFixture f;
    QVERIFY(Make_File(f.Src("doc.txt"), "new", k_time));
    QVERIFY(Make_File(f.Dst("doc.txt"), "old", k_time + offset));
    f.Sync();
    QCOMPARE(f.watcher.Count(), 0);
    QCOMPARE(f.Updated(), copied ? QStringList("/doc.txt") : QStringList());
    QCOMPARE(Read_File(f.Dst("doc.txt")), QByteArray(copied ? "new" : "old"));
}

void TestSync::file_where_folder_is_needed()
{
    TSyncFixture f;
    QVERIFY(Make_File(f.Src("Procedures/QP-01.doc"), "qp", k_time));
    QVERIFY(Make_File(f.Src("Procedures/QP-02.doc"), "qp", k_time));
    QVERIFY(Make_File(f.Src("B.doc"), "b", k_time));
    QVERIFY(Make_File(f.Dst("Procedures"), "a file", 1000));
    f.Sync();
    const QString reason = "NOT UPDATED: the destination folder could not be created";
    QCOMPARE(f.Updated(), QStringList() << "/B.doc"
                                        << "/Procedures/QP-01.doc\t" + reason
                                        << "/Procedures/QP-02.doc\t" + reason);
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(f.watcher.boxes[0].heading, QString("Sync Error"));
    QCOMPARE(f.watcher.boxes[0].message, QString("Some files could not be updated."));
    QStringList detail = f.watcher.boxes[0].detail.split('\n');
    detail.sort();
    QCOMPARE(detail, QStringList()
                         << "/Procedures/QP-01.doc: the destination folder could not be created"
                         << "/Procedures/QP-02.doc: the destination folder could not be created");
    QVERIFY(f.Output().endsWith("\n\nERR:  Update did not complete.\n" + k_rule));
    QCOMPARE(Read_File(f.Dst("Procedures")), QByteArray("a file"));
    QCOMPARE(Read_File(f.Dst("B.doc")), QByteArray("b"));
    // The record tells the truth, failures and trailer included.
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());
}

void TestSync::folder_where_file_is_needed()
{
    TSyncFixture f;
    QVERIFY(Make_File(f.Src("doc.txt"), "new", k_time));
    QVERIFY(Make_File(f.Dst("doc.txt/inside.txt"), "keep", 1000));
    f.Sync();
    QCOMPARE(f.Updated().size(), 1);
    QVERIFY(
        f.Updated()[0].startsWith("/doc.txt\tNOT UPDATED: the old copy could not be replaced: "));
    QCOMPARE(Read_File(f.Dst("doc.txt/inside.txt")), QByteArray("keep"));
    QVERIFY(TSyncFixture::Leftovers(f.destination.path()).isEmpty());
    QCOMPARE(f.watcher.Count(), 1);
}

void TestSync::no_touch_program_then_repaired()
{
    TSyncFixture f("no-such-touch-program.exe", "MMddhhmmyyyy.ss");
    QVERIFY(Make_File(f.Src("A.doc"), "new", k_time));
    QVERIFY(Make_File(f.Src("sub/B.doc"), "new b", k_time));
    QVERIFY(Make_File(f.Dst("A.doc"), "old", k_time - 10));
    f.Sync();
    const QString reason =
        "\tNOT UPDATED: the touch program 'no-such-touch-program.exe' could not be started";
    QCOMPARE(f.Updated(), QStringList() << "/A.doc" + reason << "/sub/B.doc" + reason);
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(Read_File(f.Dst("A.doc")), QByteArray("new"));
    QCOMPARE(Read_File(f.Dst("sub/B.doc")), QByteArray("new b"));
    QVERIFY(f.Output().endsWith("ERR:  Update did not complete.\n" + k_rule));

    // With the touch program back (the default, beside the program), the
    // next sync copies both again and gives them the right time.
    QVERIFY(QFile::remove(f.home.Settings_Folder() + "/Settings.ini"));
    f.Open();
    f.Sync();
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(f.Updated(), QStringList() << "/A.doc"
                                        << "/sub/B.doc");
    QCOMPARE(File_Time(f.Dst("sub/B.doc")), k_time);
    QVERIFY(!f.Output().contains("ERR:"));
}

void TestSync::gnu_touch()
{
    if (QStandardPaths::findExecutable("touch").isEmpty())
        QSKIP("no touch program on the search path");
    TSyncFixture f("touch", "yyyyMMddhhmm.ss");
    QVERIFY(Make_File(f.Src("A.doc"), "a", k_time));
    f.Sync();
    QCOMPARE(f.watcher.Count(), 0);
    QCOMPARE(f.Updated(), QStringList("/A.doc"));
    QCOMPARE(File_Time(f.Dst("A.doc")), k_time);
}

void TestSync::destination_inside_source_data()
{
    QTest::addColumn<QString>("destination"); // below the source folder
    QTest::newRow("same") << "";
    QTest::newRow("same, trailing slash") << "/";
    QTest::newRow("inside") << "/copy";
    QTest::newRow("through ..") << "/copy/../copy/./";
    QTest::newRow("through a link") << "LINK";
}

void TestSync::destination_inside_source()
{
    QFETCH(QString, destination);
    TSyncFixture f;
    QVERIFY(Make_File(f.Src("A.doc"), "a", k_time));
    QVERIFY(QDir().mkpath(f.Src("copy")));
    QString path = f.source.path() + destination;
    if (destination == "LINK") {
        path = f.Dst("link");
        QVERIFY(QFile::link(f.Src("copy"), path));
    }
    f.Field("d_destination")->setText(path);
    f.Sync();
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(f.watcher.boxes[0].heading, QString("Sync Error"));
    QCOMPARE(f.watcher.boxes[0].message,
             QString("The destination must not be the source directory or lie inside it."));
    QCOMPARE(f.watcher.boxes[0].detail, QString());
    QVERIFY(f.Output().endsWith("\n\nERR:  Update did not complete.\n" + k_rule));
    QVERIFY(!QFileInfo::exists(f.Src(k_info)));
    QVERIFY(!QFileInfo::exists(f.Src("copy/A.doc")));
}

void TestSync::stops_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("list"); // reference list put in place before the sync itself
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("detail");
    QTest::newRow("missing") << "/no/such/folder"
                             << ""
                             << "Sync Error"
                             << "The destination directory does not exist."
                             << "";
    QTest::newRow("a file") << "FILE"
                            << ""
                            << "Sync Error"
                            << "The destination must be a directory"
                            << "";
    QTest::newRow("version") << ""
                             << "<File_Sync_Data File_Version=\"2\"><File_List/></File_Sync_Data>"
                             << "Read Error"
                             << "Cannot read source file list"
                             << "File_Sync_Data file version not supported";
    QTest::newRow("empty") << ""
                           << "<File_Sync_Data File_Version=\"1\"><File_List/></File_Sync_Data>"
                           << "Compare Error"
                           << "Comparison of the source and destination file list could not be done"
                           << "Source list is empty";
}

void TestSync::stops()
{
    QFETCH(QString, destination);
    QFETCH(QString, list);
    QFETCH(QString, heading);
    QFETCH(QString, message);
    QFETCH(QString, detail);
    TSyncFixture f;
    QVERIFY(Make_File(f.Src("A.doc"), "a", k_time));
    QVERIFY(Make_File(f.Dst("FILE"), "f", k_time));
    if (!destination.isEmpty())
        f.Field("d_destination")->setText(destination == "FILE" ? f.Dst("FILE") : destination);
    QVERIFY(f.dialog->Run_Source_Report());
    if (!list.isEmpty())
        QVERIFY(Make_File(f.home.Settings_Folder() + "/reference_list.xml", list.toUtf8()));
    QVERIFY(!f.dialog->Run_Sync());
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(f.watcher.boxes[0].heading, heading);
    QCOMPARE(f.watcher.boxes[0].message, message);
    QCOMPARE(f.watcher.boxes[0].detail, detail);
    QCOMPARE(f.watcher.boxes[0].icon, QMessageBox::Critical);
    QVERIFY(!QFileInfo::exists(f.Dst("A.doc")));
}

void TestSync::information_file()
{
    TSyncFixture f;
    QVERIFY(Make_File(f.Src(QString::fromUtf8("caf\xc3\xa9 \xce\xa9 \xf0\x9f\x93\x84.doc")), "x",
                      k_time));
    QVERIFY(Make_File(f.Dst(k_info), QByteArray(10000, 'o'), 1000));
    f.Field("d_destination")->setText(f.destination.path() + "/");
    f.Sync();
    QVERIFY2(f.watcher.Count() == 0, qPrintable(f.watcher.boxes.value(0).detail));
    const QByteArray bytes = Read_File(f.Dst(k_info));
    QVERIFY(bytes.startsWith("Controlled Files\n" + k_rule.toLatin1() +
                             "03 Mar 2026 02:05:09 PM\t/caf\xe9 ? ?.doc\n\nUpdated Files on "));
    QVERIFY(bytes.endsWith("03 Mar 2026 02:05:09 PM\t/caf\xe9 ? ?.doc\n"));
    QVERIFY(!bytes.contains('o' + QByteArray("oo")));

    // The destination gone before the record is written.
    QVERIFY(f.destination.remove());
    f.Field("d_destination")->setText(f.destination.path() + "/");
    f.dialog->Write_Information_File();
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(f.watcher.boxes[0].message, QString("The target directory does not exist."));
    QCOMPARE(f.watcher.boxes[0].detail,
             QString("The destination folder '%1' does not exist").arg(f.destination.path()));
    QVERIFY(Make_File(f.destination.path(), "now a file"));
    f.dialog->Write_Information_File();
    QCOMPARE(f.watcher.boxes[1].message, QString("The target directory is not correct"));
    QCOMPARE(
        f.watcher.boxes[1].detail,
        QString("The destination '%1' must be a directory, not a file").arg(f.destination.path()));
}

QTEST_MAIN(TestSync)
#include "tst_sync.moc"
