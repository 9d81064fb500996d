#include "filedata.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_LINUX
#include <QFile>
#include <sys/stat.h>
#endif

TFileNode::TFileNode(TFileNode* parent)
{
    if (parent) {
        parent->Add_Child(this);
    }
}

TFileNode::~TFileNode()
{
    Clear_Children();
}

int TFileNode::Child_Count() const
{
    return static_cast<int>(d_children.size());
}

TFileNode* TFileNode::Child(int offset) const
{
    Q_ASSERT(static_cast<unsigned int>(offset) < d_children.size());
    return d_children[static_cast<unsigned int>(offset)];
}

void TFileNode::Set_Name(const QString& name)
{
    d_name = name;
}

void TFileNode::Set_Folder(bool folder)
{
    if (!folder && d_is_folder) {
        Clear_Children();
    }
    d_is_folder = folder;
}

void TFileNode::Add_Child(TFileNode* node)
{
    Q_ASSERT(node);
    if (!d_is_folder) {
        return;
    }
    d_children.push_back(node);
}

void TFileNode::Clear_Children()
{
    for (TFileNode* child : d_children) {
        delete child;
    }
    d_children.clear();
}

TFileData::TFileData() = default;

bool TFileData::Scan_Source(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        d_error = QString("Source path '%1' does not exist").arg(info.absoluteFilePath());
        return false;
    }
    if (!info.isDir()) {
        d_error = QString("Source path '%1' must be a directory").arg(info.absoluteFilePath());
        return false;
    }
    if (Is_Folder()) {
        Clear_Children();
    }
    Set_Name(QString());
    Set_Folder(true);
    d_scan_path.clear();
    Scan_Tree(this, path, info.canonicalFilePath());
    Make_Source_List();
    return true;
}

void TFileData::Scan_Folder(TFileNode* parent, const QString& path)
{
    Q_ASSERT(parent);
    Scan_Tree(parent, path, QFileInfo(path).canonicalFilePath());
}

namespace {
struct TScanEntry
{
    QString name;
    QString key;
    bool is_folder;
    bool is_link;
};
} // namespace

void TFileData::Scan_Tree(TFileNode* parent, const QString& path, const QString& canonical)
{
    // Nodes hung on a file would have no owner.
    if (!parent->Is_Folder()) {
        return;
    }

    // The listing's filter leaves out what Qt counts as system entries (devices,
    // FIFOs, sockets, broken links). Names are ordered by their lower-cased form;
    // the stable sort keeps names equal but for case in directory order.
    std::vector<TScanEntry> entries;
    {
        QDirIterator it(path, QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            QString name = info.fileName();
            if (name == QLatin1String(".DS_Store")) {
                continue;
            }
            QString key = name.toLower();
            entries.push_back({std::move(name), std::move(key), info.isDir(), info.isSymLink()});
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TScanEntry& a, const TScanEntry& b) { return a.key < b.key; });

    QString folder = QDir(path).absolutePath();
    if (!folder.endsWith(QLatin1Char('/'))) {
        folder += QLatin1Char('/');
    }
    QString below = canonical;
    if (!below.endsWith(QLatin1Char('/'))) {
        below += QLatin1Char('/');
    }

    d_scan_path.insert(canonical);
    for (const TScanEntry& entry : entries) {
        TFileNode* node = new TFileNode(parent);
        node->Set_Name(entry.name);
        if (!entry.is_folder) {
            continue;
        }
        node->Set_Folder(true);
        const QString full = folder + entry.name;
        // Only a link (or, on Windows, a junction Qt may not flag) can lead back
        // up the current path; a plain folder's real path follows from its parent's.
#ifdef Q_OS_WIN
        const bool resolve = true;
#else
        const bool resolve = entry.is_link || canonical.isEmpty();
#endif
        const QString child = resolve ? QFileInfo(full).canonicalFilePath() : below + entry.name;
        if (child.isEmpty() || d_scan_path.contains(child)) {
            continue;
        }
        Scan_Tree(node, full, child);
    }
    d_scan_path.remove(canonical);
}

void TFileData::Make_Source_List()
{
    d_source_file_names.clear();
    Collect_File_Names(QString(), &d_source_file_names, this);
}

void TFileData::Collect_File_Names(const QString& prefix, QStringList* list, TFileNode* node)
{
    Q_ASSERT(list);
    Q_ASSERT(node);
    const QString path = prefix.isEmpty() ? node->Name() : prefix + QLatin1Char('/') + node->Name();
    if (!node->Is_Folder()) {
        list->append(path);
        return;
    }
    const int count = node->Child_Count();
    for (int i = 0; i < count; ++i) {
        Collect_File_Names(path, list, node->Child(i));
    }
}

int TFileData::Source_File_Count() const
{
    return d_source_file_names.size();
}

QString TFileData::Source_File_Path(const QString& prefix, int offset) const
{
    Q_ASSERT(offset < d_source_file_names.size());
    Q_ASSERT(!(offset < 0));
    return prefix + QLatin1Char('/') + d_source_file_names.at(offset);
}

int TFileData::Update_File_Count() const
{
    return d_update_file_names.size();
}

QString TFileData::Update_File_Path(const QString& prefix, int offset) const
{
    Q_ASSERT(offset < d_update_file_names.size());
    Q_ASSERT(!(offset < 0));
    return prefix + d_update_file_names.at(offset);
}

bool TFileData::Make_Update_List(const QString& folder)
{
    if (d_reference_times.isEmpty()) {
        d_error = QStringLiteral("Source list is empty");
        return false;
    }
    d_update_file_names.clear();
    const QString base = folder + QLatin1Char('/');
    // The reader keeps the list's order beside the table; a table filled
    // otherwise is taken in its own order.
    const QStringList names = d_reference_order.size() == d_reference_times.size()
                                  ? d_reference_order
                                  : d_reference_times.keys();
    for (const QString& name : names) {
        uint actual = 0;
        if (!Modified_Count(base + name, &actual) ||
            !Is_Current(d_reference_times.value(name), actual)) {
            d_update_file_names.append(name);
        }
    }
    return true;
}

QString TFileData::Last_Error() const
{
    return d_error;
}

bool TFileData::Modified_Count(const QString& path, uint* count)
{
    qint64 msecs = 0;
    if (!Modified_Msecs(path, &msecs)) {
        return false;
    }
    *count = Msecs_Count(msecs);
    return true;
}

uint TFileData::Msecs_Count(qint64 msecs)
{
    return msecs == k_no_file ? 0xFFFFFFFFu
                              : Time_Count(QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC));
}

bool TFileData::Modified_Msecs(const QString& path, qint64* msecs)
{
#ifdef Q_OS_LINUX
    // Qt hands file times out as local time, and the round trip back to a
    // count costs several time-zone look-ups per file; the time itself is
    // taken the way Qt takes it, in whole milliseconds.
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        return false;
    }
    *msecs = qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
    return true;
#else
    const QFileInfo info(path);
    if (!info.exists()) {
        return false;
    }
    const QDateTime time = info.lastModified();
    *msecs = time.isValid() ? time.toMSecsSinceEpoch() : k_no_file;
    return true;
#endif
}

bool TFileData::Is_Safe_Path(const QString& path)
{
    const int size = path.size();
    if (size == 0) {
        return false;
    }
    const QChar* text = path.constData();
    if (text[0] == QLatin1Char('/') || text[0] == QLatin1Char('\\')) {
        return false;
    }
    if (size >= 2 && text[1] == QLatin1Char(':') && text[0].unicode() < 128 && text[0].isLetter()) {
        return false;
    }
    int start = 0;
    for (int i = 0; i <= size; ++i) {
        if (i == size || text[i] == QLatin1Char('/') || text[i] == QLatin1Char('\\')) {
            if (i - start == 2 && text[start] == QLatin1Char('.') &&
                text[start + 1] == QLatin1Char('.')) {
                return false;
            }
            start = i + 1;
        }
    }
    return true;
}
