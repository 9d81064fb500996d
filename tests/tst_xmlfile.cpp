#include "xmlfile.h"

#include <QtTest>
#include <functional>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using TCall = std::function<QString(TXmlFile&, bool)>;
Q_DECLARE_METATYPE(TCall)

// A row per call, named after its source text; the call runs with Opt (its Optional) true,
// then false, with the outcomes given (one for both when they agree).
#define ROW(C, ...) row(#C, {__VA_ARGS__}, [](TXmlFile& X, bool Opt) { return (void)Opt, Show(C); })

// Children of the root: 0 Item/a, 1 Item/, 2 Commented/, 3 p:Node/.
static const char Fixture[] =
    "<Root File_Version=\"1\"><Item Name=\"a\" Empty=\"\">text</Item><Item/>"
    "<Commented><!--c-->text</Commented><p:Node xmlns:p=\"urn:p\"/></Root>";
static const QString Old(400, 'o');
// The folder of the current case, %P in the rows. Its name holds "%1" and "%2", which must
// reach the messages unchanged.
static QString Folder;

class TXmlFileTest : public QObject
{
    Q_OBJECT

    QScopedPointer<QTemporaryDir> d_dir;

    static QString Show(const QString& Text) { return Text.isNull() ? "<null>" : Text; }
    static QString Show(const QDomNode& Node)
    {
        return Node.isNull() ? "<null>"
                             : Node.nodeName() + '/' + Node.toElement().attribute("Name");
    }
    static QDomElement At(TXmlFile& X, int I) { return X.d_root.childNodes().at(I).toElement(); }

    // An operation's shown result, or the code and message it threw.
    static QString Outcome(const std::function<QString()>& Operation)
    {
        try {
            return Operation();
        } catch (const TXmlFileException& Error) {
            return "throw " + QString::number(Error.Code()) + ": " + Error.Message();
        }
    }

    static void Write(const QString& Path, const QString& Text)
    {
        QFile file(Path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Text.toUtf8()) > 0);
    }

    // Loads Text from in.xml (none when empty, a folder for "folder"), asking for the version
    // only when Opt is false.
    static QString Loaded(TXmlFile& X, const QString& Text, bool Opt, bool Namespaces = false)
    {
        X.d_file_name = Folder + "/in.xml";
        if (Text == "folder")
            QDir().mkpath(X.d_file_name);
        else if (!Text.isEmpty())
            Write(X.d_file_name, Text);
        int version = -1;
        X.Load("Doc", Opt ? nullptr : &version, Namespaces);
        return QStringLiteral("version=%1 type=%2 local=%3 text=%4")
            .arg(QString::number(version), X.d_doctype, X.d_root.localName(),
                 Show(X.ReadText(X.d_root, true)));
    }

    // Ten levels of ten references would expand to 3 GB.
    static QString Bomb()
    {
        QString text = "<!DOCTYPE Doc [<!ENTITY e0 \"lol\">";
        for (int i = 1; i <= 10; ++i)
            text += QString("<!ENTITY e%1 \"%2\">")
                        .arg(QString::number(i), QString("&e%1;").arg(i - 1).repeated(10));
        return text + "]><Doc File_Version=\"1\">&e10;</Doc>";
    }

    // Saves a new document over old.xml, compact when Opt, in a forked child that keeps a
    // file size limit or dropped root privileges to itself. Shows the outcome, then what the
    // folder holds and old.xml's bytes.
    static QString Saved(TXmlFile& X, const QString& Setup, bool Opt)
    {
        const QString old = Folder + "/old.xml";
        QFile::remove(old);
        Write(old, Old);
        if (Setup == "read-only")
            QFile::setPermissions(old, QFile::ReadOwner | QFile::ReadOther);
        X.d_file_name = Setup == "missing folder" ? Folder + "/missing/old.xml" : old;
        Setup == "doctype" ? X.CreateDocument("Kind", "Doc", 3) : X.CreateDocument("Doc", 3);
        const QDomElement list = X.CreateNode(X.d_root, "List");
        QDomElement node = X.CreateNode(list, "Text");
        X.AppendData(node, "a<b & c>\nd]]>\r\"\t");
        X.CreateAttribute(node, "Odd", "\"\t\n<&>");
        X.AppendData(X.CreateNode(list, "Real"), 2.0 / 3, 3);
        X.CreateAttribute(list.lastChildElement(), "Ratio", -1.5, 2);
        node = X.CreateNode(list, "Mixed");
        X.AppendData(node, -12);
        X.CreateAttribute(X.CreateNode(node, "Empty"), "Count", 7);
        X.AppendData(node, "x");
        if (Setup == "wide")
            X.AppendData(X.CreateNode(list, "Wide"), "\U0001F4C4");
        int channel[2];
        if (pipe(channel) != 0)
            return "no pipe";
        const pid_t child = fork();
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64, 64};
            if (Setup == "full" ? setrlimit(RLIMIT_FSIZE, &limit) != 0
                                : Setup == "read-only" && geteuid() == 0 &&
                                      (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(2);
            const QByteArray result = Outcome([&] { return X.Save(Opt), "saved"; }).toUtf8();
            _exit(write(channel[1], result.constData(), result.size()) == result.size() ? 0 : 1);
        }
        close(channel[1]);
        QFile reader;
        reader.open(channel[0], QIODevice::ReadOnly, QFile::AutoCloseHandle);
        const QString result = reader.readAll();
        waitpid(child, nullptr, 0);
        QFile file(old);
        file.open(QIODevice::ReadOnly);
        const auto all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
        return result + " | " + QDir(Folder).entryList(all).join(',') + ": " + file.readAll();
    }

private slots:
    void init()
    {
        d_dir.reset(new QTemporaryDir);
        Folder = d_dir->path() + "/in%1and%2";
        const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther;
        QVERIFY(QDir().mkpath(Folder) && QFile::setPermissions(d_dir->path(), open) &&
                QFile::setPermissions(Folder, open));
    }

    void Operations_data()
    {
        QTest::addColumn<TCall>("call");
        QTest::addColumn<QString>("optional");
        QTest::addColumn<QString>("mandatory");
        const auto row = [](const char* Name, const QStringList& Outcomes, const TCall& Call) {
            QTest::newRow(Name) << Call << Outcomes.first() << Outcomes.last();
        };
        const QString null = "<null>", e = "throw 1: ERR:  ", m = "throw 1: ERR: ";
        const QString text = m + "Node Text for '%1' is not optional.";
        const QString child = m + "Node '%1' is missing from node '%2' and not optional.";
        const QString first = m + "Parent '%1' does not have nodes and they are not optional.";
        const QString next = m + "Node '%1' does not have siblings and they are not optional.";
        ROW(X.ReadText(At(X, 1), Opt), null, text.arg("Item"));
        ROW(X.ReadText(At(X, 2), Opt), null, text.arg("Commented"));
        ROW(X.ReadText(QDomNode(At(X, 3)), Opt), null, text.arg(""));
        ROW(X.ReadText(QDomElement(), Opt), e + "Cannot read data from a NULL node");
        ROW(X.ReadAttribute(At(X, 0), "Empty", Opt), "");
        ROW(X.ReadAttribute(QDomNode(At(X, 0)), "Name", Opt), "a");
        ROW(X.ReadAttribute(QDomNode(At(X, 1)), "Name", Opt), null,
            m + "Node attribute 'Name' missing and not optional.");
        ROW(X.ReadAttribute(QDomElement(), "Name", Opt),
            e + "Cannot read attribute from a NULL node");
        ROW(X.GetChild(X.d_root, "Item", Opt), "Item/a");
        ROW(X.GetChild(At(X, 3), "X", Opt), null, child.arg("X", "p:Node"));
        ROW(X.GetChild(QDomElement(), "X", Opt), e + "Cannot get child from a NULL node");
        ROW(X.GetSibling(At(X, 0), "Item", Opt), "Item/");
        ROW(X.GetSibling(At(X, 2), "Item", Opt), null, child.arg("Item", "Commented"));
        ROW(X.GetSibling(QDomElement(), "Item", Opt), e + "Cannot get sibling from a NULL node");
        ROW(X.GetFirstNode(At(X, 2), Opt), "#comment/");
        ROW(X.GetFirstNode(At(X, 3), Opt), null, first.arg("p:Node"));
        ROW(X.GetFirstNode(QDomNode(At(X, 3)), Opt), null, first.arg(""));
        ROW(X.GetFirstNode(QDomElement(), Opt), null, first.arg(""));
        ROW(X.GetNextNode(At(X, 1), Opt), "Commented/");
        ROW(X.GetNextNode(At(X, 3), Opt), null, next.arg(""));
        ROW(X.GetNextNode(QDomNode(), Opt), null, next.arg(""));
        ROW(X.CreateNode(QDomElement(), "A"), e + "Cannot create node from a NULL node");
        ROW(X.CreateNode(X.d_root, ""), e + "Cannot create an unnamed node");
        ROW(X.CreateNode(X.d_root, "a b"), null);
        ROW((X.AppendData(QDomElement(), 1), ""), e + "Cannot append data to a NULL node");
        ROW((X.AppendData(At(X, 1), "%1\u0001%2"), ""),
            e + "Cannot write node 'Item' with data '%1\u0001%2'");
        ROW((X.AppendData(At(X, 1), "<&"), X.ReadText(At(X, 1), true)), "<&");
        ROW((X.CreateAttribute(X.d_root, "", "v"), ""), e + "Cannot create an unnamed attribute");
        ROW((X.CreateAttribute(QDomElement(), "A", "v"), "ignored"), "ignored");
        const QString cannot_open = "throw 0: ERR:  Cannot open file";
        ROW(Loaded(X, "", Opt), cannot_open + " '%P/in.xml' for reading.");
        ROW(Loaded(X, "folder", Opt),
            cannot_open + ": '%P/in.xml'.  Reason: file to open is a directory");
        ROW(Loaded(X, "<Doc File_Version=\"1\">\n  <a>\n</Doc>", Opt),
            m + "Reference file XML parse error at line 3 column 6: tag mismatch");
        ROW(Loaded(X, Bomb(), Opt),
            m + "Reference file XML parse error at line 1 column 308: The XML entity \"e4\" "
                "expands to a string that is too large to process (30000 characters > 4096).");
        ROW(Loaded(X, "<doc File_Version=\"1\"/>", Opt),
            e + "Identification 'Doc' does not match 'doc'");
        ROW(Loaded(X, "<!DOCTYPE Kind><Doc/>", Opt), "version=-1 type=Kind local= text=<null>",
            m + "The 'File_Version' attribute is missing.");
        ROW(Loaded(X, "<Doc File_Version=\"x1\">\U0001F4C4</Doc>", Opt),
            "version=-1 type= local= text=\U0001F4C4", "version=0 type= local= text=\U0001F4C4");
        ROW(Loaded(X, "<Doc File_Version=\"12\"/>", Opt, true),
            "version=-1 type= local=Doc text=<null>", "version=12 type= local=Doc text=<null>");
        const QString body = "<Doc File_Version=\"3\">\n"
                             "    <List>\n"
                             "        <Text Odd=\"&quot;&#x9;&#xa;&lt;&amp;>\">a&lt;b &amp; c>\n"
                             "d]]&gt;&#xd;\"\t</Text>\n"
                             "        <Real Ratio=\"-1.50\">0.667</Real>\n"
                             "        <Mixed>-12<Empty Count=\"7\"/>x</Mixed>\n"
                             "    </List>\n"
                             "</Doc>\n";
        const QString declared = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + body;
        const QString wide = QString(declared).replace(
            "    </List>", "        <Wide>\xF0\x9F\x93\x84</Wide>\n    </List>");
        const auto flat = [](QString Text) { return Text.remove('\n').remove("    "); };
        const QString saved = "saved | old.xml: ";
        const QString cannot_write = "throw 1: ERR:  Cannot write file '%P/";
        const QString kept = " | old.xml: " + Old;
        ROW(Saved(X, "", Opt), saved + flat(declared), saved + declared);
        ROW(Saved(X, "wide", Opt), saved + flat(wide), saved + wide);
        ROW(Saved(X, "doctype", Opt), saved + "<!DOCTYPE Kind>" + flat(body),
            saved + "<!DOCTYPE Kind>\n" + body);
        ROW(Saved(X, "missing folder", Opt),
            cannot_write + "missing/old.xml'.  Reason: No such file or directory" + kept);
        ROW(Saved(X, "read-only", Opt),
            "throw 0: ERR:  Cannot open file '%P/old.xml' for writing" + kept);
        // The file size limit of 64 bytes stops the write part-way.
        ROW(Saved(X, "full", Opt), cannot_write + "old.xml'.  Reason: File too large" + kept);
    }

    void Operations()
    {
        QFETCH(TCall, call);
        QFETCH(QString, optional);
        QFETCH(QString, mandatory);
        TXmlFile xml;
        QVERIFY(xml.d_document.setContent(QByteArray(Fixture)));
        xml.d_root = xml.d_document.documentElement();
        QCOMPARE(Outcome([&] { return call(xml, true); }), optional.replace("%P", Folder));
        QCOMPARE(Outcome([&] { return call(xml, false); }), mandatory.replace("%P", Folder));
    }
};

QTEST_GUILESS_MAIN(TXmlFileTest)
#include "tst_xmlfile.moc"
