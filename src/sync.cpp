#include "dorvane.h"
#include "filedata.h"
#include "replacefile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <optional>
#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#ifdef __GLIBC__
#include <malloc.h>
#endif

static const char* const k_time_format = "dd MMM yyyy hh:mm:ss AP";

#ifdef Q_OS_WIN
static const Qt::CaseSensitivity k_name_case = Qt::CaseInsensitive;
#else
static const Qt::CaseSensitivity k_name_case = Qt::CaseSensitive;
#endif

static bool Is_Same_Or_Inside(const QString& folder, const QString& outer)
{
    const Qt::CaseSensitivity cs = k_name_case;
    if (folder.compare(outer, cs) == 0)
        return true;
    const QString prefix = outer.endsWith('/') ? outer : outer + '/';
    return folder.startsWith(prefix, cs);
}

// Each touch program is started by duplicating this process, which costs in
// proportion to the memory it holds: what the report and the comparison
// freed is handed back first.
static void Release_Free_Memory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// The bundled touch.exe beside the program comes first, as Windows looks
// for a bare program name; a name with a folder is used as given.
QString TDorvane::Touch_Program_Path() const
{
    if (d_touch_program.contains('/') || d_touch_program.contains('\\'))
        return d_touch_program;
    const QString beside = QCoreApplication::applicationDirPath() + '/' + d_touch_program;
    const QFileInfo info(beside);
    if (info.isFile() && info.isExecutable())
        return beside;
    const QString found = QStandardPaths::findExecutable(d_touch_program);
    return found.isEmpty() ? d_touch_program : found;
}

void TDorvane::Add_Folder_Chain(const QString& path)
{
    const QStringList parts = path.split('/', Qt::SkipEmptyParts);
    QString chain;
    for (const QString& part : parts) {
        chain += QString("/%1").arg(part);
        if (!d_update_folder_set.contains(chain)) {
            d_update_folder_set.insert(chain);
            d_update_folders.append(chain);
        }
    }
}

// Why the folder a copy goes into is not there to take it; empty when it is.
// A folder that cannot be examined (a server gone, no permission) is not
// one that could not be created, and the system's reason says which.
static QString Folder_Failure(const QString& folder)
{
#ifdef Q_OS_WIN
    const DWORD attributes = GetFileAttributesW(TReplaceFile::Native_Path(folder).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return QString();
    } else {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
            error != ERROR_DIRECTORY)
            return QString("the destination folder could not be examined: %1")
                .arg(qt_error_string(int(error)));
    }
#else
    const QByteArray native = QFile::encodeName(folder);
    struct stat status;
    if (::stat(native.constData(), &status) == 0) {
        if (S_ISDIR(status.st_mode))
            return QString();
    } else {
        const int error = errno;
        if (error != ENOENT && error != ENOTDIR)
            return QString("the destination folder could not be examined: %1")
                .arg(qt_error_string(error));
    }
#endif
    return "the destination folder could not be created";
}

// Puts the complete new copy of one file in place. The failure says why the
// file was not updated; the old copy is then still as it was.
static TSyncFile Copy_File(const QString& source, const QString& destination, const QString& name)
{
    const QString from = source + '/' + name;
    // The source as it was before the copy: a file still being written
    // differs afterwards in size or time, and its copy is not put in place.
    const QFileInfo before(from);
    TSyncFile file{name, before.lastModified(), QString()};
    // The record is saved under this name once the sync is done: a
    // controlled file of that name would be overwritten by it every time.
    if (name.compare("controlled document information.txt", k_name_case) == 0) {
        file.failure = "the information file has that name";
        return file;
    }
    const QString target = destination + '/' + name;
    file.failure = Folder_Failure(QFileInfo(target).absolutePath());
    if (!file.failure.isEmpty())
        return file;
    TReplaceFile copy(target);
    if (!copy.Copy(from)) {
        file.failure = QString("the file could not be copied: %1").arg(copy.Reason());
        return file;
    }
    const QFileInfo after(from);
    if (!after.exists() || after.size() != before.size() || copy.Copied() != before.size() ||
        after.lastModified() != before.lastModified())
        file.failure = "the source changed while it was copied";
    else if (!copy.Commit())
        file.failure = QString("the old copy could not be replaced: %1").arg(copy.Reason());
    return file;
}

void TDorvane::Start_Touch(QProcess* process, const QString& program, const QString& target,
                           const TSyncFile& file)
{
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(1000);
    }
    process->start(program, QStringList() << "-t" << file.time.toString(d_touch_format) << target,
                   QIODevice::ReadWrite);
}

// Waits for the touch program and checks that the copy now carries the
// source's time; otherwise the copy is complete but the file not updated.
void TDorvane::Finish_Touch(QProcess* process, const QString& target, TSyncFile* file)
{
    if (!process->waitForStarted(d_touch_start_timeout)) {
        file->failure = QString("the touch program '%1' could not be started").arg(d_touch_program);
        return;
    }
    if (!process->waitForFinished(d_touch_finish_timeout)) {
        process->kill();
        process->waitForFinished(1000);
        file->failure =
            QString("the touch program '%1' did not finish in time").arg(d_touch_program);
        return;
    }
    const uint wanted = TFileData::Time_Count(file->time);
    const uint actual = TFileData::Time_Count(QFileInfo(target).lastModified());
    if (!TFileData::Is_Current(wanted, actual))
        file->failure =
            QString("the touch program '%1' did not set the file time").arg(d_touch_program);
}

bool TDorvane::Run_Sync()
{
    const QString source = Field_Folder(d_source);
    const QFileInfo source_info(source);
    if (!source_info.exists()) {
        Show_Error("Sync Error", "The source directory does not exist.", QString());
        return false;
    }
    if (!source_info.isDir()) {
        Show_Error("Sync Error", "The source must be a directory", QString());
        return false;
    }
    const QString destination = Field_Folder(d_destination);
    const QFileInfo destination_info(destination);
    if (!destination_info.exists()) {
        Show_Error("Sync Error", "The destination directory does not exist.", QString());
        return false;
    }
    if (!destination_info.isDir()) {
        Show_Error("Sync Error", "The destination must be a directory", QString());
        return false;
    }
    // Copying a folder into itself would copy the destination once more on
    // every sync, and the record would be written into the source.
    if (Is_Same_Or_Inside(destination_info.canonicalFilePath(), source_info.canonicalFilePath())) {
        Show_Error("Sync Error",
                   "The destination must not be the source directory or lie inside it.", QString());
        return false;
    }

    TFileData data;
    if (!data.Read_Reference_List(d_settings_folder, "reference_list.xml")) {
        Show_Error("Read Error", "Cannot read source file list", data.Last_Error());
        return false;
    }
    if (!data.Make_Update_List(destination)) {
        Show_Error("Compare Error",
                   "Comparison of the source and destination file list could not be done",
                   data.Last_Error());
        return false;
    }

    d_update_files.clear();
    d_update_folders.clear();
    d_update_folder_set.clear();
    d_sync_failures.clear();
    const int count = data.Update_File_Count();
    for (int offset = 0; offset < count; ++offset) {
        const QString name = data.Update_File_Path(QString(), offset);
        d_update_files.append(name);
        const int last = name.lastIndexOf('/');
        if (last > 0)
            Add_Folder_Chain(name.left(last));
    }

    const QString absolute_destination = destination_info.absoluteFilePath();
    // Temporaries that an interrupted sync left in the folders this one
    // writes to go first; those of a sync still running stay.
    TReplaceFile::Remove_Leftovers(destination);
    for (const QString& folder : qAsConst(d_update_folders)) {
        if (QDir(destination + folder).exists()) {
            TReplaceFile::Remove_Leftovers(destination + folder);
            continue;
        }
        QDir().mkdir(absolute_destination + folder);
    }

    Write_Break();
    Write_Heading(
        QString("Updated Files on %1").arg(QDateTime::currentDateTime().toString(k_time_format)));

    const QString program = Touch_Program_Path();
    Release_Free_Memory();
    QProcess process;
    // A repaint of the pane after every file costs about as much as its copy:
    // the lines go in one by one, and the pane shows them at most every
    // 40 ms, and once more at the end.
    QElapsedTimer painted;
    painted.start();
    d_output->setUpdatesEnabled(false);
    std::optional<TSyncFile> next;
    if (!d_update_files.isEmpty())
        next = Copy_File(source, destination, d_update_files.first());
    // A close asked for stops the sync after the file in hand: the one copied
    // while the touch program of the file before it ran is finished, and no
    // further file is copied. d_update_files then holds those not reached.
    while (next) {
        TSyncFile file = *std::exchange(next, std::nullopt);
        const QString target = destination + '/' + file.name;
        const bool touching = file.failure.isEmpty();
        if (touching)
            Start_Touch(&process, program, target, file);
        // The next copy is made while the touch program starts and runs.
        if (d_update_files.size() > 1 && !d_close_asked)
            next = Copy_File(source, destination, d_update_files.at(1));
        if (touching)
            Finish_Touch(&process, target, &file);
        const QString time_text = file.time.toString(k_time_format);
        if (file.failure.isEmpty()) {
            Write_Entry(time_text, "/" + file.name);
        } else {
            Write_Entry(time_text, QString("/%1\tNOT UPDATED: %2").arg(file.name, file.failure));
            d_sync_failures.append(QString("/%1: %2").arg(file.name, file.failure));
        }
        d_update_files.removeFirst();
        const bool paint = d_update_files.isEmpty() || painted.elapsed() >= 40;
        if (paint) {
            d_output->setUpdatesEnabled(true);
            painted.restart();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (paint && !d_update_files.isEmpty())
            d_output->setUpdatesEnabled(false);
    }
    d_output->setUpdatesEnabled(true);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
    }
    if (!d_update_files.isEmpty()) {
        const int left = d_update_files.size();
        Write_Break();
        Write_Line(
            left == 1
                ? QString("Sync stopped: 1 file was not reached: /%1").arg(d_update_files.first())
                : QString("Sync stopped: %1 files were not reached, the first of "
                          "them /%2")
                      .arg(left)
                      .arg(d_update_files.first()));
    }

    return true;
}

// One box for all that went wrong after the copy stage began: the files not
// updated, and a record that could not be saved.
void TDorvane::Show_Sync_Failures()
{
    QStringList lines = d_sync_failures;
    if (!d_record_failure.isEmpty())
        lines << d_record_failure;
    if (lines.isEmpty())
        return;
    const QString message =
        d_record_failure.isEmpty() ? "Some files could not be updated."
        : d_sync_failures.isEmpty()
            ? "The information file could not be written."
            : "Some files could not be updated, and the information file could not be written.";
    Show_Error("Sync Error", message, lines.join('\n'));
}
