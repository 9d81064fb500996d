#include "filedata.h"

#include <QDateTime>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
bool Make(const QString& path, qint64 mtime, long nsecs = 0)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1) {
        return false;
    }
    file.close();
    const timespec times[2] = {{time_t(mtime), nsecs}, {time_t(mtime), nsecs}};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

bool Write_Bytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Read_Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Set_Zone(const char* tz)
{
    qputenv("TZ", tz);
    tzset();
}

QByteArray List(const QByteArray& files, const QByteArray& version = "1")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<File_Sync_Data File_Version=\"" + version +
           "\">\n    <File_List>\n" + files + "    </File_List>\n</File_Sync_Data>\n";
}

// "%1" in an expected message stands for a path; a message ending in a blank is
// a prefix (the system's own reason follows it).
void Check_Error(const QString& actual, const QString& expected, const QString& path)
{
    const QString text = expected.contains("%1") ? expected.arg(path) : expected;
    if (text.endsWith(' ')) {
        QVERIFY2(actual.startsWith(text) && actual.size() > text.size(), qPrintable(actual));
    } else {
        QCOMPARE(actual, text);
    }
}

// Europe's rule as a POSIX zone, so no zone database is needed; on 31 Oct 2021
// the local hour from 02:00 to 03:00 happened twice.
const char* Central_Europe = "CET-1CEST,M3.5.0,M10.5.0/3";
} // namespace

class TReferenceListTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("LC_ALL", "C");
        Set_Zone("UTC");
    }

    void writeExactBytesAndReadBack()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString src = dir.path() + "/src";
        QVERIFY(Make(src + "/A & B.doc", 1000));
        QVERIFY(Make(src + "/old.doc", -157766400));         // 1965
        QVERIFY(Make(src + "/sub/c.doc", 4000000000LL));     // beyond a signed int
        QVERIFY(Make(src + "/sub/dst1.doc", 1635640200));    // 02:30 CEST
        QVERIFY(Make(src + "/sub/dst2.doc", 1635643800));    // 02:30 CET, an hour later
        QVERIFY(Make(src + "/sub/e1.doc", 2000, 999000000)); // whole seconds, truncated
        QVERIFY(Make(src + "/sub/e2.doc", -1, 500000000));   // half a second before 1970
        QVERIFY(Make(src + "/zz gone.doc", 1));
        TFileData data;
        QVERIFY(data.Scan_Source(src));
        QVERIFY(QFile::remove(src + "/zz gone.doc")); // gone since the scan: left out

        const QString file = dir.path() + "/reference_list.xml";
        QVERIFY(data.Write_Reference_List(src, file));
        const QByteArray expected =
            List("        <File Modified=\"1000\">A &amp; B.doc</File>\n"
                 "        <File Modified=\"4294967295\">old.doc</File>\n"
                 "        <File Modified=\"4000000000\">sub/c.doc</File>\n"
                 "        <File Modified=\"1635640200\">sub/dst1.doc</File>\n"
                 "        <File Modified=\"1635643800\">sub/dst2.doc</File>\n"
                 "        <File Modified=\"2000\">sub/e1.doc</File>\n"
                 "        <File Modified=\"0\">sub/e2.doc</File>\n");
        QCOMPARE(Read_Bytes(file), expected);

        // The counts are UTC: another zone writes the same bytes and reads the same.
        Set_Zone(Central_Europe);
        QVERIFY(data.Write_Reference_List(src, file));
        QCOMPARE(Read_Bytes(file), expected);
        TFileData reader;
        const bool read = reader.Read_Reference_List(dir.path(), "reference_list.xml");
        Set_Zone("UTC");
        QVERIFY(read);
        const QHash<QString, uint> times = {{"A & B.doc", 1000},
                                            {"old.doc", 4294967295u},
                                            {"sub/c.doc", 4000000000u},
                                            {"sub/dst1.doc", 1635640200},
                                            {"sub/dst2.doc", 1635643800},
                                            {"sub/e1.doc", 2000},
                                            {"sub/e2.doc", 0}};
        QCOMPARE(reader.d_reference_times, times);
        for (auto it = times.cbegin(); it != times.cend(); ++it) {
            QCOMPARE(it.value(), QFileInfo(src + "/" + it.key()).lastModified().toTime_t());
        }
        QVERIFY(reader.d_error.isEmpty());

        // The 1965 file is current against what was recorded for it.
        QVERIFY(reader.Make_Update_List(src));
        QCOMPARE(reader.Update_File_Count(), 0);
    }

    void emptyList()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TFileData data;
        QVERIFY(data.Scan_Source(dir.path()));
        QVERIFY(data.Write_Reference_List(dir.path(), dir.path() + "/list.xml"));
        QCOMPARE(Read_Bytes(dir.path() + "/list.xml"),
                 QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                            "<File_Sync_Data File_Version=\"1\">\n"
                            "    <File_List/>\n"
                            "</File_Sync_Data>\n"));
        data.d_reference_times.insert("stale", 1);
        QVERIFY(data.Read_Reference_List(dir.path(), "list.xml"));
        QVERIFY(data.d_reference_times.isEmpty());
    }

    void writeFailures_data()
    {
        QTest::addColumn<QString>("name");   // the controlled file
        QTest::addColumn<QString>("target"); // relative to the temporary folder
        QTest::addColumn<QString>("error");  // "%1": the temporary folder
        QTest::newRow("control character")
            << "bad\x01.doc"
            << "list.xml"
            << "ERR:  Cannot write node 'File' with data 'bad\x01.doc'";
        QTest::newRow("unsafe name") << "..\\up.doc"
                                     << "list.xml"
                                     << "ERR:  Unsafe path '..\\up.doc' cannot be written to the "
                                        "reference list";
        QTest::newRow("missing folder") << "ok.doc"
                                        << "no/list.xml"
                                        << "ERR:  Cannot write file '%1/no/list.xml'.  Reason: ";
    }

    void writeFailures()
    {
        QFETCH(QString, name);
        QFETCH(QString, target);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(Make(dir.path() + "/src/" + name, 1000));
        QVERIFY(Write_Bytes(dir.path() + "/list.xml", "old"));
        TFileData data;
        QVERIFY(data.Scan_Source(dir.path() + "/src"));
        QVERIFY(!data.Write_Reference_List(dir.path() + "/src", dir.path() + "/" + target));
        Check_Error(data.d_error, error, dir.path());
        QCOMPARE(Read_Bytes(dir.path() + "/list.xml"), QByteArray("old"));
    }

    void readFailures_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file; "dir": a folder
        QTest::addColumn<QString>("error");      // "%1": the file's path
        const QByteArray file = "        <File Modified=\"5\">%1</File>\n";
        QTest::newRow("missing") << QByteArray() << "ERR:  Cannot open file '%1' for reading.";
        QTest::newRow("folder") << QByteArray("dir") << "ERR:  Cannot open file: '%1'.  Reason: ";
        QTest::newRow("not xml") << QByteArray("<File_Sync_Data File_Version=\"1\">\n<File_List>")
                                 << "ERR: Reference file XML parse error at line ";
        QTest::newRow("other root") << QByteArray("<file_sync_data File_Version=\"1\"/>")
                                    << "ERR:  Identification 'File_Sync_Data' does not match "
                                       "'file_sync_data'";
        QTest::newRow("no version") << QByteArray("<File_Sync_Data><File_List/></File_Sync_Data>")
                                    << "ERR: The 'File_Version' attribute is missing.";
        QTest::newRow("version 2") << List("", "2") << "File_Sync_Data file version not supported";
        QTest::newRow("version x") << List("", "x") << "File_Sync_Data file version not supported";
        QTest::newRow("no list") << QByteArray("<File_Sync_Data File_Version=\"1\"><List/>"
                                               "</File_Sync_Data>")
                                 << "ERR: Node 'File_List' is missing from node 'File_Sync_Data' "
                                    "and not optional.";
        QTest::newRow("no text") << List("<File Modified=\"1\"/>")
                                 << "ERR: Node Text for 'File' is not optional.";
        QTest::newRow("no modified") << List("<File>a.doc</File>")
                                     << "ERR: Node attribute 'Modified' missing and not optional.";
        const char* unsafe[] = {"/etc/passwd", "\\\\server\\share\\x",
                                "\\x",         "C:x",
                                "c:\\x",       "..",
                                "../x",        "a/../b",
                                "a\\..\\b",    "a/..",
                                "a\\.."};
        for (const char* path : unsafe) {
            QTest::newRow(path) << List(QByteArray(file).replace("%1", path))
                                << QString("ERR:  Unsafe path '%1' in reference list").arg(path);
        }
        QTest::newRow("empty path") << List(QByteArray(file).replace("%1", "<![CDATA[]]>"))
                                    << "ERR:  Unsafe path '' in reference list";
    }

    void readFailures()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.path() + "/list.xml";
        if (content == "dir") {
            QVERIFY(QDir().mkdir(path));
        } else if (!content.isNull()) {
            QVERIFY(Write_Bytes(path, content));
        }
        TFileData data;
        data.d_reference_times.insert("stale", 1);
        QVERIFY(!data.Read_Reference_List(dir.path(), "list.xml"));
        Check_Error(data.d_error, error, path);
        QVERIFY(data.d_reference_times.isEmpty());
    }

    void readValues()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                "<File_Sync_Data File_Version=\"01\" Extra=\"x\">\n"
                                "  <!-- a comment -->\n"
                                "  <File_List>\n"
                                "    <File Modified=\"12\">a.doc</File>\n"
                                "    <Other Modified=\"7\">o.doc</Other>\n"
                                "    <File Modified=\"34\" Size=\"9\">a.doc</File>\n"
                                "    <File Modified=\"abc\">x &amp; y.doc</File>\n"
                                "    <File Modified=\"\">c.doc</File>\n"
                                "    <File Modified=\"-5\">d.doc</File>\n"
                                "    <File Modified=\"4294967296\">e.doc</File>\n"
                                "    <File Modified=\"4294967295\">..a/b../...</File>\n"
                                "    <File Modified=\"3\">dir/C:x</File>\n"
                                "  </File_List>\n"
                                "  <File_List><File Modified=\"1\">second.doc</File></File_List>\n"
                                "</File_Sync_Data>\n";
        const QHash<QString, uint> expected = {{"a.doc", 34}, {"x & y.doc", 0},
                                               {"c.doc", 0},  {"d.doc", 0},
                                               {"e.doc", 0},  {"..a/b../...", 4294967295u},
                                               {"dir/C:x", 3}};
        QVERIFY(Write_Bytes(dir.path() + "/lf.xml", body));
        QVERIFY(Write_Bytes(dir.path() + "/crlf.xml", QByteArray(body).replace("\n", "\r\n")));
        for (const char* name : {"lf.xml", "crlf.xml"}) {
            TFileData data;
            QVERIFY2(data.Read_Reference_List(dir.path(), name), qPrintable(data.d_error));
            QCOMPARE(data.d_reference_times, expected);
        }
    }
};

QTEST_GUILESS_MAIN(TReferenceListTest)
#include "tst_referencelist.moc"
