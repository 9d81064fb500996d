// A sync through the real dialog, of three files with old copies and an old
// record in the destination, meets a fault, lifted again afterwards.

#include "syncfixture.h"

#include <QtTest>

// Folders are moved away, and a destination of its own size fills up, after
// the first file is done; "locked" is the immutable flag (on "sub/C.doc" or
// "sub"), which stops root too.
enum class TFault {
    Destination_Removed,
    Source_Deleted,
    Destination_File_Locked,
    Destination_Folder_Locked,
    Touch_Fails,
    Touch_Hangs,
    Destination_Fills_Up,
};
Q_DECLARE_METATYPE(TFault)

static const QStringList k_files = {"A.doc", "sub/B.doc", "sub/C.doc"};
static QByteArray New_Bytes(int i)
{
    return QByteArray(5000, 'n') + k_files[i].toUtf8();
}

class TestFaults : public QObject
{
    Q_OBJECT

    QTemporaryDir d_tools;
    const QString d_touch = d_tools.filePath("touch.sh");
    // The sync that met the row's fault, and the boxes it showed.
    std::unique_ptr<TSyncFixture> d_sync;
    QList<TShownBox> d_boxes;

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void init();
    void cleanup() { d_sync.reset(); }

    void failedFilesAreListedAndBoxed_data() { Fault_Rows(); }
    void failedFilesAreListedAndBoxed();
    void destinationHoldsWholeFilesAndATrueRecord_data() { Fault_Rows(); }
    void destinationHoldsWholeFilesAndATrueRecord();
    void nextSyncWithoutTheFaultCompletesTheWork_data() { Fault_Rows(); }
    void nextSyncWithoutTheFaultCompletesTheWork();

private:
    static void Fault_Rows();
};

static const QByteArray k_real_touch = "exec '" DORVANE_TOUCH_EXE "' \"$@\"";

// Why each file (in the sync's order) was not updated, empty where it was;
// %1: the touch program. The first newCopies files hold their new copies
// afterwards: the second was copied while the first one's touch program ran.
void TestFaults::Fault_Rows()
{
    QTest::addColumn<TFault>("fault");
    QTest::addColumn<QStringList>("reasons");
    QTest::addColumn<int>("newCopies");
    QTest::addColumn<QString>("recordFailure");
    const auto row = [](const char* tag, TFault fault, const QStringList& reasons, int new_copies,
                        const QString& record_failure = QString()) {
        QTest::newRow(tag) << fault << reasons << new_copies << record_failure;
    };
    const QString untouched = "the touch program '%1' did not set the file time";
    const QString hung = "the touch program '%1' did not finish in time";
    const QString copy = "the file could not be copied: ";
    const QString locked = copy + "Operation not permitted";
    row("destination removed", TFault::Destination_Removed,
        {{}, untouched, "the destination folder could not be created"}, 2,
        "the destination folder does not exist");
    row("source deleted", TFault::Source_Deleted, {{}, {}, copy + "No such file or directory"}, 2);
    row("destination file locked", TFault::Destination_File_Locked,
        {{}, {}, "the old copy could not be replaced: Operation not permitted"}, 2);
    row("destination folder locked", TFault::Destination_Folder_Locked, {{}, locked, locked}, 1);
    row("touch fails", TFault::Touch_Fails, {untouched, untouched, untouched}, 3);
    row("touch hangs", TFault::Touch_Hangs, {hung, hung, hung}, 3);
    row("destination fills up", TFault::Destination_Fills_Up,
        {{}, {}, copy + "No space left on device"}, 2,
        "the file could not be written: No space left on device");
}

void TestFaults::init()
{
    QFETCH(TFault, fault);
    QVERIFY(Make_Script(d_touch, fault == TFault::Touch_Fails   ? "exit 1"
                                 : fault == TFault::Touch_Hangs ? "exec sleep 9"
                                                                : k_real_touch));
    d_sync.reset(new TSyncFixture(d_touch));
    d_sync->dialog->Set_Touch_Timeouts(30000, fault == TFault::Touch_Hangs ? 200 : 30000);
    const QString filler = d_sync->Dst("filler");
    if (fault == TFault::Destination_Fills_Up &&
        !d_sync->mount.Mount(d_sync->destination.path(), "mount -t tmpfs -o size=1m tmpfs %1"))
        QSKIP("a destination that fills up needs root to mount a tmpfs");
    QVERIFY(Make_File(d_sync->Dst(k_record), "old record\n"));
    for (int i = 0; i < k_files.size(); ++i)
        QVERIFY(Make_File(d_sync->Src(k_files[i]), New_Bytes(i), k_doc_time) &&
                Make_File(d_sync->Dst(k_files[i]), k_files[i].toUtf8(), k_doc_time - 100));
    const bool locks =
        fault == TFault::Destination_File_Locked || fault == TFault::Destination_Folder_Locked;
    const QString locked =
        d_sync->Dst(fault == TFault::Destination_File_Locked ? "sub/C.doc" : "sub");
    if (locks && QProcess::execute("chattr", {"+i", locked}) != 0)
        QSKIP("the immutable flag needs root, chattr and a file system that has it");
    const QString moved = fault == TFault::Destination_Removed ? d_sync->destination.path()
                          : fault == TFault::Source_Deleted    ? d_sync->Src("sub")
                                                               : QString();
    QTimer::singleShot(0, d_sync->dialog.get(), [=] {
        if (!moved.isEmpty())
            QDir().rename(moved, moved + "~");
        if (fault == TFault::Destination_Fills_Up)
            Make_File(filler, QByteArray(2 << 20, 'f'));
    });
    d_sync->Sync();
    QVERIFY(!locks || QProcess::execute("chattr", {"-i", locked}) == 0);
    QVERIFY(moved.isEmpty() || QDir().rename(moved + "~", moved));
    QVERIFY(fault != TFault::Destination_Fills_Up || QFile::remove(filler));
    d_sync->dialog->Set_Touch_Timeouts(30000, 30000);
    QVERIFY(Make_Script(d_touch, k_real_touch));
    d_boxes = d_sync->watcher.Take();
}

void TestFaults::failedFilesAreListedAndBoxed()
{
    QFETCH(QStringList, reasons);
    QFETCH(QString, recordFailure);
    QStringList listed, detail;
    for (int i = 0; i < k_files.size(); ++i) {
        const QString name = "/" + k_files[i];
        const QString reason = QString(reasons[i]).replace("%1", d_touch);
        listed << (reason.isEmpty() ? name : name + "\tNOT UPDATED: " + reason);
        if (!reason.isEmpty())
            detail << name + ": " + reason;
    }
    if (!recordFailure.isEmpty())
        detail << "/" + k_record + ": " + recordFailure;
    QCOMPARE(d_sync->Updated(), listed);
    QCOMPARE(d_boxes.size(), 1);
    QCOMPARE(d_boxes[0].detail, detail.join('\n'));
}

// A file whose touch program failed holds its new copy all the same.
void TestFaults::destinationHoldsWholeFilesAndATrueRecord()
{
    QFETCH(int, newCopies);
    QFETCH(QString, recordFailure);
    QMap<QString, QByteArray> tree;
    tree[k_record] = recordFailure.isEmpty() ? d_sync->Output().toLatin1() : "old record\n";
    for (int i = 0; i < k_files.size(); ++i)
        tree[k_files[i]] = i < newCopies ? New_Bytes(i) : k_files[i].toUtf8();
    QCOMPARE(d_sync->Tree(), tree);
}

void TestFaults::nextSyncWithoutTheFaultCompletesTheWork()
{
    QFETCH(QStringList, reasons);
    d_sync->Sync();
    QMap<QString, QByteArray> tree = {{k_record, d_sync->Output().toLatin1()}};
    QStringList listed;
    for (int i = 0; i < k_files.size(); ++i) {
        tree[k_files[i]] = New_Bytes(i);
        if (!reasons[i].isEmpty())
            listed << "/" + k_files[i];
    }
    QCOMPARE(d_sync->Updated(), listed);
    QCOMPARE(d_sync->watcher.Take(), QList<TShownBox>());
    QCOMPARE(d_sync->Tree(), tree);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
