#include "syncfixture.h"

#include <QtTest>

static const QString k_rule = "--------------------------------------------\n";
static const QString k_info = "controlled document information.txt";
static const QString k_failed = "\n\nERR:  Update did not complete.\n" + k_rule;
static const qint64 k_time = 1772543109; // 03 Mar 2026 14:05:09 in Berlin

class TestSync : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void first_and_second_sync();
    void time_rule();
    void file_where_folder_is_needed();
    void touch_program_data();
    void touch_program();
    void refused_data();
    void refused();
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
    QCOMPARE(f.Updated(), QStringList({"/A.doc", "/Procedures/Quality/QP-01.doc",
                                       "/Procedures/Quality/QP-02.doc"}));
    // Copied in the order of the listing above them.
    QVERIFY(f.Output().contains(QRegularExpression(
        "Updated Files on [^\n]*\n-+\n[^\t]*\t/A.doc\n"
        "03 Mar 2026 02:05:10 "
        "PM\t/Procedures/Quality/QP-01.doc\n[^\t]*\t/Procedures/Quality/QP-02.doc\n$")));
    QCOMPARE(Read_File(f.Dst("Procedures/Quality/QP-01.doc")), QByteArray("qp"));
    QCOMPARE(File_Time(f.Dst("Procedures/Quality/QP-01.doc")), k_time + 1);
    QCOMPARE(File_Time(f.Dst("only here.txt")), qint64(1000));
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());
    QVERIFY(TSyncFixture::Leftovers(f.destination.path()).isEmpty());

    f.Sync(); // nothing left to do: the heading alone
    QCOMPARE(f.watcher.Count(), 0);
    QVERIFY(f.Output().contains(QRegularExpression("\n\nUpdated Files on \\d\\d [A-Z][a-z][a-z] "
                                                   "\\d{4} \\d\\d:\\d\\d:\\d\\d [AP]M\n" +
                                                   k_rule + "$")));
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());
}

// Destination copies older (negative) or newer than the source by so many seconds.
void TestSync::time_rule()
{
    TSyncFixture f;
    QStringList copied;
    for (qint64 offset : {0, -1, -2, -3598, -3599, -3600, -3601, -3602, 1, 3600}) {
        const QString name = QString("%1.doc").arg(offset);
        QVERIFY(Make_File(f.Src(name), "new", k_time));
        QVERIFY(Make_File(f.Dst(name), "old", k_time + offset));
        if (offset != 0 && offset != -1 && (offset < -3601 || offset > -3599))
            copied << "/" + name;
    }
    f.Sync();
    QCOMPARE(f.watcher.Count(), 0);
    copied.sort();
    QCOMPARE(f.Updated(), copied);
    QCOMPARE(Read_File(f.Dst("-3600.doc")), QByteArray("old"));
    QCOMPARE(Read_File(f.Dst("-3602.doc")), QByteArray("new"));
}

void TestSync::file_where_folder_is_needed()
{
    TSyncFixture f;
    QVERIFY(Make_File(f.Src("Procedures/QP-01.doc"), "qp", k_time));
    QVERIFY(Make_File(f.Src("B.doc"), "b", k_time));
    QVERIFY(Make_File(f.Dst("Procedures"), "a file", 1000));
    f.Sync();
    const QString reason = "the destination folder could not be created";
    QCOMPARE(f.Updated(), QStringList({"/B.doc", "/Procedures/QP-01.doc\tNOT UPDATED: " + reason}));
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(f.watcher.boxes[0].heading, QString("Sync Error"));
    QCOMPARE(f.watcher.boxes[0].message, QString("Some files could not be updated."));
    QCOMPARE(f.watcher.boxes[0].detail, "/Procedures/QP-01.doc: " + reason);
    QVERIFY(f.Output().endsWith(k_failed));
    QCOMPARE(Read_File(f.Dst("Procedures")), QByteArray("a file"));
    // The record tells the truth, failures and trailer included.
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());
}

void TestSync::touch_program_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("format");
    QTest::newRow("missing, then the bundled one") << "no-such-touch.exe"
                                                   << "MMddhhmmyyyy.ss";
    QTest::newRow("GNU touch") << "touch"
                               << "yyyyMMddhhmm.ss";
}

void TestSync::touch_program()
{
    QFETCH(QString, program);
    QFETCH(QString, format);
    const bool missing = program.startsWith("no-such");
    if (!missing && QStandardPaths::findExecutable(program).isEmpty())
        QSKIP("no touch program on the search path");
    TSyncFixture f(program, format);
    QVERIFY(Make_File(f.Src("A.doc"), "new", k_time));
    QVERIFY(Make_File(f.Src("sub/B.doc"), "new b", k_time));
    QVERIFY(Make_File(f.Dst("A.doc"), "old", k_time - 10));
    f.Sync();
    if (missing) {
        const QString reason = "\tNOT UPDATED: the touch program 'no-such-touch.exe' could not "
                               "be started";
        QCOMPARE(f.Updated(), QStringList({"/A.doc" + reason, "/sub/B.doc" + reason}));
        QCOMPARE(f.watcher.Count(), 1);
        QCOMPARE(Read_File(f.Dst("A.doc")), QByteArray("new"));
        QVERIFY(f.Output().endsWith(k_failed));
        // With a touch program there, the next sync copies both again.
        f.Set_Touch(QString(), QString());
        f.Open();
        f.Sync();
        QCOMPARE(f.watcher.Count(), 1);
    }
    QCOMPARE(f.Updated(), QStringList({"/A.doc", "/sub/B.doc"}));
    QCOMPARE(File_Time(f.Dst("sub/B.doc")), k_time);
    QCOMPARE(Read_File(f.Dst("sub/B.doc")), QByteArray("new b"));
    QVERIFY(!f.Output().contains("ERR:"));
}

void TestSync::refused_data()
{
    QTest::addColumn<QString>("destination"); // "@" stands for the source folder
    QTest::addColumn<QString>("list");        // put in place of the reference list first
    QTest::addColumn<QString>("box");
    QTest::newRow("same") << "@/"
                          << ""
                          << "Sync Error|The destination must not be the source directory or "
                             "lie inside it.|";
    QTest::newRow("inside, through ..") << "@/copy/../copy/./"
                                        << ""
                                        << "Sync Error|The destination must not be the source "
                                           "directory or lie inside it.|";
    QTest::newRow("inside, through a link")
        << "LINK"
        << ""
        << "Sync Error|The destination must not be the source directory or lie inside it.|";
    QTest::newRow("missing") << "/no/such/folder"
                             << ""
                             << "Sync Error|The destination directory does not exist.|";
    QTest::newRow("a file") << "@/A.doc"
                            << ""
                            << "Sync Error|The destination must be a directory|";
    QTest::newRow("version") << ""
                             << "<File_Sync_Data File_Version=\"2\"><File_List/></File_Sync_Data>"
                             << "Read Error|Cannot read source file list|"
                                "File_Sync_Data file version not supported";
    QTest::newRow("empty") << ""
                           << "<File_Sync_Data File_Version=\"1\"><File_List/></File_Sync_Data>"
                           << "Compare Error|Comparison of the source and destination file list "
                              "could not be done|Source list is empty";
}

void TestSync::refused()
{
    QFETCH(QString, destination);
    QFETCH(QString, list);
    QFETCH(QString, box);
    TSyncFixture f;
    QVERIFY(Make_File(f.Src("A.doc"), "a", k_time));
    QVERIFY(QDir().mkpath(f.Src("copy")));
    QVERIFY(QFile::link(f.Src("copy"), f.Dst("link")));
    if (!destination.isEmpty())
        f.Field("d_destination")
            ->setText(destination == "LINK" ? f.Dst("link")
                                            : QString(destination).replace("@", f.source.path()));
    QVERIFY(f.dialog->Run_Source_Report());
    if (!list.isEmpty())
        QVERIFY(Make_File(f.home.Settings_Folder() + "/reference_list.xml", list.toUtf8()));
    QVERIFY(!f.dialog->Run_Sync());
    QCOMPARE(f.watcher.Count(), 1);
    const TShownBox& shown = f.watcher.boxes[0];
    QCOMPARE(QStringList({shown.heading, shown.message, shown.detail}).join('|'), box);
    QCOMPARE(shown.icon, QMessageBox::Critical);
    QVERIFY(!QFileInfo::exists(f.Dst("A.doc")) && !QFileInfo::exists(f.Src("copy/A.doc")));
    QVERIFY(!QFileInfo::exists(f.Src(k_info)));
}

void TestSync::information_file()
{
    TSyncFixture f;
    QVERIFY(Make_File(f.Src(QString::fromUtf8("caf\xc3\xa9 \xce\xa9 \xf0\x9f\x93\x84.doc")), "x",
                      k_time));
    QVERIFY(Make_File(f.Dst(k_info), QByteArray(10000, 'o'), 1000));
    f.Field("d_destination")->setText(f.destination.path() + "/");
    f.Sync();
    QCOMPARE(f.watcher.Count(), 0);
    const QByteArray line = "03 Mar 2026 02:05:09 PM\t/caf\xe9 ? ?.doc\n";
    const QByteArray bytes = Read_File(f.Dst(k_info));
    QVERIFY(
        bytes.startsWith("Controlled Files\n" + k_rule.toLatin1() + line + "\nUpdated Files on "));
    QVERIFY(bytes.endsWith(k_rule.toLatin1() + line));

    // The destination gone, then a file, before the record is written.
    QVERIFY(f.destination.remove());
    f.dialog->Write_Information_File();
    QVERIFY(Make_File(f.destination.path(), "now a file"));
    f.dialog->Write_Information_File();
    QCOMPARE(f.watcher.Count(), 2);
    QCOMPARE(f.watcher.boxes[0].message, QString("The target directory does not exist."));
    QCOMPARE(f.watcher.boxes[0].detail,
             QString("The destination folder '%1' does not exist").arg(f.destination.path()));
    QCOMPARE(f.watcher.boxes[1].message, QString("The target directory is not correct"));
    QCOMPARE(
        f.watcher.boxes[1].detail,
        QString("The destination '%1' must be a directory, not a file").arg(f.destination.path()));
}

QTEST_MAIN(TestSync)
#include "tst_sync.moc"
