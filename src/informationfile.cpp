#include "dorvane.h"
#include "messagebox.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSaveFile>
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
    QString folder = d_destination->text();
    if (folder.endsWith('/') || folder.endsWith('\\'))
        folder.chop(1);
    const QFileInfo info(folder);
    // A destination that went away during the copy stage already failed the
    // files that were still due, and their box has been shown: one is enough.
    if (!d_sync_failures.isEmpty() && !info.isDir())
        return;
    if (!info.exists()) {
        Show_Error(
            "Sync Error", "The target directory does not exist.",
            QString("The destination folder '%1' does not exist").arg(info.absoluteFilePath()));
        return;
    }
    if (!info.isDir()) {
        Show_Error("Sync Error", "The target directory is not correct",
                   QString("The destination '%1' must be a directory, not a file")
                       .arg(info.absoluteFilePath()));
        return;
    }

    const QString path = folder + "/controlled document information.txt";
    // A read-only record is left as it is; the rename below would replace it.
    const QFileInfo existing(path);
    if (existing.exists() && (!existing.isFile() || !existing.isWritable()))
        return;

    // Written beside the old record and renamed over it, so that a failure
    // leaves the previous record whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    const QByteArray bytes = To_Latin1(d_output->document()->toPlainText());
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return;
    }
    file.commit();
}
