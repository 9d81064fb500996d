#ifndef DORVANE_TESTSUPPORT_H
#define DORVANE_TESTSUPPORT_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

// What one modal message box showed before the watcher pressed its OK button.
struct TShownBox
{
    QString heading; // main text as plain text
    QString message; // informative text as plain text
    QString detail;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton default_button = QMessageBox::NoButton;
    bool has_details_button = false;
    int width = 0;
};

// Answers every modal message box that opens while it lives: records it,
// then presses OK (or the first button).
class TBoxWatcher : public QObject
{
public:
    TBoxWatcher();
    QList<TShownBox> boxes;
    int Count() const { return boxes.size(); }
    // Called once a box has been recorded and before it is answered.
    std::function<void(QMessageBox*)> on_box;

private:
    void Poll();
    QTimer d_timer;
};

// A fresh HOME folder for one test; the previous HOME comes back afterwards.
class TTestHome
{
public:
    TTestHome();
    ~TTestHome();
    bool Is_Valid() const { return d_dir.isValid(); }
    QString Path() const { return d_dir.path(); }
    QString Settings_Folder() const { return d_dir.path() + "/.Dorvane"; }

private:
    QTemporaryDir d_dir;
    QByteArray d_old_home;
};

// Makes the clock and the calendar of the test predictable: TZ and LC_ALL.
void Set_Time_Zone(const char* tz);

// Writes a file with the given bytes and modification time (seconds since 1970 UTC;
// a negative value keeps the current time). Creates missing folders.
bool Make_File(const QString& path, const QByteArray& bytes = QByteArray("x"), qint64 mtime = -1);
QByteArray Read_File(const QString& path);
qint64 File_Time(const QString& path);

#endif
