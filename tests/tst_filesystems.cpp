// Syncs onto file systems of their own; without root and FUSE they skip.

#include "syncfixture.h"

#include <QtTest>
#include <unistd.h>

static const char* const k_cannot_mount =
    "cannot mount: needs root, FUSE, dosfstools, fusefat, ntfs-3g";
static const QString k_no_space = "No space left on device";

class TestFileSystems : public QObject
{
    Q_OBJECT

    std::unique_ptr<TSyncFixture> d_sync;
    std::unique_ptr<QTemporaryDir> d_images;
    QString d_mounted;

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void init()
    {
        d_sync.reset(new TSyncFixture);
        d_images.reset(new QTemporaryDir);
    }
    void cleanup()
    {
        if (!d_mounted.isEmpty())
            QProcess::execute("umount", {"-l", std::exchange(d_mounted, QString())});
        d_sync.reset();
    }

    void everyFileArrivesWhole_data() { Mounted_Rows(); }
    void everyFileArrivesWhole();
    void nextSyncFindsNothingToDo_data() { Mounted_Rows(); }
    void nextSyncFindsNothingToDo();
    void fullHomeKeepsTheStoredFilesWhole();

private:
    static void Mounted_Rows();
    // By a shell command; %1: the folder, %2: an image file.
    bool Mount(const QString& folder, QString how)
    {
        d_mounted = folder;
        how.replace("%1", folder).replace("%2", d_images->filePath("i"));
        return geteuid() == 0 &&
               QProcess::execute("sh", {"-c", "exec >/dev/null 2>&1; " + how}) == 0;
    }
    // The row's files, each holding its name 2000 times.
    bool Sync_Row_Files()
    {
        QFETCH(QStringList, names);
        bool made = true;
        for (const QString& name : names)
            made = made && Make_File(d_sync->Src(name), name.toUtf8().repeated(2000), k_doc_time);
        d_sync->Sync();
        return made;
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
    QFETCH(QString, how);
    QFETCH(QStringList, names);
    if (!Mount(d_sync->destination.path(), how))
        QSKIP(k_cannot_mount);
    QVERIFY(Sync_Row_Files());
    QMap<QString, QByteArray> tree = {
        {k_record, d_sync->Output().replace("\U0001F4C4", "?").toLatin1()}};
    for (const QString& name : names)
        tree[name] = name.toUtf8().repeated(2000);
    QCOMPARE(d_sync->Tree(), tree);
    QCOMPARE(d_sync->Updated(), names.replaceInStrings(QRegularExpression("^"), "/"));
    QVERIFY(d_sync->watcher.boxes.isEmpty());
}

// By the time rule, which allows for what FAT does to the times.
void TestFileSystems::nextSyncFindsNothingToDo()
{
    QFETCH(QString, how);
    if (!Mount(d_sync->destination.path(), how))
        QSKIP(k_cannot_mount);
    QVERIFY(Sync_Row_Files());
    d_sync->Sync();
    QCOMPARE(d_sync->Updated(), QStringList());
    QVERIFY(d_sync->watcher.boxes.isEmpty());
}

// The settings folder fills up after a first source report; the dialog is
// closed with a changed folder.
void TestFileSystems::fullHomeKeepsTheStoredFilesWhole()
{
    const QString folder = d_sync->home.Settings_Folder();
    if (!Mount(folder, "mount -t tmpfs -o size=64k tmpfs %1"))
        QSKIP(k_cannot_mount);
    d_sync->Open();
    QVERIFY(Make_File(d_sync->Src("A.doc")) && Make_File(d_sync->Src("Quality/QP-01.doc")));
    d_sync->Button("d_source_report")->click();
    const QByteArray list = Read_File(folder + "/reference_list.xml");
    const QByteArray settings = Read_File(folder + "/Settings.ini");
    QVERIFY(list.contains("QP-01.doc") && settings.contains("Destination"));
    QVERIFY(!Make_File(folder + "/filler", QByteArray(1 << 17, 'f')));
    d_sync->Button("d_source_report")->click();
    d_sync->Field("d_destination")->setText(d_sync->destination.path() + "/elsewhere");
    d_sync->dialog->close();
    QCOMPARE(d_sync->watcher.boxes.size(), 1);
    QCOMPARE(d_sync->watcher.boxes[0].detail,
             "ERR:  Cannot write file '" + folder + "/reference_list.xml'.  Reason: " + k_no_space);
    QCOMPARE(Read_File(folder + "/reference_list.xml"), list);
    QCOMPARE(Read_File(folder + "/Settings.ini"), settings);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
             QStringList({"filler", "reference_list.xml", "Settings.ini"}));
}

QTEST_MAIN(TestFileSystems)
#include "tst_filesystems.moc"
