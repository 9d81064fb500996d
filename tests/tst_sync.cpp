#include "syncfixture.h"

#include <QtTest>

static const QString k_rule = QString(44, '-') + '\n';

class TestSync : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void syncs();
    void refused_data();
    void refused();
};

// Syncs into one destination. The record is the pane in Latin-1, a '?' for
// each other character, and replaces the old record whole.
void TestSync::syncs()
{
    TSyncFixture f;
    const QString qp = "Procedures/Quality/QP-01.doc";
    QVERIFY(Make_File(f.Src(qp), "qp", k_doc_time + 1) && Make_File(f.Dst("mine.txt"), "m", 1000) &&
            Make_File(f.Src("caf\u00e9 \u03a9 \U0001F4C4.doc"), "x", k_doc_time) &&
            Make_File(f.Dst(k_record), QByteArray(10000, 'o')) &&
            QFile::setPermissions(f.Src(qp), QFile::ReadOwner | QFile::ReadGroup));
    f.Field("d_source")->setText(f.source.path() + "/");
    f.Field("d_destination")->setText(f.destination.path() + "/");
    f.Sync();
    // Copied in the order of the listing, each with its time; a read-only one stays read-only.
    const QString listing = QRegularExpression::escape(
        "03 Mar 2026 02:05:09 PM\t/caf\u00e9 ? ?.doc\n03 Mar 2026 02:05:10 PM\t/" + qp + '\n');
    const QString head = "^Controlled Files\n" + k_rule + listing + "\nUpdated Files on " +
                         "\\d\\d [A-Z][a-z]{2} \\d{4} (\\d\\d:){2}\\d\\d [AP]M\n" + k_rule;
    const auto record = [&] { return QString::fromLatin1(Read_File(f.Dst(k_record))); };
    QVERIFY(record().contains(QRegularExpression(head + listing + "\\z")));
    QVERIFY(File_Time(f.Dst(qp)) == k_doc_time + 1 && File_Time(f.Dst("mine.txt")) == 1000);
    QCOMPARE(QFile::permissions(f.Dst(qp)), QFile::permissions(f.Src(qp)));
    f.Sync(); // nothing left to do: the heading alone
    QVERIFY(record().contains(QRegularExpression(head + "\\z")));

    // Destination copies older (negative) or newer than the source by so many seconds.
    for (qint64 offset : {0, -1, -2, -3598, -3599, -3600, -3601, -3602, 1, 3600})
        QVERIFY(Make_File(f.Src(QString("%1.doc").arg(offset)), "new", k_doc_time) &&
                Make_File(f.Dst(QString("%1.doc").arg(offset)), "old", k_doc_time + offset));
    f.Sync();
    QCOMPARE(f.Updated(),
             QStringList({"/-2.doc", "/-3598.doc", "/-3602.doc", "/1.doc", "/3600.doc"}));

    // Files that cannot be updated are listed as such and named in one box and in the record.
    f.Open("no-such-touch.exe");
    QVERIFY(Make_File(f.Src("A.doc"), "new", k_doc_time) && Make_File(f.Dst("A.doc"), "old", 1) &&
            Make_File(f.Src("sub/B.doc"), "b", k_doc_time) && Make_File(f.Dst("sub"), "a file") &&
            Make_File(f.Src(k_record), "x", 1000));
    f.Sync();
    const QString failures =
        "/A.doc: the touch program 'no-such-touch.exe' could not be started\n/" + k_record +
        ": the information file has that name\n"
        "/sub/B.doc: the destination folder could not be created";
    QCOMPARE(f.Updated(), QString(failures).replace(": ", "\tNOT UPDATED: ").split('\n'));
    QCOMPARE(f.Boxes(), "Sync Error|Some files could not be updated.|" + failures);
    QVERIFY(f.Output().endsWith("\n\nERR:  Update did not complete.\n" + k_rule));
    // The new copy stays, though its time could not be set; what blocked the folder too.
    QCOMPARE(Read_File(f.Dst("A.doc")) + '|' + Read_File(f.Dst("sub")), QByteArray("new|a file"));
    QCOMPARE(Read_File(f.Dst(k_record)), f.Output().replace("\U0001F4C4", "?").toLatin1());

    // The causes gone, the next sync copies them (with another touch program and its format).
    QVERIFY(QFile::remove(f.Dst("sub")) && QFile::remove(f.Src(k_record)));
    f.Open("touch", "yyyyMMddhhmm.ss");
    f.Sync();
    QCOMPARE(f.Updated(), QStringList({"/A.doc", "/sub/B.doc"}));
    QVERIFY(File_Time(f.Dst("A.doc")) == k_doc_time && File_Time(f.Dst("sub/B.doc")) == k_doc_time);

    // A record that cannot be saved is a failure of its own, said once.
    QVERIFY(QFile::remove(f.Dst(k_record)) && QDir().mkdir(f.Dst(k_record)));
    f.Sync();
    QCOMPARE(f.Boxes(), "Sync Error|The information file could not be written.|/" + k_record +
                            ": a folder has that name");
    QVERIFY(f.Output().endsWith("\n\nERR:  The information file could not be written.\n" + k_rule));

    // The destination gone, then a file, before the record is written.
    QVERIFY(f.destination.remove());
    f.dialog->Write_Information_File();
    QVERIFY(Make_File(f.destination.path(), "now a file"));
    f.dialog->Write_Information_File();
    QCOMPARE(f.Boxes(),
             QString("Sync Error|The target directory does not exist.|The destination "
                     "folder '%1' does not exist\nSync Error|The target directory is not "
                     "correct|The destination '%1' must be a directory, not a file")
                 .arg(f.destination.path()));
}

// Refused before anything is copied, the reference list (empty, of this
// version) read only once the folders are found sound.
void TestSync::refused_data()
{
    // The destination (<s>, <d>: the two folders), the list's version, the box.
    QTest::addColumn<QString>("row");
    const QString inside =
        "|1|Sync Error|The destination must not be the source directory or lie inside it.|";
    QTest::newRow("same") << "<s>/" + inside;
    QTest::newRow("inside, through ..") << "<s>/copy/../copy/./" + inside;
    QTest::newRow("inside, through a link") << "<d>/link" + inside;
    QTest::newRow("missing") << "/no/such|1|Sync Error|The destination directory does not exist.|";
    QTest::newRow("a file") << "<s>/A.doc|1|Sync Error|The destination must be a directory|";
    QTest::newRow("version") << "<d>|2|Read Error|Cannot read source file list|"
                                "File_Sync_Data file version not supported";
    QTest::newRow("empty") << "<d>|1|Compare Error|Comparison of the source and destination file "
                              "list could not be done|Source list is empty";
}

void TestSync::refused()
{
    QFETCH(QString, row);
    TSyncFixture f;
    const QString list = "<File_Sync_Data File_Version=\"%1\"><File_List/></File_Sync_Data>";
    QVERIFY(Make_File(f.Src("A.doc")) && QDir().mkpath(f.Src("copy")) &&
            QFile::link(f.Src("copy"), f.Dst("link")) &&
            Make_File(f.home.Settings_Folder() + "/reference_list.xml",
                      list.arg(row.section('|', 1, 1)).toUtf8()));
    f.Field("d_destination")
        ->setText(row.section('|', 0, 0)
                      .replace("<s>", f.source.path())
                      .replace("<d>", f.destination.path()));
    QVERIFY(!f.dialog->Run_Sync());
    QCOMPARE(f.Boxes(), row.section('|', 2));
}

QTEST_MAIN(TestSync)
#include "tst_sync.moc"
