#include "filedata.h"
#include "syncfixture.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

static const qint64 k_time = 1772543109;
static const QString k_info = "controlled document information.txt";
static const QStringList k_files = {"A.doc", "sub/B.doc", "sub/C.doc"};

static QByteArray Bytes(const QString& name, bool fresh = true)
{
    return fresh ? "new " + name.toUtf8() + QByteArray(5000, 'n') : "old " + name.toUtf8();
}

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void fault_data();
    void fault();
    void names();
    void large_reference_list();
};

void TestFaults::fault_data()
{
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QStringList>("failing"); // none: those still due when the fault strikes
    const QString copy = "the file could not be copied: ";
    const QString folder = "the destination folder could not be created";
    QTest::newRow("destination removed") << folder << QStringList();
    QTest::newRow("destination replaced by a file") << folder << QStringList();
    QTest::newRow("source deleted") << copy << QStringList();
    QTest::newRow("source unreadable") << copy << QStringList();
    QTest::newRow("destination file locked")
        << "the old copy could not be replaced: " << QStringList("sub/B.doc");
    QTest::newRow("destination folder locked") << copy << QStringList(k_files.mid(1));
    QTest::newRow("write fails part-way") << copy << k_files;
    QTest::newRow("touch fails") << "the touch program '%1' did not set the file time" << k_files;
    QTest::newRow("touch hangs") << "the touch program '%1' did not finish in time" << k_files;
}

// Each fault leaves every destination file old or new and whole, nothing
// temporary, one box and a true record; the next sync without it finishes.
void TestFaults::fault()
{
    const QString fault = QTest::currentDataTag();
    QFETCH(QString, reason);
    QFETCH(QStringList, failing);
    if (fault.startsWith("write") && !qEnvironmentVariableIsSet("TST_FAULTS_CHILD")) {
        // The file size limit holds for the whole process: this row runs in a child.
        qputenv("TST_FAULTS_CHILD", "1");
        QCOMPARE(QProcess::execute(QCoreApplication::applicationFilePath(), {"fault:" + fault}), 0);
        return;
    }
    QTemporaryDir tools;
    const QString touch = tools.filePath("touch.sh");
    QVERIFY(
        Make_File(touch, fault.endsWith("fails") ? "#!/bin/sh\nexit 3" : "#!/bin/sh\nsleep 60") &&
        QFile::setPermissions(touch, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    TSyncFixture f(fault.startsWith("touch") ? touch : QString());
    f.dialog->Set_Touch_Timeouts(30000, fault.endsWith("hangs") ? 200 : 30000);
    reason.replace("%1", touch);
    for (int i = 0; i < k_files.size(); ++i)
        QVERIFY(Make_File(f.Src(k_files[i]), Bytes(k_files[i]), k_time + i) &&
                Make_File(f.Dst(k_files[i]), Bytes(k_files[i], false), k_time - 100));

    // Root writes through permissions; the immutable flag stops root too.
    const QString locked =
        fault.endsWith("locked") ? f.Dst(fault.contains("file") ? "sub/B.doc" : "sub") : QString();
    const auto lock = [&](const char* flag) {
        return locked.isEmpty() || QProcess::execute("chattr", {flag, locked}) == 0;
    };
    const auto undo = qScopeGuard([&] { lock("-i"); });
    if (!lock("+i"))
        QSKIP("the immutable flag needs root, chattr and a file system that has it");

    // After the first copy. The destination is moved away, not deleted, so
    // that what it held can be checked.
    const bool moving = fault.startsWith("destination r");
    const bool between = failing.isEmpty();
    QTimer::singleShot(0, f.dialog.get(), [&] {
        for (const QString& name : k_files) {
            if (between && Read_File(f.Dst(name)) == Bytes(name, false))
                failing << name;
            if (fault.startsWith("source") && QFile::remove(f.Src(name)) && fault.endsWith("able"))
                QDir().mkdir(f.Src(name));
        }
        if (moving && QDir().rename(f.destination.path(), f.home.Path() + "/moved") &&
            fault.endsWith("a file"))
            Make_File(f.destination.path(), "not a folder");
    });
    // As on a full disk: a copy stops with EFBIG after its first 4 KB.
    rlimit saved, limit;
    getrlimit(RLIMIT_FSIZE, &saved);
    limit = {fault.startsWith("write") ? 4096 : saved.rlim_cur, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    f.Sync();
    setrlimit(RLIMIT_FSIZE, &saved);

    QVERIFY(!between || failing.size() == 2);
    QStringList expected, shown = f.watcher.boxes.value(0).detail.split('\n');
    for (const QString& name : k_files)
        expected << "/" + name + (failing.contains(name) ? "\tNOT UPDATED: " + reason : "");
    // The system's own words after some reasons are left out.
    const QRegularExpression words("(could not be (copied|replaced): ).*");
    shown.sort();
    QCOMPARE(f.Updated().replaceInStrings(words, "\\1"), expected);
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(shown.replaceInStrings(words, "\\1"),
             expected.filter("\tNOT").replaceInStrings("\tNOT UPDATED: ", ": "));
    QVERIFY(f.Usable());

    // Every file whole, old or new (and then with its time); nothing
    // temporary; the record true.
    const auto settled = [&](const QStringList& old, bool final) {
        for (int i = 0; i < k_files.size(); ++i) {
            QCOMPARE(Read_File(f.Dst(k_files[i])), Bytes(k_files[i], !old.contains(k_files[i])));
            QVERIFY(!final || File_Time(f.Dst(k_files[i])) == k_time + i);
        }
        QCOMPARE(Read_File(f.Dst(k_info)), final || !moving ? f.Output().toLatin1() : QByteArray());
        QCOMPARE(TSyncFixture::Leftovers(f.destination.path()), QStringList());
    };
    lock("-i");
    QVERIFY(!moving || (QFile::remove(f.destination.path()) == fault.endsWith("file") &&
                        QDir().rename(f.home.Path() + "/moved", f.destination.path())));
    settled(fault.startsWith("touch") ? QStringList() : failing, false);

    // The fault gone, the next sync does the rest.
    for (int i = 0; i < k_files.size(); ++i) {
        QDir().rmdir(f.Src(k_files[i]));
        QVERIFY(Make_File(f.Src(k_files[i]), Bytes(k_files[i]), k_time + i));
    }
    if (fault.startsWith("touch"))
        QVERIFY(Make_File(touch, "#!/bin/sh\nexec '" DORVANE_TOUCH_EXE "' \"$@\""));
    f.dialog->Set_Touch_Timeouts(30000, 30000);
    f.Sync();
    QCOMPARE(f.Updated(), failing.replaceInStrings(QRegularExpression("^"), "/"));
    settled({}, true);
}

// Awkward names arrive, and the next sync has nothing to do. The record
// takes its name in the destination: a controlled file of that name at the
// top would be overwritten by it, and is refused. A name that XML cannot
// carry stops the report with the writer's words, and the list from the last
// report stays as it was.
void TestFaults::names()
{
    // In the order the pane is compared in.
    const QStringList names = QString("/  two  blanks .doc |/\"double\" 'single' `back`.doc|"
                                      "/-t/--help|/%1.doc|/R&D <draft> & QA/a&amp;b.doc|"
                                      "/%2deep.doc|/\u041a\u043b\u044e\u0447 \u6587 \U0001F4C4.doc")
                                  .arg(QString(251, 'L'), QString("level/").repeated(50))
                                  .split('|');
    TSyncFixture f;
    for (const QString& name : names)
        QVERIFY(Make_File(f.Src(name.mid(1)), name.toUtf8(), k_time));
    f.Sync();
    QCOMPARE(f.Updated(), names);
    f.Sync(); // each copy is there, with its time
    QCOMPARE(f.Updated(), QStringList());

    QVERIFY(Make_File(f.Src(k_info), "x", k_time) &&
            Make_File(f.Src("sub/" + k_info), "x", k_time));
    f.Sync();
    const QString why = "the information file has that name";
    QCOMPARE(f.Updated(), QStringList({"/" + k_info + "\tNOT UPDATED: " + why, "/sub/" + k_info}));
    QCOMPARE(f.watcher.boxes.value(0).detail, "/" + k_info + ": " + why);

    const QByteArray before = Read_File(f.home.Settings_Folder() + "/reference_list.xml");
    QVERIFY(before.contains("a&amp;amp;b.doc") && Make_File(f.Src("bell\x01.doc")));
    f.Sync();
    QCOMPARE(f.watcher.boxes.value(1).detail,
             QString("ERR:  Cannot write node 'File' with data 'bell\x01.doc'"));
    QCOMPARE(Read_File(f.home.Settings_Folder() + "/reference_list.xml"), before);
}

// The whole list is held while it is read: a bound on the process's memory,
// not on time.
void TestFaults::large_reference_list()
{
    int count = 200000;
#ifdef __SANITIZE_ADDRESS__
    count = 20000; // every allocation is far slower there
#endif
    QTemporaryDir folder;
    QByteArray xml = "<File_Sync_Data File_Version=\"1\"><File_List>\n";
    for (int i = 0; i < count; ++i)
        xml += QString("<File Modified=\"%1\">%2/%1.doc</File>\n").arg(i).arg(i / 100).toUtf8();
    QVERIFY(Make_File(folder.filePath("list.xml"), xml + "</File_List></File_Sync_Data>\n"));
    TFileData data;
    QVERIFY2(data.Read_Reference_List(folder.path(), "list.xml"), qPrintable(data.d_error));
    QCOMPARE(data.d_reference_times.size(), count);
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    QVERIFY2(usage.ru_maxrss < 1024 * 1024, qPrintable(QString::number(usage.ru_maxrss))); // KB
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
