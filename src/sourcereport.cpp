#include "dorvane.h"
#include "filedata.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QVector>

#include <algorithm>

bool TDorvane::Run_Source_Report()
{
    TFileData data;

    const QFileInfo info(Field_Folder(d_source));
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
    // The times are those the reference list was just written with (none for
    // a file that had gone). The lines go into the pane a block at a time:
    // one insertion per line would lay out every line as it came.
    const int block = 1024;
    QVector<QPair<QString, QString>> entries;
    entries.reserve(std::min(count, block));
    for (int offset = 0; offset < count; ++offset) {
        const QString entry = data.Source_File_Path(QString(), offset);
        const qint64 msecs = data.d_source_file_times[size_t(offset)];
        const QDateTime time =
            msecs == TFileData::k_no_file ? QDateTime() : QDateTime::fromMSecsSinceEpoch(msecs);
        entries.append({time.toString("dd MMM yyyy hh:mm:ss AP"), entry});
        if (entries.size() == block) {
            Write_Entries(entries);
            entries.clear();
        }
    }
    Write_Entries(entries);
    return true;
}
