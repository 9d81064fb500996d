#include "syncfixture.h"

#include <QtTest>

static const QString k_rule = QString(44, '-') + '\n';
static const QString k_touch_failure = "the touch program 'no-such-touch.exe' could not be started";

class TestSync : public QObject
{
    Q_OBJECT

    // A second sync with the touch program set by hand: on Linux the system's own with its
    // format; on Windows a bare name finds the bundled touch.exe beside the program, which knows
    // one format only.
    static void Open_With_Other_Touch(TSyncFixture& f)
    {
#ifdef Q_OS_WIN
        f.Open("touch");
#else
        f.Open("touch", "yyyyMMddhhmm.ss");
#endif
    }

private slots:
    void initTestCase()
    {
        Set_Time_Zone("Europe/Berlin");
        // On Windows the zone is the one Wine was started in.
        QCOMPARE(QDateTime::fromSecsSinceEpoch(k_doc_time).offsetFromUtc(), 3600);
    }

    // Each file listed twice, under "Controlled Files" and under "Updated Files on ...", in the
    // order of the listing, with its time.
    void paneListsControlledThenUpdatedFiles()
    {
        TSyncFixture f;
        const QString qp = "Procedures/Quality/QP-01.doc";
        QVERIFY(Make_File(f.Src(qp), "qp", k_doc_time + 1));
        QVERIFY(Make_File(f.Src("A.doc"), "a", k_doc_time));
        f.Sync();
        const QString listing = "03 Mar 2026 02:05:09 PM\t/A.doc\n"
                                "03 Mar 2026 02:05:10 PM\t/" +
                                qp + '\n';
        const QString pane = f.Output();
        QCOMPARE(pane.section("\nUpdated Files on ", 0, 0),
                 "Controlled Files\n" + k_rule + listing);
        const QString updated = pane.section("\nUpdated Files on ", 1);
        QVERIFY(QRegularExpression("^\\d\\d [A-Z][a-z]{2} \\d{4} (\\d\\d:){2}\\d\\d [AP]M$")
                    .match(updated.section('\n', 0, 0))
                    .hasMatch());
        QCOMPARE(updated.section('\n', 1), k_rule + listing);
        QVERIFY(f.Shown_Boxes().isEmpty());
    }

    // Latin-1, a '?' for each other character (one for a pair of surrogates), and the old
    // record, longer than the new one, replaced whole; on Windows with its line ends.
    void recordIsThePaneInLatin1()
    {
        TSyncFixture f;
        QVERIFY(Make_File(f.Src("caf\u00e9 \u03a9 \U0001F4C4.doc"), "x", k_doc_time));
        QVERIFY(Make_File(f.Dst(k_record), QByteArray(10000, 'o')));
        f.Sync();
        QVERIFY(f.Output().contains("03 Mar 2026 02:05:09 PM\t/caf\u00e9 \u03a9 \U0001F4C4.doc\n"));
        QByteArray pane = f.Output().toUtf8();
        pane.replace("\u00e9", "\xe9").replace("\u03a9", "?").replace("\U0001F4C4", "?");
        QCOMPARE(Read_File(f.Dst(k_record)), Native_Lines(pane));
    }

    // The copy has the source's bytes and time; files only in the destination stay as they are.
    void copiesCarryTheSourceTime()
    {
        TSyncFixture f;
        QVERIFY(Make_File(f.Src("sub/A.doc"), "new", k_doc_time + 1));
        QVERIFY(Make_File(f.Dst("mine.txt"), "m", 1000));
        f.Sync();
        QCOMPARE(Read_File(f.Dst("sub/A.doc")), QByteArray("new"));
        QCOMPARE(File_Time(f.Dst("sub/A.doc")), k_doc_time + 1);
        QCOMPARE(Read_File(f.Dst("mine.txt")), QByteArray("m"));
        QCOMPARE(File_Time(f.Dst("mine.txt")), qint64(1000));
    }

    void readOnlyCopyStaysReadOnly()
    {
        TSyncFixture f;
        QVERIFY(Make_File(f.Src("ro.doc"), "ro", k_doc_time));
        QVERIFY(QFile::setPermissions(f.Src("ro.doc"), QFile::ReadOwner | QFile::ReadGroup));
        f.Sync();
        QCOMPARE(f.Updated(), QStringList("/ro.doc"));
        QCOMPARE(QFile::permissions(f.Dst("ro.doc")), QFile::permissions(f.Src("ro.doc")));
    }

    // A copy older (negative) or newer than the source by so many seconds. Within 1 s, and one
    // hour off by at most 1 s, it counts as current, in either direction only as listed.
    void timeRuleBoundaries_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("copied");
        const QList<QPair<int, bool>> rows = {
            {0, false},     {-1, false},    {-2, true},    {-3598, true}, {-3599, false},
            {-3600, false}, {-3601, false}, {-3602, true}, {1, true},     {3600, true}};
        for (const auto& row : rows)
            QTest::addRow("%+d s%s", row.first, row.second ? ", copied" : "")
                << row.first << row.second;
    }

    void timeRuleBoundaries()
    {
        QFETCH(int, offset);
        QFETCH(bool, copied);
        TSyncFixture f;
        QVERIFY(Make_File(f.Src("f.doc"), "new", k_doc_time));
        QVERIFY(Make_File(f.Dst("f.doc"), "old", k_doc_time + offset));
        f.Sync();
        QCOMPARE(f.Updated(), copied ? QStringList("/f.doc") : QStringList());
        QCOMPARE(Read_File(f.Dst("f.doc")), QByteArray(copied ? "new" : "old"));
        QCOMPARE(File_Time(f.Dst("f.doc")), copied ? k_doc_time : k_doc_time + offset);
        QVERIFY(f.Shown_Boxes().isEmpty());
    }

    // A touch program that cannot be started, a file where a folder goes, a source file by the
    // record's name: each listed as not updated in the order of the listing, all in one box,
    // and the record, which says so too, still written.
    void failedFilesAreListedAndBoxed()
    {
        TSyncFixture f("no-such-touch.exe");
        QVERIFY(Make_File(f.Src("a.doc"), "new", k_doc_time));
        QVERIFY(Make_File(f.Src("sub/B.doc"), "b", k_doc_time));
        QVERIFY(Make_File(f.Dst("sub"), "a file"));
        QVERIFY(Make_File(f.Src(k_record), "x", 1000));
        f.Sync();
        const QStringList failures = {"/a.doc: " + k_touch_failure,
                                      "/" + k_record + ": the information file has that name",
                                      "/sub/B.doc: the destination folder could not be created"};
        QCOMPARE(f.Updated(), QStringList(failures).replaceInStrings(": ", "\tNOT UPDATED: "));
        QCOMPARE(f.Shown_Boxes(),
                 QList<TShownBox>({Error_Box("Sync Error", "Some files could not be updated.",
                                             failures.join('\n'))}));
        QVERIFY(f.Output().endsWith("\n\nERR:  Update did not complete.\n" + k_rule));
        QCOMPARE(Read_File(f.Dst(k_record)), Native_Lines(f.Output().toLatin1()));
    }

    // The new copy stays, though its time could not be set, and so does what blocked a folder.
    void failedFilesKeepWhatIsThere()
    {
        TSyncFixture f("no-such-touch.exe");
        QVERIFY(Make_File(f.Src("a.doc"), "new", k_doc_time));
        QVERIFY(Make_File(f.Dst("a.doc"), "old", k_doc_time - 2));
        QVERIFY(Make_File(f.Src("sub/B.doc"), "b", k_doc_time));
        QVERIFY(Make_File(f.Dst("sub"), "a file"));
        f.Sync();
        QCOMPARE(f.Shown_Boxes().size(), 1);
        QCOMPARE(Read_File(f.Dst("a.doc")), QByteArray("new"));
        QCOMPARE(Read_File(f.Dst("sub")), QByteArray("a file"));
    }

    // The causes gone, the next sync copies what failed, with another touch program.
    void nextSyncRepairs()
    {
        TSyncFixture f("no-such-touch.exe");
        QVERIFY(Make_File(f.Src("a.doc"), "new", k_doc_time));
        QVERIFY(Make_File(f.Dst("a.doc"), "old", k_doc_time - 2));
        QVERIFY(Make_File(f.Src("sub/B.doc"), "b", k_doc_time));
        QVERIFY(Make_File(f.Dst("sub"), "a file"));
        QVERIFY(Make_File(f.Src("c.doc"), "c", k_doc_time));
        f.Sync();
        QCOMPARE(f.Shown_Boxes().size(), 1);

        QVERIFY(QFile::remove(f.Dst("sub")));
        Open_With_Other_Touch(f);
        f.Sync();
        QCOMPARE(f.Updated(), QStringList({"/a.doc", "/c.doc", "/sub/B.doc"}));
        QCOMPARE(File_Time(f.Dst("a.doc")), k_doc_time);
        QCOMPARE(File_Time(f.Dst("sub/B.doc")), k_doc_time);
        QVERIFY(f.Shown_Boxes().isEmpty());
        QVERIFY(!f.Output().contains("ERR:"));
    }

    // The record is written under its name in the destination after the copies: a source file
    // of that name is never copied over it. Windows names differ in case only as the same file.
    void sourceFileNamedAsTheRecordIsRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refused");
        QTest::newRow("same name") << k_record << true;
#ifdef Q_OS_WIN
        QTest::newRow("other case") << "Controlled Document Information.TXT" << true;
#else
        QTest::newRow("other case") << "Controlled Document Information.TXT" << false;
#endif
    }

    void sourceFileNamedAsTheRecordIsRefused()
    {
        QFETCH(QString, name);
        QFETCH(bool, refused);
        TSyncFixture f;
        QVERIFY(Make_File(f.Src(name), "source's own", k_doc_time));
        f.Sync();
        QCOMPARE(f.Updated(), QStringList("/" + name +
                                          (refused ? "\tNOT UPDATED: the information file has "
                                                     "that name"
                                                   : "")));
        QCOMPARE(f.Shown_Boxes().size(), refused ? 1 : 0);
        QCOMPARE(Read_File(f.Dst(k_record)), Native_Lines(f.Output().toLatin1()));
    }

    // A record that cannot be saved is a failure of its own, said once, in a box and the pane.
    void unwritableRecordIsSaidOnce()
    {
        TSyncFixture f;
        QVERIFY(Make_File(f.Src("a.doc"), "a", k_doc_time));
        QVERIFY(QDir().mkdir(f.Dst(k_record)));
        f.Sync();
        QCOMPARE(f.Updated(), QStringList("/a.doc"));
        QCOMPARE(
            f.Shown_Boxes(),
            QList<TShownBox>({Error_Box("Sync Error", "The information file could not be written.",
                                        "/" + k_record + ": a folder has that name")}));
        QVERIFY(
            f.Output().endsWith("\n\nERR:  The information file could not be written.\n" + k_rule));
        QVERIFY(QFileInfo(f.Dst(k_record)).isDir());
    }

    // Copying a folder into itself would copy the destination once more on every sync.
    void destinationInsideSourceIsRefused_data()
    {
        QTest::addColumn<QString>("inside"); // the destination, below the source folder
        QTest::newRow("the source") << "";
        QTest::newRow("the source with /") << "/";
        QTest::newRow("a subfolder through ..") << "/copy/../copy/./";
    }

    void destinationInsideSourceIsRefused()
    {
        QFETCH(QString, inside);
        TSyncFixture f;
        QVERIFY(QDir().mkdir(f.Src("copy")));
        f.Field("d_destination")->setText(f.source.path() + inside);
        QVERIFY(!f.dialog->Run_Sync());
        QCOMPARE(f.Shown_Boxes(),
                 QList<TShownBox>({Error_Box(
                     "Sync Error",
                     "The destination must not be the source directory or lie inside it.")}));
        QVERIFY(!QFileInfo::exists(f.Src(k_record)));
    }

    // A link into the source is followed and refused. On Windows a link is a shortcut file,
    // which must be named "NAME.lnk" to be followed.
    void destinationLinkedIntoSourceIsRefused()
    {
        TSyncFixture f;
        QVERIFY(QDir().mkdir(f.Src("copy")));
#ifdef Q_OS_WIN
        const QString link = f.Dst("link.lnk");
#else
        const QString link = f.Dst("link");
#endif
        QVERIFY(QFile::link(f.Src("copy"), link));
        f.Field("d_destination")->setText(link);
        QVERIFY(!f.dialog->Run_Sync());
        QCOMPARE(f.Shown_Boxes(),
                 QList<TShownBox>({Error_Box(
                     "Sync Error",
                     "The destination must not be the source directory or lie inside it.")}));
    }

    void destinationMissingOrFileIsRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "no"
                                 << "The destination directory does not exist.";
        QTest::newRow("a file") << "mine.txt"
                                << "The destination must be a directory";
    }

    void destinationMissingOrFileIsRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        TSyncFixture f;
        QVERIFY(Make_File(f.Dst("mine.txt"), "m"));
        f.Field("d_destination")->setText(f.Dst(name));
        QVERIFY(!f.dialog->Run_Sync());
        QCOMPARE(f.Shown_Boxes(), QList<TShownBox>({Error_Box("Sync Error", message)}));
        QCOMPARE(Read_File(f.Dst("mine.txt")), QByteArray("m"));
    }
};

QTEST_MAIN(TestSync)
#include "tst_sync.moc"
