#include "dorvane.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

static const QString k_rule = "--------------------------------------------\n";

class TestSourceReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void listing_data();
    void listing();
    void reference_list_not_written();
};

void TestSourceReport::listing_data()
{
    QTest::addColumn<QString>("suffix"); // typed after the source folder
    QTest::newRow("plain") << "";
    QTest::newRow("trailing slash") << "/";
    QTest::newRow("two slashes") << "//";
}

void TestSourceReport::listing()
{
    QFETCH(QString, suffix);
    TTestHome home;
    QTemporaryDir source;
    // 03 Mar 2026 14:05:09 in Berlin, then a morning and a midnight hour.
    QVERIFY(Make_File(source.filePath("b.doc"), "b", 1772543109));
    QVERIFY(Make_File(source.filePath("A.doc"), "a", 1772514000));
    QVERIFY(Make_File(source.filePath("sub/c.doc"), "c", 1772492409));
    QVERIFY(Make_File(source.filePath("Z.doc"), "z", 1772543109));
    QVERIFY(Make_File(source.filePath("sub/.DS_Store"), "skip", 1772543109));
    QVERIFY(Make_File(source.filePath(".hidden"), "h", 1772543109));
    TDorvane dialog;
    dialog.findChild<QLineEdit*>("d_source")->setText(source.path() + suffix);
    TBoxWatcher watcher;
    QMetaObject::invokeMethod(&dialog, "Source_Report");
    QCOMPARE(watcher.Count(), 0);
    QCOMPARE(dialog.findChild<QPlainTextEdit*>("d_output")->toPlainText(),
             "Controlled Files\n" + k_rule +
                 "03 Mar 2026 02:05:09 PM\t/.hidden\n"
                 "03 Mar 2026 06:00:00 AM\t/A.doc\n"
                 "03 Mar 2026 02:05:09 PM\t/b.doc\n"
                 "03 Mar 2026 12:00:09 AM\t/sub/c.doc\n"
                 "03 Mar 2026 02:05:09 PM\t/Z.doc\n");
    const QByteArray list = Read_File(home.Settings_Folder() + "/reference_list.xml");
    QVERIFY(list.contains("        <File Modified=\"1772492409\">sub/c.doc</File>\n"));
    QVERIFY(!list.contains("DS_Store"));
}

void TestSourceReport::reference_list_not_written()
{
    TTestHome home;
    QTemporaryDir source;
    QVERIFY(Make_File(source.filePath("A.doc")));
    // A folder where the reference list should be: it cannot be replaced,
    // not even by root.
    const QString list = home.Settings_Folder() + "/reference_list.xml";
    QVERIFY(Make_File(list + "/kept.txt", "kept"));
    TDorvane dialog;
    dialog.findChild<QLineEdit*>("d_source")->setText(source.path());
    TBoxWatcher watcher;
    QMetaObject::invokeMethod(&dialog, "Source_Report");
    QCOMPARE(watcher.Count(), 1);
    QCOMPARE(watcher.boxes[0].heading, QString("Write Error"));
    QCOMPARE(watcher.boxes[0].message, QString("Cannot write source file list."));
    QVERIFY2(watcher.boxes[0].detail.startsWith(
                 QString("ERR:  Cannot write file '%1'.  Reason: ").arg(list)),
             qPrintable(watcher.boxes[0].detail));
    QCOMPARE(dialog.findChild<QPlainTextEdit*>("d_output")->toPlainText(),
             "\nERR:  Source Report did not complete.\n" + k_rule);
    QCOMPARE(Read_File(list + "/kept.txt"), QByteArray("kept"));
}

QTEST_MAIN(TestSourceReport)
#include "tst_sourcereport.moc"
