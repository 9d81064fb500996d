// touch.exe cross-built for Windows with mingw-w64 and run under Wine, started
// the way the dialog starts it there (see windows/launch.cpp). Wine takes its
// time zone from TZ (Europe/Berlin here); the launcher removes TZ from the
// Windows environment, as a workstation has none.

#include <QtTest>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

static const qint64 k_old = 1262304000; // 2010-01-01 00:00:00 UTC, every file's time at the start

class TTouchWindowsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir d_dir;
    QString d_bin, d_wine;
    QProcessEnvironment d_env;
    bool d_root = geteuid() == 0;
    bool d_mounted = false;
    int d_row = 0;

    struct TResult
    {
        int code = -1;
        QByteArray out, err;
    };

    // As root, Wine runs as nobody, so that permissions are really checked.
    TResult Run(const QString& program, const QStringList& arguments, const QString& folder = {},
                bool as_user = false)
    {
        QProcess process;
        process.setProcessEnvironment(d_env);
        process.setWorkingDirectory(folder.isEmpty() ? d_dir.path() : folder);
        if (as_user && d_root)
            process.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                                 "--", program} +
                                         arguments);
        else
            process.start(program, arguments);
        TResult result;
        if (process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit)
            result.code = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        if (result.code != 0 && !as_user)
            qWarning("%s: %s%s", qPrintable(program), result.out.constData(),
                     result.err.constData());
        return result;
    }
    static bool Set_Time(const QString& path)
    {
        const struct timeval times[2] = {{k_old, 0}, {k_old, 0}};
        return lutimes(QFile::encodeName(path).constData(), times) == 0;
    }
    static qint64 Time(const QString& path)
    {
        struct stat info;
        return stat(QFile::encodeName(path).constData(), &info) == 0 ? qint64(info.st_mtime) : -1;
    }
    // Whether this file system keeps a time, as touch.exe's read-back checks it.
    static bool Holds(const QString& folder, qint64 t)
    {
        const QByteArray probe = QFile::encodeName(folder + "/probe");
        const struct timeval times[2] = {{t, 0}, {t, 0}};
        QFile(probe).open(QIODevice::WriteOnly);
        const bool held = utimes(probe.constData(), times) == 0 && Time(probe) == t;
        QFile::remove(probe);
        return held;
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void Imports();
    void Touch_data();
    void Touch();
};

void TTouchWindowsTest::initTestCase()
{
    const QString compiler = QStandardPaths::findExecutable("x86_64-w64-mingw32-g++");
    d_wine = QStandardPaths::findExecutable("wine64");
    if (d_wine.isEmpty() && QFileInfo::exists("/usr/lib/wine/wine64"))
        d_wine = "/usr/lib/wine/wine64";
    if (compiler.isEmpty() || d_wine.isEmpty())
        QSKIP("needs g++-mingw-w64-x86-64 and wine64");
    if (d_root && QStandardPaths::findExecutable("setpriv").isEmpty())
        QSKIP("needs setpriv to run Wine as nobody");

    // Built as the README tells a user to, with every warning an error.
    const QString build = DORVANE_BINARY_DIR "/touch-windows";
    const QString source = DORVANE_SOURCE_DIR;
    d_env = QProcessEnvironment::systemEnvironment();
    QCOMPARE(Run("cmake", {"-S", source + "/tools/touch", "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                           "-DDORVANE_WERROR=ON",
                           "-DCMAKE_TOOLCHAIN_FILE=" + source + "/cmake/mingw-w64-x86_64.cmake"})
                 .code,
             0);
    QCOMPARE(Run("cmake", {"--build", build}).code, 0);
    QCOMPARE(Run(compiler,
                 {"-std=c++17", "-O2", "-Wall", "-Wextra", "-Wconversion", "-Werror", "-static",
                  source + "/tests/windows/launch.cpp", "-o", build + "/launch.exe", "-lshell32"})
                 .code,
             0);

    // touch.exe and the launcher alone in a folder: no runtime DLLs beside them.
    d_bin = d_dir.filePath("bin");
    QVERIFY(QDir().mkpath(d_bin) && QDir().mkpath(d_dir.filePath("prefix")) &&
            QDir().mkpath(d_dir.filePath("m")) && QDir().mkpath(d_dir.filePath("rows")));
    QVERIFY(QFile::copy(build + "/touch.exe", d_bin + "/touch.exe") &&
            QFile::copy(build + "/launch.exe", d_bin + "/launch.exe"));
    // A folder of its own on tmpfs, which holds times after 3000 (ext4 ends in 2446).
    if (d_root) {
        d_mounted =
            Run("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", d_dir.filePath("m")}).code == 0;
        QCOMPARE(Run("chown", {"-R", "65534:65534", d_dir.path()}).code, 0);
    }

    d_env = QProcessEnvironment();
    d_env.insert("PATH", qEnvironmentVariable("PATH"));
    d_env.insert("HOME", d_dir.path());
    d_env.insert("WINEPREFIX", d_dir.filePath("prefix"));
    d_env.insert("WINEDEBUG", "-all");
    d_env.insert("WINEDLLOVERRIDES", "mscoree,mshtml,winedbg.exe=");
    d_env.insert("LC_ALL", "C.UTF-8");
    d_env.insert("TZ", "Europe/Berlin");
    // The first start makes the Wine prefix.
    QCOMPARE(Run(d_wine, {d_bin + "/launch.exe"}, {}, true).code, 1);
}

void TTouchWindowsTest::cleanupTestCase()
{
    if (d_wine.isEmpty())
        return;
    QString server = QFileInfo(d_wine).dir().filePath("wineserver64");
    if (!QFileInfo::exists(server))
        server = QFileInfo(d_wine).dir().filePath("wineserver");
    Run(server, {"-k"}, {}, true);
    if (d_mounted)
        Run("umount", {"-l", d_dir.filePath("m")});
}

// Statically linked: nothing but what every Windows has.
void TTouchWindowsTest::Imports()
{
    QStringList dlls;
    for (const QString& line :
         QString(Run("x86_64-w64-mingw32-objdump", {"-p", d_bin + "/touch.exe"}).out).split('\n'))
        if (line.contains("DLL Name:"))
            dlls << line.section(':', 1).trimmed().toLower();
    dlls.sort();
    QCOMPARE(dlls, QStringList({"kernel32.dll", "msvcrt.dll", "shell32.dll"}));
}

// Arguments (one per "|"; {R} the row's own folder, {M} one on tmpfs, {L} a
// file more than 300 characters deep, all as Z: paths, {B} {R} with
// backslashes), the file to look at, the message without "touch: " (none:
// success), and the times the file may get (none: it keeps its own). A time
// after "?" is set if the file system holds it; otherwise the read-back must
// refuse it. A read-only file keeps its permissions. Every row's folder has f, ro (read-only), d (a
// folder), a file named with é, Ω, an emoji, blanks and &, and -lead.doc.
void TTouchWindowsTest::Touch_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("times");
    const struct
    {
        const char *name, *arguments, *file, *message, *times;
    } rows[] = {
        {"winter", "-t|030513072017.09|f", "f", "", "1488715629"},
        {"before 1970", "-t|123123591969.59|f", "f", "", "-3601"},
        {"1965", "-t|011512001965.00|f", "f", "", "-156517200"},
        {"after 3000", "-t|011512003001.00|{M}/f", "{M}/f", "", "?32536465200"},
        {"after 3000 on disk", "-t|011512003001.00|f", "f", "", "?32536465200"},
        {"autumn hour twice", "-t|102502302026.00|f", "f", "", "1792888200|1792891800"},
        {"spring gap", "-t|032902302026.00|f", "f",
         "invalid date '032902302026.00': no such local time", ""},
        {"TZ ignored", "--tz=EST5EDT|-t|070112002024.00|f", "f", "", "1719828000"},
        {"read-only", "-t|030513072017.09|ro", "ro", "", "1488715629"},
        {"names", "-t|030513072017.09|é Ω 😀 & x.doc", "é Ω 😀 & x.doc", "", "1488715629"},
        {"leading dash", "-t|030513072017.09|-lead.doc", "-lead.doc", "", "1488715629"},
        {"slashes", "-t|030513072017.09|{R}/f", "f", "", "1488715629"},
        {"backslashes", "-t|030513072017.09|{B}\\f", "f", "", "1488715629"},
        {"300 characters", "-t|030513072017.09|{L}", "{L}", "", "1488715629"},
        {"missing", "-t|030513072017.09|é Ω 😀 gone", "é Ω 😀 gone",
         "cannot touch 'é Ω 😀 gone': No such file or directory", ""},
        {"missing folder", "-t|030513072017.09|gone/f", "gone/f",
         "cannot touch 'gone/f': No such file or directory", ""},
        {"folder", "-t|030513072017.09|d", "d", "cannot touch 'd': is a folder, not a file", ""},
        {"30 February", "-t|023012002024.00|f", "f",
         "invalid date '023012002024.00': no such day in that month", ""},
        {"malformed", "-t|0305130a2017.09|f", "f",
         "invalid date '0305130a2017.09': expected MMddhhmmyyyy.ss", ""},
        {"too few", "-t|030513072017.09", "f", "usage: touch.exe -t MMddhhmmyyyy.ss FILE", ""},
    };
    for (const auto& r : rows)
        QTest::newRow(r.name) << QString::fromUtf8(r.arguments) << QString::fromUtf8(r.file)
                              << QString::fromUtf8(r.message) << QString::fromUtf8(r.times);
}

void TTouchWindowsTest::Touch()
{
    QFETCH(QString, arguments);
    QFETCH(QString, file);
    QFETCH(QString, message);
    QFETCH(QString, times);
    const QString row = d_dir.filePath("rows/" + QString::number(++d_row));
    const QString on_tmpfs = d_dir.filePath("m/" + QString::number(d_row));
    const QString deep =
        QString(70, 'a') + '/' + QString(70, 'b') + '/' + QString(70, 'c') + '/' + QString(70, 'd');
    QVERIFY(QDir().mkpath(row + "/d") && QDir().mkpath(row + '/' + deep) &&
            QDir().mkpath(on_tmpfs));
    for (const QString& name : QStringList{"f", "ro", "é Ω 😀 & x.doc", "-lead.doc", deep + "/f"}) {
        QFile create(row + '/' + name);
        QVERIFY(create.open(QIODevice::WriteOnly) && create.write("text") == 4);
    }
    QFile(on_tmpfs + "/f").open(QIODevice::WriteOnly);
    QVERIFY(QFile::setPermissions(row + "/ro", QFile::ReadOwner | QFile::ReadGroup));
    for (const QString& name :
         QStringList{"f", "ro", "d", "é Ω 😀 & x.doc", "-lead.doc", deep + "/f"})
        QVERIFY(Set_Time(row + '/' + name));
    QVERIFY(Set_Time(on_tmpfs + "/f"));
    if (d_root)
        QCOMPARE(Run("chown", {"-R", "65534:65534", row, on_tmpfs}).code, 0);

    const QString long_path = "Z:" + row + '/' + deep + "/f";
    QVERIFY(long_path.size() > 300);
    QStringList list = arguments.split('|');
    for (QString& a : list)
        a.replace("{R}", "Z:" + row)
            .replace("{B}", QString("Z:" + row).replace('/', '\\'))
            .replace("{M}", "Z:" + on_tmpfs)
            .replace("{L}", long_path);
    const QString path = QString(file)
                             .replace("{M}", on_tmpfs)
                             .replace("{L}", row + '/' + deep + "/f")
                             .prepend(file.startsWith('{') ? "" : row + '/');
    if (times.startsWith('?')) {
        times.remove(0, 1);
        if (!Holds(QFileInfo(path).path(), times.toLongLong())) {
            message = "cannot set the time of '" + list.last() +
                      "': the file system cannot hold that time";
            times = "*"; // whatever the file system made of it
        }
    }

    const TResult result = Run(d_wine, QStringList{d_bin + "/launch.exe"} + list, row, true);
    QCOMPARE(QString::fromUtf8(result.err),
             message.isEmpty() ? QString() : "touch: " + message + "\r\n");
    QCOMPARE(result.code, message.isEmpty() ? 0 : 1);
    if (file.contains("gone")) {
        QVERIFY(!QFileInfo::exists(path));
        return;
    }
    if (times == "*")
        return;
    const QStringList allowed =
        times.isEmpty() ? QStringList{QString::number(k_old)} : times.split('|');
    QVERIFY2(allowed.contains(QString::number(Time(path))),
             qPrintable(QString::number(Time(path))));
    if (file == "ro")
        QCOMPARE(QFileInfo(path).permissions() & 0x7077, QFile::ReadOwner | QFile::ReadGroup);
}

QTEST_GUILESS_MAIN(TTouchWindowsTest)
#include "tst_touch_windows.moc"
