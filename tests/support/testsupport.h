#pragma once

#include <QtCore>
#include <cstdlib>
#include <ctime>

// On Windows the C runtime misreads names such as "Europe/Berlin", so it gets no TZ and uses the
// zone Wine was started with (WINE_TZ of tests/windows/wine-run.sh).
inline void Set_Time_Zone(const char* tz)
{
    qputenv("LC_ALL", "C");
#ifdef Q_OS_WIN
    Q_UNUSED(tz);
    _putenv("TZ=");
    _tzset();
#else
    qputenv("TZ", tz);
    tzset();
#endif
}

// The record each sync leaves in its destination, and the rule under each heading of the pane.
inline const QString k_record = "controlled document information.txt";
inline const QString k_rule = QString(44, '-');

// Line ends as this platform writes text files.
inline QByteArray Native_Lines(QByteArray text)
{
#ifdef Q_OS_WIN
    text.replace("\n", "\r\n");
#endif
    return text;
}

// mtime: seconds since 1970 UTC, or negative for now. Makes the folders.
inline bool Make_File(const QString& path, const QByteArray& bytes = "x", qint64 mtime = -1)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           (mtime < 0 || file.setFileTime(QDateTime::fromSecsSinceEpoch(mtime),
                                          QFileDevice::FileModificationTime));
}

// An executable shell script that runs BODY.
inline bool Make_Script(const QString& path, const QByteArray& body)
{
    return Make_File(path, "#!/bin/sh\n" + body + '\n') &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
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

// A modal message box as shown; the defaults are every error box's.
struct TShownBox
{
    QString heading, message, detail{};
    int buttons = QMessageBox::Ok, default_button = QMessageBox::Ok;
    int icon = QMessageBox::Critical, width = 500;
};

bool operator==(const TShownBox& a, const TShownBox& b);

// Records each modal message box that opens, then closes it as OK would.
struct TBoxWatcher : QTimer
{
    TBoxWatcher();
    int Count() const { return boxes.size(); }
    // Those since the last call.
    QList<TShownBox> Take() { return std::exchange(boxes, {}); }
    QList<TShownBox> boxes;
};
#endif
