#ifndef DORVANE_FILEDATA_H
#define DORVANE_FILEDATA_H

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <limits>
#include <vector>

class TXmlFile;

// One entry of a scanned folder tree: a name and whether it is a folder.
// A folder owns its children.
class TFileNode
{
public:
    explicit TFileNode(TFileNode* parent = nullptr);
    ~TFileNode();
    TFileNode(const TFileNode&) = delete;
    TFileNode& operator=(const TFileNode&) = delete;

    int Child_Count() const;
    TFileNode* Child(int offset) const;
    QString Name() const { return d_name; }
    void Set_Name(const QString& name);
    bool Is_Folder() const { return d_is_folder; }
    void Set_Folder(bool folder);
    void Add_Child(TFileNode* node);
    void Clear_Children();

protected:
    bool d_is_folder = false;
    std::vector<TFileNode*> d_children;
    QString d_name;
};

// The inventory of one folder: the scanned tree, the flat list of controlled
// files, the times recorded in a reference list and the files found out of
// date. Failures are reported as false with the reason in d_error.
class TFileData : public TFileNode
{
public:
    TFileData();

    bool Scan_Source(const QString& path);
    void Scan_Folder(TFileNode* parent, const QString& path);
    void Make_Source_List();
    void Collect_File_Names(const QString& prefix, QStringList* list, TFileNode* node);

    int Source_File_Count() const;
    QString Source_File_Path(const QString& prefix, int offset) const;
    int Update_File_Count() const;
    QString Update_File_Path(const QString& prefix, int offset) const;

    bool Make_Update_List(const QString& folder);
    QString Last_Error() const;

    // A file time as the reference list records it: whole seconds since 1970
    // UTC as an unsigned 32-bit count; times outside that range (and invalid
    // ones) all give 4294967295, as QDateTime::toTime_t does.
    static uint Time_Count(const QDateTime& time)
    {
        const qint64 seconds = time.isValid() ? time.toSecsSinceEpoch() : -1;
        return seconds < 0 || seconds > 0xFFFFFFFFLL ? 0xFFFFFFFFu : uint(seconds);
    }
    // A copy is current when the recorded time is 0 or 1 second, or one hour
    // give or take a second, after the copy's time. The difference wraps, so
    // a copy newer than the record is never current.
    static bool Is_Current(uint recorded, uint actual)
    {
        const uint d = recorded - actual;
        return d == 0 || d == 1 || d == 3599 || d == 3600 || d == 3601;
    }

    bool Write_Reference_List(const QString& Folder, const QString& FileName);
    bool Read_Reference_List(const QString& Folder, const QString& FileName);
    void Read_File_List(TXmlFile& xmlfile);

    QStringList d_source_file_names;
    // What Write_Reference_List read for each entry of d_source_file_names:
    // the modification time in milliseconds since 1970 UTC, or k_no_file when
    // nothing was there. The source report lists these rather than asking the
    // file system a second time.
    static constexpr qint64 k_no_file = std::numeric_limits<qint64>::min();
    std::vector<qint64> d_source_file_times;
    QStringList d_update_file_names;
    QHash<QString, uint> d_reference_times;
    // The keys of d_reference_times in the order of the reference list, so
    // that the files to update come in the order the source report lists them.
    QStringList d_reference_order;
    QString d_error;

private:
    void Scan_Tree(TFileNode* parent, const QString& path, const QString& canonical);
    // Time_Count of the last modification of what is at path; false when
    // nothing is there.
    static bool Modified_Count(const QString& path, uint* count);
    // The same time in whole milliseconds since 1970 UTC, as QFileInfo gives it
    // (k_no_file for a file without a valid time).
    static bool Modified_Msecs(const QString& path, qint64* msecs);
    static uint Msecs_Count(qint64 msecs);
    // False for a path that could reach outside the folder it is taken against:
    // empty, absolute, a drive, or a ".." segment (at "/" or backslash).
    static bool Is_Safe_Path(const QString& path);

    // Canonical paths of the folders on the current path of the scan; a
    // folder already on it is a cycle of links and is not entered again.
    QSet<QString> d_scan_path;
};

#endif
