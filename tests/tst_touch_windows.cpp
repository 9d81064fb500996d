// touch.exe cross-built with mingw-w64 and run under Wine as the dialog starts
// it (windows/launch.cpp). Wine takes its time zone from TZ. As root, each run
// is nobody's, so that permissions are really checked.

#include "support/testsupport.h"

#include <QtTest>

#include <unistd.h>

// 2010-01-01 00:00:00 UTC: the time of "f" before each run.
static const qint64 k_old_time = 1262304000;

class TTouchWindowsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir d_dir;
    std::unique_ptr<QTemporaryDir> d_case;
    const QString d_bin = d_dir.filePath("bin");
    const QString d_wine = QStandardPaths::findExecutable(
        "wine64", qEnvironmentVariable("PATH").split(':') << "/usr/lib/wine");
    QString d_output;

private slots:
    void initTestCase();
    void cleanupTestCase() { Run({d_wine.chopped(2) + "server", "-k"}); }
    void init() { d_case.reset(new QTemporaryDir(d_dir.filePath("case"))); }

    void touchExeImportsOnlySystemDlls();
    void setsTheLocalTime_data();
    void setsTheLocalTime();
    void keepsAReadOnlyFileReadOnly();
    void refusesATimeTheFileSystemCannotHold();
    void refusesAndChangesNothing_data();
    void refusesAndChangesNothing();

private:
    // The exit code (-1: crashed); stdout and stderr together in d_output.
    int Run(QStringList command, const QString& folder = QString())
    {
        if (!folder.isEmpty() && geteuid() == 0)
            command =
                QStringList({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"}) +
                command;
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(folder);
        process.start(command.takeFirst(), command);
        process.waitForFinished(-1);
        d_output = QString::fromUtf8(process.readAll());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    // "touch.exe LINE" in the case's folder; the launcher removes TZ from the
    // Windows environment, as a workstation has none, unless one is given.
    int Touch(const QString& line, const QString& tz = QString())
    {
        return Run(QStringList({d_wine, d_bin + "/launch.exe", line}) +
                       (tz.isEmpty() ? QStringList() : QStringList(tz)),
                   d_case->path());
    }
    // NAME in the case's folder, dated k_old_time, handed to nobody.
    bool Make_Case(const QString& name = "f")
    {
        return Make_File(d_case->filePath(name), "x", k_old_time) && Hand_Over(d_case->path());
    }
    bool Hand_Over(const QString& path)
    {
        return geteuid() != 0 || Run({"chown", "-R", "65534:65534", path}) == 0;
    }
    qint64 File_Time(const QString& name) { return ::File_Time(d_case->filePath(name)); }
};

// Built as the README tells a user to, with every warning an error, and the
// launcher by the same toolchain file; both alone in a folder, with no
// runtime DLLs beside them.
void TTouchWindowsTest::initTestCase()
{
    if (d_wine.isEmpty() ||
        QStandardPaths::findExecutable("x86_64-w64-mingw32-g++-posix").isEmpty())
        QSKIP("needs g++-mingw-w64-x86-64 and wine64");
    const QString build = DORVANE_BINARY_DIR "/touch-windows";
    QVERIFY2(Run({"sh", "-c",
                  QString("t=-DCMAKE_TOOLCHAIN_FILE=%1/cmake/mingw-w64-x86_64.cmake && "
                          "cmake -S %1/tools/touch -B %2/touch -DDORVANE_WERROR=ON $t && "
                          "cmake --build %2/touch && "
                          "cmake -S %1/tests/windows -B %2/launch $t && "
                          "cmake --build %2/launch")
                      .arg(DORVANE_SOURCE_DIR, build)}) == 0,
             qPrintable(d_output));
    QVERIFY(QDir().mkpath(d_bin) && QFile::copy(build + "/touch/touch.exe", d_bin + "/touch.exe") &&
            QFile::copy(build + "/launch/launch.exe", d_bin + "/launch.exe"));
    QVERIFY(Hand_Over(d_dir.path()));
    qputenv("HOME", d_dir.path().toUtf8());
    qputenv("WINEPREFIX", d_dir.filePath("prefix").toUtf8());
    qputenv("WINEDEBUG", "-all");
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("WINEDLLOVERRIDES", "mscoree,mshtml,winedbg.exe=");
    qputenv("TZ", "Europe/Berlin");
    // The first start makes the Wine prefix.
    init();
    QCOMPARE(Touch("-t"), 1);
}

// Statically linked, it runs on every Windows with nothing beside it.
void TTouchWindowsTest::touchExeImportsOnlySystemDlls()
{
    const QString dlls = "x86_64-w64-mingw32-objdump -p %1 | sed -n 's/.*DLL Name: //p' | sort";
    Run({"sh", "-c", dlls.arg(d_bin + "/touch.exe")});
    QCOMPARE(d_output, QString("KERNEL32.dll\nSHELL32.dll\nmsvcrt.dll\n"));
}

// A TZ in the Windows environment must not count. The file is named relative
// (quoted for the blank) or by a Z: path with "\", as the dialog names it.
void TTouchWindowsTest::setsTheLocalTime_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("tz");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("zPath");
    QTest::newRow("summer, TZ set") << "070112002024.00" << qint64(1719828000) << "EST5EDT"
                                    << "f" << false;
    QTest::newRow("winter, é, Ω, an emoji, & and blanks")
        << "030513072017.09" << qint64(1488715629) << QString()
        << QString::fromUtf8("é Ω 😀 & x.doc") << false;
    QTest::newRow("winter, Z: path over 300 characters")
        << "030513072017.09" << qint64(1488715629) << QString()
        << QString(150, 'a') + '/' + QString(150, 'b') + "/f" << true;
}

void TTouchWindowsTest::setsTheLocalTime()
{
    QFETCH(QString, date);
    QFETCH(qint64, seconds);
    QFETCH(QString, tz);
    QFETCH(QString, name);
    QFETCH(bool, zPath);
    QVERIFY(Make_Case(name));
    QString argument = zPath ? QString("Z:" + d_case->filePath(name)).replace('/', '\\') : name;
    if (argument.contains(' '))
        argument = '"' + argument + '"';
    QCOMPARE(Touch("-t " + date + " " + argument, tz), 0);
    QCOMPARE(d_output, QString());
    QCOMPARE(File_Time(name), seconds);
}

void TTouchWindowsTest::keepsAReadOnlyFileReadOnly()
{
    const QString path = d_case->filePath("f");
    QVERIFY(Make_Case() &&
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QFile::Permissions before = QFile::permissions(path);
    QCOMPARE(Touch("-t 030513072017.09 f"), 0);
    QCOMPARE(File_Time("f"), qint64(1488715629));
    QCOMPARE(QFile::permissions(path), before);
}

// ext4 clamps the year 3001 to its own last second: the read-back must say so.
void TTouchWindowsTest::refusesATimeTheFileSystemCannotHold()
{
    QVERIFY(Make_Case());
    const int exit_code = Touch("-t 011512003001.00 f");
    if (exit_code == 0 && File_Time("f") == 32536465200)
        QSKIP("this file system holds the year 3001");
    QCOMPARE(d_output, QString("touch: cannot set the time of 'f': the file system cannot hold "
                               "that time\r\n"));
    QCOMPARE(exit_code, 1);
}

// The command line after "touch.exe", and the message without "touch: ", where
// the Windows build has a way of its own to tell.
void TTouchWindowsTest::refusesAndChangesNothing_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("an hour skipped in spring")
        << "-t 032902302026.00 f"
        << "invalid date '032902302026.00': no such local time";
    QTest::newRow("a missing file named with é, Ω and an emoji")
        << QString::fromUtf8("-t 030513072017.09 \"é Ω 😀 & gone\"")
        << QString::fromUtf8("cannot touch 'é Ω 😀 & gone': No such file or directory");
    QTest::newRow("a folder") << "-t 030513072017.09 ."
                              << "cannot touch '.': is a folder, not a file";
}

void TTouchWindowsTest::refusesAndChangesNothing()
{
    QFETCH(QString, line);
    QFETCH(QString, message);
    QVERIFY(Make_Case());
    QCOMPARE(Touch(line), 1);
    QCOMPARE(d_output, "touch: " + message + "\r\n");
    QCOMPARE(File_Time("f"), k_old_time);
    QCOMPARE(QDir(d_case->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList({"f"}));
}

QTEST_GUILESS_MAIN(TTouchWindowsTest)
#include "tst_touch_windows.moc"
