#include "xmlfile.h"

#include <QtTest>
#include <fstream>
#include <functional>

// Limits and users are POSIX's: a write stopped part-way (a file size limit) is staged on
// Linux only.
#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

using TCall = std::function<QString(TXmlFile&, bool)>;
Q_DECLARE_METATYPE(TCall)

// A row per call, named after its source text; the call runs with Opt (its Optional) true,
// then false, with the outcomes given (one for both when they agree).
#define ROW(C, ...)                                                                                \
    QTest::newRow(#C) << TCall([=](TXmlFile& X, bool Opt) { return (void)Opt, Show(C); })          \
                      << QStringList({__VA_ARGS__})

// Each case starts from this document in "%1.xml" in its own folder, the current one: the "%1"
// must reach the messages unchanged. Children of the root: 0 Item, 1 Note, 2 Node. Its version
// is no number, so it reads as 0.
const char Fixture[] = "<Doc File_Version=\"x1\"><Item/><Note><!--c-->text</Note><Node/></Doc>";

// A text file's bytes as written on this platform: CRLF line ends on Windows.
static QString Native_Lines(QString Text)
{
#ifdef Q_OS_WIN
    Text.replace("\n", "\r\n");
#endif
    return Text;
}

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

    // Loads Text (from a missing folder when empty), asking for the version only when Opt is
    // false; shows the version, doctype and text.
    static QString Loaded(TXmlFile& X, const QString& Text, bool Opt, int Version = -1)
    {
        X.d_file_name = Text.isEmpty() ? "no/%1.xml" : "%1.xml";
        std::ofstream(X.d_file_name.toStdString()) << Text.toStdString();
        X.Load("Doc", Opt ? nullptr : &Version);
        return QString("%1 %2 %3").arg(Version).arg(X.d_doctype, X.ReadText(X.d_root, true));
    }

    // Saves a new document over the fixture, compact and with a doctype when Opt. Root writes
    // read-only files, so it saves one as user "nobody" (still in the root group, which may pass
    // the folder); "cut" stops the write part-way with a file size limit of 64 bytes. Both last
    // only for the save. Shows the outcome (nothing when saved), the files in the folder and the
    // bytes.
    static QString Saved(TXmlFile& X, const QString& Setup, bool Opt)
    {
        Opt ? X.CreateDocument("K", "Doc", 3) : X.CreateDocument("Doc", 3);
        const QDomElement node = X.CreateNode(X.d_root, "Text");
        X.AppendData(node, "a<b & c>\nd]]>\r\"\t\U0001F4C4");
        X.CreateAttribute(node, "Ratio", -1.5, 2);
#ifdef Q_OS_WIN
        // Windows keeps a read-only file so for every user (under Wine: when not run as root).
        if (Setup == "read-only" && !QFile::setPermissions(X.d_file_name, QFile::ReadOwner))
            return "not read-only";
        const QString got = Outcome([&] { return X.Save(Opt), ""; });
#else
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit full{Setup == "cut" ? rlim_t(64) : limit.rlim_cur, limit.rlim_max};
        const bool nobody = Setup == "read-only" &&
                            QFile::setPermissions(X.d_file_name, QFile::ReadOwner) &&
                            geteuid() == 0 && setresuid(65534, 65534, 0) == 0;
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &full);
        const QString got = Outcome([&] { return X.Save(Opt), ""; });
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || (nobody && setresuid(0, 0, 0) != 0))
            return "not restored";
#endif
        QFile file(X.d_file_name);
        file.open(QIODevice::ReadOnly);
        return got + "|" + QDir().entryList(QDir::Files).join(',') + "|" + file.readAll();
    }

private slots:
    void Operations_data()
    {
        QTest::addColumn<TCall>("call");
        QTest::addColumn<QStringList>("outcomes");
        // Thrown: m with code 1, e the same with a second blank, o with code 0.
        const QString n = "<null>", m = "throw 1: ERR: ", e = m + " ", o = "throw 0: ERR:  ";
        const QString child = m + "Node '%1' is missing from node '%2' and not optional.";
        // Text behind a comment does not count.
        ROW(X.ReadText(At(X, 1), Opt), n, m + "Node Text for 'Note' is not optional.");
        ROW(X.ReadText(QDomElement(), Opt), e + "Cannot read data from a NULL node");
        ROW(X.ReadAttribute(At(X, 0), "A", Opt), n,
            m + "Node attribute 'A' missing and not optional.");
        ROW(X.ReadAttribute(QDomElement(), "A", Opt), e + "Cannot read attribute from a NULL node");
        ROW(X.GetChild(At(X, 2), "X", Opt), n, child.arg("X", "Node"));
        ROW(X.GetChild(QDomElement(), "X", Opt), e + "Cannot get child from a NULL node");
        ROW(X.GetSibling(At(X, 1), "Item", Opt), n, child.arg("Item", "Note"));
        ROW(X.GetSibling(QDomElement(), "Item", Opt), e + "Cannot get sibling from a NULL node");
        ROW(X.GetFirstNode(At(X, 2), Opt), n,
            m + "Parent 'Node' does not have nodes and they are not optional.");
        ROW(X.GetNextNode(At(X, 2), Opt), n,
            m + "Node '' does not have siblings and they are not optional.");
        ROW(X.CreateNode(QDomElement(), "A"), e + "Cannot create node from a NULL node");
        ROW((X.AppendData(QDomElement(), 1), ""), e + "Cannot append data to a NULL node");
        ROW((X.AppendData(At(X, 0), "%1\u0001"), ""),
            e + "Cannot write node 'Item' with data '%1\u0001'");
        // Ten levels of ten references would expand to 3 GB.
        QString bomb = "<!DOCTYPE Doc [<!ENTITY e0 'lol'>", ref = "&e%1;";
        for (int i = 1; i <= 10; ++i)
            bomb += QString("<!ENTITY e%1 '%2'>").arg(i).arg(ref.arg(i - 1).repeated(10));
        ROW(Loaded(X, bomb + "]><Doc>&e10;</Doc>", Opt),
            m + "Reference file XML parse error at line 1 column 308: The XML entity \"e4\" "
                "expands to a string that is too large to process (30000 characters > 4096).");
        ROW(Loaded(X, "", Opt), o + "Cannot open file 'no/%1.xml' for reading.");
#ifdef Q_OS_WIN
        // Windows refuses to open a folder as a file before Qt can say what it is.
        ROW((X.d_file_name = ".", X.Load("Doc"), ""),
            o + "Cannot open file: '.'.  Reason: Access denied.");
#else
        ROW((X.d_file_name = ".", X.Load("Doc"), ""),
            o + "Cannot open file: '.'.  Reason: file to open is a directory");
#endif
        ROW(Loaded(X, "<doc/>", Opt), e + "Identification 'Doc' does not match 'doc'");
        ROW(Loaded(X, "<!DOCTYPE Kind><Doc>\U0001F4C4</Doc>", Opt), "-1 Kind \U0001F4C4",
            m + "The 'File_Version' attribute is missing.");
        // Compact output has no line breaks at all: the one inside the text is lost too.
        const QString ok = "|%1.xml|", old = ok + Fixture;
        const QString doc =
            "<Doc File_Version=\"3\">\n    <Text Ratio=\"-1.50\">a&lt;b &amp; c>\nd]]&gt;"
            "&#xd;\"\t\U0001F4C4</Text>\n</Doc>\n";
        ROW(Saved(X, "", Opt), ok + "<!DOCTYPE K>" + QString(doc).remove('\n').remove("    "),
            ok + Native_Lines("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + doc));
        ROW(Saved(X, "read-only", Opt), o + "Cannot open file '%1.xml' for writing" + old);
#ifndef Q_OS_WIN
        ROW(Saved(X, "cut", Opt), e + "Cannot write file '%1.xml'.  Reason: File too large" + old);
#endif
    }

    void Operations()
    {
        QFETCH(TCall, call);
        QFETCH(QStringList, outcomes);
        QTemporaryDir dir;
        const auto mode = QFile::permissions(dir.path()) | QFile::ExeGroup;
        // Windows cannot remove the current folder: the previous one comes back first.
        const struct TBack
        {
            QString d_folder = QDir::currentPath();
            ~TBack() { QDir::setCurrent(d_folder); }
        } back;
        QVERIFY(QFile::setPermissions(dir.path(), mode) && QDir::setCurrent(dir.path()));
        TXmlFile xml;
        QCOMPARE(Loaded(xml, Fixture, false), QString("0  "));
        QCOMPARE(Outcome([&] { return call(xml, true); }), outcomes.first());
        QCOMPARE(Outcome([&] { return call(xml, false); }), outcomes.last());
    }
};

QTEST_GUILESS_MAIN(TXmlFileTest)
#include "tst_xmlfile.moc"
