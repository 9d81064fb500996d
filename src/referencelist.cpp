#include "filedata.h"
#include "xmlfile.h"

bool TFileData::Write_Reference_List(const QString& Folder, const QString& FileName)
{
    TXmlFile xmlfile;
    xmlfile.d_file_name = FileName;
    try {
        xmlfile.CreateDocument("File_Sync_Data", 1);
        const QDomElement list = xmlfile.CreateNode(xmlfile.d_root, "File_List");
        const QString base = Folder + QLatin1Char('/');
        d_source_file_times.clear();
        d_source_file_times.reserve(size_t(d_source_file_names.size()));
        for (const QString& path : qAsConst(d_source_file_names)) {
            // The reader refuses such a path, so writing it would only break the next sync.
            if (!Is_Safe_Path(path)) {
                d_error = QString("ERR:  Unsafe path '%1' cannot be written to the reference list")
                              .arg(path);
                return false;
            }
            qint64 msecs = 0;
            if (!Modified_Msecs(base + path, &msecs)) {
                d_source_file_times.push_back(k_no_file);
                continue;
            }
            d_source_file_times.push_back(msecs);
            const QDomElement file = xmlfile.CreateNode(list, "File");
            xmlfile.CreateAttribute(file, "Modified", QString::number(Msecs_Count(msecs)));
            xmlfile.AppendData(file, path);
        }
        xmlfile.Save(false);
    } catch (const TXmlFileException& error) {
        d_error = error.d_message;
        return false;
    }
    return true;
}

bool TFileData::Read_Reference_List(const QString& Folder, const QString& FileName)
{
    TXmlFile xmlfile;
    d_reference_times.clear();
    d_reference_order.clear();
    xmlfile.d_file_name = Folder + QLatin1Char('/') + FileName;
    try {
        int version = 0;
        xmlfile.Load("File_Sync_Data", &version, true);
        if (version != 1) {
            d_error = QStringLiteral("File_Sync_Data file version not supported");
            return false;
        }
        Read_File_List(xmlfile);
    } catch (const TXmlFileException& error) {
        d_error = error.d_message;
        return false;
    }
    return true;
}

void TFileData::Read_File_List(TXmlFile& xmlfile)
{
    const QDomElement list = xmlfile.GetChild(xmlfile.d_root, "File_List", false);
    QDomElement file = xmlfile.GetChild(list, "File", true);
    while (!file.isNull()) {
        const QString path = xmlfile.ReadText(file, false);
        // The sync joins this path to both of its folders: nothing in the file may
        // lead it outside them.
        if (!Is_Safe_Path(path)) {
            throw TXmlFileException(QString("ERR:  Unsafe path '%1' in reference list").arg(path),
                                    1);
        }
        const QString modified = xmlfile.ReadAttribute(file, "Modified", false);
        const uint time = modified.toUInt(nullptr, 10);
        const auto known = d_reference_times.find(path);
        if (known == d_reference_times.end()) {
            d_reference_times.insert(path, time);
            d_reference_order.append(path);
        } else {
            known.value() = time;
        }
        file = xmlfile.GetSibling(file, "File", true);
    }
}
