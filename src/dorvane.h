#ifndef DORVANE_DORVANE_H
#define DORVANE_DORVANE_H

#include <QDateTime>
#include <QDialog>
#include <QPair>
#include <QSet>
#include <QStringList>
#include <QVector>
#include <functional>

class QCloseEvent;
class QLineEdit;
class QLockFile;
class QPlainTextEdit;
class QProcess;
class QPushButton;
class QSettings;
class QToolButton;
class TMessageBox;

// One file of a sync's copy stage: its name, the source's time, and why it
// was not updated (empty while all is well).
struct TSyncFile
{
    QString name;
    QDateTime time;
    QString failure;
};

class TDorvane : public QDialog
{
    Q_OBJECT

public:
    explicit TDorvane(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~TDorvane() override;
    TDorvane(const TDorvane&) = delete;
    TDorvane& operator=(const TDorvane&) = delete;

    void Clear_Output();
    void Write_Heading(const QString& text);
    void Write_Entry(const QString& key, const QString& value);
    void Write_Break();

    bool Run_Source_Report();
    bool Run_Sync();
    void Write_Information_File();

    // The folder picker is a seam so that tests can answer it.
    using TFolderPicker = std::function<QString(QWidget* parent, const QString& caption,
                                                const QString& start_folder)>;
    void Set_Folder_Picker(TFolderPicker picker);
    // How long the sync waits for the touch program to start and to finish.
    void Set_Touch_Timeouts(int start_ms, int finish_ms);
    // The folder that holds .Dorvane in dialogs made from now on; empty: the user's home.
    // Tests point it at a temporary folder, as HOME does not move the home folder on Windows.
    static void Set_Home_Folder(const QString& folder);

    // The session ends (a signal, the end-session message): as Close, and a
    // box that is open is dismissed, since nobody will answer it.
    void End_Session();
    // A Source Report or Sync is under way.
    bool Is_Running() const { return d_running; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private slots:
    void Sync();
    void Source_Report();
    void Browse_Source();
    void Browse_Destination();

private:
    // Appends one Write_Entry line per pair, in one insertion into the pane.
    void Write_Entries(const QVector<QPair<QString, QString>>& entries);
    static QString Field_Folder(const QLineEdit* edit);
    void Browse(QLineEdit* edit, const QString& caption);
    void Save_Settings();
    // Takes the lock and starts a procedure; when another procedure holds
    // it, says so in one box, changes nothing and returns false.
    bool Begin_Procedure(QLockFile* lock);
    void End_Procedure(QLockFile* lock);
    // Fields and their "..." buttons are fixed while a procedure runs, so
    // that it ends in the folders it started with.
    void Set_Procedure_Running(bool running);
    void Write_Line(const QString& text);
    void Show_Error(const QString& heading, const QString& message, const QString& detail);
    void Add_Folder_Chain(const QString& path);
    void Show_Sync_Failures();
    QString Touch_Program_Path() const;
    void Start_Touch(QProcess* process, const QString& program, const QString& target,
                     const TSyncFile& file);
    void Finish_Touch(QProcess* process, const QString& target, TSyncFile* file);

    QSettings* d_settings = nullptr;
    QLineEdit* d_source = nullptr;
    QToolButton* d_browse_source = nullptr;
    QLineEdit* d_destination = nullptr;
    QToolButton* d_browse_destination = nullptr;
    QPlainTextEdit* d_output = nullptr;
    QPushButton* d_sync = nullptr;
    QPushButton* d_source_report = nullptr;
    QPushButton* d_close = nullptr;
    TMessageBox* d_message_box = nullptr;
    QStringList d_update_files;
    QStringList d_update_folders;
    QSet<QString> d_update_folder_set;
    // "/name: reason" for each file of the last sync that was not updated.
    QStringList d_sync_failures;
    // "/controlled document information.txt: reason" when the last record could not be saved.
    QString d_record_failure;
    QString d_settings_folder;
    QString d_touch_program;
    QString d_touch_format;
    bool d_running = false;
    // A close was asked for while a procedure ran: it stops after the file
    // in hand, shows no box, and the dialog closes when it has finished.
    bool d_close_asked = false;

    TFolderPicker d_folder_picker;
    int d_touch_start_timeout = 30000;
    int d_touch_finish_timeout = 30000;
};

#endif
