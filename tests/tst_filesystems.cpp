// Syncs through the real dialog onto file systems of their own: FAT and NTFS
// images, and small tmpfs folders that fill up. Each test mounts its own and
// unmounts it at the end, also when it fails; without root and FUSE it skips.

#include "faultfixture.h"

#include <QtTest>

static const QString k_rule = QString(44, '-') + '\n';

class TestFileSystems : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }

    void everyFileIsUpdatedWithoutError_data() { Mounted_Rows(); }
    void everyFileIsUpdatedWithoutError();
    void destinationHoldsWholeCopiesAndTheRecord_data() { Mounted_Rows(); }
    void destinationHoldsWholeCopiesAndTheRecord();
    void nextSyncFindsNothingToDo_data() { Mounted_Rows(); }
    void nextSyncFindsNothingToDo();

    void fullDestinationListsTheFilesThatDidNotFit();
    void fullDestinationKeepsOldCopiesAndTheOldRecord();
    void fullDestinationShowsOneBoxNamingFilesAndRecord();
    void fullDestinationEndsThePaneWithTheRecordError();
    void nextSyncWithSpaceCompletesTheWork();

    void fullHomeSourceReportShowsWriteError();
    void fullHomeSourceReportEndsThePaneWithItsError();
    void fullHomeSourceReportKeepsThePreviousReferenceList();
    void fullHomeClosingKeepsThePreviousSettings();

private:
    static void Mounted_Rows();
    static bool Make_Sources(TSyncFixture& f, const QStringList& names);
};

// How to make and mount the destination (%1: the folder, %2: an image), and
// the files to sync there. Every file has an odd second for its time, which
// FAT keeps as an even one, in local time; its driver here may read it back
// an hour off. NTFS gets names outside Latin-1.
void TestFileSystems::Mounted_Rows()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("FAT") << "mkfs.vfat -C %2 8192 && fusefat -o rw+ %2 %1"
                         << QStringList({"A.doc", "Quality/QP-01 Rev B.doc"});
    QTest::newRow("NTFS") << "truncate -s 16M %2 && mkfs.ntfs -Q -F %2 && ntfs-3g %2 %1"
                          << QStringList(
                                 {"A.doc", "caf\u00e9.doc", "\u03a9/\u6587 \U0001F4C4.doc"});
}

// Each file holds its name 2000 times, with the source time.
bool TestFileSystems::Make_Sources(TSyncFixture& f, const QStringList& names)
{
    for (const QString& name : names)
        if (!Make_File(f.Src(name), name.toUtf8().repeated(2000), k_doc_time))
            return false;
    return true;
}

void TestFileSystems::everyFileIsUpdatedWithoutError()
{
    QFETCH(QString, how);
    QFETCH(QStringList, names);
    TSyncFixture f;
    TMount mount(f.destination.path());
    if (!mount.Mount(how))
        QSKIP(k_cannot_mount);
    QVERIFY(Make_Sources(f, names));
    f.Sync();

    QCOMPARE(f.Updated(), names.replaceInStrings(QRegularExpression("^"), "/"));
    QCOMPARE(f.watcher.Count(), 0);
}

// Nothing temporary stays; the record has "?" for what Latin-1 cannot hold.
void TestFileSystems::destinationHoldsWholeCopiesAndTheRecord()
{
    QFETCH(QString, how);
    QFETCH(QStringList, names);
    TSyncFixture f;
    TMount mount(f.destination.path());
    if (!mount.Mount(how))
        QSKIP(k_cannot_mount);
    QVERIFY(Make_Sources(f, names));
    f.Sync();

    QMap<QString, QByteArray> tree = {{k_record, f.Output().replace("\U0001F4C4", "?").toLatin1()}};
    for (const QString& name : names)
        tree[name] = name.toUtf8().repeated(2000);
    QCOMPARE(f.Tree(), tree);
}

// By the time rule, which tolerates what FAT does to the times.
void TestFileSystems::nextSyncFindsNothingToDo()
{
    QFETCH(QString, how);
    QFETCH(QStringList, names);
    TSyncFixture f;
    TMount mount(f.destination.path());
    if (!mount.Mount(how))
        QSKIP(k_cannot_mount);
    QVERIFY(Make_Sources(f, names));
    f.Sync();
    f.Sync();

    QCOMPARE(f.Updated(), QStringList());
    QCOMPARE(f.watcher.Count(), 0);
}

// The files that fit are updated, the rest are listed with the reason.
void TestFileSystems::fullDestinationListsTheFilesThatDidNotFit()
{
    TFullDestination f;
    if (!f.Mount())
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Sync();

    const QStringList not_updated = f.Not_Updated();
    QVERIFY2(!not_updated.isEmpty() && not_updated.size() < 40, qPrintable(f.sync.Output()));
    QStringList listed;
    for (int i = TFullDestination::k_first; i < TFullDestination::k_end; ++i) {
        const QString line = "/" + TFullDestination::Name(i);
        listed << (not_updated.contains(line) ? line + TFullDestination::k_no_space : line);
    }
    QCOMPARE(f.sync.Updated(), listed);
}

// Every file is its old copy (or missing, as before) or the whole new one,
// and the record is the old one byte for byte. Nothing temporary stays.
void TestFileSystems::fullDestinationKeepsOldCopiesAndTheOldRecord()
{
    TFullDestination f;
    if (!f.Mount())
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Sync();

    const QStringList not_updated = f.Not_Updated();
    QMap<QString, QByteArray> tree = {{k_record, TFullDestination::Old_Record()}};
    for (int i = TFullDestination::k_first; i < TFullDestination::k_end; ++i) {
        const QString name = TFullDestination::Name(i);
        if (!not_updated.contains("/" + name))
            tree[name] = TFullDestination::New_Bytes(i);
        else if (TFullDestination::Has_Old_Copy(i))
            tree[name] = TFullDestination::Old_Bytes(i);
    }
    QCOMPARE(f.sync.Tree(), tree);
}

void TestFileSystems::fullDestinationShowsOneBoxNamingFilesAndRecord()
{
    TFullDestination f;
    if (!f.Mount())
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Sync();

    QStringList detail;
    for (const QString& name : f.Not_Updated())
        detail << name + ": the file could not be copied: No space left on device";
    detail << "/" + k_record + ": the file could not be written: No space left on device";
    QCOMPARE(f.sync.watcher.Count(), 1);
    const TShownBox& shown = f.sync.watcher.boxes.first();
    QCOMPARE(shown.heading, QString("Sync Error"));
    QCOMPARE(shown.message, QString("Some files could not be updated, and the information file "
                                    "could not be written."));
    QCOMPARE(shown.detail, detail.join('\n'));
}

void TestFileSystems::fullDestinationEndsThePaneWithTheRecordError()
{
    TFullDestination f;
    if (!f.Mount())
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Sync();

    const QString trailer = "\nERR:  Update did not complete.\n" + k_rule +
                            "\nERR:  The information file could not be written.\n" + k_rule;
    QVERIFY2(f.sync.Output().endsWith(trailer), qPrintable(f.sync.Output()));
}

// With the tmpfs grown, the next sync updates just the files that did not
// fit, shows no box and writes the whole record.
void TestFileSystems::nextSyncWithSpaceCompletesTheWork()
{
    TFullDestination f;
    if (!f.Mount())
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Sync();
    const QStringList not_updated = f.Not_Updated();
    QVERIFY(f.mount.Resize("1m"));
    f.sync.Sync();

    QCOMPARE(f.sync.Updated(), not_updated);
    QCOMPARE(f.sync.watcher.Count(), 1);
    QMap<QString, QByteArray> tree = {{k_record, f.sync.Output().toLatin1()}};
    for (int i = TFullDestination::k_first; i < TFullDestination::k_end; ++i)
        tree[TFullDestination::Name(i)] = TFullDestination::New_Bytes(i);
    QCOMPARE(f.sync.Tree(), tree);
}

void TestFileSystems::fullHomeSourceReportShowsWriteError()
{
    TFullHome f;
    if (!f.Mount())
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Button("d_source_report")->click();

    QCOMPARE(f.sync.watcher.Count(), 1);
    const TShownBox& shown = f.sync.watcher.boxes.first();
    QCOMPARE(shown.heading, QString("Write Error"));
    QCOMPARE(shown.message, QString("Cannot write source file list."));
    QCOMPARE(shown.detail,
             "ERR:  Cannot write file '" + f.list + "'.  Reason: No space left on device");
}

void TestFileSystems::fullHomeSourceReportEndsThePaneWithItsError()
{
    TFullHome f;
    if (!f.Mount())
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Button("d_source_report")->click();

    const QString trailer = "\nERR:  Source Report did not complete.\n" + k_rule;
    QVERIFY2(f.sync.Output().endsWith(trailer), qPrintable(f.sync.Output()));
}

// Byte for byte, with nothing temporary beside it.
void TestFileSystems::fullHomeSourceReportKeepsThePreviousReferenceList()
{
    TFullHome f;
    if (!f.Mount())
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Button("d_source_report")->click();

    QCOMPARE(Read_File(f.list), f.old_list);
    QCOMPARE(f.Entries(), QStringList({"filler", "reference_list.xml", "Settings.ini"}));
}

// Closing stores a changed folder; on a full disk the settings store keeps
// the previous file whole, with nothing temporary beside it.
void TestFileSystems::fullHomeClosingKeepsThePreviousSettings()
{
    TFullHome f;
    if (!f.Mount())
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Field("d_destination")->setText(f.sync.destination.path() + "/elsewhere");
    f.sync.dialog->close();

    QCOMPARE(Read_File(f.settings), f.old_settings);
    QCOMPARE(f.Entries(), QStringList({"filler", "reference_list.xml", "Settings.ini"}));
}

QTEST_MAIN(TestFileSystems)
#include "tst_filesystems.moc"
