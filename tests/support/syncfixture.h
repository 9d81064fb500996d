#ifndef DORVANE_SYNCFIXTURE_H
#define DORVANE_SYNCFIXTURE_H

#include "dorvane.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <memory>

// One user's set-up for a test of the sync through the dialog: a HOME, a
// source and a destination folder, the dialog and a watcher for its boxes.
// Header only: for tests that link the dialog.
struct TSyncFixture
{
    TTestHome home;
    QTemporaryDir source;
    QTemporaryDir destination;
    std::unique_ptr<TDorvane> dialog;
    TBoxWatcher watcher;

    // An empty touch program keeps the default (the bundled one).
    explicit TSyncFixture(const QString& touch = QString(), const QString& format = QString())
    {
        Set_Touch(touch, format);
        Open();
    }
    void Set_Touch(const QString& touch, const QString& format)
    {
        QSettings settings(home.Settings_Folder() + "/Settings.ini", QSettings::IniFormat);
        settings.setValue("Program_Touch", touch);
        settings.setValue("Program_Touch_DateTime", format);
    }
    void Open()
    {
        dialog.reset(new TDorvane);
        Field("d_source")->setText(source.path());
        Field("d_destination")->setText(destination.path());
    }
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
        const QString rule(44, '-');
        const QString below = Output().section("Updated Files on ", 1).section(rule + '\n', 1);
        QStringList result;
        for (const QString& line : below.split('\n', Qt::SkipEmptyParts)) {
            if (line.startsWith("ERR:"))
                break;
            result << line.section('\t', 1);
        }
        result.sort();
        return result;
    }
    // Whatever a sync may have left behind under folder.
    static QStringList Leftovers(const QString& folder)
    {
        QStringList found;
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString name = QFileInfo(it.next()).fileName();
            if (name.startsWith(".dorvane-") || name.startsWith("qt_temp") || name.endsWith(".tmp"))
                found << it.filePath();
        }
        return found;
    }
};

#endif
