// Syncs onto file systems of their own; without root and FUSE they skip.

#include "syncfixture.h"

#include <QtTest>

class TestFileSystems : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }

    void everyFileArrivesWhole_data() { Mounted_Rows(); }
    void everyFileArrivesWhole();
    void nextSyncFindsNothingToDo_data() { Mounted_Rows(); }
    void nextSyncFindsNothingToDo();

    // A destination folder on a FUSE mount whose server was killed cannot be
    // examined, and says why.
    void unexaminableDestinationFolderIsSaid()
    {
        TSyncFixture f;
        QVERIFY(QDir().mkdir(f.Dst("share")) && Make_File(f.Src("share/a.doc"), "a", k_doc_time));
        // Nothing cached, so every look at the folder goes to the server, killed once it serves.
        if (!f.mount.Mount(f.Dst("share"),
                           "mkfs.vfat -C %2 1024 && "
                           "{ fusefat -f -o rw+,attr_timeout=0,entry_timeout=0 %2 %1 & } && "
                           "for i in $(seq 300); do mountpoint -q %1 && exec kill -9 $!; "
                           "sleep 0.1; done; false"))
            QSKIP("needs root, dosfstools and fusefat");
        f.Sync();
        QCOMPARE(f.Updated(), QStringList("/share/a.doc\tNOT UPDATED: the destination folder "
                                          "could not be examined: Transport endpoint is not "
                                          "connected"));
    }

private:
    static void Mounted_Rows();
    // The row's files, each holding its name 2000 times, synced onto the row's file system;
    // false when it cannot be mounted.
    static bool Sync_Row_Files(TSyncFixture& f)
    {
        QFETCH(QString, how);
        QFETCH(QStringList, names);
        if (!f.mount.Mount(f.destination.path(), how))
            return false;
        for (const QString& name : names)
            Make_File(f.Src(name), name.toUtf8().repeated(2000), k_doc_time);
        f.Sync();
        return true;
    }
};

// FAT keeps the odd second of a time as an even one, in local time, and its
// driver may read it back an hour off; NTFS gets names outside Latin-1.
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
    QFETCH(QStringList, names);
    TSyncFixture f;
    if (!Sync_Row_Files(f))
        QSKIP("cannot mount: needs root, FUSE, dosfstools, fusefat, ntfs-3g");
    QMap<QString, QByteArray> tree = {{k_record, f.Output().replace("\U0001F4C4", "?").toLatin1()}};
    for (const QString& name : names)
        tree[name] = name.toUtf8().repeated(2000);
    QCOMPARE(f.Tree(), tree);
    QCOMPARE(f.Updated(), names.replaceInStrings(QRegularExpression("^"), "/"));
    QVERIFY(f.watcher.boxes.isEmpty());
}

// By the time rule, which allows for what FAT does to the times.
void TestFileSystems::nextSyncFindsNothingToDo()
{
    TSyncFixture f;
    if (!Sync_Row_Files(f))
        QSKIP("cannot mount: needs root, FUSE, dosfstools, fusefat, ntfs-3g");
    f.Sync();
    QCOMPARE(f.Updated(), QStringList());
    QVERIFY(f.watcher.boxes.isEmpty());
}

QTEST_MAIN(TestFileSystems)
#include "tst_filesystems.moc"
