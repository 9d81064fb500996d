#include "syncfixture.h"

#include <QtTest>

#include <unistd.h>

static const QString k_rule = QString(44, '-') + '\n';
static const char* const k_cannot =
    "cannot mount: needs root, /dev/fuse, dosfstools, fusefat, ntfs-3g";

// A small file system of its own, mounted on a folder for one test and
// unmounted with the object, also when the test fails. Kinds: "tmpfs SIZE",
// "vfat" and "ntfs" (images in a temporary folder, through FUSE).
struct TMount
{
    QTemporaryDir images;
    QString point, kind;
    bool mounted;

    static bool Run(const QString& program, const QStringList& arguments)
    {
        return QProcess::execute(program, arguments) == 0;
    }
    TMount(const QString& kind_size, const QString& folder)
        : point(folder), kind(kind_size.section(' ', 0, 0))
    {
        const QString image = images.filePath("image");
        mounted =
            geteuid() == 0 &&
            (kind == "tmpfs" ? Run("mount", {"-t", "tmpfs", "-o",
                                             "size=" + kind_size.section(' ', 1), "tmpfs", point})
             : kind == "vfat"
                 ? Run("mkfs.vfat", {"-C", image, "8192"}) &&
                       Run("fusefat", {"-o", "rw+", image, point})
                 : Run("truncate", {"-s", "16M", image}) && Run("mkfs.ntfs", {"-Q", "-F", image}) &&
                       Run("ntfs-3g", {image, point}));
    }
    ~TMount()
    {
        if (mounted)
            Run(kind == "tmpfs" ? "umount" : "fusermount", {kind == "tmpfs" ? "-l" : "-uz", point});
    }
};

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
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("FAT") << "vfat" << QStringList({"A.doc", "Quality/QP-01 Rev B.doc"});
    QTest::newRow("NTFS") << "ntfs"
                          << QStringList(
                                 {"A.doc", "\u03a9/\u6587 \U0001F4C4.doc", "caf\u00e9.doc"});
}

// Every file arrives whole with an odd second for its time, which FAT keeps
// as an even one in local time and its driver may read an hour off: the next
// sync, by the time rule, finds nothing to do, and nothing temporary stays.
void TestFileSystems::real()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, names);
    TSyncFixture f;
    TMount mount(kind, f.destination.path());
    if (!mount.mounted)
        QSKIP(k_cannot);
    QMap<QString, QByteArray> tree;
    for (const QString& name : names)
        QVERIFY(Make_File(f.Src(name), tree[name] = name.toUtf8().repeated(2000), k_doc_time));
    f.Sync();
    names.replaceInStrings(QRegularExpression("^"), "/").sort();
    QCOMPARE(f.Updated(), names);
    f.Sync();
    QCOMPARE(f.Updated(), QStringList());
    QCOMPARE(f.Boxes(), QString());
    tree[k_record] = f.Output().replace("\U0001F4C4", "?").toLatin1();
    QCOMPARE(f.Tree(), tree);
}

// A full destination (the disk fills during the copy stage), then a full
// home folder. The files that fit are updated, the rest keep their old
// copies and say why, the old record stays whole, and the next sync with
// space completes the work. The source report, in a full home, leaves the
// previous reference list as it was; so does the settings store on closing.
void TestFileSystems::full()
{
    TSyncFixture f;
    TMount destination("tmpfs 100k", f.destination.path()),
        home("tmpfs 64k", f.home.Settings_Folder());
    if (!destination.mounted || !home.mounted)
        QSKIP(k_cannot);
    f.Open();
    const QByteArray old_record = QByteArray(1620, 'r');
    QVERIFY(Make_File(f.Dst(k_record), old_record));
    const auto content = [](int i, bool fresh) {
        return QByteArray::number(i).leftJustified(fresh ? 4096 : 100, fresh ? 'n' : 'o');
    };
    // 40 files, every fourth with an old copy.
    for (int i = 10; i < 50; ++i)
        QVERIFY(
            Make_File(f.Src(QString("D%1.doc").arg(i)), content(i, true), k_doc_time) &&
            (i % 4 != 0 || Make_File(f.Dst(QString("D%1.doc").arg(i)), content(i, false), 1000)));
    f.Sync();
    const QStringList updated = f.Updated();
    const QString space = "the file could not be copied: No space left on device";
    const QStringList failed = updated.filter("\tNOT UPDATED: " + space);
    QVERIFY2(!failed.isEmpty() && failed.size() < updated.size() &&
                 updated.filter("\tNOT").size() == failed.size(),
             qPrintable(updated.join('\n')));
    QMap<QString, QByteArray> tree = {{k_record, old_record}};
    for (int i = 10; i < 50; ++i) {
        const QString name = QString("D%1.doc").arg(i);
        if (!failed.contains("/" + name + "\tNOT UPDATED: " + space) || i % 4 == 0)
            tree[name] = content(i, !failed.contains("/" + name + "\tNOT UPDATED: " + space));
    }
    QCOMPARE(f.Tree(), tree);
    QCOMPARE(f.Boxes(),
             "Sync Error|Some files could not be updated, and the information file could not be "
             "written.|" +
                 QStringList(failed).replaceInStrings("\tNOT UPDATED", "").join('\n') + "\n/" +
                 k_record + ": the file could not be written: No space left on device");
    QVERIFY(f.Output().endsWith("ERR:  The information file could not be written.\n" + k_rule));
    QVERIFY(QProcess::execute("mount", {"-o", "remount,size=1m", f.destination.path()}) == 0);
    f.Sync();
    QCOMPARE(f.Updated(), QStringList(failed).replaceInStrings(QRegularExpression("\t.*"), ""));
    QCOMPARE(Read_File(f.Dst(k_record)), f.Output().toLatin1());
    QCOMPARE(f.Boxes(), QString());

    const QString list = f.home.Settings_Folder() + "/reference_list.xml";
    const QString settings = f.home.Settings_Folder() + "/Settings.ini";
    const QByteArray old_list = Read_File(list), old_settings = Read_File(settings);
    QVERIFY(old_list.contains("D49.doc") && old_settings.contains("Destination"));
    for (int i = 0; i < 100; ++i)
        QVERIFY(Make_File(f.Src(QString("Procedures/QP-%1.doc").arg(i))));
    QVERIFY(!Make_File(f.home.Settings_Folder() + "/filler", QByteArray(1 << 17, 'f')));
    f.Button("d_source_report")->click();
    QCOMPARE(f.Boxes(), "Write Error|Cannot write source file list.|ERR:  Cannot write file '" +
                            list + "'.  Reason: No space left on device");
    QVERIFY(f.Output().endsWith("ERR:  Source Report did not complete.\n" + k_rule));
    QCOMPARE(Read_File(list), old_list);
    f.Field("d_destination")->setText(f.destination.path() + "/elsewhere");
    f.dialog->close();
    QCOMPARE(Read_File(settings), old_settings);
    QCOMPARE(QDir(f.home.Settings_Folder()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"filler", "reference_list.xml", "Settings.ini"}));
}

QTEST_MAIN(TestFileSystems)
#include "tst_filesystems.moc"
