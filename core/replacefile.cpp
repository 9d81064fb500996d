#include "replacefile.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

#ifdef Q_OS_WIN
#include <QDir>

#include <io.h>
#include <string>
#include <windows.h>
#else
#include <cstdio>
#include <unistd.h>
#endif

namespace {

// Flushes the new content to the disk itself before it takes the target's
// name: otherwise a crash or power cut soon after could leave the name on a
// file whose content never reached the disk.
bool Sync_To_Disk(int Handle, QString* Reason)
{
#if defined(Q_OS_WIN)
    if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(Handle))))
        return true;
    *Reason = qt_error_string(int(GetLastError()));
#elif defined(Q_OS_DARWIN)
    if (fsync(Handle) == 0)
        return true;
    *Reason = qt_error_string(errno);
#else
    if (fdatasync(Handle) == 0)
        return true;
    *Reason = qt_error_string(errno);
#endif
    return false;
}

#ifdef Q_OS_WIN
// Without the \\?\ form Windows refuses paths of MAX_PATH characters and more;
// shorter ones keep their usual meaning (trailing dots and blanks dropped).
std::wstring Native_Path(const QString& Path)
{
    const std::wstring path = QDir::toNativeSeparators(Path).toStdWString();
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    if (full.size() < MAX_PATH || full.compare(0, 4, L"\\\\?\\") == 0 ||
        full.compare(0, 4, L"\\\\.\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}
#endif

// Renames From over To in one step, replacing a file that is there.
bool Rename_Over(const QString& From, const QString& To, QString* Reason)
{
#ifdef Q_OS_WIN
    // Both names are held here until the calls below have read them.
    const std::wstring from = Native_Path(From);
    const std::wstring to = Native_Path(To);
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (MoveFileExW(from.c_str(), to.c_str(), flags))
        return true;
    DWORD error = GetLastError();
    // A copy of a read-only document is read-only itself, and Windows
    // refuses to replace it until that attribute is off.
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) &&
        SetFileAttributesW(to.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY))) {
        if (MoveFileExW(from.c_str(), to.c_str(), flags))
            return true;
        error = GetLastError();
        SetFileAttributesW(to.c_str(), attributes);
    }
    *Reason = qt_error_string(int(error));
    return false;
#else
    if (std::rename(QFile::encodeName(From).constData(), QFile::encodeName(To).constData()) == 0)
        return true;
    *Reason = qt_error_string(errno);
    return false;
#endif
}

// The temporary takes the source's permissions before the rename, so on
// Windows it may be read-only, which DeleteFile refuses: the attribute goes
// first, or a failed replace would leave the temporary behind.
void Remove_Temporary(const QString& Name)
{
#ifdef Q_OS_WIN
    const std::wstring name = Native_Path(Name);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(name.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    DeleteFileW(name.c_str());
#else
    QFile::remove(Name);
#endif
}

} // namespace

TReplaceFile::TReplaceFile(const QString& Target) : d_target(Target) {}

TReplaceFile::~TReplaceFile()
{
    Discard();
}

void TReplaceFile::Discard()
{
    if (!d_temporary.isEmpty()) {
        d_file.close();
        Remove_Temporary(d_temporary);
        d_temporary.clear();
    }
}

bool TReplaceFile::Fail(const QString& Reason)
{
    d_reason = Reason;
    Discard();
    return false;
}

// A name no other file has, beside the target: the rename stays within one
// folder, so within one file system.
bool TReplaceFile::Open()
{
    Q_ASSERT(d_temporary.isEmpty());
    const QString folder = QFileInfo(d_target).absolutePath();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString tag =
            QString::number(QRandomGenerator::global()->generate64(), 16).rightJustified(16, '0');
        const QString name = QStringLiteral("%1/.dorvane-%2.tmp").arg(folder, tag);
        d_file.setFileName(name);
        // Unbuffered, so that every write reaches the file system at once and
        // its failure is seen: a buffered device fails only when flushed.
        if (d_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            d_temporary = name;
            return true;
        }
        const QFileInfo taken(name);
        if (!taken.exists() && !taken.isSymLink())
            break;
    }
    return Fail(d_file.errorString());
}

// A write may store less than asked without an error; the next one then
// fails with the reason.
bool TReplaceFile::Put(const char* Data, qint64 Size)
{
    for (qint64 done = 0; done < Size;) {
        const qint64 count = d_file.write(Data + done, Size - done);
        if (count <= 0)
            return Fail(d_file.errorString());
        done += count;
    }
    return true;
}

bool TReplaceFile::Finish(std::optional<QFileDevice::Permissions> Permissions)
{
    // Only the owner's, group's and others' bits: Qt reads the "user" ones as
    // what this process may do, and would give root a writable copy of a
    // read-only file. A file system without permissions (FAT) keeps its own;
    // that is no failure.
    const auto user = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    if (Permissions)
        d_file.setPermissions(*Permissions & ~user);
    QString reason;
    if (!Sync_To_Disk(d_file.handle(), &reason))
        return Fail(reason);
    d_file.close();
    if (d_file.error() != QFileDevice::NoError)
        return Fail(d_file.errorString());
    return true;
}

bool TReplaceFile::Write(const QByteArray& Bytes, bool Text)
{
    const QFileInfo existing(d_target);
    if (!Open())
        return false;
#ifdef Q_OS_WIN
    const QByteArray bytes = Text ? QByteArray(Bytes).replace('\n', "\r\n") : Bytes;
#else
    Q_UNUSED(Text);
    const QByteArray& bytes = Bytes;
#endif
    if (!Put(bytes.constData(), bytes.size()))
        return false;
    return Finish(existing.exists() ? std::optional(existing.permissions()) : std::nullopt);
}

bool TReplaceFile::Copy(const QString& Source)
{
    QFile input(Source);
    if (!input.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return Fail(input.errorString());
    if (!Open())
        return false;
    char buffer[64 * 1024];
    for (;;) {
        const qint64 count = input.read(buffer, sizeof buffer);
        if (count < 0)
            return Fail(input.errorString());
        if (count == 0)
            break;
        if (!Put(buffer, count))
            return false;
    }
    return Finish(input.permissions());
}

bool TReplaceFile::Commit()
{
    Q_ASSERT(!d_temporary.isEmpty() && !d_file.isOpen());
    QString reason;
    if (!Rename_Over(d_temporary, d_target, &reason))
        return Fail(reason);
    d_temporary.clear();
    return true;
}
