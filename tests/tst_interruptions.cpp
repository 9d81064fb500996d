#include "syncfixture.h"

#include <QtTest>

#include <csignal>

static QStringList Temporaries(TSyncFixture& f)
{
    return QDir(f.Dst("")).entryList({".dorvane-????????????????.tmp"}, QDir::Files | QDir::Hidden);
}

static QStringList Numbered_Sources(TSyncFixture& f)
{
    QStringList names;
    for (int i = 1; i <= 8; ++i) {
        names << QString("%1.doc").arg(i);
        Make_File(f.Src(names.last()), "x", k_doc_time);
    }
    return names;
}

// The ways a user or the session ends a dialog.
static void Ending_Rows()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("signal");
    QTest::newRow("Escape") << "escape" << 0;
    QTest::newRow("window's close box") << "close box" << 0;
    QTest::newRow("SIGTERM at logout") << "signal" << int(SIGTERM);
}

class TestInterruptions : public QObject
{
    Q_OBJECT

    QTemporaryDir d_tools;
    QString d_slow_touch = d_tools.filePath("slow-touch.sh");

    // A child dialog syncs NAMES into F's destination, typed with a last "/", and is ended the
    // row's way after the first file. REACHED: how many of NAMES it copied before it stopped;
    // SAID: what the child printed.
    void Sync_Ended_In_Child(TSyncFixture& f, const QStringList& names, int* reached,
                             QByteArray* said = nullptr)
    {
        QFETCH(QString, how);
        QFETCH(int, signal);
        QProcess child;
        child.start(DORVANE_CHILD, {"dialog", f.destination.path() + "/", how});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(f.Dst(names[0])), 60000);
        if (signal != 0)
            QCOMPARE(::kill(child.processId(), signal), 0);
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitCode(), 0);
        if (said)
            *said = child.readAllStandardOutput();
        while (*reached < names.size() && QFile::exists(f.Dst(names[*reached])))
            ++*reached;
        QVERIFY2(*reached < names.size(), "the sync did not stop");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(Make_Script(d_slow_touch, "sleep 0.3\nexec '" DORVANE_TOUCH_EXE "' \"$@\""));
    }

    // A source another process appends to while it is copied is not updated.
    void sourceChangingDuringCopyIsNotUpdated()
    {
        TSyncFixture f;
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
        QCOMPARE(Read_File(f.Dst("growing.log")), QByteArray("old"));
    }

    void endingDuringSyncStopsQuietlyAfterFileInHand_data() { Ending_Rows(); }
    // The file in hand is finished, with its time; no later file is begun; no box; exit 0.
    void endingDuringSyncStopsQuietlyAfterFileInHand()
    {
        TSyncFixture f(d_slow_touch);
        const QStringList names = Numbered_Sources(f);
        int reached = 0;
        QByteArray said;
        Sync_Ended_In_Child(f, names, &reached, &said);
        QCOMPARE(said, QByteArray("0 boxes\n"));
        QMap<QString, QByteArray> tree{{k_record, Read_File(f.Dst(k_record))}};
        for (int i = 0; i < reached; ++i)
            tree[names[i]] = "x";
        QCOMPARE(f.Tree(), tree);
        QCOMPARE(File_Time(f.Dst(names[reached - 1])), k_doc_time);
    }

    void stoppedSyncRecordsWhatWasNotReached_data() { Ending_Rows(); }
    void stoppedSyncRecordsWhatWasNotReached()
    {
        TSyncFixture f(d_slow_touch);
        const QStringList names = Numbered_Sources(f);
        int reached = 0;
        Sync_Ended_In_Child(f, names, &reached);
        const int left = names.size() - reached;
        const QString stopped = left == 1
                                    ? "1 file was not reached: /" + names[reached]
                                    : QString("%1 files were not reached, the first of them /%2")
                                          .arg(left)
                                          .arg(names[reached]);
        const QString record = Read_File(f.Dst(k_record));
        QVERIFY2(record.endsWith('/' + names[reached - 1] + "\n\nSync stopped: " + stopped +
                                 "\n\nERR:  Update did not complete.\n" + k_rule + '\n'),
                 qPrintable(record));
    }

    void endingDuringSyncSavesTheSettings_data() { Ending_Rows(); }
    // As typed, though the sync read the folder without the last "/".
    void endingDuringSyncSavesTheSettings()
    {
        TSyncFixture f(d_slow_touch);
        int reached = 0;
        Sync_Ended_In_Child(f, Numbered_Sources(f), &reached);
        QSettings saved(f.home.Settings_Folder() + "/Settings.ini", QSettings::IniFormat);
        QCOMPARE(saved.value("Destination").toString(), f.destination.path() + "/");
    }

    // While another process of the same user syncs, a Sync shows Busy and changes nothing.
    void secondProcedureOfUserIsRefused()
    {
        QTemporaryDir other;
        TSyncFixture f(d_slow_touch);
        const QStringList names = Numbered_Sources(f);
        QProcess child;
        child.start(DORVANE_CHILD, {"dialog", other.path()});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(other.filePath(names[0])), 60000);
        f.Button("d_sync")->click();
        const TShownBox busy{
            "Busy",
            "Another Source Report or Sync of this user is running. Nothing was changed; try "
            "again when it has finished.",
            QString("The lock file '%1/procedure.lock' is held by process %2 on '%3'.")
                .arg(f.home.Settings_Folder())
                .arg(child.processId())
                .arg(QSysInfo::machineHostName())};
        QCOMPARE(f.watcher.Take(), QList<TShownBox>{busy});
        QCOMPARE(f.Tree(), (QMap<QString, QByteArray>()));
        QVERIFY(child.waitForFinished());
    }

    // After a kill -9 mid-copy, a sync leaves whole files and no temporary.
    void syncAfterKillMinus9LeavesNoTemporary()
    {
        TSyncFixture f;
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
        f.Sync();
        QCOMPARE(f.Tree(), (QMap<QString, QByteArray>{{"big.bin", fresh},
                                                      {k_record, f.Output().toLatin1()}}));
    }

    // A sync removes unheld temporaries of ours; a live writer's stays and can commit.
    void onlyUnheldTemporariesOfOursAreRemoved()
    {
        TSyncFixture f;
        QProcess writer;
        writer.start(DORVANE_CHILD, {"hold", f.Dst("held.doc")});
        QVERIFY(writer.waitForReadyRead(30000));
        const QStringList held = Temporaries(f);
        QCOMPARE(held.size(), 1);
        QVERIFY(Make_File(f.Src("a.doc"), "a", k_doc_time) &&
                Make_File(f.Dst(".dorvane-0123456789abcdef.tmp")));
        f.Sync();
        QCOMPARE(Temporaries(f), held);
        writer.write("\n");
        QVERIFY(writer.waitForFinished());
        QCOMPARE(Read_File(f.Dst("held.doc")), QByteArray("held\n"));
    }
};

QTEST_MAIN(TestInterruptions)
#include "tst_interruptions.moc"
