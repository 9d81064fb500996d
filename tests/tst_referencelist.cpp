#include "filedata.h"

#include "support/testsupport.h"

#include <QtTest>

// Writes a file, its folders made as needed, dated ms milliseconds after 1970 UTC.
static bool Make(const QString& path, const QByteArray& bytes = "x", qint64 ms = 0)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(bytes) == bytes.size() && file.flush() &&
           file.setFileTime(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC),
                            QFileDevice::FileModificationTime);
}

static QByteArray List(const QByteArray& files, const QByteArray& version = "1")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<File_Sync_Data File_Version=\"" + version +
           "\">\n    <File_List>\n" + files + "    </File_List>\n</File_Sync_Data>\n";
}

// A list as the writer makes it: CRLF line ends on Windows.
static QByteArray Written(QByteArray list)
{
#ifdef Q_OS_WIN
    list.replace("\n", "\r\n");
#endif
    return list;
}

// What the writer makes of no files.
static const QByteArray Empty = List("").replace(">\n    </File_List>", "/>");

class TReferenceListTest : public QObject
{
    Q_OBJECT

private slots:
    // How the XML helper fails (a missing file or part, another root, no version) is its own
    // test's matter; here, what the reader asks of the file.
    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        // "path=count;" in list order, or the error (a final blank: how it starts).
        QTest::addColumn<QString>("expected");
        QTest::newRow("version 2") << List("", "2") << "File_Sync_Data file version not supported";
        QTest::newRow("no modified") << List("<File>a</File>") << "ERR: Node attribute 'Modified' ";
        for (const char* path : {"/etc/passwd", "c:\\x", "../x", "a\\..\\b", ""})
            QTest::addRow("unsafe '%s'", path)
                << List("<File Modified=\"5\"><![CDATA[" + QByteArray(path) + "]]></File>")
                << QString("ERR:  Unsafe path '%1' in reference list").arg(path);
        // Version "01" is 1; a later duplicate keeps its place and wins; what is not a count
        // reads as 0; dots and colons are safe but in a ".." part or a drive.
        const QByteArray values =
            "<File Modified=\"12\">a</File><File Modified=\"abc\">x &amp; y</File>\n"
            "<File Modified=\"34\">a</File><File Modified=\"4294967295\">..a/C:b../...</File>\n";
        QTest::newRow("values, CRLF")
            << List(values, "01").replace("\n", "\r\n") << "a=34;x & y=0;..a/C:b../...=4294967295;";
        QTest::newRow("no files") << Empty << "";
    }

    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(Make(dir.path() + "/list.xml", content));
        TFileData data;
        QString actual = data.Read_Reference_List(dir.path(), "list.xml") ? "" : data.d_error;
        for (const QString& key : data.d_reference_order)
            actual += key + "=" + QString::number(data.d_reference_times[key]) + ";";
        QCOMPARE(expected.endsWith(' ') ? actual.left(expected.size()) : actual, expected);
    }

    void write()
    {
        // Not UTC, so that a local time taken for a count would show.
        Set_Time_Zone("CET-1CEST,M3.5.0,M10.5.0/3");
        QCOMPARE(QDateTime::fromSecsSinceEpoch(1000000).offsetFromUtc(), 3600);
        QTemporaryDir dir;
        const QString src = dir.path() + "/src", file = dir.path() + "/list.xml";
        TFileData data;
        // 1965 is out of range; 4000000000 beyond a signed count; parts of seconds are cut.
        QVERIFY(Make(src + "/old.doc", "x", -157766400000) &&
                Make(src + "/s/A&B", "x", 4000000000999) && data.Scan_Source(src));
        const QByteArray expected =
            Written(List("        <File Modified=\"4294967295\">old.doc</File>\n"
                         "        <File Modified=\"4000000000\">s/A&amp;B</File>\n"));
        // Writes the list: the error, if any, then what the file holds.
        const auto write = [&] {
            const QString error = data.Write_Reference_List(src, file) ? "" : data.d_error;
            QFile list(file);
            return error.toUtf8() + (list.open(QIODevice::ReadOnly) ? list.readAll() : "");
        };
        QCOMPARE(write(), expected);
#ifndef Q_OS_WIN
        // A name the reader would refuse, or that XML cannot hold, fails the write and leaves
        // the list as it was. (Windows names hold neither a backslash nor a control character.)
        QVERIFY(Make(src + "/..\\up") && Make(src + "/bad\x01") && data.Scan_Source(src));
        QCOMPARE(write(),
                 "ERR:  Unsafe path '..\\up' cannot be written to the reference list" + expected);
        QVERIFY(QFile::remove(src + "/..\\up") && data.Scan_Source(src));
        QCOMPARE(write(), "ERR:  Cannot write node 'File' with data 'bad\x01'" + expected);
#endif
        // Files gone since the scan are left out, here all of them, over the list there was.
        QVERIFY(QDir(src).removeRecursively());
        QCOMPARE(write(), Written(Empty));
    }
};

QTEST_GUILESS_MAIN(TReferenceListTest)
#include "tst_referencelist.moc"
