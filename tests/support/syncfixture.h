#pragma once

#include "dorvane.h"
#include "testsupport.h"

// One user's set-up for a test through the dialog: a HOME, a source and a
// destination folder, the dialog and a watcher for its boxes. Header only:
// for tests that link the dialog.
struct TSyncFixture
{
    TTestHome home;
    QTemporaryDir source, destination;
    std::unique_ptr<TDorvane> dialog;
    TBoxWatcher watcher;

    // An empty touch program keeps the default (the bundled one).
    explicit TSyncFixture(const QString& touch = QString(), const QString& format = QString())
    {
        Set_Touch(touch, format);
        Open();
    }
    // The next Open() finds the two folders and the touch program in the settings.
    void Set_Touch(const QString& touch, const QString& format)
    {
        QSettings settings(home.Settings_Folder() + "/Settings.ini", QSettings::IniFormat);
        settings.setValue("Source", source.path());
        settings.setValue("Destination", destination.path());
        settings.setValue("Program_Touch", touch);
        settings.setValue("Program_Touch_DateTime", format);
    }
    void Open() { dialog.reset(new TDorvane); }
    QLineEdit* Field(const char* name) { return dialog->findChild<QLineEdit*>(name); }
    QPushButton* Button(const char* name) { return dialog->findChild<QPushButton*>(name); }
    QString Output() { return dialog->findChild<QPlainTextEdit*>("d_output")->toPlainText(); }
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
        const QString below = Output().section("Updated Files on ", 1).section(QString(44, '-'), 1);
        QStringList lines = below.section("\nERR:", 0, 0).split('\n', Qt::SkipEmptyParts);
        lines.replaceInStrings(QRegularExpression("^[^\t]*\t"), QString()).sort();
        return lines;
    }
    // Whatever a sync may have left behind under folder.
    static QStringList Leftovers(const QString& folder)
    {
        QDirIterator it(folder, {".dorvane-*", "qt_temp*", "*.tmp"},
                        QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        QStringList found;
        while (it.hasNext())
            found << it.next();
        return found;
    }
};
