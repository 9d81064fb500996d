#include "syncfixture.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void fault_data();
    void fault();
};

void TestFaults::fault_data()
{
    // The files from this one on are not updated, why, and why the first of them where that
    // differs. Most faults strike after the first file is done; the second is copied by then,
    // while the first one's touch program ran, and touched afterwards.
    QTest::addColumn<QString>("row");
    const QString gone = "1|the destination folder could not be created|the touch program '%1' "
                         "did not set the file time";
    QTest::newRow("destination removed") << gone;
    QTest::newRow("destination replaced by a file") << gone;
    QTest::newRow("source deleted") << "2|the file could not be copied: ";
    QTest::newRow("source unreadable") << "2|the file could not be copied: ";
    QTest::newRow("destination file locked") << "2|the old copy could not be replaced: ";
    QTest::newRow("destination folder locked") << "1|the file could not be copied: ";
    QTest::newRow("write fails part-way") << "0|the file could not be copied: ";
    QTest::newRow("touch fails") << "0|the touch program '%1' did not set the file time";
    QTest::newRow("touch hangs") << "0|the touch program '%1' did not finish in time";
}

// Each fault leaves every destination file old or new and whole, nothing
// temporary, a true record, one box and a usable dialog; the next sync
// without it finishes.
void TestFaults::fault()
{
    const QString tag = QTest::currentDataTag(), child = "fault:" + tag;
    QFETCH(QString, row);
    if (tag.startsWith("write") && !QCoreApplication::arguments().contains(child)) {
        // The file size limit holds for the whole process: this row runs in a child.
        QCOMPARE(QProcess::execute(QCoreApplication::applicationFilePath(), {child}), 0);
        return;
    }
    QTemporaryDir tools;
    const QString touch = tools.filePath("touch.sh");
    const QByteArray real = "#!/bin/sh\nexec '" DORVANE_TOUCH_EXE "' \"$@\"";
    QVERIFY(Make_File(touch, tag == "touch fails"   ? "#!/bin/sh\nfalse"
                             : tag == "touch hangs" ? "#!/bin/sh\nsleep 9"
                                                    : real) &&
            QFile::setPermissions(touch, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    TSyncFixture f(touch);
    f.dialog->Set_Touch_Timeouts(30000, tag.endsWith("hangs") ? 200 : 30000);
    const QStringList files = {"A.doc", "sub/B.doc", "sub/C.doc"};
    for (int i = 0; i < 3; ++i)
        QVERIFY(Make_File(f.Src(files[i]), QByteArray(5000, 'n') + files[i].toUtf8(), k_doc_time) &&
                Make_File(f.Dst(files[i]), files[i].toUtf8(), k_doc_time - 100));
    // Root writes through permissions; the immutable flag stops root too.
    const QString locked = f.Dst(tag.contains("file locked") ? "sub/C.doc" : "sub");
    if (tag.endsWith("locked") && QProcess::execute("chattr", {"+i", locked}) != 0)
        QSKIP("the immutable flag needs root, chattr and a file system that has it");
    // After the first copy a folder goes away, and a file may take its place. It is moved
    // aside, not deleted, so that what it held can be checked and put back.
    const QString moved = tag.startsWith("source")          ? f.Src("sub")
                          : tag.startsWith("destination r") ? f.destination.path()
                                                            : "";
    const bool replaced = tag.endsWith("a file") || tag.endsWith("unreadable");
    QTimer::singleShot(0, f.dialog.get(), [&] {
        if (!moved.isEmpty() && QDir().rename(moved, moved + "~") && replaced)
            Make_File(moved, "not a folder");
    });
    // As on a full disk: a copy stops with EFBIG after its first 4 KB.
    rlimit saved, limit;
    getrlimit(RLIMIT_FSIZE, &saved);
    limit = {tag.startsWith("write") ? 4096 : saved.rlim_cur, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    // The fault strikes in the first sync; the second, without it, does the rest.
    for (const bool final : {false, true}) {
        setrlimit(RLIMIT_FSIZE, final ? &saved : &limit);
        f.Sync();
        setrlimit(RLIMIT_FSIZE, &saved);
        // Unlocked (a no-op where nothing was locked) before anything can return.
        QProcess::execute("chattr", {"-f", "-i", locked});
        QVERIFY(final || moved.isEmpty() ||
                (QFile::remove(moved) == replaced && QDir().rename(moved + "~", moved)));
        // The pane without the system's own words after some reasons, and with %1 for the
        // script. A file whose touch program failed holds its new copy all the same. A
        // destination that was gone has no record.
        QStringList listed;
        QMap<QString, QByteArray> tree;
        if (final || !tag.startsWith("destination r"))
            tree[k_record] = f.Output().toLatin1();
        for (int i = 0, first = row.section('|', 0, 0).toInt(); i < 3; ++i) {
            const QString why = row.section('|', i == first ? -1 : 1, i == first ? -1 : 1);
            const bool failed = !final && i >= first;
            if (!final || i >= first)
                listed << "/" + files[i] + (failed ? "\tNOT UPDATED: " + why : "");
            tree[files[i]] = QByteArray(failed && !why.startsWith("the touch") ? 0 : 5000, 'n') +
                             files[i].toUtf8();
        }
        const QRegularExpression words("(could not be (copied|replaced): ).*");
        QCOMPARE(f.Updated().replaceInStrings(words, "\\1").replaceInStrings(touch, "%1"), listed);
        QVERIFY(f.watcher.Count() == 1 && f.Usable() && Make_File(touch, real));
        QCOMPARE(f.Tree(), tree);
        f.dialog->Set_Touch_Timeouts(30000, 30000);
    }
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
