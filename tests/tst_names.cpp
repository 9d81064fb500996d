#include "filedata.h"
#include "syncfixture.h"

#include <QElapsedTimer>
#include <QtTest>

#include <sys/resource.h>

static const qint64 k_time = 1772543109;
static const QString k_info = "controlled document information.txt";

// The record's bytes: one '?' for each character that Latin-1 lacks.
static QByteArray Latin1(const QString& text)
{
    QByteArray bytes;
    for (const uint c : text.toUcs4())
        bytes += c < 256 ? char(c) : '?';
    return bytes;
}

class TestNames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void names_data();
    void names();
    void information_file_name();
    void name_xml_cannot_carry();
    void large_reference_list();
};

void TestNames::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("blanks") << "  two  blanks .doc ";
    QTest::newRow("ampersand and markup") << "R&D <draft> & QA/a&amp;b.doc";
    QTest::newRow("quotes") << "\"double\" 'single' `back`.doc";
    QTest::newRow("leading dash") << "-t/--help";
    QTest::newRow("outside Latin-1") << QString::fromUtf8("\xd0\x9a\xd0\xbb\xd1\x8e\xd1\x87 "
                                                          "\xe6\x96\x87\xe4\xbb\xb6 "
                                                          "\xf0\x9f\x93\x84.doc");
    QTest::newRow("255 bytes") << QString(251, 'L') + ".doc";
    QStringList deep;
    for (int i = 1; i <= 50; ++i)
        deep << QString("level %1").arg(i, 2, 10, QChar('0'));
    QTest::newRow("50 nested folders") << deep.join('/') + "/deep.doc";
}

// Whatever the name, the file arrives with its bytes and time, the report and
// the record name it, and the next sync finds nothing to do.
void TestNames::names()
{
    QFETCH(QString, name);
    TSyncFixture f;
    QVERIFY(Make_File(f.Src(name), name.toUtf8(), k_time));
    f.Sync();
    QVERIFY2(f.watcher.Count() == 0, qPrintable(f.watcher.boxes.value(0).detail));
    QCOMPARE(f.Updated(), QStringList("/" + name));
    QCOMPARE(Read_File(f.Dst(name)), name.toUtf8());
    QCOMPARE(File_Time(f.Dst(name)), k_time);
    QVERIFY(f.Output().contains("Controlled Files\n" + QString(44, '-') +
                                "\n03 Mar 2026 02:05:09 PM\t/" + name + "\n"));
    QCOMPARE(Read_File(f.Dst(k_info)), Latin1(f.Output()));
    QCOMPARE(TSyncFixture::Leftovers(f.destination.path()), QStringList());
    f.Sync();
    QCOMPARE(f.Updated(), QStringList());
}

// The record takes that name in the destination, so a controlled file of the
// same name could only be overwritten by it after every sync: it is refused.
void TestNames::information_file_name()
{
    TSyncFixture f;
    QVERIFY(Make_File(f.Src(k_info), "a controlled document", k_time));
    QVERIFY(Make_File(f.Src("sub/" + k_info), "a deeper one", k_time));
    f.Sync();
    const QString reason = "NOT UPDATED: the information file has that name";
    QCOMPARE(f.Updated(), QStringList() << "/" + k_info + "\t" + reason << "/sub/" + k_info);
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(f.watcher.boxes[0].detail, "/" + k_info + ": the information file has that name");
    QCOMPARE(Read_File(f.Dst(k_info)), f.Output().toLatin1());
    QCOMPARE(Read_File(f.Dst("sub/" + k_info)), QByteArray("a deeper one"));
}

// The name cannot be written into the reference list: the report stops with
// the writer's words and the list from the last report stays as it was.
void TestNames::name_xml_cannot_carry()
{
    TSyncFixture f;
    QVERIFY(Make_File(f.Src("A.doc"), "a", k_time));
    f.Sync();
    const QString list = f.home.Settings_Folder() + "/reference_list.xml";
    const QByteArray before = Read_File(list);
    QVERIFY(before.contains("A.doc"));

    const QString name = QString("bell") + QChar(1) + ".doc";
    QVERIFY(Make_File(f.Src(name), "b", k_time));
    QVERIFY(Make_File(f.Src("C.doc"), "c", k_time));
    f.Sync();
    QCOMPARE(f.watcher.Count(), 1);
    QCOMPARE(f.watcher.boxes[0].heading, QString("Write Error"));
    QCOMPARE(f.watcher.boxes[0].message, QString("Cannot write source file list."));
    QCOMPARE(f.watcher.boxes[0].detail,
             QString("ERR:  Cannot write node 'File' with data '%1'").arg(name));
    QCOMPARE(f.Output(), "\nERR:  Update did not complete.\n" + QString(44, '-') + "\n");
    QCOMPARE(Read_File(list), before);
    QVERIFY(!QFileInfo::exists(f.Dst("C.doc")));
    QVERIFY(f.Usable());
}

static qint64 Peak_Kilobytes()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void TestNames::large_reference_list()
{
#if defined(__SANITIZE_ADDRESS__)
    // Every allocation is far slower there, and the reader allocates per entry.
    const int count = 20000;
#else
    const int count = 200000;
#endif
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                     "<File_Sync_Data File_Version=\"1\">\n    <File_List>\n";
    for (int i = 0; i < count; ++i)
        xml += QString("        <File Modified=\"%1\">Folder %2/Document %3.doc</File>\n")
                   .arg(1700000000 + i)
                   .arg(i / 100, 4, 10, QChar('0'))
                   .arg(i, 6, 10, QChar('0'))
                   .toUtf8();
    xml += "    </File_List>\n</File_Sync_Data>\n";
    QVERIFY(Make_File(folder.filePath("reference_list.xml"), xml));

    const qint64 peak_before = Peak_Kilobytes();
    QElapsedTimer clock;
    clock.start();
    TFileData data;
    QVERIFY2(data.Read_Reference_List(folder.path(), "reference_list.xml"),
             qPrintable(data.d_error));
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(data.d_reference_times.size(), count);
    QCOMPARE(data.d_reference_times.value(QString("Folder %1/Document %2.doc")
                                              .arg((count - 1) / 100, 4, 10, QChar('0'))
                                              .arg(count - 1, 6, 10, QChar('0'))),
             uint(1700000000 + count - 1));
    // A bound on memory, not on time: the whole document is held while it is read.
    const qint64 grown = Peak_Kilobytes() - peak_before;
    qInfo("%d entries, %lld bytes: read in %lld ms, peak memory grew by %lld MB", count,
          qint64(xml.size()), elapsed, grown / 1024);
    QVERIFY2(grown < 1024 * 1024, qPrintable(QString::number(grown)));
}

QTEST_MAIN(TestNames)
#include "tst_names.moc"
