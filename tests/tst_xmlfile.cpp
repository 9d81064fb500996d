#include "xmlfile.h"

#include "support/testsupport.h"

#include <QtTest>
#include <functional>
#include <optional>

using TRead = std::function<void(TXmlFile&)>;
Q_DECLARE_METATYPE(TRead)

static QPair<int, QString> Thrown(const std::function<void()>& Call)
{
    try {
        Call();
    } catch (const TXmlFileException& Error) {
        return {Error.Code(), Error.Message()};
    }
    return {-1, "nothing thrown"};
}

// Each test writes "%1.xml" in a folder of its own, the current one: the "%1" must reach the
// messages unchanged.
class TXmlFileTest : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> d_dir;
    QString d_back;
    TXmlFile d_xml;

private slots:
    // Windows cannot remove the current folder: the previous one comes back first.
    void init()
    {
        d_back = QDir::currentPath();
        d_dir.emplace();
        QVERIFY(QDir::setCurrent(d_dir->path()));
        d_xml.d_file_name = "%1.xml";
    }

    void cleanup()
    {
        QDir::setCurrent(d_back);
        d_dir.reset();
    }

    // Code 0: the file could not be opened at all. No text: no file.
    void readFailureThrows_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<TRead>("read");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const TRead load = [](TXmlFile&) {};
        QTest::newRow("missing file")
            << QByteArray() << load << 0 << "ERR:  Cannot open file '%1.xml' for reading.";
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
        QVERIFY(text.isEmpty() || Make_File("%1.xml", text));
        int version = 0;
        const auto thrown = Thrown([&] {
            d_xml.Load("Doc", &version, true);
            read(d_xml);
        });
        QCOMPARE(thrown, qMakePair(code, message));
    }
};

QTEST_GUILESS_MAIN(TXmlFileTest)
#include "tst_xmlfile.moc"
