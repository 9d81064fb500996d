#include "xmlfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum TSetup { No_Setup, Unprivileged, Size_Limit };

const int Null = -1;
const int Root = -2;

QString Show(const QString& Text)
{
    return Text.isNull() ? QStringLiteral("<null>") : Text;
}

QString Show(const QDomNode& Node)
{
    return Node.isNull() ? QStringLiteral("<null>")
                         : Node.nodeName() + '/' + Node.toElement().attribute("Name");
}

// What an operation did: its shown result, or the exception's code and text.
QString Outcome(const std::function<QString()>& Operation)
{
    try {
        return Operation();
    } catch (const TXmlFileException& Error) {
        return QStringLiteral("throw %1: %2").arg(QString::number(Error.Code()), Error.Message());
    }
}

// Children of the root: 0 Item/a, 1 Item/, 2 Commented/, 3 p:Node/.
const char Fixture[] = "<Root File_Version=\"1\"><Item Name=\"a\" Empty=\"\">text</Item><Item/>"
                       "<Commented><!--c-->text</Commented><p:Node xmlns:p=\"urn:p\"/></Root>";

QString Navigate(TXmlFile& X, const QString& Operation, bool Element, int Index,
                 const QString& Name, bool Optional)
{
    const QDomElement e = Index == Root   ? X.d_root
                          : Index == Null ? QDomElement()
                                          : X.d_root.childNodes().at(Index).toElement();
    const QDomNode n = e;
    if (Operation == "ReadText")
        return Show(Element ? X.ReadText(e, Optional) : X.ReadText(n, Optional));
    if (Operation == "ReadAttribute")
        return Show(Element ? X.ReadAttribute(e, Name, Optional)
                            : X.ReadAttribute(n, Name, Optional));
    if (Operation == "GetChild")
        return Show(Element ? X.GetChild(e, Name, Optional) : X.GetChild(n, Name, Optional));
    if (Operation == "GetSibling")
        return Show(X.GetSibling(e, Name, Optional));
    if (Operation == "GetFirstNode")
        return Show(Element ? X.GetFirstNode(e, Optional) : X.GetFirstNode(n, Optional));
    return Show(X.GetNextNode(n, Optional));
}

QString Listing(const QString& Folder)
{
    return QDir(Folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).join('|');
}

// Saves in a forked child, so that lowered privileges or a file size limit
// stay out of the test process.
QString Save_In_Child(TXmlFile& Xml, bool Compact, TSetup Setup)
{
    int channel[2];
    if (pipe(channel) != 0)
        return QStringLiteral("pipe failed");
    const pid_t child = fork();
    if (child == 0) {
        QString result;
        if (Setup == Size_Limit) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64, 64};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (Setup == Unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            result = QStringLiteral("skip: cannot drop root privileges");
        if (result.isEmpty())
            result = Outcome([&] {
                Xml.Save(Compact);
                return QStringLiteral("saved");
            });
        const QByteArray bytes = result.toUtf8();
        _exit(write(channel[1], bytes.constData(), bytes.size()) == bytes.size() ? 0 : 1);
    }
    close(channel[1]);
    QFile reader;
    reader.open(channel[0], QIODevice::ReadOnly, QFile::AutoCloseHandle);
    const QByteArray bytes = reader.readAll();
    waitpid(child, nullptr, 0);
    return child < 0 ? QStringLiteral("fork failed") : QString::fromUtf8(bytes);
}

} // namespace

Q_DECLARE_METATYPE(TSetup)

class TXmlFileTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> d_dir;
    QString d_folder;

    static void Load_Fixture(TXmlFile& Xml)
    {
        QVERIFY(Xml.d_document.setContent(QByteArray(Fixture), false));
        Xml.d_root = Xml.d_document.documentElement();
    }

    static void Write(const QString& Path, const QByteArray& Bytes)
    {
        QFile file(Path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Bytes) == Bytes.size());
    }

private slots:
    // Every path holds "%1" and "%2", which must reach the messages unchanged.
    void init()
    {
        d_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(d_dir->isValid());
        d_folder = d_dir->path() + "/in%1and%2";
        QVERIFY(QDir().mkpath(d_folder));
    }

    void Navigation_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("element");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("optional");
        QTest::addColumn<QString>("mandatory");
        const auto row = [](const char* Operation, bool Element, int Index, const char* Name,
                            const QString& Optional, const QString& Mandatory) {
            QTest::addRow("%s %s %d %s", Operation, Element ? "element" : "node", Index, Name)
                << QString(Operation) << Element << Index << QString(Name) << Optional << Mandatory;
        };
        const QString null = "<null>";
        const QString text = "throw 1: ERR: Node Text for '%1' is not optional.";
        const QString attribute = "throw 1: ERR: Node attribute 'Name' missing and not optional.";
        const QString child = "throw 1: ERR: Node '%1' is missing from node '%2' and not optional.";
        const QString first = "throw 1: ERR: Parent '%1' does not have nodes and they are not "
                              "optional.";
        const QString next = "throw 1: ERR: Node '%1' does not have siblings and they are not "
                             "optional.";
        const QString null_text = "throw 1: ERR:  Cannot read data from a NULL node";
        const QString null_attribute = "throw 1: ERR:  Cannot read attribute from a NULL node";
        const QString null_child = "throw 1: ERR:  Cannot get child from a NULL node";
        const QString null_sibling = "throw 1: ERR:  Cannot get sibling from a NULL node";

        row("ReadText", true, 0, "", "text", "text");
        row("ReadText", true, 1, "", null, text.arg("Item"));
        row("ReadText", true, 2, "", null, text.arg("Commented"));
        row("ReadText", true, 3, "", null, text.arg("p:Node"));
        row("ReadText", false, 3, "", null, text.arg(""));
        row("ReadText", true, Null, "", null_text, null_text);
        row("ReadText", false, Null, "", null_text, null_text);
        row("ReadAttribute", true, 0, "Name", "a", "a");
        row("ReadAttribute", true, 0, "Empty", "", "");
        row("ReadAttribute", true, 1, "Name", null, attribute);
        row("ReadAttribute", false, 0, "Name", "a", "a");
        row("ReadAttribute", false, 0, "Empty", "", "");
        row("ReadAttribute", false, 1, "Name", null, attribute);
        row("ReadAttribute", true, Null, "Name", null_attribute, null_attribute);
        row("ReadAttribute", false, Null, "Name", null_attribute, null_attribute);
        row("GetChild", true, Root, "Item", "Item/a", "Item/a");
        row("GetChild", true, 3, "X", null, child.arg("X", "p:Node"));
        row("GetChild", false, 3, "X", null, child.arg("X", "p:Node"));
        row("GetChild", true, Null, "X", null_child, null_child);
        row("GetChild", false, Null, "X", null_child, null_child);
        row("GetSibling", true, 0, "Item", "Item/", "Item/");
        row("GetSibling", true, 2, "Item", null, child.arg("Item", "Commented"));
        row("GetSibling", true, Null, "Item", null_sibling, null_sibling);
        row("GetFirstNode", true, 2, "", "#comment/", "#comment/");
        row("GetFirstNode", true, 3, "", null, first.arg("p:Node"));
        row("GetFirstNode", false, 3, "", null, first.arg(""));
        row("GetFirstNode", true, Null, "", null, first.arg(""));
        row("GetFirstNode", false, Null, "", null, first.arg(""));
        row("GetNextNode", false, 1, "", "Commented/", "Commented/");
        row("GetNextNode", false, 3, "", null, next.arg(""));
        row("GetNextNode", false, Null, "", null, next.arg(""));
    }

    void Navigation()
    {
        QFETCH(QString, operation);
        QFETCH(bool, element);
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(QString, optional);
        QFETCH(QString, mandatory);
        TXmlFile xml;
        Load_Fixture(xml);
        QCOMPARE(Outcome([&] { return Navigate(xml, operation, element, index, name, true); }),
                 optional);
        QCOMPARE(Outcome([&] { return Navigate(xml, operation, element, index, name, false); }),
                 mandatory);
    }

    void Building()
    {
        TXmlFile x;
        Load_Fixture(x);
        const QDomElement none;
        QCOMPARE(Outcome([&] { return Show(x.CreateNode(none, "A")); }),
                 QString("throw 1: ERR:  Cannot create node from a NULL node"));
        QCOMPARE(Outcome([&] { return Show(x.CreateNode(x.d_root, "")); }),
                 QString("throw 1: ERR:  Cannot create an unnamed node"));
        QCOMPARE(Outcome([&] { return Show(x.CreateNode(x.d_root, "a b")); }), QString("<null>"));
        QCOMPARE(x.d_root.childNodes().count(), 4);
        QCOMPARE(Outcome([&] { return x.AppendData(none, 1), QString(); }),
                 QString("throw 1: ERR:  Cannot append data to a NULL node"));
        QCOMPARE(Outcome([&] { return x.AppendData(x.d_root, QString("%1\u0001%2")), QString(); }),
                 QString("throw 1: ERR:  Cannot write node 'Root' with data '%1\u0001%2'"));
        QCOMPARE(Outcome([&] { return x.CreateAttribute(x.d_root, "", 1.5, 1), QString(); }),
                 QString("throw 1: ERR:  Cannot create an unnamed attribute"));
        x.CreateAttribute(none, "A", "v");
    }

    void Save_data()
    {
        QTest::addColumn<bool>("doctype");
        QTest::addColumn<bool>("compact");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray body = "    <List>\n"
                                "        <Text>a&lt;b &amp; c>\nd</Text>\n"
                                "        <Real Ratio=\"-1.50\">0.667</Real>\n"
                                "        <Int Count=\"replaced\">-12</Int>\n"
                                "        <Empty/>\n"
                                "    </List>\n"
                                "</Doc>\n";
        QByteArray flat = body;
        flat.replace("\n", "").replace("    ", "");
        const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
        const QByteArray doctype = "<!DOCTYPE Kind>";
        const QByteArray root = "<Doc File_Version=\"3\">";
        QTest::newRow("indented") << false << false << declaration + '\n' + root + '\n' + body;
        QTest::newRow("compact") << false << true << declaration + root + flat;
        QTest::newRow("doctype indented") << true << false << doctype + '\n' + root + '\n' + body;
        QTest::newRow("doctype compact") << true << true << doctype + root + flat;
    }

    // Saving over an existing file replaces its bytes and keeps its mode.
    void Save()
    {
        QFETCH(bool, doctype);
        QFETCH(bool, compact);
        QFETCH(QByteArray, expected);
        TXmlFile xml;
        xml.d_file_name = d_folder + "/out.xml";
        Write(xml.d_file_name, "old contents, longer than the new ones");
        const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(xml.d_file_name, mode));
        if (doctype)
            xml.CreateDocument("Kind", "Doc", 3);
        else
            xml.CreateDocument("Doc", 3);
        const QDomElement list = xml.CreateNode(xml.d_root, "List");
        QDomElement node = xml.CreateNode(list, "Text");
        xml.AppendData(node, "a<b & c>\nd");
        node = xml.CreateNode(list, "Real");
        xml.AppendData(node, 2.0 / 3, 3);
        xml.CreateAttribute(node, "Ratio", -1.5, 2);
        node = xml.CreateNode(list, "Int");
        xml.AppendData(node, -12);
        xml.CreateAttribute(node, "Count", 7);
        xml.CreateAttribute(node, "Count", "replaced");
        xml.CreateNode(list, "Empty");
        xml.Save(compact);
        QFile saved(xml.d_file_name);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), expected);
        QCOMPARE(saved.permissions() & 0x7077, mode);
        QCOMPARE(Listing(d_folder), QString("out.xml"));
    }

    void Load_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("version");
        QTest::addColumn<bool>("namespaces");
        QTest::addColumn<QString>("expected");
        const QString none = " | root= id= type= local=";
        const QString loaded = " | root=Doc id=Doc type= local=";
        const QString typed = " | root=Doc id=Doc type=Kind local=";
        QTest::newRow("missing") << QByteArray() << true << false
                                 << "throw 0: ERR:  Cannot open file '%P' for reading." + none;
        QTest::newRow("folder") << QByteArray("folder") << true << false
                                << "throw 0: ERR:  Cannot open file: '%P'.  Reason: file to open "
                                   "is a directory" +
                                       none;
        QTest::newRow("not well-formed")
            << QByteArray("<Doc File_Version=\"1\">\n  <a>\n</Doc>\n") << true << false
            << "throw 1: ERR: Reference file XML parse error at line 3 column 6: tag mismatch" +
                   none;
        QTest::newRow("identification case")
            << QByteArray("<doc File_Version=\"1\"/>") << true << false
            << "throw 1: ERR:  Identification 'Doc' does not match 'doc' | root=doc id= type= "
               "local=";
        QTest::newRow("no version")
            << QByteArray("<!DOCTYPE Kind><Doc/>") << true << false
            << "throw 1: ERR: The 'File_Version' attribute is missing." + typed;
        QTest::newRow("no version, not asked")
            << QByteArray("<!DOCTYPE Kind><Doc/>") << false << false << "not asked" + typed;
        QTest::newRow("version") << QByteArray("<Doc File_Version=\"12\"/>") << true << false
                                 << "version 12" + loaded;
        QTest::newRow("namespaces") << QByteArray("<Doc File_Version=\"2\"/>") << true << true
                                    << "version 2" + loaded + "Doc";
        QTest::newRow("leading zero")
            << QByteArray("<Doc File_Version=\"01\"/>") << true << false << "version 1" + loaded;
        QTest::newRow("not a number")
            << QByteArray("<Doc File_Version=\"x1\"/>") << true << false << "version 0" + loaded;
    }

    // What a failed Load leaves behind shows in the state after the outcome.
    void Load()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, version);
        QFETCH(bool, namespaces);
        QFETCH(QString, expected);
        TXmlFile xml;
        xml.d_file_name = d_folder + "/in.xml";
        if (content == "folder")
            QVERIFY(QDir().mkdir(xml.d_file_name));
        else if (!content.isNull())
            Write(xml.d_file_name, content);
        int found = -1;
        const QString outcome = Outcome([&] {
            xml.Load("Doc", version ? &found : nullptr, namespaces);
            return version ? QStringLiteral("version %1").arg(found) : QStringLiteral("not asked");
        });
        QCOMPARE(outcome + QStringLiteral(" | root=%1 id=%2 type=%3 local=%4")
                               .arg(xml.d_root.tagName(), xml.d_identification, xml.d_doctype,
                                    xml.d_root.localName()),
                 QString(expected).replace("%P", xml.d_file_name));
    }

    void Save_Failure_data()
    {
        QTest::addColumn<TSetup>("setup");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("compact");
        QTest::addColumn<QString>("expected");
        const QString cannot_write = "throw 1: ERR:  Cannot write file '%P'.  Reason: ";
        QTest::newRow("missing folder")
            << No_Setup << "missing/out.xml" << false << cannot_write + "No such file or directory";
        QTest::newRow("folder at target")
            << No_Setup << "folder" << false << cannot_write + "Filename refers to a directory";
        QTest::newRow("read-only file") << Unprivileged << "old.xml" << false
                                        << "throw 0: ERR:  Cannot open file '%P' for writing";
        // The file size limit of 64 bytes stops the write part-way.
        QTest::newRow("full, indented")
            << Size_Limit << "old.xml" << false << cannot_write + "File too large";
        QTest::newRow("full, compact")
            << Size_Limit << "old.xml" << true << cannot_write + "File too large";
    }

    // Whatever fails, the folder keeps exactly what it held before.
    void Save_Failure()
    {
        QFETCH(TSetup, setup);
        QFETCH(QString, target);
        QFETCH(bool, compact);
        QFETCH(QString, expected);
        const QString old = d_folder + "/old.xml";
        Write(old, "old contents\n");
        QVERIFY(QDir().mkdir(d_folder + "/folder"));
        if (setup == Unprivileged) {
            QVERIFY(QFile::setPermissions(old, QFile::ReadOwner | QFile::ReadOther));
            const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                              QFile::ReadOther | QFile::ExeOther;
            QVERIFY(QFile::setPermissions(d_dir->path(), open));
            QVERIFY(QFile::setPermissions(d_folder, open));
        }
        const QString before = Listing(d_folder);
        TXmlFile xml;
        xml.d_file_name = d_folder + '/' + target;
        xml.CreateDocument("Doc", 1);
        for (int entry = 0; entry < 10; ++entry)
            xml.AppendData(xml.CreateNode(xml.d_root, "Entry"), entry);
        const QString outcome = Save_In_Child(xml, compact, setup);
        if (outcome.startsWith("skip: "))
            QSKIP(qPrintable(outcome.mid(6)));
        QCOMPARE(outcome, QString(expected).replace("%P", xml.d_file_name));
        QCOMPARE(Listing(d_folder), before);
        QFile file(old);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("old contents\n"));
    }

    // Ten levels of ten references would expand to 3 GB if the parser let them.
    void Entity_Expansion()
    {
        QByteArray text = "<!DOCTYPE Doc [\n<!ENTITY e0 \"lol\">\n";
        for (int level = 1; level <= 10; ++level)
            text += "<!ENTITY e" + QByteArray::number(level) + " \"" +
                    ("&e" + QByteArray::number(level - 1) + ";").repeated(10) + "\">\n";
        text += "]>\n<Doc File_Version=\"1\">&e10;</Doc>\n";
        TXmlFile xml;
        xml.d_file_name = d_folder + "/bomb.xml";
        Write(xml.d_file_name, text);
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const long before = usage.ru_maxrss;
        const QString outcome = Outcome([&] { return xml.Load("Doc"), QString("loaded"); });
        getrusage(RUSAGE_SELF, &usage);
        QVERIFY2(usage.ru_maxrss - before < 64 * 1024, "more than 64 MiB used");
        QCOMPARE(outcome, QString("throw 1: ERR: Reference file XML parse error at line 7 column "
                                  "55: The XML entity \"e4\" expands to a string that is too "
                                  "large to process (30000 characters > 4096)."));
    }
};

QTEST_GUILESS_MAIN(TXmlFileTest)
#include "tst_xmlfile.moc"
