#include "xmlfile.h"
#include "replacefile.h"

#include <QBuffer>
#include <QDomImplementation>
#include <QDomText>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

const QString VersionAttribute = QStringLiteral("File_Version");

[[noreturn]] void Fail(const QString& Message, qint32 Code = 1)
{
    throw TXmlFileException(Message, Code);
}

QString Fixed(double Value, int Decimals)
{
    return QStringLiteral("%1").arg(Value, 0, 'f', Decimals);
}

QString Decimal(int Value)
{
    return QStringLiteral("%1").arg(Value);
}

// Only a first child that is text counts: a comment or element in front of
// the text means the node has none.
QDomNode FirstText(const QDomNode& Node)
{
    const QDomNode child = Node.firstChild();
    return (!child.isNull() && child.isText()) ? child : QDomNode();
}

QString MissingText(const QString& Name)
{
    return QStringLiteral("ERR: Node Text for '%1' is not optional.").arg(Name);
}

QString MissingAttribute(const QString& Name)
{
    return QStringLiteral("ERR: Node attribute '%1' missing and not optional.").arg(Name);
}

QString MissingChild(const QString& Name, const QString& Owner)
{
    return QStringLiteral("ERR: Node '%1' is missing from node '%2' and not optional.")
        .arg(Name, Owner);
}

QString MissingFirst(const QString& Name)
{
    return QStringLiteral("ERR: Parent '%1' does not have nodes and they are not optional.")
        .arg(Name);
}

QString MissingNext(const QString& Name)
{
    return QStringLiteral("ERR: Node '%1' does not have siblings and they are not optional.")
        .arg(Name);
}

QString WriteFailed(const QString& Path, const QString& Reason)
{
    return QStringLiteral("ERR:  Cannot write file '%1'.  Reason: %2").arg(Path, Reason);
}

} // namespace

TXmlFile::TXmlFile()
{
    QDomImplementation::setInvalidDataPolicy(QDomImplementation::ReturnNullNode);
}

TXmlFile::~TXmlFile() = default;

void TXmlFile::Clear()
{
    d_document.clear();
}

void TXmlFile::CreateDocument(const QString& Identification, int Version)
{
    d_document.clear();
    d_document.appendChild(d_document.createProcessingInstruction(
        QStringLiteral("xml"), QStringLiteral("version=\"1.0\" encoding=\"utf-8\"")));
    d_root = d_document.createElement(Identification);
    d_root.setAttribute(VersionAttribute, Decimal(Version));
    d_document.appendChild(d_root);
}

void TXmlFile::CreateDocument(const QString& DocType, const QString& Identification, int Version)
{
    d_document = QDomDocument(DocType);
    d_root = d_document.createElement(Identification);
    d_root.setAttribute(VersionAttribute, Decimal(Version));
    d_document.appendChild(d_root);
}

void TXmlFile::Load(const QString& Identification, int* Version, bool NamespaceProcessing)
{
    if (!QFileInfo(d_file_name).isReadable())
        Fail(QStringLiteral("ERR:  Cannot open file '%1' for reading.").arg(d_file_name), 0);

    QFile file(d_file_name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        Fail(QStringLiteral("ERR:  Cannot open file: '%1'.  Reason: %2")
                 .arg(d_file_name, file.errorString()),
             0);

    QString error;
    int line = 0;
    int column = 0;
    // The parser builds its nodes under the process-wide policy, and under
    // ReturnNullNode it crashes on a character beyond the Basic Multilingual
    // Plane (which it checks by UTF-16 unit). What it has parsed is
    // well-formed already, so nothing is lost by accepting it here.
    QDomImplementation::setInvalidDataPolicy(QDomImplementation::AcceptInvalidChars);
    const bool parsed = d_document.setContent(&file, NamespaceProcessing, &error, &line, &column);
    QDomImplementation::setInvalidDataPolicy(QDomImplementation::ReturnNullNode);
    file.close();
    if (!parsed)
        Fail(QStringLiteral("ERR: Reference file XML parse error at line %1 column %2: %3")
                 .arg(QString::number(line), QString::number(column), error));

    d_root = d_document.documentElement();
    if (d_root.tagName() != Identification)
        Fail(QStringLiteral("ERR:  Identification '%1' does not match '%2'")
                 .arg(Identification, d_root.tagName()));

    d_doctype = d_document.doctype().name();
    d_identification = Identification;

    if (Version) {
        if (!d_root.hasAttribute(VersionAttribute))
            Fail(QStringLiteral("ERR: The 'File_Version' attribute is missing."));
        *Version = d_root.attribute(VersionAttribute).toInt(nullptr, 10);
    }
}

void TXmlFile::Save(bool Compact)
{
    const QFileInfo info(d_file_name);
    if (info.exists() && !info.isWritable())
        Fail(QStringLiteral("ERR:  Cannot open file '%1' for writing").arg(d_file_name), 0);

    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QTextStream stream(&buffer);
        d_document.save(stream, Compact ? 0 : 4, QDomNode::EncodingFromDocument);
    }
    if (Compact)
        bytes.replace('\r', QByteArray()).replace('\n', QByteArray());

    TReplaceFile file(d_file_name);
    if (!file.Write(bytes, true) || !file.Commit())
        Fail(WriteFailed(d_file_name, file.Reason()));
}

// The two overloads of each read differ only in which name of the node a
// missing item's message gives: the tag name, or the local or node name.
static QString ReadTextOf(const QDomNode& Node, bool Optional, const QString& NodeName)
{
    if (Node.isNull())
        Fail(QStringLiteral("ERR:  Cannot read data from a NULL node"));
    const QDomNode text = FirstText(Node);
    if (!text.isNull())
        return text.nodeValue();
    if (!Optional)
        Fail(MissingText(NodeName));
    return QString();
}

static QDomElement ChildOf(const QDomNode& Node, const QString& Name, bool Optional,
                           const QString& NodeName)
{
    if (Node.isNull())
        Fail(QStringLiteral("ERR:  Cannot get child from a NULL node"));
    const QDomElement child = Node.firstChildElement(Name);
    if (child.isNull() && !Optional)
        Fail(MissingChild(Name, NodeName));
    return child;
}

QString TXmlFile::ReadText(const QDomElement& Node, bool Optional)
{
    return ReadTextOf(Node, Optional, Node.tagName());
}

QString TXmlFile::ReadText(const QDomNode& Node, bool Optional)
{
    return ReadTextOf(Node, Optional, Node.localName());
}

QString TXmlFile::ReadAttribute(const QDomElement& Node, const QString& Name, bool Optional)
{
    if (Node.isNull())
        Fail(QStringLiteral("ERR:  Cannot read attribute from a NULL node"));
    if (Node.hasAttribute(Name))
        return Node.attribute(Name, QString());
    if (!Optional)
        Fail(MissingAttribute(Name));
    return QString();
}

QString TXmlFile::ReadAttribute(const QDomNode& Node, const QString& Name, bool Optional)
{
    if (Node.isNull())
        Fail(QStringLiteral("ERR:  Cannot read attribute from a NULL node"));
    if (Node.hasAttributes()) {
        const QDomNode item = Node.attributes().namedItem(Name);
        if (!item.isNull())
            return item.nodeValue();
    }
    if (!Optional)
        Fail(MissingAttribute(Name));
    return QString();
}

QDomElement TXmlFile::GetChild(const QDomElement& Node, const QString& Name, bool Optional)
{
    return ChildOf(Node, Name, Optional, Node.tagName());
}

QDomElement TXmlFile::GetChild(const QDomNode& Node, const QString& Name, bool Optional)
{
    return ChildOf(Node, Name, Optional, Node.nodeName());
}

QDomElement TXmlFile::GetSibling(const QDomElement& CurrentNode, const QString& Name, bool Optional)
{
    if (CurrentNode.isNull())
        Fail(QStringLiteral("ERR:  Cannot get sibling from a NULL node"));
    const QDomElement sibling = CurrentNode.nextSiblingElement(Name);
    if (sibling.isNull() && !Optional)
        Fail(MissingChild(Name, CurrentNode.tagName()));
    return sibling;
}

static QDomNode FirstNodeOf(const QDomNode& Parent, bool Optional, const QString& ParentName)
{
    const QDomNode first = Parent.firstChild();
    if (first.isNull() && !Optional)
        Fail(MissingFirst(ParentName));
    return first;
}

QDomNode TXmlFile::GetFirstNode(const QDomElement& Parent, bool Optional)
{
    return FirstNodeOf(Parent, Optional, Parent.tagName());
}

QDomNode TXmlFile::GetFirstNode(const QDomNode& Parent, bool Optional)
{
    return FirstNodeOf(Parent, Optional, Parent.localName());
}

QDomNode TXmlFile::GetNextNode(const QDomNode& CurrentNode, bool Optional)
{
    const QDomNode next = CurrentNode.nextSibling();
    if (next.isNull() && !Optional)
        Fail(MissingNext(CurrentNode.localName()));
    return next;
}

QDomElement TXmlFile::CreateNode(const QDomElement& Parent, const QString& Name)
{
    if (Parent.isNull())
        Fail(QStringLiteral("ERR:  Cannot create node from a NULL node"));
    if (Name.isEmpty())
        Fail(QStringLiteral("ERR:  Cannot create an unnamed node"));
    const QDomElement node = d_document.createElement(Name);
    if (!node.isNull())
        QDomElement(Parent).appendChild(node);
    return node;
}

// True when every character is one that XML 1.0 allows in text, a
// surrogate pair counting as the one character it encodes.
static bool IsXmlText(const QString& Data)
{
    for (int i = 0; i < Data.size(); ++i) {
        const ushort c = Data.at(i).unicode();
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= Data.size() || !Data.at(i + 1).isLowSurrogate())
                return false;
            ++i;
            continue;
        }
        const bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                             (c >= 0xE000 && c <= 0xFFFD);
        if (!allowed)
            return false;
    }
    return true;
}

void TXmlFile::AppendData(const QDomElement& Node, const QString& Data)
{
    if (Node.isNull())
        Fail(QStringLiteral("ERR:  Cannot append data to a NULL node"));
    QDomText text = d_document.createTextNode(Data);
    // The DOM checks text one UTF-16 unit at a time and so refuses every
    // character beyond the Basic Multilingual Plane, which XML allows; such
    // text is let through when it holds only characters XML allows.
    if (text.isNull() && IsXmlText(Data)) {
        QDomImplementation::setInvalidDataPolicy(QDomImplementation::AcceptInvalidChars);
        text = d_document.createTextNode(Data);
        QDomImplementation::setInvalidDataPolicy(QDomImplementation::ReturnNullNode);
    }
    if (text.isNull())
        Fail(QStringLiteral("ERR:  Cannot write node '%1' with data '%2'")
                 .arg(Node.tagName(), Data));
    QDomElement(Node).appendChild(text);
}

void TXmlFile::AppendData(const QDomElement& Node, const double& Value, int Decimals)
{
    AppendData(Node, Fixed(Value, Decimals));
}

void TXmlFile::AppendData(const QDomElement& Node, int Value)
{
    AppendData(Node, Decimal(Value));
}

void TXmlFile::CreateAttribute(const QDomElement& Node, const QString& Name, const QString& Value)
{
    if (Name.isEmpty())
        Fail(QStringLiteral("ERR:  Cannot create an unnamed attribute"));
    QDomElement(Node).setAttribute(Name, Value);
}

void TXmlFile::CreateAttribute(const QDomElement& Node, const QString& Name, const double& Value,
                               int Decimals)
{
    CreateAttribute(Node, Name, Fixed(Value, Decimals));
}

void TXmlFile::CreateAttribute(const QDomElement& Node, const QString& Name, int Value)
{
    CreateAttribute(Node, Name, Decimal(Value));
}
