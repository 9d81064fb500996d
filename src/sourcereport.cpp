#include "dorvane.h"
#include "filedata.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

bool TDorvane::Run_Source_Report()
{
    TFileData data;

    QString path = QDir::fromNativeSeparators(d_source->text());
    if (path.endsWith('/'))
        path.chop(1);
    const QFileInfo info(path);
    if (!info.exists()) {
        Show_Error("Sync Error", "The source directory does not exist.", QString());
        return false;
    }
    if (!info.isDir()) {
        Show_Error("Sync Error", "The source must be a directory.", QString());
        return false;
    }
    const QString source = info.absoluteFilePath();

    if (!data.Scan_Source(source)) {
        Show_Error("Read Error", "Cannot read information from source directory.",
                   data.Last_Error());
        return false;
    }
    if (!data.Write_Reference_List(source, d_settings_folder + "/reference_list.xml")) {
        Show_Error("Write Error", "Cannot write source file list.", data.Last_Error());
        return false;
    }

    Write_Heading("Controlled Files");
    const int count = data.Source_File_Count();
    for (int offset = 0; offset < count; ++offset) {
        const QString entry = data.Source_File_Path(QString(), offset);
        const QFileInfo file(source + entry);
        Write_Entry(file.lastModified().toString("dd MMM yyyy hh:mm:ss AP"), entry);
    }
    return true;
}
