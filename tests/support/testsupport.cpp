#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTextDocumentFragment>

#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <sys/time.h>

static QString Plain(const QString& markup)
{
    return QTextDocumentFragment::fromHtml(markup).toPlainText();
}

TBoxWatcher::TBoxWatcher()
{
    d_timer.setInterval(5);
    QObject::connect(&d_timer, &QTimer::timeout, [this] { Poll(); });
    d_timer.start();
}

void TBoxWatcher::Poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    TShownBox shown;
    shown.heading = Plain(box->text());
    shown.message = Plain(box->informativeText());
    shown.detail = box->detailedText();
    shown.icon = box->icon();
    shown.buttons = box->standardButtons();
    shown.default_button =
        box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
    for (QAbstractButton* button : box->buttons())
        if (box->buttonRole(button) == QMessageBox::ActionRole)
            shown.has_details_button = true;
    shown.width = box->width();
    boxes.append(shown);
    if (on_box)
        on_box(box);
    QAbstractButton* ok = box->button(QMessageBox::Ok);
    if (!ok && !box->buttons().isEmpty())
        ok = box->buttons().first();
    if (ok)
        ok->click();
    else
        box->done(0);
}

TTestHome::TTestHome() : d_old_home(qgetenv("HOME"))
{
    qputenv("HOME", d_dir.path().toLocal8Bit());
}

TTestHome::~TTestHome()
{
    qputenv("HOME", d_old_home);
}

void Set_Time_Zone(const char* tz)
{
    qputenv("TZ", tz);
    qputenv("LC_ALL", "C");
    tzset();
}

static bool Set_File_Time(const QString& path, qint64 mtime)
{
    struct timeval times[2];
    times[0].tv_sec = static_cast<time_t>(mtime);
    times[0].tv_usec = 0;
    times[1] = times[0];
    return utimes(QFile::encodeName(path).constData(), times) == 0;
}

bool Make_File(const QString& path, const QByteArray& bytes, qint64 mtime)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (file.write(bytes) != bytes.size())
        return false;
    file.close();
    return mtime < 0 || Set_File_Time(path, mtime);
}

QByteArray Read_File(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

qint64 File_Time(const QString& path)
{
    struct stat st;
    if (stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return st.st_mtime;
}
