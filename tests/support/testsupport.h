#pragma once

#include <QtCore>
#include <ctime>

// A fresh HOME folder for one test; the previous HOME comes back afterwards.
struct TTestHome
{
    QTemporaryDir d_dir;
    QByteArray d_old_home = qgetenv("HOME");
    TTestHome() { qputenv("HOME", d_dir.path().toLocal8Bit()); }
    ~TTestHome() { qputenv("HOME", d_old_home); }
    QString Settings_Folder() const { return d_dir.path() + "/.Dorvane"; }
};

// Makes the clock and the calendar of the test predictable: TZ and LC_ALL.
inline void Set_Time_Zone(const char* tz)
{
    qputenv("TZ", tz);
    qputenv("LC_ALL", "C");
    tzset();
}

// Writes a file with the given bytes and modification time (seconds since 1970 UTC;
// a negative value keeps the current time). Creates missing folders.
inline bool Make_File(const QString& path, const QByteArray& bytes = "x", qint64 mtime = -1)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           (mtime < 0 || file.setFileTime(QDateTime::fromSecsSinceEpoch(mtime),
                                          QFileDevice::FileModificationTime));
}

inline QByteArray Read_File(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// -1 when there is no such file.
inline qint64 File_Time(const QString& path)
{
    return QFileInfo::exists(path) ? QFileInfo(path).lastModified().toSecsSinceEpoch() : -1;
}

#ifdef QT_WIDGETS_LIB
#include <QtWidgets>

// What one modal message box showed: heading and message as plain text, the detail, then its
// standard buttons, default button, icon and width as numbers ("1024/1024/3/500": OK alone,
// critical, 500 wide).
struct TShownBox
{
    QString heading, message, detail, buttons;
};

// Answers every modal message box that opens while it lives: records it, then closes it as its
// OK button would.
struct TBoxWatcher : QTimer
{
    TBoxWatcher();
    int Count() const { return boxes.size(); }
    QList<TShownBox> boxes;
};
#endif
