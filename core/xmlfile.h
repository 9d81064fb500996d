#ifndef DORVANE_XMLFILE_H
#define DORVANE_XMLFILE_H

#include <QDomDocument>
#include <QDomElement>
#include <QDomNode>
#include <QString>

// The one failure type of the XML helper: a finished message beginning "ERR:"
// and a code (0 when the file could not even be opened, 1 otherwise).
class TXmlFileException
{
public:
    TXmlFileException(const QString& Message, qint32 Code) : d_message(Message), d_code(Code) {}

    QString Message() const { return d_message; }
    qint32 Code() const { return d_code; }

    QString d_message;
    qint32 d_code;
};

// A versioned XML document kept in a file. Reads and navigation take an
// Optional flag: a missing item is either a null result or an exception.
class TXmlFile
{
public:
    TXmlFile();
    ~TXmlFile();
    TXmlFile(const TXmlFile&) = delete;
    TXmlFile& operator=(const TXmlFile&) = delete;

    void Clear();

    void CreateDocument(const QString& Identification, int Version);
    void CreateDocument(const QString& DocType, const QString& Identification, int Version);

    void Load(const QString& Identification, int* Version = nullptr,
              bool NamespaceProcessing = false);
    void Save(bool Compact = false);

    QString ReadText(const QDomElement& Node, bool Optional);
    QString ReadText(const QDomNode& Node, bool Optional);
    QString ReadAttribute(const QDomElement& Node, const QString& Name, bool Optional);
    QString ReadAttribute(const QDomNode& Node, const QString& Name, bool Optional);
    QDomElement GetChild(const QDomElement& Node, const QString& Name, bool Optional);
    QDomElement GetChild(const QDomNode& Node, const QString& Name, bool Optional);
    QDomElement GetSibling(const QDomElement& CurrentNode, const QString& Name, bool Optional);
    QDomNode GetFirstNode(const QDomElement& Parent, bool Optional);
    QDomNode GetFirstNode(const QDomNode& Parent, bool Optional);
    QDomNode GetNextNode(const QDomNode& CurrentNode, bool Optional);

    QDomElement CreateNode(const QDomElement& Parent, const QString& Name);
    void AppendData(const QDomElement& Node, const QString& Data);
    void AppendData(const QDomElement& Node, const double& Value, int Decimals);
    void AppendData(const QDomElement& Node, int Value);
    void CreateAttribute(const QDomElement& Node, const QString& Name, const QString& Value);
    void CreateAttribute(const QDomElement& Node, const QString& Name, const double& Value,
                         int Decimals);
    void CreateAttribute(const QDomElement& Node, const QString& Name, int Value);

    QDomDocument d_document;
    QDomElement d_root;
    QString d_file_name;
    QString d_identification;
    QString d_doctype;
};

#endif
