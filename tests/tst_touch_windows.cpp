// touch.exe cross-built for Windows with mingw-w64 and run under Wine, started
// the way the dialog starts it there (see windows/launch.cpp). Wine takes its
// time zone from TZ (Europe/Berlin here); the launcher removes TZ from the
// Windows environment, as a workstation has none.

#include <QtTest>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

static bool Set_Time(const QString& path, qint64 t)
{
    const struct timeval times[2] = {{t, 0}, {t, 0}};
    return utimes(QFile::encodeName(path).constData(), times) == 0;
}

static qint64 Time(const QString& path)
{
    struct stat info;
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? qint64(info.st_mtime) : -1;
}

class TTouchWindowsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir d_dir, d_tmpfs{"/dev/shm/tst_touch_windows-XXXXXX"}; // tmpfs holds 3001
    QString d_bin = d_dir.filePath("bin"),
            d_wine = QStandardPaths::findExecutable(
                "wine64", qEnvironmentVariable("PATH").split(':') << "/usr/lib/wine");

    // The exit code, or -1 if it did not finish. Given a FOLDER, it runs there, as nobody when
    // root, so that permissions are really checked.
    int Run(QStringList command, QByteArray* out = nullptr, const QString& folder = {})
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(folder);
        if (!folder.isEmpty() && geteuid() == 0)
            command =
                QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"} +
                command;
        process.start(command.takeFirst(), command);
        const bool done = process.waitForFinished(-1) && process.exitStatus() == 0;
        if (out)
            *out = process.readAll();
        return done ? process.exitCode() : -1;
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("x86_64-w64-mingw32-g++").isEmpty() || d_wine.isEmpty())
            QSKIP("needs g++-mingw-w64-x86-64 and wine64");
        // Built as the README tells a user to, with every warning an error; touch.exe and the
        // launcher then alone in a folder, with no runtime DLLs beside them.
        const QString script =
            "cmake -S %1/tools/touch -B %2 -DCMAKE_BUILD_TYPE=Release -DDORVANE_WERROR=ON "
            "-DCMAKE_TOOLCHAIN_FILE=%1/cmake/mingw-w64-x86_64.cmake && cmake --build %2 && "
            "mkdir %3 && cp %2/touch.exe %3 && x86_64-w64-mingw32-g++ -std=c++17 -Wall -Wextra "
            "-Werror -static %1/tests/windows/launch.cpp -o %3/launch.exe -lshell32 && "
            "{ [ $(id -u) != 0 ] || chown -R 65534:65534 %4 %5; }";
        QByteArray out;
        QVERIFY2(Run({"sh", "-c",
                      script.arg(DORVANE_SOURCE_DIR, DORVANE_BINARY_DIR "/touch-windows", d_bin,
                                 d_dir.path(), d_tmpfs.path())},
                     &out) == 0,
                 out.constData());
        for (const QString& v :
             {"HOME=" + d_dir.path(), "WINEPREFIX=" + d_dir.filePath("prefix"),
              QString("WINEDEBUG=-all"), QString("LC_ALL=C.UTF-8"),
              QString("WINEDLLOVERRIDES=mscoree,mshtml,winedbg.exe="), QString("TZ=Europe/Berlin")})
            qputenv(qPrintable(v.section('=', 0, 0)), v.section('=', 1).toUtf8());
        // The first start makes the Wine prefix.
        QCOMPARE(Run({d_wine, d_bin + "/launch.exe", "-t"}, nullptr, d_dir.path()), 1);
    }
    void cleanupTestCase()
    {
        Run({QFileInfo(d_wine).dir().filePath("wineserver"), "-k"}, nullptr, d_dir.path());
    }

    // Statically linked: nothing but what every Windows has.
    void Imports()
    {
        QByteArray out;
        QCOMPARE(
            Run({"sh", "-c",
                 "x86_64-w64-mingw32-objdump -p " + d_bin + "/touch.exe | grep 'DLL Name' | sort"},
                &out),
            0);
        QCOMPARE(out,
                 "\tDLL Name: KERNEL32.dll\n\tDLL Name: SHELL32.dll\n\tDLL Name: msvcrt.dll\n");
    }

    // Packed rows: the command line after the program, quoted as the dialog's process class
    // quotes it ({R} the row's folder as a Z: path, {B} the same with backslashes, {M} a folder on
    // tmpfs, {D} two folders 301 characters deep); the file, made with the time 1262304000 unless
    // it must stay missing (time -1), a folder if it ends in /, read-only (and must stay so) if
    // ro; the message without "touch: " (none: success); the times it may have afterwards (?T: T
    // if the file system holds it, else the read-back must refuse it); a TZ that the Windows
    // environment gets.
    void Touch_data()
    {
        QTest::addColumn<QString>("row");
        const char* const rows[][2] = {
            {"before 1970", "-t 123123591969.59 f|f||-3601"},
            {"1965", "-t 011512001965.00 f|f||-156517200"},
            {"3001 on tmpfs", "-t 011512003001.00 {M}/f|{M}/f||32536465200"},
            {"3001 on disk", "-t 011512003001.00 f|f||?32536465200"},
            {"autumn hour twice", "-t 102502302026.00 f|f||1792888200,1792891800"},
            {"spring gap", "-t 032902302026.00 f|f|invalid date '032902302026.00': no such local "
                           "time|1262304000"},
            {"TZ ignored", "-t 070112002024.00 f|f||1719828000|EST5EDT"},
            {"read-only", "-t 030513072017.09 ro|ro||1488715629"},
            {"names", "-t 030513072017.09 \"é Ω 😀 & x.doc\"|é Ω 😀 & x.doc||1488715629"},
            {"missing", "-t 030513072017.09 \"é Ω 😀 & gone\"|é Ω 😀 & gone|cannot touch 'é Ω 😀 & "
                        "gone': No such file or directory|-1"},
            {"slashes", "-t 030513072017.09 {R}/f|f||1488715629"},
            {"backslashes", "-t 030513072017.09 {B}\\f|f||1488715629"},
            {"over 300 characters", "-t 030513072017.09 {R}/{D}/f|{D}/f||1488715629"},
            {"folder",
             "-t 030513072017.09 d|d/|cannot touch 'd': is a folder, not a file|1262304000"},
        };
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString::fromUtf8(r[1]);
    }

    void Touch()
    {
        QFETCH(QString, row);
        QTemporaryDir dir(d_dir.filePath("row"));
        const auto fill = [&](QString s, const QString& z) {
            return s.replace("{R}", z + dir.path())
                .replace("{B}", QString(z + dir.path()).replace('/', '\\'))
                .replace("{M}", z + d_tmpfs.path())
                .replace("{D}", QString(150, 'a') + '/' + QString(150, 'b'));
        };
        const QStringList field = row.split('|');
        QString path = fill(field[1], ""), message = field[2], times = field[3];
        path.prepend(path.startsWith('/') ? "" : dir.path() + '/');
        // The folder of path + 'x' is the folder itself for "d/", the file's folder otherwise.
        QVERIFY(times == "-1" || (QDir().mkpath(QFileInfo(path + 'x').path()) &&
                                  (path.endsWith('/') || QFile(path).open(QIODevice::WriteOnly)) &&
                                  Set_Time(path, 1262304000)));
        if (field[1] == "ro")
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        if (times.startsWith('?')) {
            QVERIFY(QFile(path + ".probe").open(QIODevice::WriteOnly));
            if (!Set_Time(path + ".probe", times.remove(0, 1).toLongLong()) ||
                Time(path + ".probe") != times.toLongLong())
                message = "cannot set the time of 'f': the file system cannot hold that time",
                times = QString::number(Time(path + ".probe")); // as the file system clamps it
        }
        if (geteuid() == 0)
            QCOMPARE(Run({"chown", "-R", "65534:65534", dir.path(), d_tmpfs.path()}), 0);

        QByteArray err;
        const int code =
            Run(QStringList{d_wine, d_bin + "/launch.exe", fill(field[0], "Z:")} + field.mid(4),
                &err, dir.path());
        QCOMPARE(QString::fromUtf8(err), message.isEmpty() ? "" : "touch: " + message + "\r\n");
        QCOMPARE(code, message.isEmpty() ? 0 : 1);
        QVERIFY2(times.split(',').contains(QString::number(Time(path))),
                 qPrintable(QString::number(Time(path))));
        if (field[1] == "ro")
            QCOMPARE(QFileInfo(path).permissions() & 0x7077, QFile::ReadOwner | QFile::ReadGroup);
    }
};

QTEST_GUILESS_MAIN(TTouchWindowsTest)
#include "tst_touch_windows.moc"
