// touch.exe cross-built for Windows with mingw-w64 and run under Wine, started
// the way the dialog starts it there (see windows/launch.cpp). Wine takes its
// time zone from TZ (Europe/Berlin here); the launcher removes TZ from the
// Windows environment, as a workstation has none.

#include <QtTest>

#include <unistd.h>

class TTouchWindowsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir d_dir, d_tmpfs{"/dev/shm/tst_touch_windows-XXXXXX"}; // tmpfs holds 3001
    QString d_bin = d_dir.filePath("bin"),
            d_wine = QStandardPaths::findExecutable(
                "wine64", qEnvironmentVariable("PATH").split(':') << "/usr/lib/wine");

    // Output and stderr, then "@" and the exit code. Given a FOLDER, it runs there, as nobody
    // when root, so that permissions are really checked.
    QByteArray Run(QStringList command, const QString& folder = {})
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(folder);
        if (!folder.isEmpty() && geteuid() == 0)
            command = QString("setpriv --reuid=65534 --regid=65534 --clear-groups --").split(' ') +
                      command;
        process.start(command.takeFirst(), command);
        process.waitForFinished(-1);
        return process.readAll() + '@' +
               QByteArray::number(process.exitStatus() == 0 ? process.exitCode() : -1);
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("x86_64-w64-mingw32-g++").isEmpty() || d_wine.isEmpty())
            QSKIP("needs g++-mingw-w64-x86-64 and wine64");
        // Built as the README tells a user to, with every warning an error; touch.exe and the
        // launcher then alone in a folder, with no runtime DLLs beside them. Statically linked,
        // touch.exe imports nothing but what every Windows has.
        const QByteArray out = Run(
            {"sh", "-c",
             QString(
                 "cmake -S %1/tools/touch -B %2 -DDORVANE_WERROR=ON "
                 "-DCMAKE_TOOLCHAIN_FILE=%1/cmake/mingw-w64-x86_64.cmake && cmake --build %2 "
                 "&& mkdir %3 && cp %2/touch.exe %3 && x86_64-w64-mingw32-g++ -std=c++17 -Wall "
                 "-Wextra -Werror -static %1/tests/windows/launch.cpp -o %3/launch.exe "
                 "-lshell32 && { [ $(id -u) != 0 ] || chown -R 65534:65534 %4 %5; } && "
                 "x86_64-w64-mingw32-objdump -p %3/touch.exe | sed -n 's/.*DLL Name: //p' | sort")
                 .arg(DORVANE_SOURCE_DIR, DORVANE_BINARY_DIR "/touch-windows", d_bin, d_dir.path(),
                      d_tmpfs.path())});
        QVERIFY2(out.endsWith("\nKERNEL32.dll\nSHELL32.dll\nmsvcrt.dll\n@0"), out.constData());
        for (const QString& v :
             QString("HOME=%1 WINEPREFIX=%1/prefix WINEDEBUG=-all LC_ALL=C.UTF-8 "
                     "WINEDLLOVERRIDES=mscoree,mshtml,winedbg.exe= TZ=Europe/Berlin")
                 .arg(d_dir.path())
                 .split(' '))
            qputenv(qPrintable(v.section('=', 0, 0)), v.section('=', 1).toUtf8());
        // The first start makes the Wine prefix.
        QVERIFY(Run({d_wine, d_bin + "/launch.exe", "-t"}, d_dir.path()).endsWith("@1"));
    }
    void cleanupTestCase() { Run({d_wine.chopped(2) + "server", "-k"}, d_dir.path()); }

    // Packed rows: a name; the command line after the program, quoted as the dialog's process
    // class quotes it ({R} the row's folder as a Z: path, {B} the same with backslashes, {M} a
    // folder on tmpfs, {D} 150 characters); the message without "touch: " (none: success); the
    // time the file has afterwards (none: its own; ?T: T if the file system holds it, else the
    // read-back must refuse what the file system made of it); a TZ that the Windows environment
    // gets. The file is made unless it must be missing; ro is made read-only. Every file keeps
    // its permissions.
    void Touch_data()
    {
        QTest::addColumn<QString>("row");
        for (const QString r :
             {"before 1970|-t 123123591969.59 f||-3601", "1965|-t 011512001965.00 f||-156517200",
              "3001 on tmpfs|-t 011512003001.00 {M}/f||32536465200",
              "3001 on disk|-t 011512003001.00 f||?32536465200",
              "spring gap|-t 032902302026.00 f|invalid date '032902302026.00': no such local time|",
              "TZ ignored|-t 070112002024.00 f||1719828000|EST5EDT",
              "read-only|-t 030513072017.09 ro||1488715629",
              "names|-t 030513072017.09 \"é Ω 😀 & x.doc\"||1488715629",
              "missing|-t 030513072017.09 \"é Ω 😀 & gone\"|cannot touch 'é Ω 😀 & gone': No such "
              "file or directory|",
              "backslashes|-t 030513072017.09 {B}\\f||1488715629",
              "over 300 characters, slashes|-t 030513072017.09 {R}/{D}/{D}/f||1488715629",
              "folder|-t 030513072017.09 .|cannot touch '.': is a folder, not a file|"})
            QTest::newRow(qPrintable(r.section('|', 0, 0))) << r.section('|', 1);
    }

    void Touch()
    {
        QFETCH(QString, row);
        QTemporaryDir dir(d_dir.filePath("row"));
        QStringList field = row.split('|');
        const QString z = "Z:" + dir.path();
        QString command = field[0].replace("{R}", z).replace("{D}", QString(150, 'a'));
        command.replace("{B}", QString(z).replace('/', '\\')).replace("{M}", "Z:" + d_tmpfs.path());
        QString path = command.section(' ', 2).remove('"').remove("Z:").replace('\\', '/');
        path.prepend(path.startsWith('/') ? "" : dir.path() + '/');
        if (!field[1].contains("No such"))
            QVERIFY(QDir().mkpath(QFileInfo(path).path()) &&
                    (path.endsWith('.') || QFile(path).open(QIODevice::WriteOnly)));
        if (path.endsWith("/ro"))
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        if (geteuid() == 0)
            QVERIFY(Run({"chown", "-R", "65534:65534", dir.path(), d_tmpfs.path()}).endsWith("@0"));
        const auto state = [&] {
            const QFileInfo file(path);
            return file.exists() ? QString("%1 %2")
                                       .arg(file.lastModified().toSecsSinceEpoch())
                                       .arg(file.permissions())
                                 : "none";
        };
        const QString before = state();

        const QByteArray out =
            Run(QStringList{d_wine, d_bin + "/launch.exe", command} + field.mid(3), dir.path());
        const QString now = state();
        if (field[2].startsWith('?') && field[2].remove(0, 1) != now.section(' ', 0, 0))
            field[1] = "cannot set the time of 'f': the file system cannot hold that time",
            field[2] = now.section(' ', 0, 0);
        QCOMPARE(QString::fromUtf8(out),
                 field[1].isEmpty() ? "@0" : "touch: " + field[1] + "\r\n@1");
        QCOMPARE(now, field[2].isEmpty() ? before : field[2] + ' ' + before.section(' ', 1));
    }
};

QTEST_GUILESS_MAIN(TTouchWindowsTest)
#include "tst_touch_windows.moc"
