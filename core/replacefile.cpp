#include "replacefile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>

#ifdef Q_OS_WIN
#include "longpath.h"

#include <io.h>
#include <windows.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

} // namespace

#ifdef Q_OS_WIN
std::wstring TReplaceFile::Native_Path(const QString& Path)
{
    return Long_Path(QDir::toNativeSeparators(Path).toStdWString());
}
#endif

namespace {

#ifdef Q_OS_WIN
// Windows refuses to replace or delete a read-only file. Runs Operation with
// Name's read-only attribute off, and puts the attribute back when Operation
// fails, with Operation's error still the last one.
template <typename TOperation>
bool With_Read_Only_Off(const std::wstring& Name, TOperation Operation)
{
    const DWORD attributes = GetFileAttributesW(Name.c_str());
    const bool read_only =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (read_only)
        SetFileAttributesW(Name.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    if (Operation())
        return true;
    const DWORD error = GetLastError();
    if (read_only)
        SetFileAttributesW(Name.c_str(), attributes);
    SetLastError(error);
    return false;
}
#endif

// Renames From over To in one step, replacing a file that is there.
bool Rename_Over(const QString& From, const QString& To, QString* Reason)
{
#ifdef Q_OS_WIN
    // Both names are held here until the calls below have read them.
    const std::wstring from = TReplaceFile::Native_Path(From);
    const std::wstring to = TReplaceFile::Native_Path(To);
    const auto move = [&] {
        return MoveFileExW(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    };
    // A copy of a read-only document is read-only itself.
    if (move() || (GetLastError() == ERROR_ACCESS_DENIED && With_Read_Only_Off(to, move)))
        return true;
    *Reason = qt_error_string(int(GetLastError()));
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
// first, and comes back when the file stays (a live writer holds it).
bool Remove_Temporary(const QString& Name)
{
#ifdef Q_OS_WIN
    const std::wstring name = TReplaceFile::Native_Path(Name);
    return With_Read_Only_Off(name, [&] { return DeleteFileW(name.c_str()) != 0; });
#else
    return QFile::remove(Name);
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
#ifdef Q_OS_WIN
        // Windows deletes no file that is open.
        d_file.close();
#endif
        // Elsewhere removed while still locked: no other process can take it
        // for a leftover of its own in between.
        Remove_Temporary(d_temporary);
        d_temporary.clear();
    }
    d_file.close();
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
#ifdef Q_OS_WIN
        // Unbuffered, so that every write reaches the file system at once and
        // its failure is seen: a buffered device fails only when flushed. Qt
        // opens without FILE_SHARE_DELETE, so no other process can remove
        // the temporary while it is open.
        if (d_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            d_temporary = name;
            return true;
        }
        const QFileInfo taken(name);
        if (!taken.exists() && !taken.isSymLink())
            break;
#else
        const QByteArray path = QFile::encodeName(name);
        const int handle =
            ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (handle < 0) {
            const int error = errno;
            struct stat there;
            // Another name is tried only when this one is really taken; any
            // other refusal is the reason itself.
            if (error == EEXIST && ::lstat(path.constData(), &there) == 0)
                continue;
            if (error == EEXIST)
                return Fail(QStringLiteral("the file system refused to create a temporary file "
                                           "(%1) though none of that name is there")
                                .arg(qt_error_string(error)));
            return Fail(qt_error_string(error));
        }
        // The lock is what tells a live writer's temporary from a leftover.
        // A cleaner may have taken this one for a leftover between its
        // creation and the lock: then the name no longer leads to it.
        const bool locked = flock(handle, LOCK_EX) == 0;
        const int lock_error = errno;
        struct stat mine, there;
        const bool same = ::fstat(handle, &mine) == 0 && ::lstat(path.constData(), &there) == 0 &&
                          mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
        const auto give_up = [&](const QString& reason) {
            ::unlink(path.constData());
            ::close(handle);
            return Fail(reason);
        };
        if (!locked && lock_error != ENOLCK && lock_error != EOPNOTSUPP && lock_error != ENOSYS)
            return give_up(qt_error_string(lock_error));
        if (!same) {
            ::close(handle);
            continue;
        }
        // Unbuffered, so that every write reaches the file system at once and
        // its failure is seen: a buffered device fails only when flushed.
        if (!d_file.open(handle, QIODevice::WriteOnly | QIODevice::Unbuffered,
                         QFileDevice::AutoCloseHandle))
            return give_up(d_file.errorString());
        d_temporary = name;
        return true;
#endif
    }
#ifdef Q_OS_WIN
    // The open's own reason, for a name that was free or for the last one taken.
    return Fail(d_file.errorString());
#else
    return Fail(QStringLiteral("no free temporary name"));
#endif
}

bool TReplaceFile::Is_Temporary_Name(const QString& Name)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.dorvane-[0-9a-f]{16}\\.tmp$"));
    return pattern.match(Name).hasMatch();
}

int TReplaceFile::Remove_Leftovers(const QString& Folder)
{
    const QStringList names =
        QDir(Folder).entryList({QStringLiteral(".dorvane-*.tmp")},
                               QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    int removed = 0;
    for (const QString& name : names) {
        if (!Is_Temporary_Name(name))
            continue;
        const QString path = Folder + QLatin1Char('/') + name;
#ifdef Q_OS_WIN
        // A live writer's temporary is open without FILE_SHARE_DELETE, so
        // the removal fails for it.
        if (Remove_Temporary(path))
            ++removed;
#else
        const QByteArray native = QFile::encodeName(path);
        const int handle =
            ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (handle < 0)
            continue;
        // Only a lock taken at once says that no writer holds the file; a
        // file system without locks says nothing, and the file stays.
        struct stat held, there;
        if (flock(handle, LOCK_EX | LOCK_NB) == 0 && ::fstat(handle, &held) == 0 &&
            S_ISREG(held.st_mode) && ::lstat(native.constData(), &there) == 0 &&
            held.st_dev == there.st_dev && held.st_ino == there.st_ino &&
            ::unlink(native.constData()) == 0)
            ++removed;
        ::close(handle);
#endif
    }
    return removed;
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
#ifdef Q_OS_WIN
    // Windows renames no file that is open without FILE_SHARE_DELETE. Until
    // the rename a cleaner may remove the closed temporary; the rename then
    // fails with its reason and the old copy stays.
    d_file.close();
    if (d_file.error() != QFileDevice::NoError)
        return Fail(d_file.errorString());
#endif
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
    d_copied = 0;
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
        d_copied += count;
    }
    return Finish(input.permissions());
}

bool TReplaceFile::Commit()
{
    Q_ASSERT(!d_temporary.isEmpty());
    QString reason;
    if (!Rename_Over(d_temporary, d_target, &reason))
        return Fail(reason);
    d_temporary.clear();
    // The lock goes only now, with the temporary's name.
    d_file.close();
    return true;
}
