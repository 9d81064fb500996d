#pragma once

#include "dorvane.h"
#include "testsupport.h"

// A source time: 03 Mar 2026 14:05:09 in Berlin, an odd second, which FAT cannot keep.
inline const qint64 k_doc_time = 1772543109;

// A fresh home folder for the dialog. On Windows HOME does not move it, hence the setter.
struct TTestHome
{
    QTemporaryDir d_dir;
    QByteArray d_old_home = qgetenv("HOME");
    TTestHome()
    {
        qputenv("HOME", d_dir.path().toLocal8Bit());
        TDorvane::Set_Home_Folder(d_dir.path());
    }
    ~TTestHome()
    {
        qputenv("HOME", d_old_home);
        TDorvane::Set_Home_Folder(QString());
    }
    QString Settings_Folder() const { return d_dir.path() + "/.Dorvane"; }
};

// A file system of its own over a folder, made as root by a shell command (%1: the folder, %2:
// an image file beside the test's folders), and lazily unmounted when it goes.
struct TMount
{
    QTemporaryDir d_images;
    QString d_folder;
    bool Mount(const QString& folder, QString command)
    {
        command.replace("%1", folder).replace("%2", d_images.filePath("image"));
        const QString as_root = "exec >/dev/null 2>&1; [ \"$(id -u)\" = 0 ] && " + command;
        if (QProcess::execute("sh", {"-c", as_root}) != 0)
            return false;
        d_folder = folder;
        return true;
    }
    ~TMount()
    {
        if (!d_folder.isEmpty())
            QProcess::execute("umount", {"-l", d_folder});
    }
};

struct TSyncFixture
{
    TTestHome home;
    QTemporaryDir source, destination;
    std::unique_ptr<TDorvane> dialog;
    TBoxWatcher watcher;
    TMount mount; // goes before the folders it lies over

    // An empty touch program keeps the default, as does the empty time format.
    explicit TSyncFixture(const QString& touch = QString())
    {
        QSettings settings(home.Settings_Folder() + "/Settings.ini", QSettings::IniFormat);
        settings.setValue("Source", source.path());
        settings.setValue("Destination", destination.path());
        settings.setValue("Program_Touch", touch);
        settings.setValue("Program_Touch_DateTime", QString());
        dialog.reset(new TDorvane);
    }
    QLineEdit* Field(const char* name) { return dialog->findChild<QLineEdit*>(name); }
    QPushButton* Button(const char* name) { return dialog->findChild<QPushButton*>(name); }
    QPlainTextEdit* Pane() { return dialog->findChild<QPlainTextEdit*>("d_output"); }
    QString Output() { return Pane()->toPlainText(); }
    QString Src(const QString& name) { return source.filePath(name); }
    QString Dst(const QString& name) { return destination.filePath(name); }
    // Through the button, as a user does: a disabled button does nothing.
    void Sync() { Button("d_sync")->click(); }
    bool Usable()
    {
        return Button("d_sync")->isEnabled() && Button("d_source_report")->isEnabled();
    }

    // The lines under "Updated Files on ...", without their times, sorted.
    QStringList Updated()
    {
        const QString below = Output().section("Updated Files on ", 1).section(k_rule, 1);
        QStringList lines = below.section("\nERR:", 0, 0).split('\n', Qt::SkipEmptyParts);
        lines.replaceInStrings(QRegularExpression("^[^\t]*\t"), QString()).sort();
        return lines;
    }
    // Every file in the destination, hidden ones too.
    QMap<QString, QByteArray> Tree()
    {
        QMap<QString, QByteArray> tree;
        QDirIterator it(destination.path(), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            tree[path.mid(destination.path().size() + 1)] = Read_File(path);
        }
        return tree;
    }
};
