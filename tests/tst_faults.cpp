// Faults met during a sync of three controlled files over their old copies
// (see TFaultySync), through the real dialog. Every test runs the same table
// of faults and checks one thing that the faulty sync, or the next one, must
// get right.

#include "faultfixture.h"

#include <QtTest>

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void init();
    void cleanup() { d_faulty.reset(); }

    void filesNotUpdatedAreListedWithTheirReason_data() { Fault_Rows(); }
    void filesNotUpdatedAreListedWithTheirReason();
    void destinationFilesStayOldOrNewAndWhole_data() { Fault_Rows(); }
    void destinationFilesStayOldOrNewAndWhole();
    void recordIsWrittenWhereTheDestinationStays_data() { Fault_Rows(); }
    void recordIsWrittenWhereTheDestinationStays();
    void paneEndsWithUpdateDidNotComplete_data() { Fault_Rows(); }
    void paneEndsWithUpdateDidNotComplete();
    void oneBoxNamesTheFilesNotUpdated_data() { Fault_Rows(); }
    void oneBoxNamesTheFilesNotUpdated();
    void buttonsWorkAfterTheFault_data() { Fault_Rows(); }
    void buttonsWorkAfterTheFault();
    void nextSyncWithoutTheFaultCompletesTheWork_data() { Fault_Rows(); }
    void nextSyncWithoutTheFaultCompletesTheWork();

private:
    static void Fault_Rows();
    bool Ran_In_Child() const { return !d_faulty; }
    static QStringList Failed_Files();
    static QString Reason(int i, const QString& touch);

    // The sync that met the row's fault, with the fault lifted; none when the
    // row ran in a child process.
    std::unique_ptr<TFaultySync> d_faulty;
};

// Files are done in the order of TFaultySync::k_files. Those before
// firstFailed are updated; that one fails for firstReason and each later one
// for laterReason (%1: the touch program). The first newCopies files hold
// their new copies afterwards, the rest their old ones. Most faults strike
// after the first file is done; the second is copied by then, while the first
// one's touch program runs, and touched afterwards.
void TestFaults::Fault_Rows()
{
    QTest::addColumn<TFault>("fault");
    QTest::addColumn<int>("firstFailed");
    QTest::addColumn<QString>("firstReason");
    QTest::addColumn<QString>("laterReason");
    QTest::addColumn<int>("newCopies");
    QTest::addColumn<bool>("recordWritten");
    QTest::addColumn<int>("boxes");

    const QString not_created = "the destination folder could not be created";
    const QString not_touched = "the touch program '%1' did not set the file time";
    QTest::newRow("destination removed")
        << TFault::Destination_Removed << 1 << not_touched << not_created << 2 << false << 1;
    QTest::newRow("destination replaced by a file")
        << TFault::Destination_Replaced_By_File << 1 << not_touched << not_created << 2 << false
        << 1;
    const QString gone = "the file could not be copied: No such file or directory";
    QTest::newRow("source deleted")
        << TFault::Source_Deleted << 2 << gone << gone << 2 << true << 1;
    const QString not_folder = "the file could not be copied: Not a directory";
    QTest::newRow("source unreadable")
        << TFault::Source_Unreadable << 2 << not_folder << not_folder << 2 << true << 1;
    const QString not_replaced = "the old copy could not be replaced: Operation not permitted";
    QTest::newRow("destination file locked")
        << TFault::Destination_File_Locked << 2 << not_replaced << not_replaced << 2 << true << 1;
    const QString not_permitted = "the file could not be copied: Operation not permitted";
    QTest::newRow("destination folder locked") << TFault::Destination_Folder_Locked << 1
                                               << not_permitted << not_permitted << 1 << true << 1;
    const QString too_large = "the file could not be copied: File too large";
    QTest::newRow("write fails part-way")
        << TFault::Write_Fails_Part_Way << 0 << too_large << too_large << 0 << true << 1;
    const QString failed = "the touch program '%1' did not set the file time";
    QTest::newRow("touch fails") << TFault::Touch_Fails << 0 << failed << failed << 3 << true << 1;
    const QString hung = "the touch program '%1' did not finish in time";
    QTest::newRow("touch hangs") << TFault::Touch_Hangs << 0 << hung << hung << 3 << true << 1;
}

// The file size limit holds for the whole process: a row that needs it runs
// in a child process of this test, which runs only that function and row.
void TestFaults::init()
{
    QFETCH(TFault, fault);
    const QString only =
        QString("%1:%2").arg(QTest::currentTestFunction(), QTest::currentDataTag());
    if (fault == TFault::Write_Fails_Part_Way && !QCoreApplication::arguments().contains(only)) {
        QCOMPARE(QProcess::execute(QCoreApplication::applicationFilePath(), {only}), 0);
        return;
    }
    d_faulty.reset(new TFaultySync(fault));
    QVERIFY(d_faulty->Set_Up());
    if (!d_faulty->Lock())
        QSKIP("the immutable flag needs root, chattr and a file system that has it");
    QVERIFY(d_faulty->Sync_With_Fault());
}

// The names of the files that the faulty sync did not update, each with a "/".
QStringList TestFaults::Failed_Files()
{
    QFETCH(int, firstFailed);
    QStringList failed;
    for (int i = firstFailed; i < TFaultySync::k_files.size(); ++i)
        failed << "/" + TFaultySync::k_files[i];
    return failed;
}

// Why file i was not updated.
QString TestFaults::Reason(int i, const QString& touch)
{
    QFETCH(int, firstFailed);
    QFETCH(QString, firstReason);
    QFETCH(QString, laterReason);
    return QString(i == firstFailed ? firstReason : laterReason).replace("%1", touch);
}

void TestFaults::filesNotUpdatedAreListedWithTheirReason()
{
    if (Ran_In_Child())
        return;
    QFETCH(int, firstFailed);
    TFaultySync& f = *d_faulty;

    QStringList listed;
    for (int i = 0; i < TFaultySync::k_files.size(); ++i)
        listed << "/" + TFaultySync::k_files[i] +
                      (i < firstFailed ? QString() : "\tNOT UPDATED: " + Reason(i, f.touch));
    QCOMPARE(f.sync.Updated(), listed);
}

// A failure keeps the old copy whole; a file whose touch program failed holds
// its new copy all the same. Nothing temporary stays.
void TestFaults::destinationFilesStayOldOrNewAndWhole()
{
    if (Ran_In_Child())
        return;
    QFETCH(int, newCopies);
    TFaultySync& f = *d_faulty;

    QMap<QString, QByteArray> files;
    for (int i = 0; i < TFaultySync::k_files.size(); ++i)
        files[TFaultySync::k_files[i]] =
            i < newCopies ? TFaultySync::New_Bytes(i) : TFaultySync::Old_Bytes(i);
    QCOMPARE(f.Controlled_Files(), files);
}

// The record is the pane's text, failures included. A destination that was
// gone when the record was due has none.
void TestFaults::recordIsWrittenWhereTheDestinationStays()
{
    if (Ran_In_Child())
        return;
    QFETCH(bool, recordWritten);
    TFaultySync& f = *d_faulty;

    QCOMPARE(QFile::exists(f.sync.Dst(k_record)), recordWritten);
    if (recordWritten)
        QCOMPARE(Read_File(f.sync.Dst(k_record)), f.sync.Output().toLatin1());
}

void TestFaults::paneEndsWithUpdateDidNotComplete()
{
    if (Ran_In_Child())
        return;
    TFaultySync& f = *d_faulty;

    const QString trailer = "\nERR:  Update did not complete.\n" + QString(44, '-') + "\n";
    QVERIFY2(f.sync.Output().endsWith(trailer), qPrintable(f.sync.Output()));
}

void TestFaults::oneBoxNamesTheFilesNotUpdated()
{
    if (Ran_In_Child())
        return;
    QFETCH(int, firstFailed);
    QFETCH(int, boxes);
    TFaultySync& f = *d_faulty;

    QCOMPARE(f.sync.watcher.Count(), boxes);
    QStringList detail;
    for (int i = firstFailed; i < TFaultySync::k_files.size(); ++i)
        detail << "/" + TFaultySync::k_files[i] + ": " + Reason(i, f.touch);
    const TShownBox& shown = f.sync.watcher.boxes.last();
    QCOMPARE(shown.heading, QString("Sync Error"));
    QCOMPARE(shown.message, QString("Some files could not be updated."));
    QCOMPARE(shown.detail, detail.join('\n'));
}

void TestFaults::buttonsWorkAfterTheFault()
{
    if (Ran_In_Child())
        return;
    TFaultySync& f = *d_faulty;

    QVERIFY(f.sync.Usable());
}

// The next sync updates just the files that were not, shows no box, and
// leaves every new copy and a record of its own.
void TestFaults::nextSyncWithoutTheFaultCompletesTheWork()
{
    if (Ran_In_Child())
        return;
    QFETCH(int, boxes);
    TFaultySync& f = *d_faulty;
    f.Sync_Again();

    QCOMPARE(f.sync.Updated(), Failed_Files());
    QCOMPARE(f.sync.watcher.Count(), boxes);
    QMap<QString, QByteArray> tree = {{k_record, f.sync.Output().toLatin1()}};
    for (int i = 0; i < TFaultySync::k_files.size(); ++i)
        tree[TFaultySync::k_files[i]] = TFaultySync::New_Bytes(i);
    QCOMPARE(f.sync.Tree(), tree);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
