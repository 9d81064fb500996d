#pragma once

#include <QtCore>
#include <cstdlib>
#include <ctime>

// Makes the clock and the calendar of the test predictable: TZ and LC_ALL.
//
// On Windows the C runtime reads a name such as "Europe/Berlin" as a zone of its own making, so
// it must read no TZ: the zone is then Windows' own, which Wine takes from the TZ it was started
// with (WINE_TZ of tests/windows/wine-run.sh), for this program and those it starts alike.
inline void Set_Time_Zone(const char* tz)
{
#ifdef Q_OS_WIN
    Q_UNUSED(tz);
    qputenv("LC_ALL", "C");
    _putenv("TZ=");
    _tzset();
#else
    qputenv("TZ", tz);
    qputenv("LC_ALL", "C");
    tzset();
#endif
}

// The line ends of a text file as written on this platform.
inline QByteArray Native_Lines(QByteArray text)
{
#ifdef Q_OS_WIN
    text.replace("\n", "\r\n");
#endif
    return text;
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
// standard buttons, default button, icon and width.
struct TShownBox
{
    QString heading, message, detail;
    int buttons = QMessageBox::Ok, default_button = QMessageBox::Ok;
    int icon = QMessageBox::Critical, width = 500;
};

// Every error box: OK alone and the default, the critical icon, 500 wide.
inline TShownBox Error_Box(const QString& heading, const QString& message,
                           const QString& detail = QString())
{
    return {heading, message, detail};
}

bool operator==(const TShownBox& a, const TShownBox& b);
// For QCOMPARE: the fields one to a line.
namespace QTest {
char* toString(const TShownBox& box);
}

// Answers every modal message box that opens while it lives: records it, then closes it as its
// OK button would.
struct TBoxWatcher : QTimer
{
    TBoxWatcher();
    int Count() const { return boxes.size(); }
    // The boxes shown since the last call.
    QList<TShownBox> Take() { return std::exchange(boxes, {}); }
    QList<TShownBox> boxes;
};
#endif
