#pragma once

#include "filedata.h"

#include <QRegularExpression>

// The one reading path that the fuzzer drives and the corpus test replays: the inventory reads
// the reference list file in folder. Returns what is wrong with the outcome, or an empty text.
inline QString Replay_Reference_List(const QString& folder, const QString& name)
{
    TFileData data;
    // A refusal must give one of the reasons the reader has.
    if (!data.Read_Reference_List(folder, name) && !data.d_error.startsWith("ERR:") &&
        data.d_error != "File_Sync_Data file version not supported")
        return "failed with the reason '" + data.d_error + "'";
    // Whatever the file says, the sync must only ever see paths inside its folders: none empty,
    // absolute, on a drive or with a ".." part (between slashes or backslashes).
    const QRegularExpression unsafe(R"(^$|^[/\\]|^[A-Za-z]:|(^|[/\\])\.\.([/\\]|$))");
    for (const QString& path : data.d_reference_times.keys())
        if (path.contains(unsafe))
            return "unsafe path accepted: '" + path + "'";
    return QString();
}
