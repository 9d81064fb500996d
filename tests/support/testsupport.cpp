#include "testsupport.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QPushButton>
#include <QTextDocumentFragment>

#include <ctime>

TBoxWatcher::TBoxWatcher()
{
    connect(&d_timer, &QTimer::timeout, this, &TBoxWatcher::Poll);
    d_timer.start(5);
}

void TBoxWatcher::Poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    const auto plain = [](const QString& html) {
        return QTextDocumentFragment::fromHtml(html).toPlainText();
    };
    const QString buttons = QString("%1/%2")
                                .arg(int(box->standardButtons()))
                                .arg(int(box->standardButton(box->defaultButton())));
    boxes.append({plain(box->text()), plain(box->informativeText()), box->detailedText(),
                  box->icon(), buttons});
    if (on_box)
        on_box(box);
    box->done(QMessageBox::Ok);
}

void Set_Time_Zone(const char* tz)
{
    qputenv("TZ", tz);
    qputenv("LC_ALL", "C");
    tzset();
}

bool Make_File(const QString& path, const QByteArray& bytes, qint64 mtime)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           (mtime < 0 || file.setFileTime(QDateTime::fromSecsSinceEpoch(mtime),
                                          QFileDevice::FileModificationTime));
}

QByteArray Read_File(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 File_Time(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() ? info.lastModified().toSecsSinceEpoch() : -1;
}
