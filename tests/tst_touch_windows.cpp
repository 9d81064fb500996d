// touch.exe cross-built for Windows with mingw-w64 and run under Wine, started
// the way the dialog starts it there (see windows/launch.cpp). Wine takes its
// time zone from TZ (Europe/Berlin here); the launcher removes TZ from the
// Windows environment, as a workstation has none. As root, every case runs as
// nobody, so that permissions are really checked.

#include <QtTest>

#include <unistd.h>

// 2010-01-01 00:00:00 UTC: the time of each case's file before the run.
static const qint64 k_old_time = 1262304000;

// What one command wrote (stdout and stderr together) and its exit code.
struct TRun
{
    QString output;
    int exit_code = -1;
};

static qint64 File_Time(const QString& path)
{
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

class TTouchWindowsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir d_dir, d_tmpfs{"/dev/shm/tst_touch_windows-XXXXXX"}; // tmpfs holds 3001
    QString d_bin = d_dir.filePath("bin"),
            d_wine = QStandardPaths::findExecutable(
                "wine64", qEnvironmentVariable("PATH").split(':') << "/usr/lib/wine");

private slots:
    void initTestCase();
    void cleanupTestCase() { Run({d_wine.chopped(2) + "server", "-k"}, d_dir.path()); }

    void touchExeImportsOnlySystemDlls();
    void setsTheLocalTime_data();
    void setsTheLocalTime();
    void findsTheFile_data();
    void findsTheFile();
    void keepsAReadOnlyFileReadOnly();
    void refusesATimeTheFileSystemCannotHold();
    void refusesAndChangesNothing_data();
    void refusesAndChangesNothing();

private:
    // Given a FOLDER, the command runs there, as nobody when root.
    TRun Run(QStringList command, const QString& folder = QString())
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(folder);
        if (!folder.isEmpty() && geteuid() == 0)
            command =
                QStringList({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"}) +
                command;
        process.start(command.takeFirst(), command);
        process.waitForFinished(-1);
        return {QString::fromUtf8(process.readAll()),
                process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1};
    }
    // The command line "touch.exe LINE", and a TZ for the Windows environment.
    TRun Touch(const QTemporaryDir& folder, const QString& line, const QString& tz = QString())
    {
        return Run(QStringList({d_wine, d_bin + "/launch.exe", line}) +
                       (tz.isEmpty() ? QStringList() : QStringList(tz)),
                   folder.path());
    }
    // The case's folder, holding NAME dated k_old_time, handed to nobody.
    bool Make_Case(const QTemporaryDir& folder, const QString& name = "f")
    {
        QFile file(folder.filePath(name));
        return QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly) &&
               file.setFileTime(QDateTime::fromSecsSinceEpoch(k_old_time),
                                QFileDevice::FileModificationTime) &&
               Hand_Over(folder.path());
    }
    bool Hand_Over(const QString& path)
    {
        return geteuid() != 0 || Run({"chown", "-R", "65534:65534", path}).exit_code == 0;
    }
};

// Built as the README tells a user to, with every warning an error, and the
// launcher by the same toolchain file, whichever compiler it names; then
// both alone in a folder, with no runtime DLLs beside them.
void TTouchWindowsTest::initTestCase()
{
    if ((QStandardPaths::findExecutable("x86_64-w64-mingw32-g++").isEmpty() &&
         QStandardPaths::findExecutable("x86_64-w64-mingw32-g++-posix").isEmpty()) ||
        d_wine.isEmpty())
        QSKIP("needs g++-mingw-w64-x86-64 and wine64");
    const QString build = DORVANE_BINARY_DIR "/touch-windows";
    const TRun built = Run({"sh", "-c",
                            QString("t=-DCMAKE_TOOLCHAIN_FILE=%1/cmake/mingw-w64-x86_64.cmake && "
                                    "cmake -S %1/tools/touch -B %2/touch -DDORVANE_WERROR=ON $t && "
                                    "cmake --build %2/touch && "
                                    "cmake -S %1/tests/windows -B %2/launch $t && "
                                    "cmake --build %2/launch")
                                .arg(DORVANE_SOURCE_DIR, build)});
    QVERIFY2(built.exit_code == 0, qPrintable(built.output));
    QVERIFY(QDir().mkpath(d_bin) && QFile::copy(build + "/touch/touch.exe", d_bin + "/touch.exe") &&
            QFile::copy(build + "/launch/launch.exe", d_bin + "/launch.exe"));
    QVERIFY(Hand_Over(d_dir.path()) && Hand_Over(d_tmpfs.path()));
    qputenv("HOME", d_dir.path().toUtf8());
    qputenv("WINEPREFIX", d_dir.filePath("prefix").toUtf8());
    qputenv("WINEDEBUG", "-all");
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("WINEDLLOVERRIDES", "mscoree,mshtml,winedbg.exe=");
    qputenv("TZ", "Europe/Berlin");
    // The first start makes the Wine prefix.
    QCOMPARE(Touch(d_dir, "-t").exit_code, 1);
}

// Statically linked, it runs on every Windows with nothing beside it.
void TTouchWindowsTest::touchExeImportsOnlySystemDlls()
{
    const QString dlls = "x86_64-w64-mingw32-objdump -p %1 | sed -n 's/.*DLL Name: //p' | sort";
    QCOMPARE(Run({"sh", "-c", dlls.arg(d_bin + "/touch.exe")}).output,
             QString("KERNEL32.dll\nSHELL32.dll\nmsvcrt.dll\n"));
}

// The date for "f" and the time it gets; where an hour occurs twice, in
// autumn, either second will do. A TZ in the Windows environment is read by
// the C runtime only: the Windows time zone decides.
void TTouchWindowsTest::setsTheLocalTime_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<bool>("hourTwice");
    QTest::addColumn<bool>("onTmpfs");
    QTest::addColumn<QString>("tz");
    const auto row = [](const char* tag, const char* date, qint64 seconds, bool hour_twice = false,
                        bool on_tmpfs = false, const QString& tz = QString()) {
        QTest::newRow(tag) << date << seconds << hour_twice << on_tmpfs << tz;
    };
    row("winter", "030513072017.09", 1488715629);
    row("summer", "070112002024.00", 1719828000);
    row("an hour that occurs twice", "102502302026.00", 1792888200, true);
    row("1969", "123123591969.59", -3601);
    row("1965", "011512001965.00", -156517200);
    row("3001 on tmpfs", "011512003001.00", 32536465200, false, true);
    row("TZ set", "070112002024.00", 1719828000, false, false, "EST5EDT");
}

void TTouchWindowsTest::setsTheLocalTime()
{
    QFETCH(QString, date);
    QFETCH(qint64, seconds);
    QFETCH(bool, hourTwice);
    QFETCH(bool, onTmpfs);
    QFETCH(QString, tz);
    QTemporaryDir folder((onTmpfs ? d_tmpfs : d_dir).filePath("case"));
    QVERIFY(Make_Case(folder));
    const TRun run = Touch(folder, "-t " + date + " f", tz);
    QCOMPARE(run.output, QString());
    QCOMPARE(run.exit_code, 0);
    if (!hourTwice || File_Time(folder.filePath("f")) != seconds + 3600)
        QCOMPARE(File_Time(folder.filePath("f")), seconds);
}

// The file below the case's folder, named as given (in quotes, as the
// dialog's process class quotes a blank) or as a Z: path, with "/" or "\".
void TTouchWindowsTest::findsTheFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("zPath");
    QTest::addColumn<bool>("backslashes");
    QTest::newRow("é, Ω, an emoji, & and blanks")
        << QString::fromUtf8("é Ω 😀 & x.doc") << false << false;
    QTest::newRow("a leading dash") << "-x.doc" << false << false;
    QTest::newRow("Z: path with backslashes") << "f" << true << true;
    QTest::newRow("Z: path over 300 characters")
        << QString(150, 'a') + '/' + QString(150, 'b') + "/f" << true << false;
}

void TTouchWindowsTest::findsTheFile()
{
    QFETCH(QString, name);
    QFETCH(bool, zPath);
    QFETCH(bool, backslashes);
    QTemporaryDir folder(d_dir.filePath("case"));
    QVERIFY(Make_Case(folder, name));
    QString argument = zPath ? "Z:" + folder.filePath(name) : name;
    if (backslashes)
        argument.replace('/', '\\');
    if (argument.contains(' '))
        argument = '"' + argument + '"';
    const TRun run = Touch(folder, "-t 030513072017.09 " + argument);
    QCOMPARE(run.output, QString());
    QCOMPARE(run.exit_code, 0);
    QCOMPARE(File_Time(folder.filePath(name)), qint64(1488715629));
}

void TTouchWindowsTest::keepsAReadOnlyFileReadOnly()
{
    QTemporaryDir folder(d_dir.filePath("case"));
    const QString path = folder.filePath("f");
    QVERIFY(Make_Case(folder) &&
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QFile::Permissions before = QFileInfo(path).permissions();
    const TRun run = Touch(folder, "-t 030513072017.09 f");
    QCOMPARE(run.output, QString());
    QCOMPARE(File_Time(path), qint64(1488715629));
    QCOMPARE(QFileInfo(path).permissions(), before);
}

// ext4 clamps 3001 to its own last second: the read-back must say so.
void TTouchWindowsTest::refusesATimeTheFileSystemCannotHold()
{
    QTemporaryDir folder(d_dir.filePath("case"));
    QVERIFY(Make_Case(folder));
    const TRun run = Touch(folder, "-t 011512003001.00 f");
    if (run.exit_code == 0 && File_Time(folder.filePath("f")) == 32536465200)
        QSKIP("this file system holds the year 3001");
    QCOMPARE(
        run.output,
        QString("touch: cannot set the time of 'f': the file system cannot hold that time\r\n"));
    QCOMPARE(run.exit_code, 1);
}

// The command line after "touch.exe", and the message without "touch: ".
void TTouchWindowsTest::refusesAndChangesNothing_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("no file") << "-t 030513072017.09"
                             << "usage: touch.exe -t MMddhhmmyyyy.ss FILE";
    QTest::newRow("a letter") << "-t 0305130a2017.09 f"
                              << "invalid date '0305130a2017.09': expected MMddhhmmyyyy.ss";
    QTest::newRow("an hour skipped in spring")
        << "-t 032902302026.00 f"
        << "invalid date '032902302026.00': no such local time";
    QTest::newRow("a missing file named with é, Ω and an emoji")
        << QString::fromUtf8("-t 030513072017.09 \"é Ω 😀 & gone\"")
        << QString::fromUtf8("cannot touch 'é Ω 😀 & gone': No such file or directory");
    QTest::newRow("a missing folder") << "-t 030513072017.09 gone/f"
                                      << "cannot touch 'gone/f': No such file or directory";
    QTest::newRow("a folder") << "-t 030513072017.09 ."
                              << "cannot touch '.': is a folder, not a file";
}

void TTouchWindowsTest::refusesAndChangesNothing()
{
    QFETCH(QString, line);
    QFETCH(QString, message);
    QTemporaryDir folder(d_dir.filePath("case"));
    QVERIFY(Make_Case(folder));
    const TRun run = Touch(folder, line);
    QCOMPARE(run.output, "touch: " + message + "\r\n");
    QCOMPARE(run.exit_code, 1);
    QCOMPARE(File_Time(folder.filePath("f")), k_old_time);
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList({"f"}));
}

QTEST_GUILESS_MAIN(TTouchWindowsTest)
#include "tst_touch_windows.moc"
