#include "filedata.h"
#include "syncfixture.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

static const qint64 k_time = 1772543109;
static const QString k_info = "controlled document information.txt";
static const QStringList k_files = {"A.doc", "sub/B.doc", "sub/C.doc"};

static const auto Bytes = [](const QString& name, bool fresh = true) {
    return fresh ? "new " + name.toUtf8() + QByteArray(5000, 'n') : "old " + name.toUtf8();
};

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
    QTest::addColumn<int>("first");        // the files from this one on are not updated
    QTest::addColumn<QString>("at_first"); // the first one's reason, when it has another
    const QString copy = "the file could not be copied: ";
    const QString folder = "the destination folder could not be created";
    // Most faults strike after the first file is done. The second is copied by
    // then, while the first one's touch program ran, and touched afterwards.
    const QString untouched = "the touch program 'touch.exe' did not set the file time";
    QTest::newRow("destination removed") << folder << 1 << untouched;
    QTest::newRow("destination replaced by a file") << folder << 1 << untouched;
    QTest::newRow("source deleted") << copy << 2 << QString();
    QTest::newRow("source unreadable") << copy << 2 << QString();
    QTest::newRow("destination file locked")
        << "the old copy could not be replaced: " << 2 << QString();
    QTest::newRow("destination folder locked") << copy << 1 << QString();
    QTest::newRow("write fails part-way") << copy << 0 << QString();
    QTest::newRow("touch fails") << "the touch program '%1' did not set the file time" << 0
                                 << QString();
    QTest::newRow("touch hangs") << "the touch program '%1' did not finish in time" << 0
                                 << QString();
}

// Each fault leaves every destination file old or new and whole, nothing
// temporary, one box and a usable dialog; the next sync without it finishes.
void TestFaults::fault()
{
    const QString fault = QTest::currentDataTag();
    QFETCH(QString, reason);
    QFETCH(int, first);
    QFETCH(QString, at_first);
    if (fault.startsWith("write") && !QCoreApplication::arguments().contains("fault:" + fault)) {
        // The file size limit holds for the whole process: this row runs in a child.
        QCOMPARE(QProcess::execute(QCoreApplication::applicationFilePath(), {"fault:" + fault}), 0);
        return;
    }
    QTemporaryDir tools;
    const QString touch = tools.filePath("touch.sh");
    QVERIFY(Make_File(touch, fault.endsWith("fails") ? "#!/bin/sh\nfalse" : "#!/bin/sh\nsleep 9") &&
            QFile::setPermissions(touch, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    TSyncFixture f(fault.startsWith("touch") ? touch : QString());
    f.dialog->Set_Touch_Timeouts(30000, fault.endsWith("hangs") ? 200 : 30000);
    for (int i = 0; i < k_files.size(); ++i)
        QVERIFY(Make_File(f.Src(k_files[i]), Bytes(k_files[i]), k_time + i) &&
                Make_File(f.Dst(k_files[i]), Bytes(k_files[i], false), k_time - 100));

    // Root writes through permissions; the immutable flag stops root too.
    const QString locked = f.Dst(fault.contains("file locked") ? "sub/C.doc" : "sub");
    if (fault.endsWith("locked") && QProcess::execute("chattr", {"+i", locked}) != 0)
        QSKIP("the immutable flag needs root, chattr and a file system that has it");

    // After the first copy a folder goes away, and a file may take its place.
    // It is moved aside, not deleted, so that what it held can be checked and put back.
    const QString moved = fault.startsWith("source")          ? f.Src("sub")
                          : fault.startsWith("destination r") ? f.destination.path()
                                                              : QString();
    const bool replaced = fault.endsWith("a file") || fault.endsWith("unreadable");
    QTimer::singleShot(0, f.dialog.get(), [&] {
        if (!moved.isEmpty() && QDir().rename(moved, moved + "~") && replaced)
            Make_File(moved, "not a folder");
    });
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_IGN);
    const QRegularExpression words("(could not be (copied|replaced): ).*");
    // The fault strikes in the first sync; the second, without it, does the rest.
    for (const bool final : {false, true}) {
        // As on a full disk: a copy stops with EFBIG after its first 4 KB.
        const rlimit limit = {!final && fault.startsWith("write") ? 4096 : saved.rlim_cur,
                              saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        f.Sync();
        setrlimit(RLIMIT_FSIZE, &saved);
        // Unlocked (a no-op where nothing was locked) before anything can return.
        QProcess::execute("chattr", {"-f", "-i", locked});
        QVERIFY(final || moved.isEmpty() ||
                (QFile::remove(moved) == replaced && QDir().rename(moved + "~", moved)));

        // The pane (without the system's own words after some reasons, and with
        // %1 for the script), one box in all, every file whole, old or new,
        // nothing temporary.
        // A file whose touch program failed holds its new copy all the same.
        QStringList listed, fresh;
        for (int i = 0; i < k_files.size(); ++i) {
            const QString why = i == first && !at_first.isEmpty() ? at_first : reason;
            if (final ? i >= first : true)
                listed << "/" + k_files[i] + (!final && i >= first ? "\tNOT UPDATED: " + why : "");
            fresh << (i < first || final || why.startsWith("the touch") ? "new" : "old");
        }
        QCOMPARE(f.Updated().replaceInStrings(words, "\\1").replaceInStrings(touch, "%1"), listed);
        QVERIFY(f.watcher.Count() == 1 && f.Usable());
        for (int i = 0; i < k_files.size(); ++i)
            QCOMPARE(Read_File(f.Dst(k_files[i])), Bytes(k_files[i], fresh[i] == "new"));
        QCOMPARE(TSyncFixture::Leftovers(f.destination.path()), QStringList());
        QVERIFY(Make_File(touch, "#!/bin/sh\nexec '" DORVANE_TOUCH_EXE "' \"$@\""));
        f.dialog->Set_Touch_Timeouts(30000, 30000);
    }
}

// Awkward names arrive, and the next sync has nothing to do. The record
// takes its name in the destination: a controlled file of that name at the
// top would be overwritten by it, and is refused.
void TestFaults::names()
{
    // Sorted, as the pane is compared.
    QStringList names = QString("/  two  blanks .doc |/\"double\" 'single' `back`.doc|/-t/--help|"
                                "/%1.doc|/R&D <draft> & QA/a&amp;b.doc|/%3|/%2deep.doc|/sub/%3|"
                                "/\u041a\u043b\u044e\u0447 \u6587 \U0001F4C4.doc")
                            .arg(QString(251, 'L'), QString("level/").repeated(50), k_info)
                            .split('|');
    TSyncFixture f;
    for (const QString& name : names)
        QVERIFY(Make_File(f.Src(name.mid(1)), name.toUtf8(), k_time));
    f.Sync();
    names[names.indexOf("/" + k_info)] += "\tNOT UPDATED: the information file has that name";
    QCOMPARE(f.Updated(), names);
    f.Sync(); // each copy is there, with its time
    QCOMPARE(f.Updated(), names.filter("\tNOT"));
}

// The whole list is held while it is read: a bound on the process's memory,
// not on time.
void TestFaults::large_reference_list()
{
    int count = 200000;
#ifdef __SANITIZE_ADDRESS__
    count = 20000; // every allocation is far slower there
#endif
    QTemporaryDir dir;
    QByteArray xml = "<File_Sync_Data File_Version=\"1\"><File_List>\n";
    for (int i = 0; i < count; ++i)
        xml += QString("<File Modified=\"%1\">%2/%1.doc</File>\n").arg(i).arg(i / 100).toUtf8();
    QVERIFY(Make_File(dir.filePath("list.xml"), xml + "</File_List></File_Sync_Data>\n"));
    TFileData data;
    QVERIFY2(data.Read_Reference_List(dir.path(), "list.xml"), qPrintable(data.d_error));
    QCOMPARE(data.d_reference_times.size(), count);
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    QVERIFY2(usage.ru_maxrss < 1024 * 1024, qPrintable(QString::number(usage.ru_maxrss))); // KB
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
