#include "filedata.h"

#include <QtTest>
#include <sys/stat.h>

// Writes a file, its folders made as needed, dated mtime s + ns after 1970 UTC.
static bool Make(const QString& path, QByteArray bytes = "x", qint64 mtime = 1000, long ns = 0)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    const timespec times[2] = {{time_t(mtime), ns}, {time_t(mtime), ns}};
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           futimens(file.handle(), times) == 0;
}

static QByteArray List(const QByteArray& files, const QByteArray& version = "1")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<File_Sync_Data File_Version=\"" + version +
           "\">\n    <File_List>\n" + files + "    </File_List>\n</File_Sync_Data>\n";
}

// What the writer makes of no files.
static const QByteArray Empty =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<File_Sync_Data File_Version=\"1\">\n    <File_List/>\n</File_Sync_Data>\n";

class TReferenceListTest : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file; "dir": a folder
        // "path=count;" in path order, or the error: "%1" the file's path, a final blank a prefix.
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing") << QByteArray() << "ERR:  Cannot open file '%1' for reading.";
        QTest::newRow("folder") << QByteArray("dir") << "ERR:  Cannot open file: '%1'.  Reason: ";
        QTest::newRow("not xml") << QByteArray("<File_Sync_Data File_Version=\"1\"><File_List>")
                                 << "ERR: Reference file XML parse error at line ";
        QTest::newRow("other root")
            << List("").replace("File_Sync_Data", "file_sync_data")
            << "ERR:  Identification 'File_Sync_Data' does not match 'file_sync_data'";
        QTest::newRow("no version") << List("").replace(" File_Version=\"1\"", "")
                                    << "ERR: The 'File_Version' attribute is missing.";
        QTest::newRow("version 2") << List("", "2") << "File_Sync_Data file version not supported";
        QTest::newRow("no list")
            << List("").replace("File_List", "List")
            << "ERR: Node 'File_List' is missing from node 'File_Sync_Data' and not optional.";
        QTest::newRow("no text") << List("<File Modified=\"1\"/>")
                                 << "ERR: Node Text for 'File' is not optional.";
        QTest::newRow("no modified")
            << List("<File>a</File>") << "ERR: Node attribute 'Modified' missing and not optional.";
        for (const char* path : {"/etc/passwd", "c:\\x", "../x", "a\\..\\b", ""}) {
            QTest::addRow("unsafe '%s'", path)
                << List("<File Modified=\"5\"><![CDATA[" + QByteArray(path) + "]]></File>")
                << QString("ERR:  Unsafe path '%1' in reference list").arg(path);
        }
        // Version "01" is 1; a later duplicate wins; what is not a count reads as 0.
        const QByteArray values =
            "<File Modified=\"12\">a</File><File Modified=\"34\">a</File>\n"
            "<File Modified=\"abc\">x &amp; y</File><File Modified=\"\">c</File>\n"
            "<File Modified=\"4294967295\">..a/b../...</File><File Modified=\"3\">d/C:x</File>\n";
        QTest::newRow("values, CRLF") << List(values, "01").replace("\n", "\r\n")
                                      << "..a/b../...=4294967295;a=34;c=0;d/C:x=3;x & y=0;";
        QTest::newRow("no files") << Empty << "";
    }

    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.path() + "/list.xml";
        QVERIFY(content.isNull() || (content == "dir" ? QDir().mkdir(path) : Make(path, content)));
        TFileData data;
        QString actual = data.Read_Reference_List(dir.path(), "list.xml") ? "" : data.d_error;
        QStringList paths = data.d_reference_times.keys();
        paths.sort();
        for (const QString& key : paths) {
            actual += key + "=" + QString::number(data.d_reference_times[key]) + ";";
        }
        expected.replace("%1", path);
        QCOMPARE(expected.endsWith(' ') ? actual.left(expected.size()) : actual, expected);
    }

    void writeAndReadBack()
    {
        // Not UTC, so that a local time taken for a count would show.
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        qputenv("LC_ALL", "C");
        tzset();
        QTemporaryDir dir;
        const QString src = dir.path() + "/src", file = dir.path() + "/list.xml";
        // 1965 is out of range; 4000000000 beyond a signed count; parts of seconds are cut.
        QVERIFY(Make(src + "/A & B.doc") && Make(src + "/old.doc", "x", -157766400) &&
                Make(src + "/sub/c.doc", "x", 4000000000LL) &&
                Make(src + "/sub/e.doc", "x", 2000, 999999999));
        const QByteArray expected = List("        <File Modified=\"1000\">A &amp; B.doc</File>\n"
                                         "        <File Modified=\"4294967295\">old.doc</File>\n"
                                         "        <File Modified=\"4000000000\">sub/c.doc</File>\n"
                                         "        <File Modified=\"2000\">sub/e.doc</File>\n");
        const auto written = [&] {
            QFile list(file);
            return list.open(QIODevice::ReadOnly) ? list.readAll() : QByteArray();
        };
        TFileData data;
        QVERIFY(data.Scan_Source(src));
        for (int pass = 0; pass < 2; ++pass) {
            QVERIFY(data.Write_Reference_List(src, file));
            QCOMPARE(written(), expected);
        }
        // Read back, every file (the 1965 one too) is current against its record.
        QVERIFY(data.Read_Reference_List(dir.path(), "list.xml") && data.Make_Update_List(src));
        QCOMPARE(data.Update_File_Count(), 0);
        // A name the reader would refuse, or that XML cannot hold, fails the write.
        QVERIFY(Make(src + "/..\\up") && Make(src + "/bad\x01") && data.Scan_Source(src));
        QVERIFY(!data.Write_Reference_List(src, file));
        QCOMPARE(data.d_error,
                 QString("ERR:  Unsafe path '..\\up' cannot be written to the reference list"));
        QVERIFY(QFile::remove(src + "/..\\up") && data.Scan_Source(src));
        QVERIFY(!data.Write_Reference_List(src, file));
        QCOMPARE(data.d_error, QString("ERR:  Cannot write node 'File' with data 'bad\x01'"));
        QCOMPARE(written(), expected);
        // Files gone since the scan are left out, here all of them.
        QVERIFY(QDir(src).removeRecursively() && data.Write_Reference_List(src, file));
        QCOMPARE(written(), Empty);
    }
};

QTEST_GUILESS_MAIN(TReferenceListTest)
#include "tst_referencelist.moc"
