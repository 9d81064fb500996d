#include "xmlfile.h"

#include "support/testsupport.h"

#include <QtTest>
#include <functional>
#include <optional>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using TFind = std::function<bool(TXmlFile&, bool Optional)>;
Q_DECLARE_METATYPE(TFind)

// A read or a step on the loaded fixture X; true when it found what it looked for.
#define FINDS(Call) TFind([](TXmlFile& X, bool Optional) { return !(Call).isNull(); })

// Each test writes "%1.xml" in a folder of its own, the current one: the "%1" must reach the
// messages unchanged. Children of the root: 0 Item, 1 Note (its text behind a comment), 2 Node.
const QByteArray Fixture = "<Doc File_Version=\"1\"><Item/><Note><!--c-->text</Note><Node/></Doc>";

static QDomElement Child(TXmlFile& X, int I)
{
    return X.d_root.childNodes().at(I).toElement();
}

static QPair<int, QString> Thrown(const std::function<void()>& Call)
{
    try {
        Call();
    } catch (const TXmlFileException& Error) {
        return {Error.Code(), Error.Message()};
    }
    return {-1, "nothing thrown"};
}

class TXmlFileTest : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> d_dir;
    QString d_back;
    TXmlFile d_xml;

    void Load(const QByteArray& Text)
    {
        QVERIFY(Make_File("%1.xml", Text));
        d_xml.d_file_name = "%1.xml";
        d_xml.Load("Doc");
    }

private slots:
    // Windows cannot remove the current folder: the previous one comes back first.
    void init()
    {
        d_back = QDir::currentPath();
        d_dir.emplace();
        QVERIFY(QDir::setCurrent(d_dir->path()));
    }

    void cleanup()
    {
        QDir::setCurrent(d_back);
        d_dir.reset();
    }

    void missingItemIsNullOnlyWhenOptional_data()
    {
        QTest::addColumn<TFind>("find");
        QTest::addColumn<QString>("message");
        QTest::newRow("text behind a comment") << FINDS(X.ReadText(Child(X, 1), Optional))
                                               << "ERR: Node Text for 'Note' is not optional.";
        QTest::newRow("child") << FINDS(X.GetChild(Child(X, 2), "X", Optional))
                               << "ERR: Node 'X' is missing from node 'Node' and not optional.";
        QTest::newRow("sibling")
            << FINDS(X.GetSibling(Child(X, 1), "Item", Optional))
            << "ERR: Node 'Item' is missing from node 'Note' and not optional.";
        QTest::newRow("first node")
            << FINDS(X.GetFirstNode(Child(X, 2), Optional))
            << "ERR: Parent 'Node' does not have nodes and they are not optional.";
        QTest::newRow("next node")
            << FINDS(X.GetNextNode(Child(X, 2), Optional))
            << "ERR: Node '' does not have siblings and they are not optional.";
    }

    void missingItemIsNullOnlyWhenOptional()
    {
        QFETCH(TFind, find);
        QFETCH(QString, message);
        Load(Fixture);
        QVERIFY(!find(d_xml, true));
        QCOMPARE(Thrown([&] { find(d_xml, false); }), qMakePair(1, message));
    }

    // Code 0: the file could not be opened at all.
    void loadFailureThrows_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        // Ten levels of ten references would expand to 3 GB.
        QString bomb = "<!DOCTYPE Doc [<!ENTITY e0 'lol'>", ref = "&e%1;";
        for (int i = 1; i <= 10; ++i)
            bomb += QString("<!ENTITY e%1 '%2'>").arg(i).arg(ref.arg(i - 1).repeated(10));
        QTest::newRow("entity expansion")
            << "%1.xml" << (bomb + "]><Doc>&e10;</Doc>").toUtf8() << 1
            << "ERR: Reference file XML parse error at line 1 column 308: The XML entity \"e4\" "
               "expands to a string that is too large to process (30000 characters > 4096).";
        QTest::newRow("other root") << "%1.xml" << QByteArray("<doc/>") << 1
                                    << "ERR:  Identification 'Doc' does not match 'doc'";
        QTest::newRow("no version") << "%1.xml" << QByteArray("<Doc/>") << 1
                                    << "ERR: The 'File_Version' attribute is missing.";
        QTest::newRow("missing file") << "no/%1.xml" << QByteArray() << 0
                                      << "ERR:  Cannot open file 'no/%1.xml' for reading.";
        // Windows refuses to open a folder before Qt can say what it is.
#ifdef Q_OS_WIN
        const QString reason = "Access denied.";
#else
        const QString reason = "file to open is a directory";
#endif
        QTest::newRow("folder") << "." << QByteArray() << 0
                                << "ERR:  Cannot open file: '.'.  Reason: " + reason;
    }

    void loadFailureThrows()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, text);
        QFETCH(int, code);
        QFETCH(QString, message);
        QVERIFY(text.isEmpty() || Make_File("%1.xml", text));
        d_xml.d_file_name = file;
        int version = 0;
        QCOMPARE(Thrown([&] { d_xml.Load("Doc", &version); }), qMakePair(code, message));
    }

    // Refused before anything is written: the file keeps its bytes, no other file is left.
    void readOnlyFileIsNotSaved()
    {
        Load(Fixture);
        // Windows keeps a read-only file so for every user (under Wine: when not run as root).
        QVERIFY(QFile::setPermissions("%1.xml", QFile::ReadOwner));
#ifdef Q_OS_WIN
        const auto thrown = Thrown([&] { d_xml.Save(); });
#else
        // Root writes read-only files: it saves as "nobody", still in the root group, which the
        // folder lets pass.
        QVERIFY(QFile::setPermissions(".", QFile::permissions(".") | QFile::ExeGroup));
        const bool nobody = geteuid() == 0 && setresuid(65534, 65534, 0) == 0;
        const auto thrown = Thrown([&] { d_xml.Save(); });
        QVERIFY(!nobody || setresuid(0, 0, 0) == 0);
#endif
        QCOMPARE(thrown, qMakePair(0, QString("ERR:  Cannot open file '%1.xml' for writing")));
        QCOMPARE(Read_File("%1.xml"), Fixture);
        QCOMPARE(QDir().entryList(QDir::Files), QStringList("%1.xml"));
    }
};

QTEST_GUILESS_MAIN(TXmlFileTest)
#include "tst_xmlfile.moc"
