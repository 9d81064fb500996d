// Faults met by a sync through the real dialog (TFaultySync). Each test runs
// the whole fault table.

#include "faultfixture.h"

#include <QtTest>

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void init();
    void cleanup() { d_faulty.reset(); }

    void failedFilesAreListedAndBoxed_data() { Fault_Rows(); }
    void failedFilesAreListedAndBoxed();
    void destinationHoldsWholeFilesAndATrueRecord_data() { Fault_Rows(); }
    void destinationHoldsWholeFilesAndATrueRecord();
    void nextSyncWithoutTheFaultCompletesTheWork_data() { Fault_Rows(); }
    void nextSyncWithoutTheFaultCompletesTheWork();

private:
    static void Fault_Rows();
    static QString Reason(int i, const QString& touch);

    // The sync that met the row's fault; none when the row ran in a child.
    std::unique_ptr<TFaultySync> d_faulty;
};

// Files are done in the order of TFaultySync::k_files. Those before
// firstFailed are updated; that one is not, for firstReason, nor any later
// one, for laterReason (%1: the touch program). The first newCopies files
// hold their new copies afterwards, the rest their old ones. A fault that
// strikes after the first file finds the second copied already, while the
// first one's touch program ran. A record that could not be written is named,
// with recordFailure, in the same box as the files.
void TestFaults::Fault_Rows()
{
    QTest::addColumn<TFault>("fault");
    QTest::addColumn<int>("firstFailed");
    QTest::addColumn<QString>("firstReason");
    QTest::addColumn<QString>("laterReason");
    QTest::addColumn<int>("newCopies");
    QTest::addColumn<QString>("recordFailure");
    QTest::addColumn<QString>("boxMessage");

    const QString no_folder = "the destination folder could not be created";
    const QString untouched = "the touch program '%1' did not set the file time";
    const QString hung = "the touch program '%1' did not finish in time";
    const QString copy = "the file could not be copied: ";
    const QString replace = "the old copy could not be replaced: ";
    const QString files = "Some files could not be updated.";
    const QString both =
        "Some files could not be updated, and the information file could not be written.";
    QTest::newRow("destination removed")
        << TFault::Destination_Removed << 1 << untouched << no_folder << 2
        << "the destination folder does not exist" << both;
    QTest::newRow("destination replaced by a file")
        << TFault::Destination_Replaced_By_File << 1 << untouched << no_folder << 2
        << "the destination is not a folder" << both;
    QTest::newRow("source deleted")
        << TFault::Source_Deleted << 2 << copy + "No such file or directory" << QString() << 2
        << QString() << files;
    QTest::newRow("source unreadable") << TFault::Source_Unreadable << 2 << copy + "Not a directory"
                                       << QString() << 2 << QString() << files;
    QTest::newRow("destination file locked")
        << TFault::Destination_File_Locked << 2 << replace + "Operation not permitted" << QString()
        << 2 << QString() << files;
    QTest::newRow("destination folder locked")
        << TFault::Destination_Folder_Locked << 1 << copy + "Operation not permitted"
        << copy + "Operation not permitted" << 1 << QString() << files;
    QTest::newRow("write fails part-way")
        << TFault::Write_Fails_Part_Way << 0 << copy + "File too large" << copy + "File too large"
        << 0 << QString() << files;
    QTest::newRow("touch fails") << TFault::Touch_Fails << 0 << untouched << untouched << 3
                                 << QString() << files;
    QTest::newRow("touch hangs") << TFault::Touch_Hangs << 0 << hung << hung << 3 << QString()
                                 << files;
}

// The file size limit holds for the whole process: that row runs in a child
// process of this test, which runs only the one function and row.
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

// Why file i was not updated.
QString TestFaults::Reason(int i, const QString& touch)
{
    QFETCH(int, firstFailed);
    QFETCH(QString, firstReason);
    QFETCH(QString, laterReason);
    return QString(i == firstFailed ? firstReason : laterReason).replace("%1", touch);
}

void TestFaults::failedFilesAreListedAndBoxed()
{
    if (!d_faulty)
        return;
    QFETCH(int, firstFailed);
    QFETCH(QString, recordFailure);
    QFETCH(QString, boxMessage);
    TSyncFixture& f = d_faulty->sync;
    QStringList listed, detail;
    for (int i = 0; i < TFaultySync::k_files.size(); ++i) {
        const QString name = "/" + TFaultySync::k_files[i];
        listed << (i < firstFailed ? name : name + "\tNOT UPDATED: " + Reason(i, d_faulty->touch));
        if (i >= firstFailed)
            detail << name + ": " + Reason(i, d_faulty->touch);
    }
    if (!recordFailure.isEmpty())
        detail << "/" + k_record + ": " + recordFailure;
    const QString rule = QString(44, '-') + "\n";
    QString trailer = "\nERR:  Update did not complete.\n" + rule;
    if (!recordFailure.isEmpty())
        trailer += "\nERR:  The information file could not be written.\n" + rule;
    QCOMPARE(f.Updated(), listed);
    QVERIFY(f.Output().endsWith(trailer));
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(f.watcher.boxes.last().heading, QString("Sync Error"));
    QCOMPARE(f.watcher.boxes.last().message, boxMessage);
    QCOMPARE(f.watcher.boxes.last().detail, detail.join('\n'));
}

// A file whose touch program failed holds its new copy all the same.
void TestFaults::destinationHoldsWholeFilesAndATrueRecord()
{
    if (!d_faulty)
        return;
    QFETCH(int, newCopies);
    QFETCH(QString, recordFailure);
    QMap<QString, QByteArray> tree;
    if (recordFailure.isEmpty())
        tree[k_record] = d_faulty->sync.Output().toLatin1();
    for (int i = 0; i < TFaultySync::k_files.size(); ++i)
        tree[TFaultySync::k_files[i]] =
            i < newCopies ? TFaultySync::New_Bytes(i) : TFaultySync::Old_Bytes(i);
    QCOMPARE(d_faulty->sync.Tree(), tree);
}

// Through the buttons, which therefore work.
void TestFaults::nextSyncWithoutTheFaultCompletesTheWork()
{
    if (!d_faulty)
        return;
    QFETCH(int, firstFailed);
    TSyncFixture& f = d_faulty->sync;
    f.Sync();
    QMap<QString, QByteArray> tree = {{k_record, f.Output().toLatin1()}};
    QStringList listed;
    for (int i = 0; i < TFaultySync::k_files.size(); ++i) {
        tree[TFaultySync::k_files[i]] = TFaultySync::New_Bytes(i);
        if (i >= firstFailed)
            listed << "/" + TFaultySync::k_files[i];
    }
    QCOMPARE(f.Updated(), listed);
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(f.Tree(), tree);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
