#ifndef DORVANE_TESTSUPPORT_H
#define DORVANE_TESTSUPPORT_H

#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

// What one modal message box showed; heading and message as plain text.
struct TShownBox
{
    QString heading, message, detail;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    // The standard buttons, then the default one, as numbers: "1024/1024"
    // for the one OK button that is also the default.
    QString buttons;
};

// Answers every modal message box that opens while it lives: records it,
// hands it to on_box, then closes it as its OK button would.
class TBoxWatcher : public QObject
{
public:
    TBoxWatcher();
    int Count() const { return boxes.size(); }
    QList<TShownBox> boxes;
    std::function<void(QMessageBox*)> on_box;

private:
    void Poll();
    QTimer d_timer;
};

// A fresh HOME folder for one test; the previous HOME comes back afterwards.
class TTestHome
{
public:
    TTestHome() { qputenv("HOME", d_dir.path().toLocal8Bit()); }
    ~TTestHome() { qputenv("HOME", d_old_home); }
    QString Path() const { return d_dir.path(); }
    QString Settings_Folder() const { return d_dir.path() + "/.Dorvane"; }

private:
    QTemporaryDir d_dir;
    QByteArray d_old_home = qgetenv("HOME");
};

// Makes the clock and the calendar of the test predictable: TZ and LC_ALL.
void Set_Time_Zone(const char* tz);

// Writes a file with the given bytes and modification time (seconds since 1970 UTC;
// a negative value keeps the current time). Creates missing folders.
bool Make_File(const QString& path, const QByteArray& bytes = "x", qint64 mtime = -1);
QByteArray Read_File(const QString& path);
qint64 File_Time(const QString& path); // -1 when there is no such file

#endif
