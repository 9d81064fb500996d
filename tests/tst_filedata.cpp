#include "filedata.h"

#include "support/testsupport.h"

#include <QtTest>
#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

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

    // By lower-cased name, UTF-16 unit by unit, folders among the files.
    void scanListsFilesInNameOrder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("names") << QStringList{"b",   "A",     "Z",      "_u",         "s/c",
                                              "s/a", "s/D/x", "\u00e9", "\U0001F600", "\uFF21"}
                               << QStringList{"_u",    "A", "b",      "s/a",        "s/c",
                                              "s/D/x", "Z", "\u00e9", "\U0001F600", "\uFF21"};
        QTest::newRow("hidden count, .DS_Store so written does not")
            << QStringList{".hidden", ".h/x", ".DS_Store", "s/.ds_store", "t/.DS_Store/x"}
            << QStringList{".h/x", ".hidden", "s/.ds_store"};
#ifndef Q_OS_WIN
        QTest::newRow("unreadable folder left out")
            << QStringList{"a", "locked/b"} << QStringList{"a"};
#endif
    }

    void scanListsFilesInNameOrder()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, listed);
        QTemporaryDir dir;
        for (const QString& file : files)
            QVERIFY(Make_File(dir.filePath(file)));
        TFileData data;
#ifdef Q_OS_WIN
        QVERIFY(data.Scan_Source(dir.path()));
#else
        // Root reads any folder: the scan runs as "nobody", still in the root group, whom
        // "locked" turns away.
        QVERIFY(QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) |
                                                      QFile::ReadGroup | QFile::ExeGroup));
        chmod(qPrintable(dir.filePath("locked")), 0);
        const bool nobody = geteuid() == 0 && seteuid(65534) == 0;
        QVERIFY(data.Scan_Source(dir.path()));
        QVERIFY(!nobody || seteuid(0) == 0);
        chmod(qPrintable(dir.filePath("locked")), 0700);
#endif
        QCOMPARE(data.d_source_file_names, listed);
    }

    void caseEqualNamesKeepTheFolderOrder()
    {
        QTemporaryDir dir;
        for (int bits = 32; bits < 64; ++bits) // 32 names: enough to show an unstable sort
            QVERIFY(Make_File(
                dir.filePath(QString::number(bits, 2).mid(1).replace('0', 'x').replace('1', 'X'))));
        TFileData data;
        QVERIFY(data.Scan_Source(dir.path()));
        QCOMPARE(data.d_source_file_names, QDir(dir.path()).entryList(QDir::Files, QDir::Unsorted));
    }

    // Links lead out of the folder; a broken one is left out, a folder on the path not entered.
    void linksAreFollowedOutButNotRound()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("src/");
        for (const char* file : {"x/f", "y/g", "../out/f"})
            QVERIFY(Make_File(root + file));
#ifdef Q_OS_WIN
        // A link is a shortcut file, "NAME.lnk"; one to a folder is followed as a folder.
        const QList<QPair<QString, QString>> links = {
            {"ln.lnk", "../out"},
            {"f.lnk", "../out/f"},
            {"x/y.lnk", "y"},
        };
        const QStringList listed = {"f.lnk", "ln.lnk/f", "x/f", "x/y.lnk/g", "y/g"};
#else
        const QList<QPair<QString, QString>> links = {
            {"ln", "../out"}, {"f", "../out/f"}, {"no", "../none"}, {"x/y", "y"},
            {"y/x", "x"},     {"x/up", "."},     {"me", "me"}};
        const QStringList listed = {"f", "ln/f", "x/f", "x/y/g", "y/g", "y/x/f"};
#endif
        for (const auto& link : links)
            QVERIFY(QFile::link(root + link.second, root + link.first));
        TFileData data;
        QVERIFY(data.Scan_Source(root));
        QCOMPARE(data.d_source_file_names, listed);
    }

    void timeRuleBoundaries_data()
    {
        QTest::addColumn<int>("older");
        QTest::addColumn<bool>("listed");
        for (int older : {0, 1, 3599, 3600, 3601})
            QTest::addRow("%d s older, current", older) << older << false;
        for (int older : {-3600, -1, 2, 3598, 3602})
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

    // Missing files are listed, in the order of the reference list.
    void updateListKeepsTheListOrder()
    {
        TFileData data;
        data.d_reference_order = QStringList{"f", "e", "d", "c", "b", "a"};
        for (const QString& name : data.d_reference_order)
            data.d_reference_times.insert(name, 1000);
        QVERIFY(data.Make_Update_List(QDir::currentPath() + "/none"));
        QCOMPARE(data.d_update_file_names, data.d_reference_order);
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
