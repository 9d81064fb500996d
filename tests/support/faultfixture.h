#pragma once

// Fixtures for syncs that go wrong: a fault met during a sync, and file
// systems of their own (small, full, FAT, NTFS) mounted on a test's folder.

#include "syncfixture.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

// What goes wrong in the sync of TFaultySync's files. Folders are moved away
// (or replaced by a file) after the first file is done; "locked" is the
// immutable flag, which stops root too.
enum class TFault {
    Destination_Removed,
    Destination_Replaced_By_File,
    Source_Deleted,            // the source folder "sub"
    Source_Unreadable,         // "sub" replaced by a file
    Destination_File_Locked,   // "sub/C.doc"
    Destination_Folder_Locked, // "sub"
    Write_Fails_Part_Way,      // each copy stops after 4 KB, in a child process
    Touch_Fails,
    Touch_Hangs,
};
Q_DECLARE_METATYPE(TFault)

// Three controlled files, each with an old copy in the destination, and a
// sync through the dialog that meets one fault, lifted again afterwards.
struct TFaultySync
{
    inline static const QStringList k_files = {"A.doc", "sub/B.doc", "sub/C.doc"};
    static QByteArray New_Bytes(int i) { return QByteArray(5000, 'n') + k_files[i].toUtf8(); }
    static QByteArray Old_Bytes(int i) { return k_files[i].toUtf8(); }

    const TFault fault;
    QTemporaryDir tools;
    const QString touch = tools.filePath("touch.sh");
    TSyncFixture sync{touch};
    const bool locks =
        fault == TFault::Destination_File_Locked || fault == TFault::Destination_Folder_Locked;
    const QString locked = sync.Dst(fault == TFault::Destination_File_Locked ? "sub/C.doc" : "sub");

    explicit TFaultySync(TFault Fault) : fault(Fault) {}
    // An immutable file would outlive its temporary folder.
    ~TFaultySync()
    {
        if (locks)
            QProcess::execute("chattr", {"-f", "-i", locked});
    }

    bool Set_Up()
    {
        bool made = Make_Touch(fault == TFault::Touch_Fails   ? "exit 1"
                               : fault == TFault::Touch_Hangs ? "exec sleep 9"
                                                              : Real_Touch());
        sync.dialog->Set_Touch_Timeouts(30000, fault == TFault::Touch_Hangs ? 200 : 30000);
        for (int i = 0; i < k_files.size(); ++i)
            made = made && Make_File(sync.Src(k_files[i]), New_Bytes(i), k_doc_time) &&
                   Make_File(sync.Dst(k_files[i]), Old_Bytes(i), k_doc_time - 100);
        return made;
    }
    // False where the immutable flag cannot be set.
    bool Lock() { return !locks || QProcess::execute("chattr", {"+i", locked}) == 0; }
    // False when the fault could not be lifted, or when the sync made
    // anything where a moved folder was.
    bool Sync_With_Fault()
    {
        const bool replace =
            fault == TFault::Destination_Replaced_By_File || fault == TFault::Source_Unreadable;
        QString moved;
        if (fault == TFault::Destination_Removed || fault == TFault::Destination_Replaced_By_File)
            moved = sync.destination.path();
        if (fault == TFault::Source_Deleted || fault == TFault::Source_Unreadable)
            moved = sync.Src("sub");
        // Moved aside, not deleted, so that what it held can be checked and put back.
        QTimer::singleShot(0, sync.dialog.get(), [moved, replace] {
            if (!moved.isEmpty() && QDir().rename(moved, moved + "~") && replace)
                Make_File(moved, "not a folder");
        });
        rlimit saved, limit;
        getrlimit(RLIMIT_FSIZE, &saved);
        limit = {fault == TFault::Write_Fails_Part_Way ? 4096 : saved.rlim_cur, saved.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        sync.Sync();
        setrlimit(RLIMIT_FSIZE, &saved);
        const bool unlocked = !locks || QProcess::execute("chattr", {"-i", locked}) == 0;
        const bool put_back = moved.isEmpty() || (QFile::remove(moved) == replace &&
                                                  QDir().rename(moved + "~", moved));
        sync.dialog->Set_Touch_Timeouts(30000, 30000);
        return unlocked && put_back && Make_Touch(Real_Touch());
    }

private:
    static QByteArray Real_Touch() { return "exec '" DORVANE_TOUCH_EXE "' \"$@\""; }
    bool Make_Touch(const QByteArray& command)
    {
        return Make_File(touch, "#!/bin/sh\n" + command + '\n') &&
               QFile::setPermissions(touch, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

// A file system of its own on a folder, unmounted with the object, also when
// the test fails.
struct TMount
{
    const QString point;
    QTemporaryDir images;
    explicit TMount(const QString& Point) : point(Point) {}
    ~TMount() { QProcess::execute("umount", {"-l", point}); }
    TMount(const TMount&) = delete;
    TMount& operator=(const TMount&) = delete;

    // By a shell command; %1: the folder, %2: an image in a temporary folder.
    bool Mount(QString how)
    {
        how.replace("%1", point).replace("%2", images.filePath("i"));
        return geteuid() == 0 &&
               QProcess::execute("sh", {"-c", "exec >/dev/null 2>&1; " + how}) == 0;
    }
    bool Resize(const QString& size)
    {
        return QProcess::execute("mount", {"-o", "remount,size=" + size, point}) == 0;
    }
};
inline const char* const k_cannot_mount =
    "cannot mount: needs root, FUSE, dosfstools, fusefat, ntfs-3g";

// A destination that runs out of space: a 100 KiB tmpfs holding a 1,620-byte
// record and the old copies of every fourth of 40 source files of 4 KiB,
// named 10 to 49.
struct TFullDestination
{
    inline static const QString k_no_space =
        "\tNOT UPDATED: the file could not be copied: No space left on device";
    static QByteArray Bytes(int i, bool is_new)
    {
        return QByteArray(is_new ? 4094 : 0, 'n') + QByteArray::number(i);
    }
    static bool Has_Old_Copy(int i) { return i % 4 == 0; }

    TSyncFixture sync;
    TMount mount{sync.destination.path()};
    const bool mounted = mount.Mount("mount -t tmpfs -o size=100k tmpfs %1");

    bool Set_Up()
    {
        bool made = Make_File(sync.Dst(k_record), QByteArray(1620, 'r'));
        for (int i = 10; i < 50; ++i)
            made = made && Make_File(sync.Src(QString::number(i)), Bytes(i, true), k_doc_time) &&
                   (!Has_Old_Copy(i) || Make_File(sync.Dst(QString::number(i)), Bytes(i, false)));
        return made;
    }
    // The files listed as not updated for want of space, each with a "/".
    QStringList Not_Updated()
    {
        return sync.Updated().filter(k_no_space).replaceInStrings(k_no_space, QString());
    }
};

// A settings folder that runs out of space: a 64 KiB tmpfs with the settings
// and the reference list of three files, filled up; then a hundred more
// source files, so that the next reference list needs space.
struct TFullHome
{
    TSyncFixture sync;
    TMount mount{sync.home.Settings_Folder()};
    const bool mounted = mount.Mount("mount -t tmpfs -o size=64k tmpfs %1");
    const QString list = sync.home.Settings_Folder() + "/reference_list.xml";
    const QString settings = sync.home.Settings_Folder() + "/Settings.ini";
    QByteArray old_list, old_settings;

    bool Set_Up()
    {
        sync.Open();
        bool made = Make_File(sync.Src("A.doc")) && Make_File(sync.Src("Quality/QP-01.doc"));
        sync.Button("d_source_report")->click();
        old_list = Read_File(list);
        old_settings = Read_File(settings);
        for (int i = 0; i < 100; ++i)
            made = made && Make_File(sync.Src(QString("Procedures/QP-%1.doc").arg(i)));
        return made && old_list.contains("QP-01.doc") && old_settings.contains("Destination") &&
               !Make_File(sync.home.Settings_Folder() + "/filler", QByteArray(1 << 17, 'f'));
    }
    QStringList Entries()
    {
        return QDir(sync.home.Settings_Folder()).entryList(QDir::Files | QDir::Hidden);
    }
};
