#ifndef DORVANE_REPLAY_REFERENCELIST_H
#define DORVANE_REPLAY_REFERENCELIST_H

#include "filedata.h"

#include <QFile>

// The one reading path that the fuzzer drives and the corpus test replays:
// the bytes become the reference list file in folder and the inventory reads
// it back. Returns what is wrong with the outcome, or an empty text.
inline QString Replay_Reference_List(const QString& folder, const QByteArray& bytes)
{
    QFile file(folder + "/reference_list.xml");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return "cannot write " + file.fileName();
    file.close();

    TFileData data;
    // A refusal must give one of the reasons the reader has.
    if (!data.Read_Reference_List(folder, "reference_list.xml")) {
        const bool known = data.d_error.startsWith("ERR:") ||
                           data.d_error == "File_Sync_Data file version not supported";
        return known ? QString() : "failed with the reason '" + data.d_error + "'";
    }
    // Whatever the file says, the sync must only ever see paths inside its folders.
    for (const QString& path : data.d_reference_times.keys()) {
        const QStringList parts = QString(path).replace('\\', '/').split('/');
        if (parts.first().isEmpty() || parts.contains("..") ||
            (path.size() > 1 && path[1] == ':' && path[0].unicode() < 128 && path[0].isLetter()))
            return "unsafe path accepted: '" + path + "'";
    }
    return QString();
}

#endif
