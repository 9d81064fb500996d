#ifndef DORVANE_REPLACEFILE_H
#define DORVANE_REPLACEFILE_H

#include <QByteArray>
#include <QFile>
#include <QString>

#include <optional>
#ifdef Q_OS_WIN
#include <string>
#endif

// Replaces one whole file so that, whatever fails and whenever the machine
// stops, the file is either the old one byte for byte or the complete new
// one. The new content goes into a temporary file beside the target, every
// write is checked, the file is flushed to disk, and only then is it renamed
// over the target. A failure removes the temporary and keeps the reason.
// The temporary stays open and locked until it has its new name, so that a
// sync cleaning up after a crash can tell it from a leftover.
//
// The target itself is replaced, never a file a link there points to.
class TReplaceFile
{
public:
    explicit TReplaceFile(const QString& Target);
    // Removes a temporary that was never put in place.
    ~TReplaceFile();
    TReplaceFile(const TReplaceFile&) = delete;
    TReplaceFile& operator=(const TReplaceFile&) = delete;

    // The new content is Bytes; with Text, each '\n' becomes the platform's
    // line end. An existing target's permissions are kept.
    [[nodiscard]] bool Write(const QByteArray& Bytes, bool Text);
    // The new content is a copy of the file Source, with its permissions.
    [[nodiscard]] bool Copy(const QString& Source);
    // Puts the new content in place of the target, in one step.
    [[nodiscard]] bool Commit();

    // Why the last step failed, in the system's words.
    QString Reason() const { return d_reason; }
    // How many bytes the last Copy read from its source.
    qint64 Copied() const { return d_copied; }

    // Removes from Folder the temporaries of ours that no live writer holds:
    // those a crash or a killed process left. A writer keeps its temporary
    // locked from its creation until it has been renamed or removed, so a
    // temporary whose lock cannot be taken is left alone, and so is every
    // one on a file system that has no locks. Returns how many were removed.
    static int Remove_Leftovers(const QString& Folder);
    // Whether Name has the form of our temporaries: .dorvane-<16 hex>.tmp
    static bool Is_Temporary_Name(const QString& Name);
#ifdef Q_OS_WIN
    // Path as Windows' wide calls take it: the \\?\ form from 260 characters
    // on, where Windows would otherwise refuse it.
    static std::wstring Native_Path(const QString& Path);
#endif

private:
    bool Open();
    bool Put(const char* Data, qint64 Size);
    bool Finish(std::optional<QFileDevice::Permissions> Permissions);
    bool Fail(const QString& Reason);
    void Discard();

    QString d_target;
    QString d_temporary;
    QFile d_file;
    QString d_reason;
    qint64 d_copied = 0;
};

#endif
