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

    // Each with its time, in the order of the list. Every list is read with CR LF line ends and
    // the version written "01".
    void readListsFilesInListOrder_data()
    {
        QTest::addColumn<QByteArray>("files");
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QList<uint>>("times");
        QTest::newRow("a later duplicate wins in the first one's place")
            << QByteArray("<File Modified=\"12\">a</File>\n<File Modified=\"5\">b</File>\n"
                          "<File Modified=\"34\">a</File>\n")
            << QStringList{"a", "b"} << QList<uint>{34, 5};
        QTest::newRow("not a count reads as 0")
            << QByteArray("<File Modified=\"abc\">x &amp; y</File>\n") << QStringList{"x & y"}
            << QList<uint>{0};
        QTest::newRow("dots and colons not in a '..' part or a drive")
            << QByteArray("<File Modified=\"4294967295\">..a/C:b../...</File>\n")
            << QStringList{"..a/C:b../..."} << QList<uint>{4294967295u};
        QTest::newRow("a character beyond 16 bits")
            << QByteArray("<File Modified=\"1\">\xf0\x9f\x93\x84.doc</File>\n")
            << QStringList{"\U0001F4C4.doc"} << QList<uint>{1};
    }

    void readListsFilesInListOrder()
    {
        QFETCH(QByteArray, files);
        QFETCH(QStringList, order);
        QFETCH(QList<uint>, times);
        QVERIFY(Make_File(d_list, List(files, "01").replace("\n", "\r\n")));
        TFileData data;
        QVERIFY(data.Read_Reference_List(d_dir->path(), "list.xml"));
        QCOMPARE(data.d_reference_order, order);
        QList<uint> read;
        for (const QString& name : order)
            read << data.d_reference_times.value(name);
        QCOMPARE(read, times);
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
