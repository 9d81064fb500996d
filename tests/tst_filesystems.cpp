#include "filedata.h"
#include "syncfixture.h"

#include <QtTest>

#include <unistd.h>

static const QString k_info = "controlled document information.txt";
static const qint64 k_time = 1772543109; // an odd second, which FAT cannot keep

// A small file system of its own, mounted on a folder for one test and
// unmounted with the object, also when the test fails. Kinds: "tmpfs SIZE",
// "vfat" and "ntfs" (images in a temporary folder, through FUSE).
struct TMount
{
    QTemporaryDir images;
    QString point, kind, skip;
    bool mounted = false;

    static bool Run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.start(program, arguments);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }
    TMount(const QString& kind_size, const QString& folder) : point(folder)
    {
        kind = kind_size.section(' ', 0, 0);
        const QString image = images.filePath("image");
        if (geteuid() != 0)
            skip = "mounting a file system needs root";
        else if (kind != "tmpfs" && !QFileInfo("/dev/fuse").isWritable())
            skip = "no /dev/fuse on this machine";
        else if (kind == "tmpfs")
            mounted = Run("mount", {"-t", "tmpfs", "-o", "size=" + kind_size.section(' ', 1),
                                    "tmpfs", point});
        else if (kind == "vfat")
            mounted = Run("mkfs.vfat", {"-C", image, "8192"}) &&
                      Run("fusefat", {"-o", "rw+", image, point});
        else
            mounted = Run("truncate", {"-s", "16M", image}) &&
                      Run("mkfs.ntfs", {"-Q", "-F", image}) && Run("ntfs-3g", {image, point});
        if (skip.isEmpty() && !mounted)
            skip = "could not mount " + kind + " (are dosfstools, fusefat, ntfs-3g installed?)";
    }
    ~TMount()
    {
        if (mounted)
            Run(kind == "tmpfs" ? "umount" : "fusermount", {kind == "tmpfs" ? "-l" : "-uz", point});
    }
    bool Resize(const QString& size) { return Run("mount", {"-o", "remount,size=" + size, point}); }
};

// Writes until the file system is full.
static bool Fill(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(512, 'f');
    while (file.write(block) == block.size()) {
    }
    return file.error() == QFileDevice::ResourceError;
}

class TestFileSystems : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void real_data();
    void real();
    void full_destination();
    void full_home();
};

void TestFileSystems::real_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("FAT") << "vfat" << QStringList({"A.doc", "Quality/QP-01 Rev B.doc"});
    QTest::newRow("NTFS") << "ntfs"
                          << QStringList(
                                 {"A.doc", "\u03a9/\u6587 \U0001F4C4.doc", "caf\u00e9.doc"});
}

// Every file arrives whole with its time, as near as the file system keeps
// it; the next sync finds nothing to do, and nothing temporary stays.
void TestFileSystems::real()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, names);
    TSyncFixture f;
    TMount mount(kind, f.destination.path());
    if (!mount.mounted)
        QSKIP(qPrintable(mount.skip));
    for (int i = 0; i < names.size(); ++i)
        QVERIFY(Make_File(f.Src(names[i]), names[i].toUtf8().repeated(2000), k_time + 2 * i));
    f.Sync();
    QStringList listed = names;
    listed.replaceInStrings(QRegularExpression("^"), "/").sort();
    QCOMPARE(f.Updated(), listed);
    QCOMPARE(f.watcher.Count(), 0);
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(Read_File(f.Dst(names[i])), names[i].toUtf8().repeated(2000));
        // FAT keeps even seconds in local time, which its driver may read an hour off.
        const qint64 time = File_Time(f.Dst(names[i]));
        QVERIFY2(TFileData::Is_Current(uint(k_time + 2 * i), uint(time)),
                 qPrintable(QString::number(time - k_time - 2 * i)));
    }
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().replace("\U0001F4C4", "?").toLatin1());
    f.Sync();
    QCOMPARE(f.Updated(), QStringList());
    QCOMPARE(TSyncFixture::Leftovers(f.destination.path()), QStringList());
}

// The disk fills during the copy stage: the files that fit are updated, the
// rest keep their old copies and say why, the old record stays whole, and
// the next sync with space completes the work.
void TestFileSystems::full_destination()
{
    TSyncFixture f;
    TMount mount("tmpfs 100k", f.destination.path());
    if (!mount.mounted)
        QSKIP(qPrintable(mount.skip));
    const QByteArray old_record = QByteArray(1620, 'r');
    QVERIFY(Make_File(f.Dst(k_info), old_record));
    const auto content = [](int i, bool fresh) {
        return QByteArray::number(i).leftJustified(fresh ? 4096 : 100, fresh ? 'n' : 'o');
    };
    for (int i = 0; i < 40; ++i)
        QVERIFY(Make_File(f.Src(QString("D%1.doc").arg(i, 2, 10, QChar('0'))), content(i, true),
                          k_time) &&
                (i % 4 != 0 || Make_File(f.Dst(QString("D%1.doc").arg(i, 2, 10, QChar('0'))),
                                         content(i, false), 1000)));
    f.Sync();
    const QStringList updated = f.Updated();
    const QStringList failed = updated.filter("\tNOT UPDATED: ");
    QVERIFY2(!failed.isEmpty() && failed.size() < updated.size(), qPrintable(updated.join('\n')));
    QCOMPARE(failed.filter("\tNOT UPDATED: the file could not be copied: No space left on device"),
             failed);
    for (int i = 0; i < 40; ++i) {
        const QByteArray bytes = Read_File(f.Dst(QString("D%1.doc").arg(i, 2, 10, QChar('0'))));
        const bool was_failed =
            failed.join('\n').contains(QString("/D%1.doc").arg(i, 2, 10, QChar('0')));
        QCOMPARE(bytes, was_failed ? (i % 4 ? QByteArray() : content(i, false)) : content(i, true));
    }
    QCOMPARE(Read_File(f.Dst(k_info)), old_record);
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(f.watcher.boxes[0].message,
             "Some files could not be updated, and the information file could not be written.");
    QVERIFY(f.watcher.boxes[0].detail.endsWith(
        "\n/" + k_info + ": the file could not be written: No space left on device"));
    QVERIFY(f.Output().endsWith("ERR:  The information file could not be written.\n" +
                                QString(44, '-') + '\n'));
    QCOMPARE(TSyncFixture::Leftovers(f.destination.path()), QStringList());

    QVERIFY(mount.Resize("1m"));
    f.Sync();
    QCOMPARE(f.Updated(), QStringList(failed).replaceInStrings(QRegularExpression("\t.*"), ""));
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());
    QCOMPARE(f.watcher.Count(), 1);
}

// A full home folder: the source report says why it cannot write the
// reference list and leaves the previous one as it was; so does the
// settings store when the dialog closes.
void TestFileSystems::full_home()
{
    TSyncFixture f;
    TMount mount("tmpfs 64k", f.home.Settings_Folder());
    if (!mount.mounted)
        QSKIP(qPrintable(mount.skip));
    f.Set_Touch(QString(), QString());
    f.Open();
    QVERIFY(Make_File(f.Src("A.doc")));
    f.Button("d_source_report")->click();
    const QString list = f.home.Settings_Folder() + "/reference_list.xml";
    const QString settings = f.home.Settings_Folder() + "/Settings.ini";
    const QByteArray old_list = Read_File(list), old_settings = Read_File(settings);
    QVERIFY(old_list.contains("A.doc") && old_settings.contains("Destination"));

    for (int i = 0; i < 100; ++i)
        QVERIFY(Make_File(f.Src(QString("Procedures/QP-%1.doc").arg(i))));
    QVERIFY(Fill(f.home.Settings_Folder() + "/filler"));
    f.Button("d_source_report")->click();
    QCOMPARE(f.watcher.Count(), 1);
    const TShownBox shown = f.watcher.boxes[0];
    QCOMPARE(shown.heading + '|' + shown.message + '|' + shown.detail,
             "Write Error|Cannot write source file list.|ERR:  Cannot write file '" + list +
                 "'.  Reason: No space left on device");
    QVERIFY(
        f.Output().endsWith("ERR:  Source Report did not complete.\n" + QString(44, '-') + '\n'));
    QCOMPARE(Read_File(list), old_list);

    f.Field("d_destination")->setText(f.destination.path() + "/elsewhere");
    f.dialog->close();
    QCOMPARE(Read_File(settings), old_settings);
    QCOMPARE(QDir(f.home.Settings_Folder()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"filler", "reference_list.xml", "Settings.ini"}));
}

QTEST_MAIN(TestFileSystems)
#include "tst_filesystems.moc"
