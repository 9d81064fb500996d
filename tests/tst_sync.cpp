#include "syncfixture.h"

#include <QtTest>

static const QString k_rule = "--------------------------------------------\n";
static const QString k_info = "controlled document information.txt";
static const QString k_failed = "\n\nERR:  Update did not complete.\n" + k_rule;
static const qint64 k_time = 1772543109; // 03 Mar 2026 14:05:09 in Berlin

// Heading, message and detail of the box shown as number i.
static QString Box(const TSyncFixture& f, int i = 0)
{
    const TShownBox shown = f.watcher.boxes.value(i);
    return QStringList({shown.heading, shown.message, shown.detail}).join('|');
}

class TestSync : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void first_and_second_sync();
    void time_rule();
    void failed_files();
    void refused_data();
    void refused();
    void information_file();
};

void TestSync::first_and_second_sync()
{
    TSyncFixture f;
    const QString qp = "Procedures/Quality/QP-01.doc";
    QVERIFY(Make_File(f.Src("A.doc"), "a", k_time) && Make_File(f.Src(qp), "qp", k_time + 1) &&
            Make_File(f.Src("Procedures/Quality/QP-02.doc"), "qp2", k_time + 2) &&
            Make_File(f.Dst("only here.txt"), "mine", 1000));
    f.Field("d_source")->setText(f.source.path() + "/");
    f.Sync();
    // Exactly these, copied in the order of the listing above them.
    QVERIFY(f.Output().contains(QRegularExpression(
        "Updated Files on [^\n]*\n-+\n[^\t]*\t/A.doc\n03 Mar 2026 02:05:10 PM\t/" + qp +
        "\n[^\t]*\t/Procedures/Quality/QP-02.doc\n$")));
    QCOMPARE(File_Time(f.Dst(qp)), k_time + 1);
    QCOMPARE(File_Time(f.Dst("only here.txt")), qint64(1000));
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());
    QVERIFY(TSyncFixture::Leftovers(f.destination.path()).isEmpty());

    f.Sync(); // nothing left to do: the heading alone
    QVERIFY(f.Output().contains(QRegularExpression(
        "\n\nUpdated Files on \\d\\d [A-Z][a-z]{2} \\d{4} (\\d\\d:){2}\\d\\d [AP]M\n" + k_rule +
        "$")));
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());
    QCOMPARE(f.watcher.Count(), 0);
}

// Destination copies older (negative) or newer than the source by so many seconds.
void TestSync::time_rule()
{
    TSyncFixture f;
    for (qint64 offset : {0, -1, -2, -3598, -3599, -3600, -3601, -3602, 1, 3600}) {
        const QString name = QString("%1.doc").arg(offset);
        QVERIFY(Make_File(f.Src(name), "new", k_time) &&
                Make_File(f.Dst(name), "old", k_time + offset));
    }
    f.Sync();
    QCOMPARE(f.Updated(),
             QStringList({"/-2.doc", "/-3598.doc", "/-3602.doc", "/1.doc", "/3600.doc"}));
    QCOMPARE(Read_File(f.Dst("-3600.doc")) + Read_File(f.Dst("-3602.doc")), QByteArray("oldnew"));
}

// A file that cannot be updated is listed as such, named in one box and in
// the record; the next sync, its cause gone, copies it.
void TestSync::failed_files()
{
    TSyncFixture f("no-such-touch.exe", "MMddhhmmyyyy.ss");
    QVERIFY(Make_File(f.Src("A.doc"), "new", k_time) &&
            Make_File(f.Src("sub/B.doc"), "b", k_time) &&
            Make_File(f.Dst("A.doc"), "old", k_time - 10) && Make_File(f.Dst("sub"), "a file"));
    f.Sync();
    const QString touch = "/A.doc: the touch program 'no-such-touch.exe' could not be started";
    const QString folder = "/sub/B.doc: the destination folder could not be created";
    // The pane says the same as the box.
    QCOMPARE(f.Updated(),
             QString(touch + '\n' + folder).replace(": ", "\tNOT UPDATED: ").split('\n'));
    QCOMPARE(Box(f), "Sync Error|Some files could not be updated.|" + touch + '\n' + folder);
    QVERIFY(f.Output().endsWith(k_failed) && f.watcher.Count() == 1);
    // The new copy stays, though its time could not be set; what blocked the folder too.
    QCOMPARE(Read_File(f.Dst("A.doc")) + '|' + Read_File(f.Dst("sub")), QByteArray("new|a file"));
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());

    if (QStandardPaths::findExecutable("touch").isEmpty())
        QSKIP("no touch program on the search path");
    QVERIFY(QFile::remove(f.Dst("sub")));
    f.Set_Touch("touch", "yyyyMMddhhmm.ss");
    f.Open();
    f.Sync();
    QCOMPARE(f.Updated(), QStringList({"/A.doc", "/sub/B.doc"}));
    QCOMPARE(File_Time(f.Dst("sub/B.doc")), k_time);
    QVERIFY(!f.Output().contains("ERR:") && f.watcher.Count() == 1);
}

void TestSync::refused_data()
{
    QTest::addColumn<QString>("destination"); // <source>, <destination>: the two folders
    QTest::addColumn<QString>("list");        // put in place of the reference list first
    QTest::addColumn<QString>("box");
    const QString none,
        inside = "Sync Error|The destination must not be the source directory or lie inside it.|";
    const QString version = "<File_Sync_Data File_Version=\"%1\"><File_List/></File_Sync_Data>";
    QTest::newRow("same") << "<source>/" << none << inside;
    QTest::newRow("inside, through ..") << "<source>/copy/../copy/./" << none << inside;
    QTest::newRow("inside, through a link") << "<destination>/link" << none << inside;
    QTest::newRow("missing") << "/no/such/folder" << none
                             << "Sync Error|The destination directory does not exist.|";
    QTest::newRow("a file") << "<source>/A.doc" << none
                            << "Sync Error|The destination must be a directory|";
    QTest::newRow("version") << "<destination>" << version.arg(2)
                             << "Read Error|Cannot read source file list|"
                                "File_Sync_Data file version not supported";
    QTest::newRow("empty") << "<destination>" << version.arg(1)
                           << "Compare Error|Comparison of the source and destination file list "
                              "could not be done|Source list is empty";
}

void TestSync::refused()
{
    QFETCH(QString, destination);
    QFETCH(QString, list);
    QFETCH(QString, box);
    TSyncFixture f;
    QVERIFY(Make_File(f.Src("A.doc"), "a", k_time) && QDir().mkpath(f.Src("copy")) &&
            QFile::link(f.Src("copy"), f.Dst("link")));
    f.Field("d_destination")
        ->setText(destination.replace("<source>", f.source.path())
                      .replace("<destination>", f.destination.path()));
    QVERIFY(f.dialog->Run_Source_Report());
    if (!list.isEmpty())
        QVERIFY(Make_File(f.home.Settings_Folder() + "/reference_list.xml", list.toUtf8()));
    QVERIFY(!f.dialog->Run_Sync());
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(Box(f), box);
    QCOMPARE(f.watcher.boxes[0].icon, QMessageBox::Critical);
    QVERIFY(!QFileInfo::exists(f.Dst("A.doc")) && !QFileInfo::exists(f.Src("copy/A.doc")) &&
            !QFileInfo::exists(f.Src(k_info)));
}

void TestSync::information_file()
{
    TSyncFixture f;
    QVERIFY(Make_File(f.Src("caf\u00e9 \u03a9 \U0001F4C4.doc"), "x", k_time) &&
            Make_File(f.Dst(k_info), QByteArray(10000, 'o')));
    f.Field("d_destination")->setText(f.destination.path() + "/");
    f.Sync();
    const QByteArray line = k_rule.toLatin1() + "03 Mar 2026 02:05:09 PM\t/caf\xe9 ? ?.doc\n";
    const QByteArray bytes = Read_File(f.Dst(k_info));
    QVERIFY(bytes.startsWith("Controlled Files\n" + line + "\nUpdated Files on ") &&
            bytes.endsWith(line));

    // The destination gone, then a file, before the record is written.
    QVERIFY(f.destination.remove());
    f.dialog->Write_Information_File();
    QVERIFY(Make_File(f.destination.path(), "now a file"));
    f.dialog->Write_Information_File();
    QCOMPARE(Box(f) + '\n' + Box(f, 1),
             QString("Sync Error|The target directory does not exist.|The destination folder '%1' "
                     "does not exist\nSync Error|The target directory is not correct|The "
                     "destination '%1' must be a directory, not a file")
                 .arg(f.destination.path()));
}

QTEST_MAIN(TestSync)
#include "tst_sync.moc"
