#include "syncfixture.h"

#include <QtTest>

#include <unistd.h>

static const QString k_rule = QString(44, '-') + '\n';

// A file system of its own on a folder, unmounted with the object, also when the test fails.
struct TMount
{
    QTemporaryDir images;
    const QString point;
    ~TMount() { QProcess::execute("umount", {"-l", point}); }
    // By a shell command; %1: the folder, %2: an image in a temporary folder.
    bool Mount(const QString& how)
    {
        const QString command = "exec >/dev/null 2>&1; " + how.arg(point, images.filePath("i"));
        return geteuid() == 0 && QProcess::execute("sh", {"-c", command}) == 0;
    }
};
static const char* const k_cannot = "cannot mount: needs root, FUSE, dosfstools, fusefat, ntfs-3g";

class TestFileSystems : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void real_data();
    void real();
    void full();
};

void TestFileSystems::real_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("FAT") << "mkfs.vfat -C %2 8192 && fusefat -o rw+ %2 %1"
                         << QStringList({"A.doc", "Quality/QP-01 Rev B.doc"});
    QTest::newRow("NTFS") << "truncate -s 16M %2 && mkfs.ntfs -Q -F %2 && ntfs-3g %2 %1"
                          << QStringList(
                                 {"A.doc", "caf\u00e9.doc", "\u03a9/\u6587 \U0001F4C4.doc"});
}

// Every file arrives whole with an odd second for its time, which FAT keeps
// as an even one in local time and its driver may read an hour off: by the
// time rule the next sync finds nothing to do. Nothing temporary stays.
void TestFileSystems::real()
{
    QFETCH(QString, how);
    QFETCH(QStringList, names);
    TSyncFixture f;
    TMount mount{{}, f.destination.path()};
    if (!mount.Mount(how))
        QSKIP(k_cannot);
    QMap<QString, QByteArray> tree;
    for (const QString& name : names)
        QVERIFY(Make_File(f.Src(name), tree[name] = name.toUtf8().repeated(2000), k_doc_time));
    f.Sync();
    QCOMPARE(f.Updated(), names.replaceInStrings(QRegularExpression("^"), "/"));
    f.Sync();
    QVERIFY(f.Updated().isEmpty() && f.Boxes().isEmpty());
    tree[k_record] = f.Output().replace("\U0001F4C4", "?").toLatin1();
    QCOMPARE(f.Tree(), tree);
}

// A full destination: the files that fit are updated, the rest keep their
// old copies and say why, the old record stays whole, and the next sync with
// space completes the work. Then a full home: the source report leaves the
// previous reference list as it was, and the settings store on closing the
// settings; nothing temporary stays.
void TestFileSystems::full()
{
    TSyncFixture f;
    TMount destination{{}, f.destination.path()}, home{{}, f.home.Settings_Folder()};
    if (!destination.Mount("mount -t tmpfs -o size=100k tmpfs %1") ||
        !home.Mount("mount -t tmpfs -o size=64k tmpfs %1"))
        QSKIP(k_cannot);
    f.Open();
    // 40 files of 4 KB, every fourth with an old copy.
    QMap<QString, QByteArray> tree = {{k_record, QByteArray(1620, 'r')}};
    const auto bytes = [](int i, int n) { return QByteArray(n, 'n') + QByteArray::number(i); };
    QVERIFY(Make_File(f.Dst(k_record), tree[k_record]));
    for (int i = 10; i < 50; ++i)
        QVERIFY(Make_File(f.Src(QString::number(i)), bytes(i, 4094), k_doc_time) &&
                (i % 4 != 0 || Make_File(f.Dst(QString::number(i)), bytes(i, 0), 1000)));
    f.Sync();
    const QString space = "\tNOT UPDATED: the file could not be copied: No space left on device";
    const QStringList failed = f.Updated().filter(space);
    for (int i = 10; i < 50; ++i) {
        const bool lost = failed.contains(QString("/%1").arg(i) + space);
        if (!lost || i % 4 == 0)
            tree[QString::number(i)] = bytes(i, lost ? 0 : 4094);
    }
    QVERIFY2(!failed.isEmpty() && failed.size() < 40, qPrintable(f.Output()));
    QCOMPARE(f.Tree(), tree);
    QCOMPARE(f.Boxes(),
             "Sync Error|Some files could not be updated, and the information file could "
             "not be written.|" +
                 failed.join('\n').replace("\tNOT UPDATED", "") + "\n/" + k_record +
                 ": the file could not be written: No space left on device");
    QVERIFY(f.Output().endsWith("ERR:  The information file could not be written.\n" + k_rule));
    QVERIFY(QProcess::execute("mount", {"-o", "remount,size=1m", f.destination.path()}) == 0);
    f.Sync();
    QCOMPARE(f.Updated(), failed.join('\n').remove(space).split('\n'));
    QVERIFY(Read_File(f.Dst(k_record)) == f.Output().toLatin1() && f.Boxes().isEmpty());

    const QString list = f.home.Settings_Folder() + "/reference_list.xml";
    const QString settings = f.home.Settings_Folder() + "/Settings.ini";
    const QByteArray old_list = Read_File(list), old_settings = Read_File(settings);
    for (int i = 0; i < 100; ++i)
        QVERIFY(Make_File(f.Src(QString("Procedures/QP-%1.doc").arg(i))));
    QVERIFY(!Make_File(f.home.Settings_Folder() + "/filler", QByteArray(1 << 17, 'f')));
    f.Button("d_source_report")->click();
    QCOMPARE(f.Boxes(), "Write Error|Cannot write source file list.|ERR:  Cannot write file '" +
                            list + "'.  Reason: No space left on device");
    QVERIFY(f.Output().endsWith("ERR:  Source Report did not complete.\n" + k_rule));
    f.Field("d_destination")->setText(f.destination.path() + "/elsewhere");
    f.dialog->close();
    QVERIFY(Read_File(list) == old_list && old_list.contains(">49<"));
    QVERIFY(Read_File(settings) == old_settings && old_settings.contains("Destination"));
    QCOMPARE(QDir(f.home.Settings_Folder()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"filler", "reference_list.xml", "Settings.ini"}));
}

QTEST_MAIN(TestFileSystems)
#include "tst_filesystems.moc"
