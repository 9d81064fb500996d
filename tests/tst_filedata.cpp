#include "filedata.h"

#include "support/testsupport.h"

#include <QtTest>

class TFileDataTest : public QObject
{
    Q_OBJECT

private slots:
    // Not UTC, so that a local time taken for a count would show.
    void initTestCase()
    {
        Set_Time_Zone("CET-1CEST,M3.5.0,M10.5.0/3");
        QCOMPARE(QDateTime::fromSecsSinceEpoch(1000000).offsetFromUtc(), 3600);
    }

    void scanListsFilesInNameOrder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("by lower-cased name")
            << QStringList{"b", "A", "Z", "_u"} << QStringList{"_u", "A", "b", "Z"};
        QTest::newRow("a folder's files among the files")
            << QStringList{"t", "s/c", "s/a", "s/D/x", "r"}
            << QStringList{"r", "s/a", "s/c", "s/D/x", "t"};
        QTest::newRow("UTF-16 unit by unit") << QStringList{"\U0001F600", "\uFF21", "\u00e9", "z"}
                                             << QStringList{"z", "\u00e9", "\U0001F600", "\uFF21"};
    }

    void scanListsFilesInNameOrder()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, listed);
        QTemporaryDir dir;
        for (const QString& file : files)
            QVERIFY(Make_File(dir.filePath(file)));
        TFileData data;
        QVERIFY(data.Scan_Source(dir.path()));
        QCOMPARE(data.d_source_file_names, listed);
    }

    // Hidden files and folders count; .DS_Store, written so, is left out, also as a folder.
    void scanLeavesOutOnlyDsStore()
    {
        QTemporaryDir dir;
        for (const char* file : {".hidden", ".h/x", ".DS_Store", "s/.ds_store", "t/.DS_Store/x"})
            QVERIFY(Make_File(dir.filePath(file)));
        TFileData data;
        QVERIFY(data.Scan_Source(dir.path()));
        QCOMPARE(data.d_source_file_names, QStringList({".h/x", ".hidden", "s/.ds_store"}));
    }

    void timeRuleBoundaries_data()
    {
        QTest::addColumn<int>("older");
        QTest::addColumn<bool>("listed");
        for (int older : {0, 1, 3599, 3600, 3601})
            QTest::addRow("%d s older, current", older) << older << false;
        for (int older : {-1, 2, 3598, 3602})
            QTest::addRow("%d s older, listed", older) << older << true;
    }

    // How much older a file is than the time recorded for it decides whether it is listed.
    void timeRuleBoundaries()
    {
        QFETCH(int, older);
        QFETCH(bool, listed);
        QTemporaryDir dir;
        QVERIFY(Make_File(dir.filePath("f"), "x", 1000000 - older));
        TFileData data;
        data.d_reference_times.insert("f", 1000000);
        QVERIFY(data.Make_Update_List(dir.path()));
        QCOMPARE(data.d_update_file_names, listed ? QStringList("f") : QStringList());
    }

    // The update list stays as it was.
    void emptyReferenceListFails()
    {
        TFileData data;
        data.d_update_file_names = QStringList("kept");
        QVERIFY(!data.Make_Update_List("."));
        QCOMPARE(data.Last_Error(), QString("Source list is empty"));
        QCOMPARE(data.d_update_file_names, QStringList("kept"));
    }
};

QTEST_GUILESS_MAIN(TFileDataTest)
#include "tst_filedata.moc"
