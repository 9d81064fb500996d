#include "xmlfile.h"

#include "support/testsupport.h"

#include <QtTest>
#include <functional>

using TRead = std::function<void(TXmlFile&)>;
Q_DECLARE_METATYPE(TRead)

class TXmlFileTest : public QObject
{
    Q_OBJECT

    // The "%1" must reach the messages unchanged.
    QTemporaryDir d_dir;
    const QString d_file = d_dir.filePath("%1.xml");

private slots:
    // Code 0: the file could not be opened at all. No text: no file.
    void readFailureThrows_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<TRead>("read");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const TRead load = [](TXmlFile&) {};
        QTest::newRow("missing file")
            << QByteArray() << load << 0 << "ERR:  Cannot open file '" + d_file + "' for reading.";
        // Not XML that could be kept in memory: ten levels of ten references would be 3 GB.
        QString bomb = "<!DOCTYPE Doc [<!ENTITY e0 'lol'>", ref = "&e%1;";
        for (int i = 1; i <= 10; ++i)
            bomb += QString("<!ENTITY e%1 '%2'>").arg(i).arg(ref.arg(i - 1).repeated(10));
        QTest::newRow("entity expansion")
            << (bomb + "]><Doc>&e10;</Doc>").toUtf8() << load << 1
            << "ERR: Reference file XML parse error at line 1 column 308: The XML entity \"e4\" "
               "expands to a string that is too large to process (30000 characters > 4096).";
        QTest::newRow("other root") << QByteArray("<doc/>") << load << 1
                                    << "ERR:  Identification 'Doc' does not match 'doc'";
        QTest::newRow("no version")
            << QByteArray("<Doc/>") << load << 1 << "ERR: The 'File_Version' attribute is missing.";
        const QByteArray doc = "<Doc File_Version=\"1\"><Item><!--c--></Item></Doc>";
        QTest::newRow("no node") << doc << TRead([](TXmlFile& X) {
            X.GetChild(X.d_root, "List", false);
        }) << 1 << "ERR: Node 'List' is missing from node 'Doc' and not optional.";
        QTest::newRow("no attribute")
            << doc << TRead([](TXmlFile& X) { X.ReadAttribute(X.d_root.firstChild(), "T", false); })
            << 1 << "ERR: Node attribute 'T' missing and not optional.";
        QTest::newRow("no text") << doc << TRead([](TXmlFile& X) {
            X.ReadText(X.d_root.firstChild(), false);
        }) << 1 << "ERR: Node Text for 'Item' is not optional.";
    }

    void readFailureThrows()
    {
        QFETCH(QByteArray, text);
        QFETCH(TRead, read);
        QFETCH(int, code);
        QFETCH(QString, message);
        QFile::remove(d_file);
        QVERIFY(text.isEmpty() || Make_File(d_file, text));
        TXmlFile xml;
        xml.d_file_name = d_file;
        int version = 0;
        try {
            xml.Load("Doc", &version, true);
            read(xml);
            QFAIL("nothing thrown");
        } catch (const TXmlFileException& Error) {
            QCOMPARE(qMakePair(Error.Code(), Error.Message()), qMakePair(code, message));
        }
    }
};

QTEST_GUILESS_MAIN(TXmlFileTest)
#include "tst_xmlfile.moc"
