#include "filedata.h"

#include "support/testsupport.h"

#include <QtTest>

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

    // A "%1" in the name must reach the messages unchanged.
    QTemporaryDir d_dir;
    const QString d_src = d_dir.filePath("src"), d_list = d_dir.filePath("%1.xml");

private slots:
    void init()
    {
        QFile::remove(d_list);
        QDir(d_src).removeRecursively();
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
        QVERIFY(data.Read_Reference_List(d_dir.path(), "%1.xml"));
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
        QTest::newRow("no list file")
            << QByteArray() << "ERR:  Cannot open file '" + d_list + "' for reading.";
        // Ten levels of ten references would be 3 GB in memory.
        QString bomb = "<!DOCTYPE Doc [<!ENTITY e0 'lol'>", ref = "&e%1;";
        for (int i = 1; i <= 10; ++i)
            bomb += QString("<!ENTITY e%1 '%2'>").arg(i).arg(ref.arg(i - 1).repeated(10));
        QTest::newRow("entity expansion")
            << (bomb + "]><Doc>&e10;</Doc>").toUtf8()
            << "ERR: Reference file XML parse error at line 1 column 308: The XML entity \"e4\" "
               "expands to a string that is too large to process (30000 characters > 4096).";
        QTest::newRow("another root")
            << QByteArray("<doc/>") << "ERR:  Identification 'File_Sync_Data' does not match 'doc'";
        QTest::newRow("no version")
            << QByteArray("<File_Sync_Data/>") << "ERR: The 'File_Version' attribute is missing.";
        QTest::newRow("version 2") << List("", "2") << "File_Sync_Data file version not supported";
        QTest::newRow("no file list")
            << QByteArray("<File_Sync_Data File_Version=\"1\"/>")
            << "ERR: Node 'File_List' is missing from node 'File_Sync_Data' and not optional.";
        QTest::newRow("a file without its name")
            << List("<File Modified=\"5\"/>") << "ERR: Node Text for 'File' is not optional.";
        QTest::newRow("a file without its time")
            << List("<File>a</File>") << "ERR: Node attribute 'Modified' missing and not optional.";
        for (const char* path : {"/etc/passwd", "c:\\x", "../x", "a\\..\\b", ""})
            QTest::addRow("unsafe '%s'", path)
                << List("<File Modified=\"5\"><![CDATA[" + QByteArray(path) + "]]></File>")
                << QString("ERR:  Unsafe path '%1' in reference list").arg(path);
    }

    void readRefuses()
    {
        QFETCH(QByteArray, list);
        QFETCH(QString, error);
        QVERIFY(list.isEmpty() || Make_File(d_list, list));
        TFileData data;
        QVERIFY(!data.Read_Reference_List(d_dir.path(), "%1.xml"));
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
