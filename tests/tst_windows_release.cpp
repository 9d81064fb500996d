// The zipped Windows release, run under Wine the way a user runs it: unzipped
// into a folder that holds nothing else, dorvane.exe started from there on a
// virtual display, its buttons clicked with the pointer. Every test has its
// own folders and writes the settings before the dialog starts; the Wine
// prefix and the display are shared. As root the whole Wine session runs as
// nobody, so that a read-only file is read-only to the dialog.
//
// Wine takes its time zone from TZ (Europe/Berlin here) but also copies TZ
// into the Windows environment, where the C runtime misreads it; the dialog
// is therefore started through cmd with TZ removed, as a workstation has none.
// Skipped until scripts/windows.sh has built the zip.

#include <QtTest>

#include <QImage>
#include <QPainter>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString k_title = "Controlled Documents Dorvane - Version 1.3";
const QString k_record = "controlled document information.txt";
const QByteArray k_rule = "--------------------------------------------\r\n";

// Source file times, seconds since 1970 UTC, and how Berlin shows them.
const qint64 k_winter_morning = 1610613015; // 14 Jan 2021 09:30:15 AM
const qint64 k_winter = 1610712000;         // 15 Jan 2021 01:00:00 PM
const qint64 k_winter_later = 1610798400;   // 16 Jan 2021 01:00:00 PM
const qint64 k_summer = 1626350400;         // 15 Jul 2021 02:00:00 PM
const qint64 k_summer_later = 1626436800;   // 16 Jul 2021 02:00:00 PM
const qint64 k_early_2020 = 1583049600;     // 01 Mar 2020 09:00:00 AM
const qint64 k_year_2000 = 946684800;       // 01 Jan 2000 01:00:00 AM

// The dialog's push buttons, clicked 67 pixels above its bottom edge (in the
// fonts and style it has under Wine): Source Report and Sync from the left
// edge, Close from the right.
enum class TButton { Source_Report, Sync, Close };

struct TWindow
{
    QString id;
    QRect geometry;
};

} // namespace

class TWindowsReleaseTest : public QObject
{
    Q_OBJECT

    QTemporaryDir d_dir;
    const bool d_root = geteuid() == 0;
    QString d_wine = QStandardPaths::findExecutable(
        "wine64", qEnvironmentVariable("PATH").split(':') << "/usr/lib/wine");
    QString d_zip = qEnvironmentVariable("DORVANE_WINDOWS_ZIP", DORVANE_WINDOWS_ZIP);
    QString d_release;  // the unzipped folder
    QString d_settings; // the Wine user's .Dorvane folder
    QProcessEnvironment d_environment = QProcessEnvironment::systemEnvironment();
    QProcess d_xvfb, d_dialog;
    TWindow d_window; // the running dialog

    // ---- processes ----

    // As nobody when root, so that Wine honours permissions.
    QStringList As_User(const QStringList& command) const
    {
        if (!d_root)
            return command;
        return QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"} +
               command;
    }

    // The exit code; the output and errors go into OUTPUT.
    int Run(QStringList command, QByteArray* output = nullptr)
    {
        QProcess process;
        process.setProcessEnvironment(d_environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(d_dir.path());
        process.start(command.takeFirst(), command);
        process.waitForFinished(-1);
        if (output)
            *output = process.readAll();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    void Give_To_User(const QString& path)
    {
        if (d_root)
            QCOMPARE(Run({"chown", "-R", "65534:65534", path}), 0);
    }

    static QString Windows_Path(const QString& path)
    {
        return "Z:" + QString(path).replace('/', '\\');
    }

    // ---- files ----

    static void Write_File(const QString& path, const QByteArray& bytes, qint64 time,
                           bool read_only = false)
    {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        if (file.exists())
            QVERIFY(file.setPermissions(file.permissions() | QFileDevice::WriteOwner));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
        file.close();
        Set_Time(path, time);
        if (read_only)
            QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                        QFileDevice::ReadOther));
    }

    // Files and folders alike.
    static void Set_Time(const QString& path, qint64 time)
    {
        const timespec times[2] = {{time, 0}, {time, 0}};
        QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }

    static QByteArray Read_File(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot read)");
    }

    static qint64 Time(const QString& path)
    {
        return QFileInfo(path).lastModified().toSecsSinceEpoch();
    }

    static bool Is_Read_Only(const QString& path)
    {
        return !(QFileInfo(path).permissions() &
                 (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther));
    }

    static ino_t Inode(const QString& path)
    {
        struct stat status;
        return stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
    }

    // What a failed or interrupted replace would leave behind.
    static QStringList Temporaries(const QString& folder)
    {
        QStringList found;
        QDirIterator it(folder, {".dorvane-*.tmp"}, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        return found;
    }

    // The share of pixels, over white, that differ by little in every colour
    // from the file's image scaled to the same size pixel by pixel, as Wine
    // scales an icon.
    static double Match(const QImage& shown, const QImage& file)
    {
        const auto flat = [&](const QImage& image) {
            QImage result(shown.size(), QImage::Format_RGB32);
            result.fill(Qt::white);
            QPainter(&result).drawImage(0, 0, image.scaled(shown.size()));
            return result;
        };
        const QImage a = flat(shown), b = flat(file);
        int close = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                close += qAbs(qRed(p) - qRed(q)) < 48 && qAbs(qGreen(p) - qGreen(q)) < 48 &&
                         qAbs(qBlue(p) - qBlue(q)) < 48;
            }
        return double(close) / (a.width() * a.height());
    }

    // This test's own source and destination folders.
    QString Folder(const QString& name) const
    {
        return d_dir.filePath(QString(QTest::currentTestFunction()) + '/' + name);
    }

    // A small tree: a subfolder, names with é and Ω, a hidden and a read-only file.
    static void Make_Tree(const QString& source)
    {
        Write_File(source + "/a.doc", "alpha\n", k_winter);
        Write_File(source + "/sub/caf\u00e9 form.doc", "caf\xc3\xa9\n", k_summer_later);
        Write_File(source + "/\u03a9mega.doc", QByteArray("omega\0\r\n", 8), k_winter_later);
        Write_File(source + "/.hidden.doc", "hidden\n", k_winter_morning);
        Write_File(source + "/ro.doc", "read-only\n", k_summer, true);
    }

    // The tree's lines in the pane, as Latin-1 with CR LF.
    static QByteArray Tree_Lines()
    {
        return "14 Jan 2021 09:30:15 AM\t/.hidden.doc\r\n"
               "15 Jan 2021 01:00:00 PM\t/a.doc\r\n"
               "15 Jul 2021 02:00:00 PM\t/ro.doc\r\n"
               "16 Jul 2021 02:00:00 PM\t/sub/caf\xe9 form.doc\r\n"
               "16 Jan 2021 01:00:00 PM\t/?mega.doc\r\n";
    }

    // The record of a sync, with "<now>" for the time of the sync.
    static QByteArray Record(const QByteArray& controlled, const QByteArray& updated)
    {
        return "Controlled Files\r\n" + k_rule + controlled + "\r\nUpdated Files on <now>\r\n" +
               k_rule + updated;
    }

    QByteArray Read_Record(const QString& destination)
    {
        QString text = QString::fromLatin1(Read_File(destination + '/' + k_record));
        text.replace(QRegularExpression("Updated Files on \\d\\d [A-Z][a-z][a-z] \\d{4} "
                                        "\\d\\d:\\d\\d:\\d\\d [AP]M\r\n"),
                     "Updated Files on <now>\r\n");
        return text.toLatin1();
    }

    void Write_Settings(const QString& source, const QString& destination)
    {
        const auto escaped = [](const QString& path) {
            return Windows_Path(path).replace('\\', "\\\\").toUtf8();
        };
        Write_File(d_settings + "/Settings.ini",
                   "[General]\nSource=" + escaped(source) +
                       "\nDestination=" + escaped(destination) + "\n",
                   QDateTime::currentSecsSinceEpoch());
        Give_To_User(d_settings);
    }

    // ---- the display ----

    // After a failed step the test only ends; cleanup() stops Wine.
    bool Wait_For(const std::function<bool()>& done)
    {
        if (QTest::currentTestFailed())
            return false;
        QDeadlineTimer deadline(120000); // a hung dialog, not a slow one
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(200);
        }
        return true;
    }

    // The visible window of that exact title.
    TWindow Find_Window(const QString& title)
    {
        TWindow window;
        QByteArray out;
        if (Run({"xdotool", "search", "--onlyvisible", "--name",
                 '^' + QRegularExpression::escape(title) + '$'},
                &out) != 0)
            return window;
        window.id = QString(out).section('\n', 0, 0).trimmed();
        Run({"xdotool", "getwindowgeometry", "--shell", window.id}, &out);
        QHash<QString, int> value;
        for (const QString& line : QString(out).split('\n', Qt::SkipEmptyParts))
            value[line.section('=', 0, 0)] = line.section('=', 1).toInt();
        window.geometry = QRect(value["X"], value["Y"], value["WIDTH"], value["HEIGHT"]);
        return window;
    }

    TWindow Wait_For_Window(const QString& title)
    {
        TWindow window;
        Wait_For([&] { return !(window = Find_Window(title)).id.isEmpty(); });
        return window;
    }

    void Click(const TWindow& window, int x, int y)
    {
        QCOMPARE(Run({"xdotool", "mousemove", "--window", window.id, QString::number(x),
                      QString::number(y), "click", "1"}),
                 0);
    }

    void Click(TButton button)
    {
        const int y = d_window.geometry.height() - 67;
        switch (button) {
        case TButton::Source_Report:
            return Click(d_window, 55, y);
        case TButton::Sync:
            return Click(d_window, 146, y);
        case TButton::Close:
            return Click(d_window, d_window.geometry.width() - 52, y);
        }
    }

    void Type(const QString& text) { QCOMPARE(Run({"xdotool", "type", "--delay", "40", text}), 0); }

    // Kept in $DORVANE_SCREENSHOT_DIR when that is set, to look at.
    QImage Screenshot(const TWindow& window, const QString& name)
    {
        const QString folder = qEnvironmentVariable("DORVANE_SCREENSHOT_DIR", d_dir.path());
        const QString file = folder + '/' + name + ".png";
        if (Run({"import", "-window", window.id, file}) != 0)
            return QImage();
        return QImage(file);
    }

    // Ends every program of the prefix, and waits until Wine has saved the
    // prefix's registry, which it would otherwise write after the folder is gone.
    void Stop_Wine()
    {
        Run(As_User({d_wine.chopped(2) + "server", "-k"}));
        Run(As_User({d_wine.chopped(2) + "server", "-w"}));
    }

    // ---- the dialog ----

    void Start_Dialog()
    {
        d_dialog.setProcessEnvironment(d_environment);
        d_dialog.setProcessChannelMode(QProcess::MergedChannels);
        d_dialog.setWorkingDirectory(d_dir.path());
        QStringList command =
            As_User({d_wine, "cmd", "/c", "set TZ=&& " + Windows_Path(d_release + "/dorvane.exe")});
        d_dialog.start(command.takeFirst(), command);
        QVERIFY(d_dialog.waitForStarted());
        d_window = Wait_For_Window(k_title);
        QVERIFY2(!d_window.id.isEmpty(), "the dialog did not show");
    }

    void Close_Dialog()
    {
        if (QTest::currentTestFailed())
            return;
        Click(TButton::Close);
        QVERIFY2(d_dialog.waitForFinished(120000), "the dialog did not close");
        QCOMPARE(d_dialog.exitCode(), 0);
    }

    // One click on "Source Report", done when the reference list is there again.
    void Source_Report()
    {
        QFile::remove(d_settings + "/reference_list.xml");
        Click(TButton::Source_Report);
        QVERIFY2(Wait_For([&] { return QFile::exists(d_settings + "/reference_list.xml"); }),
                 "no reference list");
    }

    // One click on "Sync", done when the record is there again.
    void Sync(const QString& destination)
    {
        QFile::remove(destination + '/' + k_record);
        Click(TButton::Sync);
        QVERIFY2(Wait_For([&] { return QFile::exists(destination + '/' + k_record); }),
                 "no record after the sync");
    }

    // The one error box after a sync: with no window manager Wine paints it
    // only once the pointer is over it; OK is its default button.
    void Dismiss_Error_Box()
    {
        const TWindow box = Wait_For_Window("dorvane");
        QVERIFY2(!box.id.isEmpty(), "no error box");
        QCOMPARE(Run({"xdotool", "mousemove", "--window", box.id, "20", "20"}), 0);
        Click(box, box.geometry.width() - 52, box.geometry.height() - 39);
        QVERIFY2(Wait_For([&] { return Find_Window("dorvane").id.isEmpty(); }),
                 "the error box stays");
    }

private slots:
    void initTestCase()
    {
        // CI sets DORVANE_REQUIRE_WINDOWS_RELEASE, so that a missing part fails there.
        const bool required = qEnvironmentVariableIsSet("DORVANE_REQUIRE_WINDOWS_RELEASE");
        QString missing;
        if (!QFile::exists(d_zip))
            missing = "no Windows release zip: build it with scripts/windows.sh";
        for (const char* tool : {"Xvfb", "xdotool", "xprop", "import", "unzip"})
            if (QStandardPaths::findExecutable(tool).isEmpty() || d_wine.isEmpty())
                missing = "needs wine64, xvfb, xdotool, x11-utils, imagemagick and unzip";
        if (!missing.isEmpty() && required)
            QFAIL(qPrintable(missing));
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        QVERIFY(d_dir.isValid());

        // Unzipped into a folder of its own.
        QVERIFY(QDir().mkpath(d_dir.filePath("release")));
        QByteArray out;
        QVERIFY2(Run({"unzip", "-q", d_zip, "-d", d_dir.filePath("release")}, &out) == 0,
                 out.constData());
        d_release = d_dir.filePath("release/" + QFileInfo(d_zip).completeBaseName());

        d_xvfb.start("Xvfb",
                     {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        QVERIFY(d_xvfb.waitForStarted());
        QVERIFY(Wait_For([&] {
            d_xvfb.waitForReadyRead(100);
            return d_xvfb.canReadLine();
        }));
        const QString display = ':' + QString(d_xvfb.readLine()).trimmed();

        d_environment.insert("HOME", d_dir.path());
        d_environment.insert("WINEPREFIX", d_dir.filePath("prefix"));
        d_environment.insert("WINEDEBUG", "-all");
        d_environment.insert("WINEDLLOVERRIDES", "mscoree,mshtml,winedbg.exe=");
        d_environment.insert("LC_ALL", "C.UTF-8"); // Wine makes no non-ASCII names under C
        d_environment.insert("TZ", "Europe/Berlin");
        d_environment.insert("DISPLAY", display);
        if (d_root) {
            d_environment.insert("USER", "nobody");
            d_environment.insert("LOGNAME", "nobody");
        }
        Give_To_User(d_dir.path());
        QVERIFY2(Run(As_User({d_wine, "wineboot", "-i"}), &out) == 0, out.constData());
        // The settings live in the Wine user's profile, which HOME does not move.
        const QStringList users = QDir(d_dir.filePath("prefix/drive_c/users"))
                                      .entryList({"*"}, QDir::Dirs | QDir::NoDotAndDotDot)
                                      .filter(QRegularExpression("^(?!Public$)"));
        QCOMPARE(users.size(), 1);
        d_settings = d_dir.filePath("prefix/drive_c/users/" + users.first() + "/.Dorvane");
        QVERIFY(QDir().mkpath(d_settings));
        Give_To_User(d_settings);
    }

    void cleanup()
    {
        if (d_dialog.state() != QProcess::NotRunning) {
            Stop_Wine();
            d_dialog.waitForFinished(60000);
        }
    }

    void cleanupTestCase()
    {
        if (d_environment.contains("WINEPREFIX"))
            Stop_Wine();
        if (d_xvfb.state() != QProcess::NotRunning) {
            d_xvfb.terminate();
            d_xvfb.waitForFinished();
        }
    }

    void zipHoldsOneFolderWithTheProgramsAndTheirDlls()
    {
        QCOMPARE(QDir(d_dir.filePath("release")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"Dorvane-1.3-win64"});
        QStringList files;
        QDirIterator it(d_release, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << QDir(d_release).relativeFilePath(it.next());
        files.sort();
        QCOMPARE(files, QStringList({"Qt5Core.dll", "Qt5Gui.dll", "Qt5Widgets.dll", "Qt5Xml.dll",
                                     "dorvane.exe", "libgcc_s_seh-1.dll", "libstdc++-6.dll",
                                     "libwinpthread-1.dll", "platforms/qwindows.dll",
                                     "styles/qwindowsvistastyle.dll", "touch.exe"}));
    }

    // Each name reaches the file system whole: the rename over the old list
    // once read a name that was already gone.
    void sourceReportWritesTheReferenceList()
    {
        Make_Tree(Folder("source"));
        QVERIFY(QDir().mkpath(Folder("destination")));
        Give_To_User(Folder(""));
        Write_Settings(Folder("source"), Folder("destination"));
        Start_Dialog();
        Source_Report();
        Close_Dialog();
        QCOMPARE(
            Read_File(d_settings + "/reference_list.xml"),
            QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                       "<File_Sync_Data File_Version=\"1\">\r\n"
                       "    <File_List>\r\n"
                       "        <File Modified=\"1610613015\">.hidden.doc</File>\r\n"
                       "        <File Modified=\"1610712000\">a.doc</File>\r\n"
                       "        <File Modified=\"1626350400\">ro.doc</File>\r\n"
                       "        <File Modified=\"1626436800\">sub/caf\xc3\xa9 form.doc</File>\r\n"
                       "        <File Modified=\"1610798400\">\xce\xa9mega.doc</File>\r\n"
                       "    </File_List>\r\n"
                       "</File_Sync_Data>\r\n"));
        QCOMPARE(Temporaries(d_settings), QStringList());
    }

    void syncCopiesBytesTimesAndReadOnly()
    {
        Make_Tree(Folder("source"));
        QVERIFY(QDir().mkpath(Folder("destination")));
        Give_To_User(Folder(""));
        Write_Settings(Folder("source"), Folder("destination"));
        Start_Dialog();
        Sync(Folder("destination"));
        Close_Dialog();
        for (const QString name :
             {".hidden.doc", "a.doc", "ro.doc", "sub/caf\u00e9 form.doc", "\u03a9mega.doc"}) {
            const QString source = Folder("source/" + name), copy = Folder("destination/" + name);
            QCOMPARE(Read_File(copy), Read_File(source));
            QCOMPARE(Time(copy), Time(source));
            QCOMPARE(Is_Read_Only(copy), name == "ro.doc");
        }
        QCOMPARE(Temporaries(Folder("destination")), QStringList());
    }

    // The pane becomes the record: CR LF line ends, Latin-1 with "?" for
    // what Latin-1 lacks, local times in winter and in summer.
    void recordIsThePaneInCrlfLatin1()
    {
        Make_Tree(Folder("source"));
        QVERIFY(QDir().mkpath(Folder("destination")));
        Give_To_User(Folder(""));
        Write_Settings(Folder("source"), Folder("destination"));
        Start_Dialog();
        Sync(Folder("destination"));
        Close_Dialog();
        QCOMPARE(Read_Record(Folder("destination")), Record(Tree_Lines(), Tree_Lines()));
    }

    // The pane's times are Berlin's on either side of the spring change.
    void localTimesFollowTheClockChange()
    {
        Write_File(Folder("source/before.doc"), "1\n", 1616893199); // 00:59:59 UTC
        Write_File(Folder("source/after.doc"), "2\n", 1616893200);  // 01:00:00 UTC
        QVERIFY(QDir().mkpath(Folder("destination")));
        Give_To_User(Folder(""));
        Write_Settings(Folder("source"), Folder("destination"));
        Start_Dialog();
        Sync(Folder("destination"));
        Close_Dialog();
        const QByteArray lines = "28 Mar 2021 03:00:00 AM\t/after.doc\r\n"
                                 "28 Mar 2021 01:59:59 AM\t/before.doc\r\n";
        QCOMPARE(Read_Record(Folder("destination")), Record(lines, lines));
        QCOMPARE(Time(Folder("destination/before.doc")), qint64(1616893199));
        QCOMPARE(Time(Folder("destination/after.doc")), qint64(1616893200));
    }

    void secondSyncCopiesNothing()
    {
        Make_Tree(Folder("source"));
        QVERIFY(QDir().mkpath(Folder("destination")));
        Give_To_User(Folder(""));
        Write_Settings(Folder("source"), Folder("destination"));
        Start_Dialog();
        Sync(Folder("destination"));
        const ino_t copy = Inode(Folder("destination/a.doc"));
        const ino_t read_only_copy = Inode(Folder("destination/ro.doc"));
        Sync(Folder("destination"));
        Close_Dialog();
        QCOMPARE(Read_Record(Folder("destination")), Record(Tree_Lines(), QByteArray()));
        QCOMPARE(Inode(Folder("destination/a.doc")), copy);
        QCOMPARE(Inode(Folder("destination/ro.doc")), read_only_copy);
    }

    // Windows refuses to rename over a read-only file until its attribute
    // is off; the new copy is read-only again.
    void changedReadOnlySourceReplacesItsReadOnlyCopy()
    {
        Make_Tree(Folder("source"));
        QVERIFY(QDir().mkpath(Folder("destination")));
        Give_To_User(Folder(""));
        Write_Settings(Folder("source"), Folder("destination"));
        Start_Dialog();
        Sync(Folder("destination"));
        QVERIFY(Is_Read_Only(Folder("destination/ro.doc")));
        Write_File(Folder("source/ro.doc"), "read-only, second issue\n", k_summer + 86400 * 30,
                   true);
        Sync(Folder("destination"));
        Close_Dialog();
        QCOMPARE(Read_File(Folder("destination/ro.doc")), QByteArray("read-only, second issue\n"));
        QCOMPARE(Time(Folder("destination/ro.doc")), k_summer + 86400 * 30);
        QVERIFY(Is_Read_Only(Folder("destination/ro.doc")));
        const QByteArray controlled =
            QByteArray(Tree_Lines())
                .replace("15 Jul 2021 02:00:00 PM\t/ro.doc", "14 Aug 2021 02:00:00 PM\t/ro.doc");
        QCOMPARE(Read_Record(Folder("destination")),
                 Record(controlled, "14 Aug 2021 02:00:00 PM\t/ro.doc\r\n"));
        QCOMPARE(Temporaries(Folder("destination")), QStringList());
    }

    // Names differ only in case on Windows: the record would overwrite such a file.
    void informationFileNameIsRefusedInAnyCase()
    {
        Write_File(Folder("source/Controlled Document Information.TXT"), "theirs\n", k_winter);
        Write_File(Folder("source/a.doc"), "alpha\n", k_summer);
        QVERIFY(QDir().mkpath(Folder("destination")));
        Give_To_User(Folder(""));
        Write_Settings(Folder("source"), Folder("destination"));
        Start_Dialog();
        Sync(Folder("destination"));
        Dismiss_Error_Box();
        Close_Dialog();
        QCOMPARE(Read_Record(Folder("destination")),
                 Record("15 Jul 2021 02:00:00 PM\t/a.doc\r\n"
                        "15 Jan 2021 01:00:00 PM\t/Controlled Document Information.TXT\r\n",
                        "15 Jul 2021 02:00:00 PM\t/a.doc\r\n"
                        "15 Jan 2021 01:00:00 PM\t/Controlled Document Information.TXT\t"
                        "NOT UPDATED: the information file has that name\r\n"
                        "\r\nERR:  Update did not complete.\r\n" +
                            k_rule));
        QCOMPARE(QDir(Folder("destination")).entryList(QDir::Files),
                 QStringList({"a.doc", k_record}));
    }

    // The new copy takes the source's read-only attribute before the rename;
    // when the rename fails, that temporary must still go.
    void failedReplaceLeavesNoTemporary()
    {
        Write_File(Folder("source/blocked.doc"), "blocked\n", k_early_2020, true);
        QVERIFY(QDir().mkpath(Folder("destination/blocked.doc")));
        Set_Time(Folder("destination/blocked.doc"), k_year_2000);
        Give_To_User(Folder(""));
        Write_Settings(Folder("source"), Folder("destination"));
        Start_Dialog();
        Sync(Folder("destination"));
        Dismiss_Error_Box();
        Close_Dialog();
        QCOMPARE(Read_Record(Folder("destination")),
                 Record("01 Mar 2020 09:00:00 AM\t/blocked.doc\r\n",
                        "01 Mar 2020 09:00:00 AM\t/blocked.doc\tNOT UPDATED: the old copy could "
                        "not be replaced: Access denied.\r\n"
                        "\r\nERR:  Update did not complete.\r\n" +
                            k_rule));
        QVERIFY(QFileInfo(Folder("destination/blocked.doc")).isDir());
        QCOMPARE(Temporaries(Folder("destination")), QStringList());
    }

    // Windows limits plain paths to 259 characters; Wine does not, so this
    // shows only that the long form reaches every step of the copy.
    void longPathIsCopied()
    {
        const QString deep = QString(3, 'x').replace("x", QString(90, 'd') + '/') + "long.doc";
        QVERIFY(Windows_Path(Folder("destination/" + deep)).size() >= 300);
        Write_File(Folder("source/" + deep), "long\n", k_winter);
        QVERIFY(QDir().mkpath(Folder("destination")));
        Give_To_User(Folder(""));
        Write_Settings(Folder("source"), Folder("destination"));
        Start_Dialog();
        Sync(Folder("destination"));
        Close_Dialog();
        QCOMPARE(Read_File(Folder("destination/" + deep)), QByteArray("long\n"));
        QCOMPARE(Time(Folder("destination/" + deep)), k_winter);
        QCOMPARE(Temporaries(Folder("destination")), QStringList());
    }

    // Folders typed into the fields are kept with escaped backslashes.
    void settingsAreWrittenBackOnClose()
    {
        QFile::remove(d_settings + "/Settings.ini");
        Start_Dialog();
        Click(d_window, 323, 37); // the source field
        Type("Z:\\Docs\\Master");
        Click(d_window, 323, 97); // the destination field
        Type("Z:\\Docs\\Working copy");
        Close_Dialog();
        QCOMPARE(Read_File(d_settings + "/Settings.ini"),
                 QByteArray("[General]\r\n"
                            "Source=Z:\\\\Docs\\\\Master\r\n"
                            "Destination=Z:\\\\Docs\\\\Working copy\r\n"
                            "Program_Touch=touch.exe\r\n"
                            "Program_Touch_DateTime=MMddhhmmyyyy.ss\r\n"));
    }

    // Windows takes the window's icon from the program's icon resource, and
    // Wine hands it on to the display scaled down.
    void windowIconIsTheIconResource()
    {
        Write_Settings(Folder("source"), Folder("destination"));
        Start_Dialog();
        QByteArray out;
        QCOMPARE(Run({"xprop", "-id", d_window.id, "-notype", "-f", "_NET_WM_ICON", "32c", " $0+",
                      "_NET_WM_ICON"},
                     &out),
                 0);
        Close_Dialog();
        QVector<uint> values;
        for (const QString& value : QString(out).section(' ', 1).split(','))
            values << value.trimmed().toUInt();
        QVERIFY2(values.size() > 2 && values.size() >= 2 + int(values[0] * values[1]),
                 out.left(200).constData());
        const int size = int(values[0]);
        QCOMPARE(int(values[1]), size);
        QImage shown(size, size, QImage::Format_ARGB32);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                shown.setPixel(x, y, values[2 + y * size + x]);
        const QImage file = QImage(DORVANE_SOURCE_DIR "/resources/dorvane.ico");
        QVERIFY(!file.isNull());
        const double match = Match(shown, file);
        qInfo("%dx%d window icon: %.0f%% of its pixels match the icon file", size, size,
              match * 100);
        QVERIFY(match > 0.8); // 86% here; Wine's own icon, without the resource, 38%
    }

    // Wine has no "courier new"; the pane must still be fixed-pitch, so that a
    // line of narrow letters is as wide as one of broad letters.
    void paneIsFixedPitch()
    {
        Write_Settings(Folder("source"), Folder("destination"));
        Start_Dialog();
        const QImage before = Screenshot(d_window, "pane-before");
        Click(d_window, 300, 200); // into the pane
        Type(QString(20, 'i'));
        QCOMPARE(Run({"xdotool", "key", "Return"}), 0);
        Type(QString(20, 'M'));
        QThread::msleep(500); // for the repaint, which no signal announces
        const QImage after = Screenshot(d_window, "pane-after");
        Close_Dialog();
        QVERIFY(!before.isNull() && before.size() == after.size());

        // The changed pixels come in bands of rows; the last two are the two lines.
        QVector<QPair<int, int>> bands; // left and right edges
        bool in_band = false;
        for (int y = 0; y < after.height(); ++y) {
            int left = after.width(), right = -1;
            for (int x = 0; x < after.width(); ++x)
                if (qGray(before.pixel(x, y)) - qGray(after.pixel(x, y)) > 64) {
                    left = qMin(left, x);
                    right = qMax(right, x);
                }
            if (right < 0) {
                in_band = false;
                continue;
            }
            if (!in_band)
                bands.append({left, right});
            in_band = true;
            bands.last() = {qMin(bands.last().first, left), qMax(bands.last().second, right)};
        }
        QVERIFY(bands.size() >= 2);
        const int narrow = bands[bands.size() - 2].second - bands[bands.size() - 2].first;
        const int broad = bands.last().second - bands.last().first;
        qInfo("20 x i: %d pixels, 20 x M: %d pixels", narrow, broad);
        QVERIFY2(narrow * 10 >= broad * 9,
                 qPrintable(QString("20 x i: %1 pixels, 20 x M: %2").arg(narrow).arg(broad)));
    }
};

QTEST_GUILESS_MAIN(TWindowsReleaseTest)
#include "tst_windows_release.moc"
