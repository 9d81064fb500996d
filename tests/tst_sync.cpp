#include "syncfixture.h"

#include <QtTest>

// On Windows a link is a shortcut file named "NAME.lnk", and names differing in case are one.
#ifdef Q_OS_WIN
static const QString k_link = "link.lnk";
static const QString k_record_named = "Controlled Document Information.TXT";
#else
static const QString k_link = "link";
static const QString k_record_named = k_record;
#endif

class TestSync : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }

    // Each file listed twice, with its local time, in the order of the listing: a subfolder's
    // files after those above them.
    void paneListsControlledThenUpdatedFiles()
    {
        TSyncFixture f;
        QVERIFY(Make_File(f.Src("A.doc"), "a", 1772514000));
        QVERIFY(Make_File(f.Src("b.doc"), "b", k_doc_time));
        QVERIFY(Make_File(f.Src("sub/c.doc"), "c", 1772492409));
        f.Sync();
        const QString listing = "03 Mar 2026 06:00:00 AM\t/A.doc\n"
                                "03 Mar 2026 02:05:09 PM\t/b.doc\n"
                                "03 Mar 2026 12:00:09 AM\t/sub/c.doc\n";
        const QString now = f.Output().section('\n', 6, 6).mid(17);
        QCOMPARE(f.Output(), "Controlled Files\n" + k_rule + '\n' + listing +
                                 "\nUpdated Files on " + now + '\n' + k_rule + '\n' + listing);
    }

    // Latin-1, a '?' for each other character (one for a surrogate pair); an old, longer record
    // replaced whole.
    void recordIsThePaneInLatin1()
    {
        TSyncFixture f;
        QVERIFY(Make_File(f.Src("caf\u00e9 \u03a9 \U0001F4C4.doc"), "x", k_doc_time));
        QVERIFY(Make_File(f.Dst(k_record), QByteArray(10000, 'o')));
        f.Sync();
        QByteArray pane = f.Output().toUtf8();
        pane.replace("\u00e9", "\xe9").replace("\u03a9", "?").replace("\U0001F4C4", "?");
        QCOMPARE(Read_File(f.Dst(k_record)), Native_Lines(pane));
    }

    void copyHasTheSourceBytesTimeAndMode_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("readOnly"); // the source, and an old copy there already
        QTest::newRow("in a subfolder") << "sub/A.doc" << false;
        // Windows refuses to rename over a read-only file until its attribute is off.
        QTest::newRow("read-only, over a read-only old copy") << "ro.doc" << true;
        // Past the 260 characters where Windows needs the long form of a path.
        QTest::newRow("a path of 300 characters")
            << QString(3, 'x').replace("x", QString(90, 'd') + '/') + "long.doc" << false;
    }

    void copyHasTheSourceBytesTimeAndMode()
    {
        QFETCH(QString, name);
        QFETCH(bool, readOnly);
        TSyncFixture f;
        QVERIFY(Make_File(f.Src(name), "second issue", k_doc_time + 1));
        if (readOnly) {
            QVERIFY(Make_File(f.Dst(name), "first issue", k_doc_time - 100));
            for (const QString& file : {f.Src(name), f.Dst(name)})
                QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup));
        }
        f.Sync();
        QCOMPARE(Read_File(f.Dst(name)), QByteArray("second issue"));
        QCOMPARE(File_Time(f.Dst(name)), k_doc_time + 1);
        QCOMPARE(QFile::permissions(f.Dst(name)), QFile::permissions(f.Src(name)));
    }

    // The temporary of a read-only source is read-only too when the rename fails.
    void failedReplaceLeavesNoTemporary()
    {
        TSyncFixture f;
        QVERIFY(Make_File(f.Src("blocked.doc"), "new", k_doc_time));
        QVERIFY(QFile::setPermissions(f.Src("blocked.doc"), QFile::ReadOwner));
        QVERIFY(QDir().mkpath(f.Dst("blocked.doc/inside")));
        f.Sync();
#ifdef Q_OS_WIN
        const QString reason = "Access denied.";
#else
        const QString reason = "Is a directory";
#endif
        QCOMPARE(f.Updated(),
                 QStringList("/blocked.doc\tNOT UPDATED: the old copy could not be replaced: " +
                             reason));
        QCOMPARE(f.Tree().keys(), QStringList(k_record));
    }

    // A touch program that cannot be started, a source file by the record's name: listed as not
    // updated in the order of the listing, and all in one box.
    void failedFilesAreListedAndBoxed()
    {
        TSyncFixture f("no-such-touch.exe");
        QVERIFY(Make_File(f.Src("z.doc"), "new", k_doc_time));
        QVERIFY(Make_File(f.Src(k_record_named), "x", 1000));
        f.Sync();
        const QStringList failures = {
            "/" + k_record_named + ": the information file has that name",
            "/z.doc: the touch program 'no-such-touch.exe' could not be started"};
        QCOMPARE(f.Updated(), QStringList(failures).replaceInStrings(": ", "\tNOT UPDATED: "));
        QCOMPARE(f.watcher.Take(),
                 QList<TShownBox>(
                     {{"Sync Error", "Some files could not be updated.", failures.join('\n')}}));
    }

    // A record that cannot be saved: a failure of its own, said once, in a box and the pane.
    void unwritableRecordIsSaidOnce()
    {
        TSyncFixture f;
        QVERIFY(Make_File(f.Src("a.doc"), "a", k_doc_time));
        QVERIFY(QDir().mkdir(f.Dst(k_record)));
        f.Sync();
        QCOMPARE(f.Updated(), QStringList("/a.doc"));
        const QString message = "The information file could not be written.";
        QCOMPARE(f.watcher.Take(),
                 QList<TShownBox>(
                     {{"Sync Error", message, "/" + k_record + ": a folder has that name"}}));
        QVERIFY(f.Output().endsWith("\n\nERR:  " + message + '\n' + k_rule + '\n'));
    }

    void unfitDestinationIsRefused_data()
    {
        QTest::addColumn<bool>("inSource"); // else in the destination folder
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        const QString inside = "The destination must not be the source directory or lie inside it.";
        QTest::newRow("the source") << true << "" << inside;
        QTest::newRow("a subfolder through ..") << true << "/copy/../copy/./" << inside;
        QTest::newRow("a link into the source") << false << "/" + k_link << inside;
        QTest::newRow("missing") << false << "/no"
                                 << "The destination directory does not exist.";
        QTest::newRow("a file") << false << "/mine.txt"
                                << "The destination must be a directory";
    }

    // Nothing written or removed.
    void unfitDestinationIsRefused()
    {
        QFETCH(bool, inSource);
        QFETCH(QString, path);
        QFETCH(QString, message);
        TSyncFixture f;
        QVERIFY(QDir().mkdir(f.Src("copy")));
        QVERIFY(QFile::link(f.Src("copy"), f.Dst(k_link)));
        QVERIFY(Make_File(f.Dst("mine.txt"), "m"));
        f.Field("d_destination")->setText((inSource ? f.source : f.destination).path() + path);
        QVERIFY(!f.dialog->Run_Sync());
        QCOMPARE(f.watcher.Take(), QList<TShownBox>({{"Sync Error", message}}));
        QCOMPARE(QDir(f.Src("copy")).entryList(QDir::Files), QStringList());
        QVERIFY(!QFileInfo::exists(f.Src(k_record)));
        QCOMPARE(Read_File(f.Dst("mine.txt")), QByteArray("m"));
    }
};

QTEST_MAIN(TestSync)
#include "tst_sync.moc"
