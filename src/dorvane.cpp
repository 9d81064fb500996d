#include "dorvane.h"

#include "messagebox.h"
#include "replacefile.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpacerItem>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

static const char* const k_default_touch_program = "touch.exe";
static const char* const k_default_touch_format = "MMddhhmmyyyy.ss";
static const char* const k_lock_name = "/procedure.lock";

static QFrame* Make_Line(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

static QString g_home_folder;

void TDorvane::Set_Home_Folder(const QString& folder)
{
    g_home_folder = folder;
}

// The pane's columns line up at its tab stops only in a fixed-pitch face, and
// its text becomes the information file. Where "courier new" is missing, the
// style hint asks the platform for a fixed-pitch stand-in; a platform that
// still puts a proportional face in its place (Wine does) gets the fixed-pitch
// families that are there as substitutes. The font asked for stays the same.
static QFont Make_Pane_Font()
{
    const auto make = [] {
        QFont font("courier new");
        font.setFixedPitch(true);
        font.setStyleHint(QFont::TypeWriter);
        return font;
    };
    if (!QFontInfo(make()).fixedPitch()) {
        const QFontDatabase database;
        QStringList fixed;
        for (const QString& family : database.families())
            if (database.isFixedPitch(family))
                fixed << family;
        QFont::insertSubstitutions("courier new", fixed);
    }
    // A new font: one already resolved keeps the face it was given.
    return make();
}

TDorvane::TDorvane(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags)
{
    const QFont pane_font = Make_Pane_Font();
    QFont label_font("Verdana", 8);
    label_font.setStyle(QFont::StyleItalic);

    // Settings folder: .Dorvane under the home folder; when it cannot be
    // made, the home folder itself keeps the settings and the reference list.
    QDir settings_dir(g_home_folder.isEmpty() ? QDir::homePath() : g_home_folder);
    if (!settings_dir.exists(".Dorvane"))
        settings_dir.mkdir(".Dorvane");
    settings_dir.cd(".Dorvane");
    d_settings_folder = settings_dir.absolutePath();
    d_settings = new QSettings(d_settings_folder + "/Settings.ini", QSettings::IniFormat);

    resize(601, 378);

    auto* layout = new QVBoxLayout(this);

    auto* grid = new QGridLayout();
    auto* source_label = new QLabel(this);
    d_source = new QLineEdit(this);
    d_browse_source = new QToolButton(this);
    auto* destination_label = new QLabel(this);
    d_destination = new QLineEdit(this);
    d_browse_destination = new QToolButton(this);
    grid->addWidget(source_label, 0, 0, 1, 1);
    grid->addWidget(d_source, 0, 1, 1, 1);
    grid->addWidget(d_browse_source, 0, 2, 1, 1);
    grid->addWidget(destination_label, 1, 0, 1, 1);
    grid->addWidget(d_destination, 1, 1, 1, 1);
    grid->addWidget(d_browse_destination, 1, 2, 1, 1);
    layout->addLayout(grid);

    layout->addWidget(Make_Line(this));

    d_output = new QPlainTextEdit(this);
    d_output->setWordWrapMode(QTextOption::NoWrap);
    d_output->setFont(pane_font);
    layout->addWidget(d_output);

    layout->addWidget(Make_Line(this));

    auto* buttons = new QHBoxLayout();
    d_source_report = new QPushButton(this);
    d_sync = new QPushButton(this);
    d_close = new QPushButton(this);
    for (QPushButton* button : {d_source_report, d_sync, d_close})
        button->setAutoDefault(false);
    buttons->addWidget(d_source_report);
    buttons->addWidget(d_sync);
    buttons->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    buttons->addWidget(d_close);
    layout->addLayout(buttons);

    layout->addWidget(Make_Line(this));

    auto* notice = new QLabel(this);
    notice->setFont(label_font);
    layout->addWidget(notice);

    d_message_box = new TMessageBox(this);

    setTabOrder(d_source, d_browse_source);
    setTabOrder(d_browse_source, d_destination);
    setTabOrder(d_destination, d_browse_destination);
    setTabOrder(d_browse_destination, d_output);
    setTabOrder(d_output, d_source_report);
    setTabOrder(d_source_report, d_sync);
    setTabOrder(d_sync, d_close);

    setWindowTitle("Controlled Documents Dorvane - Version 1.3");

    d_source->setText(d_settings->value("Source", QString()).toString());
    d_destination->setText(d_settings->value("Destination", QString()).toString());
    d_touch_program = d_settings->value("Program_Touch", QString()).toString();
    d_touch_format = d_settings->value("Program_Touch_DateTime", QString()).toString();
    if (d_touch_program.isEmpty())
        d_touch_program = k_default_touch_program;
    if (d_touch_format.isEmpty())
        d_touch_format = k_default_touch_format;

    source_label->setText("Source:");
    destination_label->setText("Destination:");
    d_browse_source->setText("...");
    d_browse_destination->setText("...");
    d_source_report->setText("Source Report");
    d_sync->setText("Sync");
    d_close->setText("Close");
    notice->setText(
        "Dorvane - Copyright (C) 2026 Dorvane Project. https://www.dorvane.example.org");

    connect(d_source_report, &QPushButton::clicked, this, &TDorvane::Source_Report);
    connect(d_sync, &QPushButton::clicked, this, &TDorvane::Sync);
    connect(d_browse_source, &QToolButton::clicked, this, &TDorvane::Browse_Source);
    connect(d_browse_destination, &QToolButton::clicked, this, &TDorvane::Browse_Destination);
    connect(d_close, &QPushButton::clicked, this, &TDorvane::close);

    d_source->setObjectName("d_source");
    d_destination->setObjectName("d_destination");
    d_output->setObjectName("d_output");
    d_sync->setObjectName("d_sync");
    d_source_report->setObjectName("d_source_report");
    d_close->setObjectName("d_close");
    d_browse_source->setObjectName("d_browse_source");
    d_browse_destination->setObjectName("d_browse_destination");
    d_message_box->setObjectName("d_message_box");
}

TDorvane::~TDorvane()
{
    delete d_settings;
}

void TDorvane::Set_Folder_Picker(TFolderPicker picker)
{
    d_folder_picker = std::move(picker);
}

void TDorvane::Set_Touch_Timeouts(int start_ms, int finish_ms)
{
    d_touch_start_timeout = start_ms;
    d_touch_finish_timeout = finish_ms;
}

void TDorvane::Clear_Output()
{
    d_output->clear();
}

void TDorvane::Write_Heading(const QString& text)
{
    d_output->moveCursor(QTextCursor::End);
    d_output->insertPlainText(
        QString("%1\n--------------------------------------------\n").arg(text));
}

void TDorvane::Write_Entry(const QString& key, const QString& value)
{
    d_output->moveCursor(QTextCursor::End);
    d_output->insertPlainText(QString("%1\t%2\n").arg(key, value));
}

void TDorvane::Write_Entries(const QVector<QPair<QString, QString>>& entries)
{
    QString text;
    int size = 0;
    for (const auto& entry : entries)
        size += entry.first.size() + entry.second.size() + 2;
    text.reserve(size);
    for (const auto& entry : entries) {
        text += entry.first;
        text += QLatin1Char('\t');
        text += entry.second;
        text += QLatin1Char('\n');
    }
    if (text.isEmpty())
        return;
    d_output->moveCursor(QTextCursor::End);
    d_output->insertPlainText(text);
}

void TDorvane::Write_Break()
{
    d_output->insertPlainText("\n");
}

void TDorvane::Write_Line(const QString& text)
{
    d_output->moveCursor(QTextCursor::End);
    d_output->insertPlainText(text + '\n');
}

void TDorvane::Show_Error(const QString& heading, const QString& message, const QString& detail)
{
    // Once a close was asked for the window is on its way out: a box would
    // keep it, or show after it has gone. The pane and the record say it all.
    if (d_close_asked)
        return;
    d_message_box->Set_Heading(heading);
    d_message_box->Set_Message(message);
    d_message_box->setDetailedText(detail);
    d_message_box->setStandardButtons(QMessageBox::Ok);
    d_message_box->setDefaultButton(QMessageBox::Ok);
    d_message_box->setIcon(QMessageBox::Critical);
    d_message_box->exec();
}

// The lock gives one procedure of this user the settings folder: the list a
// sync reads is the one its own report wrote. Held, the procedure clears what
// an interrupted one left there and fixes the folder fields.
bool TDorvane::Begin_Procedure(QLockFile* lock)
{
    // A procedure may run for longer than any age that would let the lock
    // count as stale; a lock whose process has gone is cleared all the same.
    lock->setStaleLockTime(0);
    // A lock that cannot even be created (a full or read-only settings
    // folder) holds nobody back: the report then fails on its own list, with
    // the system's reason.
    if (lock->tryLock(100) || lock->error() != QLockFile::LockFailedError) {
        TReplaceFile::Remove_Leftovers(d_settings_folder);
        Clear_Output();
        Set_Procedure_Running(true);
        return true;
    }
    const QString path = QDir::toNativeSeparators(d_settings_folder + k_lock_name);
    qint64 pid = 0;
    QString host, application;
    const QString holder =
        lock->getLockInfo(&pid, &host, &application)
            ? QString("The lock file '%1' is held by process %2 on '%3'.")
                  .arg(path)
                  .arg(pid)
                  .arg(host)
            : QString("The lock file '%1' is held by another process.").arg(path);
    Show_Error("Busy",
               "Another Source Report or Sync of this user is running. Nothing was changed; try "
               "again when it has finished.",
               holder);
    return false;
}

void TDorvane::Set_Procedure_Running(bool running)
{
    d_running = running;
    d_sync->setEnabled(!running);
    d_source_report->setEnabled(!running);
    d_source->setReadOnly(running);
    d_destination->setReadOnly(running);
    d_browse_source->setEnabled(!running);
    d_browse_destination->setEnabled(!running);
}

// A close asked for while the procedure ran takes effect now.
void TDorvane::End_Procedure(QLockFile* lock)
{
    lock->unlock();
    Set_Procedure_Running(false);
    if (d_close_asked)
        close();
}

void TDorvane::Source_Report()
{
    QLockFile lock(d_settings_folder + k_lock_name);
    if (!Begin_Procedure(&lock))
        return;
    if (!Run_Source_Report()) {
        Write_Break();
        Write_Heading("ERR:  Source Report did not complete.");
    }
    End_Procedure(&lock);
}

void TDorvane::Sync()
{
    // One lock for the report and the sync, and no other sync of this user
    // runs beside.
    QLockFile lock(d_settings_folder + k_lock_name);
    if (!Begin_Procedure(&lock))
        return;
    const bool ran = Run_Source_Report() && Run_Sync();
    // Files that were not updated, or not reached, were listed as such; the
    // record left in the destination says so too.
    if (!ran || !d_sync_failures.isEmpty() || !d_update_files.isEmpty()) {
        Write_Break();
        Write_Heading("ERR:  Update did not complete.");
    }
    if (ran) {
        Write_Information_File();
        Show_Sync_Failures();
    }
    End_Procedure(&lock);
}

// A folder as the procedures take it from a field: "/" separators and one
// trailing "/" fewer.
QString TDorvane::Field_Folder(const QLineEdit* edit)
{
    QString path = QDir::fromNativeSeparators(edit->text());
    if (path.endsWith('/'))
        path.chop(1);
    return path;
}

void TDorvane::Browse(QLineEdit* edit, const QString& caption)
{
    QString start = edit->text();
    if (!start.isEmpty()) {
        start.replace('\\', '/');
        const int last = start.lastIndexOf('/');
        if (last > 0)
            start.truncate(last);
    }
    const QString picked =
        d_folder_picker
            ? d_folder_picker(this, caption, start)
            : QFileDialog::getExistingDirectory(this, caption, start, QFileDialog::ShowDirsOnly);
    if (!picked.isEmpty())
        edit->setText(QDir::toNativeSeparators(picked));
}

void TDorvane::Browse_Source()
{
    Browse(d_source, "Select Source Folder");
}

void TDorvane::Browse_Destination()
{
    Browse(d_destination, "Select Destination Folder");
}

void TDorvane::Save_Settings()
{
    d_settings->setValue("Source", d_source->text());
    d_settings->setValue("Destination", d_destination->text());
    d_settings->setValue("Program_Touch", d_touch_program);
    d_settings->setValue("Program_Touch_DateTime", d_touch_format);
    // Written now rather than on the store's deferred update, so nothing is
    // lost if the process ends abruptly after the window has gone.
    d_settings->sync();
}

// During a procedure the close waits for it: the sync stops after the file
// in hand and leaves its record, and then the dialog closes.
void TDorvane::closeEvent(QCloseEvent* event)
{
    if (d_running) {
        d_close_asked = true;
        event->ignore();
        return;
    }
    Save_Settings();
    event->accept();
}

// Escape dismisses the dialog without a close event; the folders the user
// chose are kept all the same.
void TDorvane::reject()
{
    if (d_running) {
        d_close_asked = true;
        return;
    }
    Save_Settings();
    QDialog::reject();
}

void TDorvane::End_Session()
{
    d_close_asked = true;
    if (d_message_box->isVisible())
        d_message_box->done(QMessageBox::Ok);
    close();
}
