#include "filedata.h"

#include "support/testsupport.h"

#include <QtTest>
#include <optional>

static QByteArray List(const QByteArray& files, const QByteArray& version = "1")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<File_Sync_Data File_Version=\"" + version +
           "\">\n    <File_List>\n" + files + "    </File_List>\n</File_Sync_Data>\n";
}

static bool Make(const QString& path, qint64 msecs)
{
    QFile file(path);
    return Make_File(path) && file.open(QIODevice::Append) &&
           file.setFileTime(QDateTime::fromMSecsSinceEpoch(msecs),
                            QFileDevice::FileModificationTime);
}

class TReferenceListTest : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> d_dir;
    QString d_src, d_list;

private slots:
    void init()
    {
        d_dir.emplace();
        d_src = d_dir->filePath("src");
        d_list = d_dir->filePath("list.xml");
    }

    // Later duplicates win in the first one's place; what is not a count reads as 0; dots and
    // colons are safe but in a ".." part or a drive; characters beyond 16 bits load.
    void readKeepsListOrder()
    {
        QVERIFY(Make_File(d_list, List("<File Modified=\"12\">a</File>\n"
                                       "<File Modified=\"abc\">x &amp; \U0001F4C4</File>\n"
                                       "<File Modified=\"34\">a</File>\n"
                                       "<File Modified=\"4294967295\">..a/C:b../...</File>\n",
                                       "01")
                                      .replace("\n", "\r\n")));
        TFileData data;
        QVERIFY(data.Read_Reference_List(d_dir->path(), "list.xml"));
        QCOMPARE(data.d_reference_order, QStringList({"a", "x & \U0001F4C4", "..a/C:b../..."}));
        QCOMPARE(data.d_reference_times.value("a"), 34u);
        QCOMPARE(data.d_reference_times.value("x & \U0001F4C4"), 0u);
        QCOMPARE(data.d_reference_times.value("..a/C:b../..."), 4294967295u);
    }

    void readRefuses_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QString>("error");
        QTest::newRow("version 2") << List("", "2") << "File_Sync_Data file version not supported";
        for (const char* path : {"/etc/passwd", "c:\\x", "../x", "a\\..\\b", ""})
            QTest::addRow("unsafe '%s'", path)
                << List("<File Modified=\"5\"><![CDATA[" + QByteArray(path) + "]]></File>")
                << QString("ERR:  Unsafe path '%1' in reference list").arg(path);
    }

    void readRefuses()
    {
        QFETCH(QByteArray, list);
        QFETCH(QString, error);
        QVERIFY(Make_File(d_list, list));
        TFileData data;
        QVERIFY(!data.Read_Reference_List(d_dir->path(), "list.xml"));
        QCOMPARE(data.d_error, error);
    }

    // Before 1970 is 4294967295, as is what is beyond; parts of seconds are cut. Not UTC, so
    // that a local time taken for a count would show.
    void writeRecordsEachFile()
    {
        Set_Time_Zone("CET-1CEST,M3.5.0,M10.5.0/3");
        QCOMPARE(QDateTime::fromSecsSinceEpoch(1000000).offsetFromUtc(), 3600);
        QVERIFY(Make(d_src + "/old.doc", -157766400000) && Make(d_src + "/s/A&B", 4000000000999));
        TFileData data;
        QVERIFY(data.Scan_Source(d_src) && data.Write_Reference_List(d_src, d_list));
        QCOMPARE(Read_File(d_list),
                 Native_Lines(List("        <File Modified=\"4294967295\">old.doc</File>\n"
                                   "        <File Modified=\"4000000000\">s/A&amp;B</File>\n")));
    }
};

QTEST_GUILESS_MAIN(TReferenceListTest)
#include "tst_referencelist.moc"
