#include "replacefile.h"
#include "syncfixture.h"

#include <QtTest>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

static const QString k_rule = QString(44, '-') + '\n';
static const QString k_time = "03 Mar 2026 02:05:09 PM";

// Every temporary of ours below a folder, hidden ones included.
static QStringList Temporaries(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, {".dorvane-*.tmp"}, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

// A touch program that takes its time, so that a sync of a few files runs
// long enough to be interrupted between them.
static QString Slow_Touch(const QTemporaryDir& tools)
{
    const QString path = tools.filePath("slow-touch.sh");
    Make_File(path, "#!/bin/sh\nsleep 0.3\nexec '" DORVANE_TOUCH_EXE "' \"$@\"\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// Names 01.doc, 02.doc, ... in the order the report lists them.
static QStringList Numbered(int count)
{
    QStringList names;
    for (int i = 1; i <= count; ++i)
        names << QString("%1.doc").arg(i, 2, 10, QLatin1Char('0'));
    return names;
}

// The settings a dialog of the HOME now set opens with.
static void Write_Settings(const QString& source, const QString& destination, const QString& touch)
{
    QSettings settings(QDir::homePath() + "/.Dorvane/Settings.ini", QSettings::IniFormat);
    settings.setValue("Source", source);
    settings.setValue("Destination", destination);
    settings.setValue("Program_Touch", touch);
    settings.setValue("Program_Touch_DateTime", QString());
}

static QString Saved_Destination()
{
    return QSettings(QDir::homePath() + "/.Dorvane/Settings.ini", QSettings::IniFormat)
        .value("Destination")
        .toString();
}

// The tail of the pane of a sync stopped after `reached` of `names`.
static QString Stopped_Tail(const QStringList& names, int reached)
{
    QString tail = k_rule;
    for (int i = 0; i < reached; ++i)
        tail += k_time + "\t/" + names[i] + '\n';
    const int left = names.size() - reached;
    tail += left == 1
                ? "\nSync stopped: 1 file was not reached: /" + names[reached] + '\n'
                : QString("\nSync stopped: %1 files were not reached, the first of them /%2\n")
                      .arg(left)
                      .arg(names[reached]);
    return tail + "\nERR:  Update did not complete.\n" + k_rule;
}

// How many files a stopped sync listed as updated.
static int Reached(const QString& pane)
{
    return pane.section("Updated Files on ", 1).section("\n\nSync stopped", 0, 0).count('\n') - 1;
}

// Starts the helper program with arguments; the HOME and platform of this process.
static bool Start_Child(QProcess* child, const QStringList& arguments)
{
    child->setProgram(DORVANE_CHILD);
    child->setArguments(arguments);
    child->start();
    return child->waitForStarted(30000);
}

class TestInterruptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Set_Time_Zone("Europe/Berlin");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    void sourceChangingDuringCopyIsNotUpdated();
    void closingDuringSyncStopsAfterFileInHand_data();
    void closingDuringSyncStopsAfterFileInHand();
    void sessionEndStopsSyncOfAnotherProcess_data();
    void sessionEndStopsSyncOfAnotherProcess();
    void secondProcedureOfUserIsRefused_data();
    void secondProcedureOfUserIsRefused();
    void syncAfterKillMinus9LeavesNoTemporary();
    void liveWritersTemporaryIsKept();
    void leftoverTemporariesOfOursAreRemoved();
    void foldersAreFixedWhileSyncRuns();
    void foldersAreFreeAgainAfterEveryEnd_data();
    void foldersAreFreeAgainAfterEveryEnd();
    void recordNotWrittenIsAlwaysSaid();
    void unexaminableDestinationFolderIsSaid();
};

// A writer appends to a source file while it is copied: the old copy stays,
// the file is listed with its reason, and once the writer has stopped the
// next sync copies it whole.
void TestInterruptions::sourceChangingDuringCopyIsNotUpdated()
{
    TSyncFixture f(DORVANE_TOUCH_EXE);
    const QByteArray start(16 << 20, 'g');
    QVERIFY(Make_File(f.Src("growing.log"), start, k_doc_time) &&
            Make_File(f.Dst("growing.log"), "old", k_doc_time - 100) &&
            Make_File(f.Src("still.doc"), "still", k_doc_time));
    QProcess writer;
    writer.start("sh", {"-c", "while :; do printf x >> \"$0\"; done", f.Src("growing.log")});
    QVERIFY(writer.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(f.Src("growing.log")).size() > start.size(), 30000);
    f.Sync();
    writer.kill();
    writer.waitForFinished();

    const QString why = "the source changed while it was copied";
    QCOMPARE(f.Updated(), QStringList({"/growing.log\tNOT UPDATED: " + why, "/still.doc"}));
    QCOMPARE(f.Boxes(), "Sync Error|Some files could not be updated.|/growing.log: " + why);
    QCOMPARE(Read_File(f.Dst("growing.log")), QByteArray("old"));
    QCOMPARE(Temporaries(f.destination.path()), QStringList());

    f.Sync();
    QCOMPARE(f.Updated(), QStringList({"/growing.log"}));
    QCOMPARE(Read_File(f.Dst("growing.log")), Read_File(f.Src("growing.log")));
    QCOMPARE(File_Time(f.Dst("growing.log")), File_Time(f.Src("growing.log")));
    QCOMPARE(f.watcher.Count(), 0);
}

void TestInterruptions::closingDuringSyncStopsAfterFileInHand_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Close button") << "close button";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("window's close box") << "close box";
}

// The close is asked for right after the first file: the second, copied
// while the first was touched, is finished, no further file is copied, the
// record tells the truth, the typed folders are saved, no box is shown, and
// the dialog closes.
void TestInterruptions::closingDuringSyncStopsAfterFileInHand()
{
    QFETCH(QString, how);
    QTemporaryDir tools;
    TSyncFixture f(Slow_Touch(tools));
    const QStringList names = Numbered(6);
    for (const QString& name : names)
        QVERIFY(Make_File(f.Src(name), name.toUtf8(), k_doc_time));
    f.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.dialog.get()));
    const QString typed = f.destination.path() + "/";
    f.Field("d_destination")->setText(typed);
    // Runs at the first point the sync lets events through: after the first file.
    QTimer::singleShot(0, f.dialog.get(), [&] {
        if (how == "close button") {
            f.Button("d_close")->click();
        } else if (how == "escape") {
            QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
        } else {
            QCloseEvent event;
            QCoreApplication::sendEvent(f.dialog->windowHandle(), &event);
        }
    });
    f.Sync();

    QCOMPARE(Reached(f.Output()), 2);
    QVERIFY2(f.Output().endsWith(Stopped_Tail(names, 2)), qPrintable(f.Output()));
    QCOMPARE(Read_File(f.Dst(k_record)), f.Output().toLatin1());
    QMap<QString, QByteArray> tree{{k_record, f.Output().toLatin1()}};
    for (int i = 0; i < 2; ++i) {
        tree[names[i]] = names[i].toUtf8();
        QCOMPARE(File_Time(f.Dst(names[i])), k_doc_time);
    }
    QCOMPARE(f.Tree(), tree);
    QCOMPARE(f.watcher.Count(), 0);
    QVERIFY(!f.dialog->isVisible());
    QCOMPARE(Saved_Destination(), typed);
}

void TestInterruptions::sessionEndStopsSyncOfAnotherProcess_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM at logout") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

// A dialog process gets the signal while it syncs: it stops after the file
// in hand, writes the record, saves the folders and exits with 0, no box.
void TestInterruptions::sessionEndStopsSyncOfAnotherProcess()
{
    QFETCH(int, signal);
    TTestHome home;
    QTemporaryDir tools, source, destination;
    QVERIFY(QDir().mkpath(home.Settings_Folder()));
    const QStringList names = Numbered(8);
    for (const QString& name : names)
        QVERIFY(Make_File(source.filePath(name), name.toUtf8(), k_doc_time));
    Write_Settings(source.path(), destination.path(), Slow_Touch(tools));
    const QString typed = destination.path() + "/";
    QProcess child;
    QVERIFY(Start_Child(&child, {"dialog", typed}));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(destination.filePath(names[0])), 60000);
    QCOMPARE(::kill(pid_t(child.processId()), signal), 0);
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);

    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    QCOMPARE(out.section('\n', 0, 0), "0");
    const QString pane = out.section('\n', 1);
    const int reached = Reached(pane);
    QVERIFY2(reached >= 1 && reached < names.size(), qPrintable(pane));
    QVERIFY2(pane.endsWith(Stopped_Tail(names, reached)), qPrintable(pane));
    QCOMPARE(Read_File(destination.filePath(k_record)), pane.toLatin1());
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(File_Time(destination.filePath(names[i])), i < reached ? k_doc_time : -1);
    QCOMPARE(Temporaries(destination.path()), QStringList());
    QCOMPARE(Saved_Destination(), typed);
}

void TestInterruptions::secondProcedureOfUserIsRefused_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Source Report") << "d_source_report";
    QTest::newRow("Sync") << "d_sync";
}

// While a dialog process of the same user syncs, this dialog's procedure
// shows one box and changes nothing; the other sync's result is right.
void TestInterruptions::secondProcedureOfUserIsRefused()
{
    QFETCH(QString, button);
    QTemporaryDir tools, other_source, other_destination;
    TSyncFixture f(DORVANE_TOUCH_EXE);
    QVERIFY(Make_File(f.Src("mine.doc"), "mine", k_doc_time));
    const QStringList names = Numbered(8);
    for (const QString& name : names)
        QVERIFY(Make_File(other_source.filePath(name), name.toUtf8(), k_doc_time));
    Write_Settings(other_source.path(), other_destination.path(), Slow_Touch(tools));
    QProcess child;
    QVERIFY(Start_Child(&child, {"dialog"}));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(other_destination.filePath(names[0])), 60000);

    const QString list = f.home.Settings_Folder() + "/reference_list.xml";
    const QByteArray list_before = Read_File(list);
    auto* pane = f.dialog->findChild<QPlainTextEdit*>("d_output");
    pane->setPlainText("what the pane held");
    f.Button(button.toLatin1())->click();

    QCOMPARE(f.watcher.Count(), 1);
    const TShownBox box = f.watcher.boxes.first();
    QCOMPARE(box.heading, "Busy");
    QCOMPARE(box.message, "Another Source Report or Sync of this user is running. Nothing was "
                          "changed; try again when it has finished.");
    QCOMPARE(box.detail, QString("The lock file '%1/procedure.lock' is held by process %2 on '%3'.")
                             .arg(f.home.Settings_Folder())
                             .arg(child.processId())
                             .arg(QSysInfo::machineHostName()));
    QCOMPARE(pane->toPlainText(), "what the pane held");
    QCOMPARE(Read_File(list), list_before);
    QCOMPARE(f.Tree(), (QMap<QString, QByteArray>()));
    QVERIFY(f.Usable());

    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 0);
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    QCOMPARE(out.section('\n', 0, 0), "0");
    for (const QString& name : names)
        QCOMPARE(Read_File(other_destination.filePath(name)), name.toUtf8());
    QVERIFY(out.section('\n', 1).endsWith(k_rule + k_time + "\t/" +
                                          names.join("\n" + k_time + "\t/") + '\n'));
}

// A dialog process killed while a temporary of its copy exists: every file
// is old or new and whole, and the next sync leaves the work done and no
// temporary anywhere.
void TestInterruptions::syncAfterKillMinus9LeavesNoTemporary()
{
    TSyncFixture f(DORVANE_TOUCH_EXE);
    const QMap<QString, QByteArray> fresh{
        {"a.doc", "new a"}, {"big.bin", QByteArray(96 << 20, 'b')}, {"c.doc", "new c"}};
    for (auto it = fresh.begin(); it != fresh.end(); ++it)
        QVERIFY(Make_File(f.Src(it.key()), it.value(), k_doc_time));
    QStringList left;
    // The kill may come just after a rename: then it is tried again.
    for (int attempt = 0; attempt < 5 && left.isEmpty(); ++attempt) {
        for (auto it = fresh.begin(); it != fresh.end(); ++it)
            QVERIFY(Make_File(f.Dst(it.key()), "old", k_doc_time - 100));
        QProcess child;
        QVERIFY(Start_Child(&child, {"dialog"}));
        while (child.state() == QProcess::Running && Temporaries(f.destination.path()).isEmpty())
            QThread::usleep(500);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(30000));
        left = Temporaries(f.destination.path());
    }
    QVERIFY2(!left.isEmpty(), "the child was never caught with a temporary");
    for (auto it = fresh.begin(); it != fresh.end(); ++it) {
        const QByteArray now = Read_File(f.Dst(it.key()));
        QVERIFY2(now == "old" || now == it.value(), qPrintable(it.key()));
    }

    f.Sync();
    QCOMPARE(f.watcher.Count(), 0);
    QMap<QString, QByteArray> tree = fresh;
    tree[k_record] = f.Output().toLatin1();
    QCOMPARE(f.Tree(), tree);
    QCOMPARE(Temporaries(f.home.Settings_Folder()), QStringList());
}

// Another writer's temporary in the destination (its process alive, before
// its commit) stays through a sync into that folder, and its commit then
// succeeds.
void TestInterruptions::liveWritersTemporaryIsKept()
{
    TSyncFixture f(DORVANE_TOUCH_EXE);
    QVERIFY(Make_File(f.Src("a.doc"), "a", k_doc_time));
    QProcess writer;
    QVERIFY(Start_Child(&writer, {"hold", f.Dst("held.doc")}));
    QVERIFY(writer.waitForReadyRead(30000));
    QCOMPARE(writer.readLine(), QByteArray("ready\n"));
    const QStringList held = Temporaries(f.destination.path());
    QCOMPARE(held.size(), 1);

    f.Sync();
    QCOMPARE(f.Updated(), QStringList({"/a.doc"}));
    QCOMPARE(Temporaries(f.destination.path()), held);

    writer.write("\n");
    QVERIFY(writer.waitForFinished(30000));
    QCOMPARE(writer.readAll(), QByteArray("committed\n"));
    QCOMPARE(writer.exitCode(), 0);
    QCOMPARE(Read_File(f.Dst("held.doc")), QByteArray("held\n"));
    QCOMPARE(Temporaries(f.destination.path()), QStringList());
}

// Temporaries nobody holds, named as ours, go from the folders a sync
// writes to and from the settings folder; other names and other folders
// are not touched.
void TestInterruptions::leftoverTemporariesOfOursAreRemoved()
{
    TSyncFixture f(DORVANE_TOUCH_EXE);
    const QString ours = ".dorvane-0123456789abcdef.tmp";
    QVERIFY(Make_File(f.Src("sub/a.doc"), "a", k_doc_time) && Make_File(f.Dst(ours), "left") &&
            Make_File(f.Dst("sub/" + ours), "left") &&
            Make_File(f.home.Settings_Folder() + '/' + ours, "left") &&
            Make_File(f.Dst("untouched/" + ours), "not written to") &&
            Make_File(f.Dst(".dorvane-0123.tmp"), "not ours") &&
            Make_File(f.Dst(".dorvane-0123456789ABCDEF.tmp"), "not ours"));
    f.Sync();
    QCOMPARE(f.watcher.Count(), 0);
    QCOMPARE(Temporaries(f.home.Settings_Folder()), QStringList());
    QCOMPARE(f.Tree(), (QMap<QString, QByteArray>{{k_record, f.Output().toLatin1()},
                                                  {"sub/a.doc", "a"},
                                                  {"untouched/" + ours, "not written to"},
                                                  {".dorvane-0123.tmp", "not ours"},
                                                  {".dorvane-0123456789ABCDEF.tmp", "not ours"}}));
}

// While the copies are made, the folder fields take no typing and the
// "..." buttons are off; the record goes where the files went.
void TestInterruptions::foldersAreFixedWhileSyncRuns()
{
    QTemporaryDir tools, elsewhere;
    TSyncFixture f(Slow_Touch(tools));
    QVERIFY(Make_File(f.Src("a.doc"), "a", k_doc_time) &&
            Make_File(f.Src("b.doc"), "b", k_doc_time));
    f.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.dialog.get()));
    int picked = 0;
    f.dialog->Set_Folder_Picker([&](QWidget*, const QString&, const QString&) {
        ++picked;
        return elsewhere.path();
    });
    QList<bool> editable;
    QTimer::singleShot(0, f.dialog.get(), [&] {
        for (const char* field : {"d_source", "d_destination"}) {
            editable << !f.Field(field)->isReadOnly();
            QTest::keyClicks(f.Field(field), "x");
        }
        for (const char* browse : {"d_browse_source", "d_browse_destination"}) {
            auto* button = f.dialog->findChild<QToolButton*>(browse);
            editable << button->isEnabled();
            button->click();
        }
    });
    f.Sync();
    QCOMPARE(editable, QList<bool>({false, false, false, false}));
    QCOMPARE(picked, 0);
    QCOMPARE(f.Field("d_source")->text(), f.source.path());
    QCOMPARE(f.Field("d_destination")->text(), f.destination.path());
    QCOMPARE(Read_File(f.Dst(k_record)), f.Output().toLatin1());
    QVERIFY(QDir(elsewhere.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

void TestInterruptions::foldersAreFreeAgainAfterEveryEnd_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("sourceExists");
    QTest::addColumn<int>("boxes");
    QTest::newRow("sync completed") << "d_sync" << true << 0;
    QTest::newRow("sync refused, source missing") << "d_sync" << false << 1;
    QTest::newRow("source report completed") << "d_source_report" << true << 0;
    QTest::newRow("source report refused") << "d_source_report" << false << 1;
}

void TestInterruptions::foldersAreFreeAgainAfterEveryEnd()
{
    QFETCH(QString, button);
    QFETCH(bool, sourceExists);
    QFETCH(int, boxes);
    TSyncFixture f(DORVANE_TOUCH_EXE);
    QVERIFY(Make_File(f.Src("a.doc"), "a", k_doc_time));
    if (!sourceExists)
        f.Field("d_source")->setText(f.Src("missing"));
    f.Button(button.toLatin1())->click();
    QCOMPARE(f.watcher.Count(), boxes);
    QVERIFY(!f.Field("d_source")->isReadOnly() && !f.Field("d_destination")->isReadOnly());
    QVERIFY(f.dialog->findChild<QToolButton*>("d_browse_source")->isEnabled() &&
            f.dialog->findChild<QToolButton*>("d_browse_destination")->isEnabled());
    QVERIFY(f.Usable());
}

// The destination goes away after the first file (the second was copied
// while the first was touched, and cannot be touched now): the files still
// due and the record are listed in the one box, and the pane says the record
// is missing.
void TestInterruptions::recordNotWrittenIsAlwaysSaid()
{
    TSyncFixture f(DORVANE_TOUCH_EXE);
    QVERIFY(Make_File(f.Src("a.doc"), "a", k_doc_time) &&
            Make_File(f.Src("b.doc"), "b", k_doc_time) &&
            Make_File(f.Src("c.doc"), "c", k_doc_time));
    const QString moved = f.destination.path() + "~";
    QTimer::singleShot(0, f.dialog.get(), [&] { QDir().rename(f.destination.path(), moved); });
    f.Sync();
    QDir(moved).removeRecursively();
    QCOMPARE(f.Boxes(),
             "Sync Error|Some files could not be updated, and the information file could not "
             "be written.|/b.doc: the touch program '" DORVANE_TOUCH_EXE "' did not set the file "
             "time\n/c.doc: the destination folder could not be created\n/" +
                 k_record + ": the destination folder does not exist");
    QVERIFY(f.Output().endsWith("\nERR:  Update did not complete.\n" + k_rule +
                                "\nERR:  The information file could not be written.\n" + k_rule));
}

// A destination folder on a file system whose server has gone (a FUSE
// mount whose process was killed) could not be examined, and says why.
void TestInterruptions::unexaminableDestinationFolderIsSaid()
{
    TSyncFixture f(DORVANE_TOUCH_EXE);
    QTemporaryDir images;
    const QString share = f.Dst("share"), image = images.filePath("fat.img");
    QVERIFY(QDir().mkdir(share) && Make_File(f.Src("share/a.doc"), "a", k_doc_time));
    QProcess server;
    if (geteuid() != 0 ||
        QProcess::execute("sh", {"-c", "mkfs.vfat -C '" + image + "' 1024 >/dev/null 2>&1"}) != 0)
        QSKIP("needs root, FUSE, dosfstools and fusefat");
    // Nothing cached: every look at the folder goes to the server.
    server.start("fusefat", {"-f", "-o", "rw+,attr_timeout=0,entry_timeout=0", image, share});
    if (!server.waitForStarted())
        QSKIP("needs root, FUSE, dosfstools and fusefat");
    QTRY_VERIFY_WITH_TIMEOUT(QProcess::execute("mountpoint", {"-q", share}) == 0, 30000);
    server.kill();
    server.waitForFinished();
    f.Sync();
    QProcess::execute("umount", {"-l", share});
    QCOMPARE(f.Updated(), QStringList({"/share/a.doc\tNOT UPDATED: the destination folder could "
                                       "not be examined: Transport endpoint is not connected"}));
    QCOMPARE(f.watcher.Count(), 1);
}

QTEST_MAIN(TestInterruptions)
#include "tst_interruptions.moc"
