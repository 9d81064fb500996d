#include "dorvane.h"
#include "messagebox.h"
#include "replacefile.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>

// Latin-1 bytes of the text, one '?' for each character Latin-1 cannot hold
// (also for a character written as a surrogate pair).
static QByteArray To_Latin1(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        bytes.append(c.unicode() < 256 ? char(c.unicode()) : '?');
    }
    return bytes;
}

void TDorvane::Write_Information_File()
{
    d_record_failure.clear();
    // The fields cannot change while a sync runs: this is where the files went.
    const QString folder = Field_Folder(d_destination);
    const QFileInfo info(folder);
    const QString path = folder + "/controlled document information.txt";
    const QFileInfo existing(path);
    // A sync whose every file went well has a box of its own for a missing
    // destination; one with failures names the record in its one box.
    const bool own_box = d_sync_failures.isEmpty();
    QString failure;
    if (!info.exists()) {
        failure = "the destination folder does not exist";
        if (own_box)
            Show_Error(
                "Sync Error", "The target directory does not exist.",
                QString("The destination folder '%1' does not exist").arg(info.absoluteFilePath()));
    } else if (!info.isDir()) {
        failure = "the destination is not a folder";
        if (own_box)
            Show_Error("Sync Error", "The target directory is not correct",
                       QString("The destination '%1' must be a directory, not a file")
                           .arg(info.absoluteFilePath()));
    } else if (existing.isDir()) {
        failure = "a folder has that name";
    } else if (existing.exists() && !existing.isWritable()) {
        failure = "the file is read-only";
    } else {
        // Replaced whole or not at all: a failure leaves the previous record
        // as it was, and the user is told that this sync has none.
        TReplaceFile file(path);
        if (!file.Write(To_Latin1(d_output->document()->toPlainText()), true) || !file.Commit())
            failure = QString("the file could not be written: %1").arg(file.Reason());
    }
    if (failure.isEmpty())
        return;
    // The folder failures with their own box are not repeated in the box of
    // the files; every other failure goes there.
    const bool boxed_alone = own_box && (!info.exists() || !info.isDir());
    if (!boxed_alone)
        d_record_failure = "/controlled document information.txt: " + failure;
    Write_Break();
    Write_Heading("ERR:  The information file could not be written.");
}
