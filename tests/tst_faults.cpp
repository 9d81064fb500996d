#include "syncfixture.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

static const qint64 k_time = 1772543109;
static const QString k_info = "controlled document information.txt";
static const QStringList k_files = {"A.doc", "sub/B.doc", "sub/C.doc"};

static QByteArray New_Bytes(const QString& name)
{
    return "new " + name.toUtf8() + QByteArray(5000, 'n');
}

static QByteArray Old_Bytes(const QString& name)
{
    return "old " + name.toUtf8();
}

// Root writes through permissions; the immutable flag stops root too.
static bool Set_Immutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

// Undoes locks whatever the outcome, so that the temporary folders can go.
struct TLocks
{
    QStringList immutable;
    QStringList read_only;
    void Release()
    {
        for (const QString& path : qAsConst(immutable))
            Set_Immutable(path, false);
        for (const QString& path : qAsConst(read_only))
            QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner);
        immutable.clear();
        read_only.clear();
    }
    ~TLocks() { Release(); }
};

// A reason ending in a blank is followed by the system's own words: the
// lines are compared up to there.
static QStringList Cut(QStringList lines, const QString& reason)
{
    if (reason.endsWith(' '))
        for (QString& line : lines)
            if (line.contains(reason))
                line.truncate(line.indexOf(reason) + reason.size());
    return lines;
}

static bool Make_Script(const QString& path, const QByteArray& body)
{
    return Make_File(path, "#!/bin/sh\n" + body + "\n") &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void fault_data();
    void fault();
    void write_fails_part_way();
};

void TestFaults::fault_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("between"); // done after the first copied file, else before the sync
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QStringList>("failing"); // for faults done before; else the files still due
    const QString replace = "the old copy could not be replaced: ";
    const QString copy = "the file could not be copied: ";
    const QString folder = "the destination folder could not be created";
    const QStringList all = {"/A.doc", "/sub/B.doc", "/sub/C.doc"};
    QTest::newRow("destination removed") << "removed" << true << folder << QStringList();
    QTest::newRow("destination replaced by a file") << "file" << true << folder << QStringList();
    QTest::newRow("source deleted") << "deleted" << true << copy << QStringList();
    QTest::newRow("source unreadable") << "unreadable" << true << copy << QStringList();
    QTest::newRow("destination file locked")
        << "locked file" << false << replace << QStringList("/sub/B.doc");
    QTest::newRow("destination folder locked")
        << "locked folder" << false << copy << QStringList({"/sub/B.doc", "/sub/C.doc"});
    QTest::newRow("touch fails") << "touch fails" << false
                                 << "the touch program '%1' did not set the file time" << all;
    QTest::newRow("touch hangs") << "touch hangs" << false
                                 << "the touch program '%1' did not finish in time" << all;
}

// Each fault leaves every destination file old or new and whole, nothing
// temporary, one box and a true record; the next sync without it finishes.
void TestFaults::fault()
{
    QFETCH(QString, fault);
    QFETCH(bool, between);
    QFETCH(QString, reason);
    QFETCH(QStringList, failing);

    QTemporaryDir tools;
    const QString touch = tools.filePath("touch.sh");
    if (fault == "touch fails")
        QVERIFY(Make_Script(touch, "exit 3"));
    if (fault == "touch hangs")
        QVERIFY(Make_Script(touch, "exec sleep 60"));
    TSyncFixture f(fault.startsWith("touch") ? touch : QString(), "MMddhhmmyyyy.ss");
    f.dialog->Set_Touch_Timeouts(30000, 200);
    reason = reason.arg(touch);
    for (int i = 0; i < k_files.size(); ++i) {
        QVERIFY(Make_File(f.Src(k_files[i]), New_Bytes(k_files[i]), k_time + i));
        QVERIFY(Make_File(f.Dst(k_files[i]), Old_Bytes(k_files[i]), k_time - 100));
    }
    QVERIFY(Make_File(f.Dst("only here.txt"), "mine", 1000));
    const QString moved = f.destination.path() + ".moved";

    TLocks locks;
    if (fault == "locked file" || (fault == "locked folder" && geteuid() == 0)) {
        const QString path = f.Dst(fault == "locked file" ? "sub/B.doc" : "sub");
        if (!Set_Immutable(path, true))
            QSKIP("the immutable flag cannot be set here (needs root and a file system with it)");
        locks.immutable << path;
    } else if (fault == "locked folder") {
        QVERIFY(QFile::setPermissions(f.Dst("sub"), QFile::ReadOwner | QFile::ExeOwner));
        locks.read_only << f.Dst("sub");
    }

    QStringList due;
    if (between) {
        QTimer::singleShot(0, f.dialog.get(), [&] {
            for (const QString& name : k_files)
                if (Read_File(f.Dst(name)) == Old_Bytes(name))
                    due << "/" + name;
            for (const QString& name : due) {
                if (fault == "deleted" || fault == "unreadable")
                    QFile::remove(f.Src(name.mid(1)));
                if (fault == "unreadable")
                    QDir().mkdir(f.Src(name.mid(1)));
            }
            if (fault == "removed")
                QDir(f.destination.path()).removeRecursively();
            if (fault == "file") {
                QDir().rename(f.destination.path(), moved);
                Make_File(f.destination.path(), "not a folder");
            }
        });
    }

    f.Sync();
    if (between) {
        QCOMPARE(due.size(), 2);
        failing = due;
    }
    QStringList expected, detail;
    for (const QString& name : k_files) {
        const QString line = "/" + name;
        expected << (failing.contains(line) ? line + "\tNOT UPDATED: " + reason : line);
        if (failing.contains(line))
            detail << line + ": " + reason;
    }
    QCOMPARE(Cut(f.Updated(), reason), expected);
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(f.watcher.boxes[0].heading, QString("Sync Error"));
    QCOMPARE(f.watcher.boxes[0].message, QString("Some files could not be updated."));
    QStringList shown = f.watcher.boxes[0].detail.split('\n');
    shown.sort();
    QCOMPARE(Cut(shown, reason), detail);
    QVERIFY(f.Output().endsWith("\n\nERR:  Update did not complete.\n" + QString(44, '-') + '\n'));
    QVERIFY(f.Usable());
    locks.Release();

    // What the test itself did not take away is there, old or new and whole.
    if (fault == "file") {
        QCOMPARE(Read_File(f.destination.path()), QByteArray("not a folder"));
        QVERIFY(QFile::remove(f.destination.path()));
        QVERIFY(QDir().rename(moved, f.destination.path()));
    }
    if (fault == "removed") {
        QVERIFY(!QFileInfo::exists(f.destination.path()));
        QVERIFY(QDir().mkdir(f.destination.path()));
    } else {
        for (const QString& name : k_files) {
            const QByteArray bytes = Read_File(f.Dst(name));
            QVERIFY2(bytes == (failing.contains("/" + name) && !fault.startsWith("touch")
                                   ? Old_Bytes(name)
                                   : New_Bytes(name)),
                     qPrintable(name));
        }
        QCOMPARE(Read_File(f.Dst("only here.txt")), QByteArray("mine"));
        if (fault != "file")
            QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());
    }
    QCOMPARE(TSyncFixture::Leftovers(f.destination.path()), QStringList());

    // The fault gone, the next sync does the rest.
    if (fault == "deleted" || fault == "unreadable") {
        for (const QString& name : due) {
            QDir().rmdir(f.Src(name.mid(1)));
            QVERIFY(Make_File(f.Src(name.mid(1)), New_Bytes(name.mid(1)),
                              k_time + k_files.indexOf(name.mid(1))));
        }
    }
    if (fault.startsWith("touch")) {
        f.Set_Touch(QString(), QString());
        f.Open();
    }
    f.Sync();
    QCOMPARE(f.watcher.Count(), 1);
    QVERIFY2(!f.Output().contains("ERR:"), qPrintable(f.Output()));
    QStringList redone = failing;
    if (fault == "removed")
        redone = QStringList({"/A.doc", "/sub/B.doc", "/sub/C.doc"});
    QCOMPARE(f.Updated(), redone);
    for (int i = 0; i < k_files.size(); ++i) {
        QCOMPARE(Read_File(f.Dst(k_files[i])), New_Bytes(k_files[i]));
        QCOMPARE(File_Time(f.Dst(k_files[i])), k_time + i);
    }
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());
    QCOMPARE(TSyncFixture::Leftovers(f.destination.path()), QStringList());
}

// A sync in a child process whose files may not grow past a limit, as on a
// full disk: every write beyond it fails with EFBIG. It prints what it showed.
static int Run_Limited_Sync(const QStringList& args)
{
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = args[2].toULongLong();
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 2;
    std::signal(SIGXFSZ, SIG_IGN);
    qputenv("HOME", args[3].toLocal8Bit());
    int argc = 1;
    char name[] = "tst_faults";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    TBoxWatcher watcher;
    TDorvane dialog;
    dialog.findChild<QLineEdit*>("d_source")->setText(args[4]);
    dialog.findChild<QLineEdit*>("d_destination")->setText(args[5]);
    dialog.findChild<QPushButton*>("d_sync")->click();
    QJsonArray boxes;
    for (const TShownBox& box : watcher.boxes)
        boxes.append(QJsonArray({box.heading, box.message, box.detail}));
    const QJsonObject result{
        {"boxes", boxes}, {"output", dialog.findChild<QPlainTextEdit*>("d_output")->toPlainText()}};
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    out.write(QJsonDocument(result).toJson());
    return 0;
}

void TestFaults::write_fails_part_way()
{
    TSyncFixture f;
    const QByteArray big(1 << 20, 'n');
    QVERIFY(Make_File(f.Src("big.doc"), big, k_time));
    QVERIFY(Make_File(f.Src("small.doc"), "small", k_time));
    QVERIFY(Make_File(f.Dst("big.doc"), QByteArray(1 << 20, 'o'), k_time - 100));

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {"--limited-sync", QString::number(256 * 1024), f.home.Path(), f.source.path(),
                 f.destination.path()});
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitCode(), 0);
    const QJsonObject result = QJsonDocument::fromJson(child.readAllStandardOutput()).object();
    const QJsonArray boxes = result["boxes"].toArray();
    QCOMPARE(boxes.size(), 1);
    const QString reason = "/big.doc: the file could not be copied: ";
    QCOMPARE(boxes[0].toArray()[1].toString(), QString("Some files could not be updated."));
    QVERIFY(boxes[0].toArray()[2].toString().startsWith(reason));
    const QString output = result["output"].toString();
    QVERIFY(output.contains("\t/big.doc\tNOT UPDATED: the file could not be copied: "));
    QVERIFY(output.contains("\t/small.doc\n"));
    QCOMPARE(Read_File(f.Dst("big.doc")), QByteArray(1 << 20, 'o'));
    QCOMPARE(Read_File(f.Dst("small.doc")), QByteArray("small"));
    QCOMPARE(Read_File(f.Dst(k_info)), output.toLatin1());
    QCOMPARE(TSyncFixture::Leftovers(f.destination.path()), QStringList());

    f.Sync();
    QCOMPARE(f.watcher.Count(), 0);
    QCOMPARE(f.Updated(), QStringList("/big.doc"));
    QCOMPARE(Read_File(f.Dst("big.doc")), big);
    QCOMPARE(File_Time(f.Dst("big.doc")), k_time);
}

int main(int argc, char** argv)
{
    const QStringList args = [&] {
        QStringList list;
        for (int i = 0; i < argc; ++i)
            list << QString::fromLocal8Bit(argv[i]);
        return list;
    }();
    if (args.size() == 6 && args[1] == "--limited-sync")
        return Run_Limited_Sync(args);
    QApplication app(argc, argv);
    TestFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
