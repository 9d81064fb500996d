#include "syncfixture.h"

#include <QtTest>

#include <csignal>
#include <unistd.h>

static QStringList Temporaries(TSyncFixture& f)
{
    return QDir(f.Dst("")).entryList({".dorvane-????????????????.tmp"}, QDir::Files | QDir::Hidden);
}

// Source files 1.doc ... 8.doc.
static QStringList Numbered_Sources(TSyncFixture& f)
{
    QStringList names;
    for (int i = 1; i <= 8; ++i) {
        names << QString("%1.doc").arg(i);
        Make_File(f.Src(names.last()), "x", k_doc_time);
    }
    return names;
}

class TestInterruptions : public QObject
{
    Q_OBJECT

    QTemporaryDir d_tools;
    QString d_slow_touch = d_tools.filePath("slow-touch.sh");

private slots:
    void initTestCase()
    {
        // Slow enough for a sync to be interrupted between files.
        Make_File(d_slow_touch, "#!/bin/sh\nsleep 0.3\nexec '" DORVANE_TOUCH_EXE "' \"$@\"\n");
        QFile::setPermissions(d_slow_touch, QFile::ReadOwner | QFile::ExeOwner);
    }

    // A source file another process appends to while it is copied is not
    // updated; the next sync copies it whole.
    void sourceChangingDuringCopyIsNotUpdated()
    {
        TSyncFixture f(DORVANE_TOUCH_EXE);
        const QByteArray start(16 << 20, 'g');
        QVERIFY(Make_File(f.Src("growing.log"), start, k_doc_time) &&
                Make_File(f.Dst("growing.log"), "old", k_doc_time - 100));
        QProcess writer;
        writer.start("sh", {"-c", "while :; do printf x >> \"$0\"; done", f.Src("growing.log")});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(f.Src("growing.log")).size() > start.size(), 30000);
        f.Sync();
        writer.kill();
        writer.waitForFinished();

        QCOMPARE(f.Updated(), QStringList("/growing.log\tNOT UPDATED: the source changed while "
                                          "it was copied"));
        QCOMPARE(f.watcher.Count(), 1);
        QCOMPARE(Read_File(f.Dst("growing.log")), QByteArray("old"));

        f.Sync();
        QCOMPARE(Read_File(f.Dst("growing.log")), Read_File(f.Src("growing.log")));
    }

    void endingDuringSyncStopsAfterFileInHand_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("signal");
        QTest::newRow("Close button") << "close button" << 0;
        QTest::newRow("Escape") << "escape" << 0;
        QTest::newRow("window's close box") << "close box" << 0;
        QTest::newRow("SIGTERM at logout") << "signal" << int(SIGTERM);
        QTest::newRow("SIGINT") << "signal" << int(SIGINT);
    }
    // A dialog process asked to end while it syncs stops after the file in
    // hand, writes the record, saves the typed folders, shows no box and exits.
    void endingDuringSyncStopsAfterFileInHand()
    {
        QFETCH(QString, how);
        QFETCH(int, signal);
        TSyncFixture f(d_slow_touch);
        const QStringList names = Numbered_Sources(f);
        const QString typed = f.destination.path() + "/";
        QProcess child;
        child.start(DORVANE_CHILD, {"dialog", typed, how});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(f.Dst(names[0])), 60000);
        if (signal != 0)
            QCOMPARE(::kill(child.processId(), signal), 0);
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.readAllStandardOutput(), QByteArray("0 boxes\n"));
        QCOMPARE(child.exitCode(), 0);

        int reached = 0;
        while (reached < names.size() && QFile::exists(f.Dst(names[reached])))
            ++reached;
        QVERIFY2(reached < names.size(), "the sync did not stop");
        const int left = names.size() - reached;
        const QString stopped = left == 1
                                    ? "1 file was not reached: /" + names[reached]
                                    : QString("%1 files were not reached, the first of them /%2")
                                          .arg(left)
                                          .arg(names[reached]);
        const QString record = Read_File(f.Dst(k_record));
        QVERIFY2(record.endsWith('/' + names[reached - 1] + "\n\nSync stopped: " + stopped +
                                 "\n\nERR:  Update did not complete.\n" + QString(44, '-') + '\n'),
                 qPrintable(record));
        QCOMPARE(File_Time(f.Dst(names[reached - 1])), k_doc_time);
        QCOMPARE(Temporaries(f), QStringList());
        QSettings saved(f.home.Settings_Folder() + "/Settings.ini", QSettings::IniFormat);
        QCOMPARE(saved.value("Destination").toString(), typed);
    }

    void secondProcedureOfUserIsRefused_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Source Report") << "d_source_report";
        QTest::newRow("Sync") << "d_sync";
    }
    // While a dialog process of the same user syncs elsewhere, this dialog's
    // procedure shows one box and changes nothing.
    void secondProcedureOfUserIsRefused()
    {
        QFETCH(QString, button);
        QTemporaryDir other;
        TSyncFixture f(d_slow_touch);
        const QStringList names = Numbered_Sources(f);
        QProcess child;
        child.start(DORVANE_CHILD, {"dialog", other.path()});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(other.filePath(names[0])), 60000);

        const QString list = f.home.Settings_Folder() + "/reference_list.xml";
        const QByteArray list_before = Read_File(list);
        f.Button(button.toLatin1())->click();

        const TShownBox busy{
            "Busy",
            "Another Source Report or Sync of this user is running. Nothing was changed; try "
            "again when it has finished.",
            QString("The lock file '%1/procedure.lock' is held by process %2 on '%3'.")
                .arg(f.home.Settings_Folder())
                .arg(child.processId())
                .arg(QSysInfo::machineHostName())};
        QCOMPARE(f.watcher.Take(), QList<TShownBox>{busy});
        QCOMPARE(Read_File(list), list_before);
        QCOMPARE(f.Tree(), (QMap<QString, QByteArray>()));
        QVERIFY(child.waitForFinished());
    }

    // A dialog process killed while a temporary of its copy exists leaves the
    // file old or new; the next sync leaves the work done and no temporary.
    void syncAfterKillMinus9LeavesNoTemporary()
    {
        TSyncFixture f(DORVANE_TOUCH_EXE);
        const QByteArray fresh(96 << 20, 'n');
        QVERIFY(Make_File(f.Src("big.bin"), fresh, k_doc_time));
        QStringList left;
        // The kill may come just after the rename: then it is tried again.
        for (int attempt = 0; attempt < 5 && left.isEmpty(); ++attempt) {
            QVERIFY(Make_File(f.Dst("big.bin"), "old", k_doc_time - 100));
            QProcess child;
            child.start(DORVANE_CHILD, {"dialog", f.destination.path()});
            QVERIFY(child.waitForStarted());
            while (child.state() == QProcess::Running && Temporaries(f).isEmpty())
                QThread::usleep(500);
            ::kill(child.processId(), SIGKILL);
            QVERIFY(child.waitForFinished());
            left = Temporaries(f);
        }
        QVERIFY2(!left.isEmpty(), "the child was never caught with a temporary");
        const QByteArray now = Read_File(f.Dst("big.bin"));
        QVERIFY(now == "old" || now == fresh);

        f.Sync();
        QCOMPARE(f.Tree(), (QMap<QString, QByteArray>{{"big.bin", fresh},
                                                      {k_record, f.Output().toLatin1()}}));
    }

    // A sync removes the unheld temporaries named as ours from the folders it
    // writes to; a live writer's stays and can commit; other names stay.
    void onlyUnheldTemporariesOfOursAreRemoved()
    {
        TSyncFixture f(DORVANE_TOUCH_EXE);
        const QString other = ".dorvane-0123.tmp";
        QProcess writer;
        writer.start(DORVANE_CHILD, {"hold", f.Dst("held.doc")});
        QVERIFY(writer.waitForReadyRead(30000));
        const QStringList held = Temporaries(f);
        QVERIFY(Make_File(f.Src("a.doc"), "a", k_doc_time) &&
                Make_File(f.Dst(".dorvane-0123456789abcdef.tmp")) && Make_File(f.Dst(other)));

        f.Sync();
        QCOMPARE(held.size(), 1);
        QCOMPARE(Temporaries(f), held);
        QVERIFY(QFile::exists(f.Dst(other)));

        writer.write("\n");
        QVERIFY(writer.waitForFinished());
        QCOMPARE(Read_File(f.Dst("held.doc")), QByteArray("held\n"));
    }

    // Only while a sync runs are the folder fields read-only and "..." off.
    void foldersAreFixedOnlyWhileSyncRuns()
    {
        TSyncFixture f(DORVANE_TOUCH_EXE);
        QVERIFY(Make_File(f.Src("a.doc"), "a", k_doc_time) &&
                Make_File(f.Src("b.doc"), "b", k_doc_time));
        auto free = [&] {
            return QVector<bool>{
                !f.Field("d_source")->isReadOnly(), !f.Field("d_destination")->isReadOnly(),
                f.dialog->findChild<QToolButton*>("d_browse_source")->isEnabled(),
                f.dialog->findChild<QToolButton*>("d_browse_destination")->isEnabled()};
        };
        QVector<bool> during;
        QTimer::singleShot(0, f.dialog.get(), [&] { during = free(); });
        f.Sync();
        QCOMPARE(during, QVector<bool>(4, false));
        QCOMPARE(free(), QVector<bool>(4, true));
    }

    // The destination goes away while the second file is copied: that file
    // and the record are listed in the one box.
    void recordNotWrittenIsAlwaysSaid()
    {
        TSyncFixture f(DORVANE_TOUCH_EXE);
        QVERIFY(Make_File(f.Src("a.doc"), "a", k_doc_time) &&
                Make_File(f.Src("b.doc"), "b", k_doc_time));
        const QString moved = f.destination.path() + "~";
        QTimer::singleShot(0, f.dialog.get(), [&] { QDir().rename(f.destination.path(), moved); });
        f.Sync();
        QDir(moved).removeRecursively();
        const TShownBox box{
            "Sync Error",
            "Some files could not be updated, and the information file could not be written.",
            "/b.doc: the touch program '" DORVANE_TOUCH_EXE "' did not set the file time\n/" +
                k_record + ": the destination folder does not exist"};
        QCOMPARE(f.watcher.Take(), QList<TShownBox>{box});
    }

    // A destination folder on a FUSE mount whose server was killed cannot be
    // examined, and says why.
    void unexaminableDestinationFolderIsSaid()
    {
        TSyncFixture f(DORVANE_TOUCH_EXE);
        const QString share = f.Dst("share"), image = f.home.d_dir.filePath("fat.img");
        QVERIFY(QDir().mkdir(share) && Make_File(f.Src("share/a.doc"), "a", k_doc_time));
        const char* needs = "needs root, dosfstools and fusefat";
        if (geteuid() != 0 || QProcess::execute("mkfs.vfat", {"-C", image, "1024"}) != 0)
            QSKIP(needs);
        // Nothing cached: every look at the folder goes to the server.
        QProcess server;
        server.start("fusefat", {"-f", "-o", "rw+,attr_timeout=0,entry_timeout=0", image, share});
        if (!server.waitForStarted())
            QSKIP(needs);
        QTRY_VERIFY_WITH_TIMEOUT(QProcess::execute("mountpoint", {"-q", share}) == 0, 30000);
        server.kill();
        server.waitForFinished();
        f.Sync();
        QProcess::execute("umount", {"-l", share});
        QCOMPARE(f.Updated(), QStringList("/share/a.doc\tNOT UPDATED: the destination folder "
                                          "could not be examined: Transport endpoint is not "
                                          "connected"));
    }
};

QTEST_MAIN(TestInterruptions)
#include "tst_interruptions.moc"
