#include "xmlfile.h"

#include <QtTest>
#include <fstream>
#include <functional>

#include <csignal>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using TCall = std::function<QString(TXmlFile&, bool)>;
Q_DECLARE_METATYPE(TCall)

// A row per call, named after its source text; the call runs with Opt (its Optional) true,
// then false, with the outcomes given (one for both when they agree).
#define ROW(C, ...)                                                                                \
    QTest::newRow(#C) << TCall([](TXmlFile& X, bool Opt) { return (void)Opt, Show(C); })           \
                      << QStringList({__VA_ARGS__})

// Children of the root: 0 Item, 1 Commented, 2 Node.
static const char Fixture[] = "<Root><Item/><Commented><!--c-->text</Commented><Node/></Root>";
// The folder of the current case, %P in the rows. Its name holds "%1" and "%2", which must
// reach the messages unchanged.
static QString Folder;
// Where a forked child leaves its outcome.
static char* const Shared = static_cast<char*>(
    mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));

class TXmlFileTest : public QObject
{
    Q_OBJECT

    static QString Show(const QString& Text) { return Text.isNull() ? "<null>" : Text; }
    static QString Show(const QDomNode& Node) { return Show(Node.nodeName()); }
    static QDomElement At(TXmlFile& X, int I) { return X.d_root.childNodes().at(I).toElement(); }

    // An operation's shown result, or the code and message it threw.
    static QString Outcome(const std::function<QString()>& Operation)
    try {
        return Operation();
    } catch (const TXmlFileException& Error) {
        return "throw " + QString::number(Error.Code()) + ": " + Error.Message();
    }

    // Loads Text from in.xml (none when empty), asking for the version only when Opt is false;
    // shows the version, doctype and text.
    static QString Loaded(TXmlFile& X, const QString& Text, bool Opt)
    {
        X.d_file_name = Folder + "/in.xml";
        if (!Text.isEmpty())
            std::ofstream(X.d_file_name.toStdString()) << Text.toStdString();
        int version = -1;
        X.Load("Doc", Opt ? nullptr : &version);
        return QString("%1 %2 %3").arg(version).arg(X.d_doctype, X.ReadText(X.d_root, true));
    }

    // Ten levels of ten references would expand to 3 GB.
    static QString Bomb()
    {
        QString t = "<!DOCTYPE Doc [<!ENTITY e0 'lol'>";
        for (int i = 1; i <= 10; ++i)
            t += QString("<!ENTITY e%1 '%2'>").arg(i).arg(QString("&e%1;").arg(i - 1).repeated(10));
        return t + "]><Doc File_Version=\"1\">&e10;</Doc>";
    }

    // Saves a new document over old.xml, compact when Opt, in a forked child that keeps a
    // file size limit or dropped root privileges to itself. Shows the outcome (none when the
    // child could not set itself up), then the files in the folder and old.xml's bytes.
    static QString Saved(TXmlFile& X, const QString& Setup, bool Opt)
    {
        const QString old = Folder + "/old.xml";
        QFile::remove(old);
        std::ofstream(old.toStdString()) << "old";
        X.d_file_name = Setup == "missing folder" ? Folder + "/no/old.xml" : old;
        Setup == "doctype" ? X.CreateDocument("Kind", "Doc", 3) : X.CreateDocument("Doc", 3);
        const QDomElement node = X.CreateNode(X.CreateNode(X.d_root, "List"), "Text");
        X.AppendData(node, "a<b & c>\nd]]>\r\"\t" + QString(Setup == "wide" ? "\U0001F4C4" : ""));
        X.CreateAttribute(node, "Odd", "\"\t\n<&>");
        X.CreateAttribute(X.CreateNode(node, "Empty"), "Ratio", -1.5, 2);
        X.AppendData(node, 2.0 / 3, 3);
        *Shared = '\0';
        const pid_t child = fork();
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64, 64};
            if (Setup == "full"
                    ? setrlimit(RLIMIT_FSIZE, &limit) == 0
                    : Setup != "read-only" ||
                          (QFile::setPermissions(old, QFile::ReadOwner) &&
                           (geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0))))
                qstrncpy(Shared, Outcome([&] { return X.Save(Opt), "saved"; }).toUtf8(), 4096);
            _exit(0);
        }
        waitpid(child, nullptr, 0);
        QFile file(old);
        file.open(QIODevice::ReadOnly);
        return QString(Shared) + " | " + QDir(Folder).entryList(QDir::Files).join(',') + ": " +
               file.readAll();
    }

private slots:
    void Operations_data()
    {
        QTest::addColumn<TCall>("call");
        QTest::addColumn<QStringList>("outcomes");
        const QString null = "<null>", e = "throw 1: ERR:  ", m = "throw 1: ERR: ";
        const QString child = m + "Node '%1' is missing from node '%2' and not optional.";
        const QString parse = m + "Reference file XML parse error at line ";
        const QString first = m + "Parent '%1' does not have nodes and they are not optional.";
        // Text behind a comment does not count.
        ROW(X.ReadText(At(X, 1), Opt), null, m + "Node Text for 'Commented' is not optional.");
        ROW(X.ReadText(QDomElement(), Opt), e + "Cannot read data from a NULL node");
        ROW(X.ReadAttribute(At(X, 0), "A", Opt), null,
            m + "Node attribute 'A' missing and not optional.");
        ROW(X.ReadAttribute(QDomElement(), "A", Opt), e + "Cannot read attribute from a NULL node");
        ROW(X.GetChild(At(X, 2), "X", Opt), null, child.arg("X", "Node"));
        ROW(X.GetChild(QDomElement(), "X", Opt), e + "Cannot get child from a NULL node");
        ROW(X.GetSibling(At(X, 1), "Item", Opt), null, child.arg("Item", "Commented"));
        ROW(X.GetSibling(QDomElement(), "Item", Opt), e + "Cannot get sibling from a NULL node");
        ROW(X.GetFirstNode(At(X, 2), Opt), null, first.arg("Node"));
        ROW(X.GetFirstNode(QDomNode(At(X, 2)), Opt), null, first.arg(""));
        ROW(X.GetNextNode(At(X, 2), Opt), null,
            m + "Node '' does not have siblings and they are not optional.");
        ROW(X.CreateNode(QDomElement(), "A"), e + "Cannot create node from a NULL node");
        ROW((X.AppendData(QDomElement(), 1), ""), e + "Cannot append data to a NULL node");
        ROW((X.AppendData(At(X, 0), "%1\u0001%2"), ""),
            e + "Cannot write node 'Item' with data '%1\u0001%2'");
        ROW((X.AppendData(At(X, 0), "<&"), X.ReadText(At(X, 0), true)), "<&");
        ROW(Loaded(X, "", Opt), "throw 0: ERR:  Cannot open file '%P/in.xml' for reading.");
        ROW(Loaded(X, "<Doc>\n  <a>\n</Doc>", Opt), parse + "3 column 6: tag mismatch");
        ROW(Loaded(X, Bomb(), Opt),
            parse + "1 column 308: The XML entity \"e4\" "
                    "expands to a string that is too large to process (30000 characters > 4096).");
        ROW(Loaded(X, "<doc/>", Opt), e + "Identification 'Doc' does not match 'doc'");
        ROW(Loaded(X, "<!DOCTYPE Kind><Doc/>", Opt), "-1 Kind ",
            m + "The 'File_Version' attribute is missing.");
        ROW(Loaded(X, "<Doc File_Version=\"x1\">\U0001F4C4</Doc>", Opt), "-1  \U0001F4C4",
            "0  \U0001F4C4");
        const QString body = "<Doc File_Version=\"3\">\n    <List>\n"
                             "        <Text Odd=\"&quot;&#x9;&#xa;&lt;&amp;>\">a&lt;b &amp; c>\n"
                             "d]]&gt;&#xd;\"\t<Empty Ratio=\"-1.50\"/>0.667</Text>\n"
                             "    </List>\n</Doc>\n";
        const QString declared = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + body;
        const QString wide = QString(declared).replace("\t<Empty", "\t\U0001F4C4<Empty");
        const auto flat = [](QString Text) { return Text.remove('\n').remove("    "); };
        const QString saved = "saved | old.xml: ", kept = " | old.xml: old";
        // The fast serializer writes the first; the DOM the wide character and the doctype.
        ROW(Saved(X, "", Opt), saved + flat(declared), saved + declared);
        ROW(Saved(X, "wide", Opt), saved + flat(wide), saved + wide);
        ROW(Saved(X, "doctype", Opt), saved + "<!DOCTYPE Kind>" + flat(body),
            saved + "<!DOCTYPE Kind>\n" + body);
        ROW(Saved(X, "missing folder", Opt),
            e + "Cannot write file '%P/no/old.xml'.  Reason: No such file or directory" + kept);
        ROW(Saved(X, "read-only", Opt),
            "throw 0: ERR:  Cannot open file '%P/old.xml' for writing" + kept);
        // The file size limit of 64 bytes stops the write part-way.
        ROW(Saved(X, "full", Opt),
            e + "Cannot write file '%P/old.xml'.  Reason: File too large" + kept);
    }

    void Operations()
    {
        QFETCH(TCall, call);
        QFETCH(QStringList, outcomes);
        QTemporaryDir dir(QDir::tempPath() + "/in%1and%2-XXXXXX");
        Folder = dir.path();
        QVERIFY(QFile::setPermissions(Folder, QFile::permissions(Folder) | QFile::ExeOther));
        outcomes.replaceInStrings("%P", Folder);
        TXmlFile xml;
        QVERIFY(xml.d_document.setContent(QByteArray(Fixture)));
        xml.d_root = xml.d_document.documentElement();
        QCOMPARE(Outcome([&] { return call(xml, true); }), outcomes.first());
        QCOMPARE(Outcome([&] { return call(xml, false); }), outcomes.last());
    }
};

QTEST_GUILESS_MAIN(TXmlFileTest)
#include "tst_xmlfile.moc"
