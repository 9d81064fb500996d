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

    void everyFileArrivesWhole_data() { Mounted_Rows(); }
    void everyFileArrivesWhole();
    void nextSyncFindsNothingToDo_data() { Mounted_Rows(); }
    void nextSyncFindsNothingToDo();

    void filesThatDidNotFitAreListedAndBoxed();
    void fullDestinationKeepsOldCopiesAndTheOldRecord();
    void nextSyncWithSpaceCompletesTheWork();

    void fullHomeWriteErrorIsListedAndBoxed();
    void fullHomeKeepsTheStoredFilesWhole();

private:
    static void Mounted_Rows();
};

// How to make and mount the destination (%1: the folder, %2: an image), and
// the files to sync, each holding its name 2000 times. FAT keeps the odd
// second of their time as an even one, in local time, and its driver may read
// it back an hour off; NTFS gets names outside Latin-1.
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

void TestFileSystems::everyFileArrivesWhole()
{
    QFETCH(QString, how);
    QFETCH(QStringList, names);
    TSyncFixture f;
    TMount mount(f.destination.path());
    if (!mount.Mount(how))
        QSKIP(k_cannot_mount);
    for (const QString& name : names)
        QVERIFY(Make_File(f.Src(name), name.toUtf8().repeated(2000), k_doc_time));
    f.Sync();

    QMap<QString, QByteArray> tree = {{k_record, f.Output().replace("\U0001F4C4", "?").toLatin1()}};
    for (const QString& name : names)
        tree[name] = name.toUtf8().repeated(2000);
    QCOMPARE(f.Tree(), tree);
    QCOMPARE(f.Updated(), names.replaceInStrings(QRegularExpression("^"), "/"));
    QCOMPARE(f.watcher.Count(), 0);
}

// By the time rule, which allows for what FAT does to the times.
void TestFileSystems::nextSyncFindsNothingToDo()
{
    QFETCH(QString, how);
    QFETCH(QStringList, names);
    TSyncFixture f;
    TMount mount(f.destination.path());
    if (!mount.Mount(how))
        QSKIP(k_cannot_mount);
    for (const QString& name : names)
        QVERIFY(Make_File(f.Src(name), name.toUtf8().repeated(2000), k_doc_time));
    f.Sync();
    f.Sync();

    QCOMPARE(f.Updated(), QStringList());
    QCOMPARE(f.watcher.Count(), 0);
}

void TestFileSystems::filesThatDidNotFitAreListedAndBoxed()
{
    TFullDestination f;
    if (!f.mounted)
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Sync();

    const QStringList not_updated = f.Not_Updated();
    QVERIFY2(!not_updated.isEmpty() && not_updated.size() < 40, qPrintable(f.sync.Output()));
    QStringList listed, detail;
    for (int i = 10; i < 50; ++i) {
        const QString name = "/" + QString::number(i);
        listed << (not_updated.contains(name) ? name + TFullDestination::k_no_space : name);
        if (not_updated.contains(name))
            detail << name + ": the file could not be copied: No space left on device";
    }
    detail << "/" + k_record + ": the file could not be written: No space left on device";
    QCOMPARE(f.sync.Updated(), listed);
    QVERIFY(f.sync.Output().endsWith("\nERR:  Update did not complete.\n" + k_rule +
                                     "\nERR:  The information file could not be written.\n" +
                                     k_rule));
    QCOMPARE(f.sync.watcher.Count(), 1);
    QCOMPARE(f.sync.watcher.boxes[0].heading, QString("Sync Error"));
    QCOMPARE(f.sync.watcher.boxes[0].message,
             QString("Some files could not be updated, and the information file could not be "
                     "written."));
    QCOMPARE(f.sync.watcher.boxes[0].detail, detail.join('\n'));
}

void TestFileSystems::fullDestinationKeepsOldCopiesAndTheOldRecord()
{
    TFullDestination f;
    if (!f.mounted)
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Sync();

    const QStringList not_updated = f.Not_Updated();
    QMap<QString, QByteArray> tree = {{k_record, QByteArray(1620, 'r')}};
    for (int i = 10; i < 50; ++i) {
        const bool updated = !not_updated.contains("/" + QString::number(i));
        if (updated || TFullDestination::Has_Old_Copy(i))
            tree[QString::number(i)] = TFullDestination::Bytes(i, updated);
    }
    QCOMPARE(f.sync.Tree(), tree);
}

// With the tmpfs grown.
void TestFileSystems::nextSyncWithSpaceCompletesTheWork()
{
    TFullDestination f;
    if (!f.mounted)
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Sync();
    const QStringList not_updated = f.Not_Updated();
    QVERIFY(f.mount.Resize("1m"));
    f.sync.Sync();

    QCOMPARE(f.sync.Updated(), not_updated);
    QCOMPARE(f.sync.watcher.Count(), 1);
    QMap<QString, QByteArray> tree = {{k_record, f.sync.Output().toLatin1()}};
    for (int i = 10; i < 50; ++i)
        tree[QString::number(i)] = TFullDestination::Bytes(i, true);
    QCOMPARE(f.sync.Tree(), tree);
}

void TestFileSystems::fullHomeWriteErrorIsListedAndBoxed()
{
    TFullHome f;
    if (!f.mounted)
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Button("d_source_report")->click();

    QVERIFY(f.sync.Output().endsWith("\nERR:  Source Report did not complete.\n" + k_rule));
    QCOMPARE(f.sync.watcher.Count(), 1);
    QCOMPARE(f.sync.watcher.boxes[0].heading, QString("Write Error"));
    QCOMPARE(f.sync.watcher.boxes[0].message, QString("Cannot write source file list."));
    QCOMPARE(f.sync.watcher.boxes[0].detail,
             "ERR:  Cannot write file '" + f.list + "'.  Reason: No space left on device");
}

// The reference list after a failed source report, and the settings after
// closing with a changed folder.
void TestFileSystems::fullHomeKeepsTheStoredFilesWhole()
{
    TFullHome f;
    if (!f.mounted)
        QSKIP(k_cannot_mount);
    QVERIFY(f.Set_Up());
    f.sync.Button("d_source_report")->click();
    f.sync.Field("d_destination")->setText(f.sync.destination.path() + "/elsewhere");
    f.sync.dialog->close();

    QCOMPARE(Read_File(f.list), f.old_list);
    QCOMPARE(Read_File(f.settings), f.old_settings);
    QCOMPARE(f.Entries(), QStringList({"filler", "reference_list.xml", "Settings.ini"}));
}

QTEST_MAIN(TestFileSystems)
#include "tst_filesystems.moc"
