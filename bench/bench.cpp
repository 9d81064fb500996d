// dorvane_bench: times what a user waits for in the real dialog, against
// standard tools on the same tree, in the same invocation.
//
//   dorvane_bench [--files N] [--folders N] [--min-kib N] [--max-kib N]
//                 [--seed N] [--runs N] [--full-files N] [--touch-starts N]
//                 [--workdir DIR] [--scale] [--scale-only] [--scale-max-bytes N]
//
// Linux only: the baselines are find, rsync and cp.

#include "dorvane.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct TOptions
{
    int files = 20000;
    int folders = -1; // files / 10
    int min_kib = 1;
    int max_kib = 64;
    quint64 seed = 1;
    int runs = 5;
    int full_files = 2000;
    int touch_starts = 500;
    QString workdir;
    bool scale = false;
    bool main = true;
    int scale_max_bytes = 1024;
};

struct TTreeShape
{
    int files;
    int folders;
    qint64 min_bytes;
    qint64 max_bytes;
    quint64 seed;
};

// Counts of what Generate_Tree made.
struct TTreeStats
{
    int files = 0;
    int folders = 0;
    int hidden = 0;
    int max_depth = 0;
    qint64 bytes = 0;
};

const char* const k_words[] = {
    "Procedures", "Quality",   "Manuals",     "Forms",  "Work Instructions",
    "Annex",      "Records",   "Safety",      "Audit",  "Training",
    "Drawings",   "Standards", "Calibration", "Policy", "Suppliers"};
const char* const k_prefixes[] = {"QP", "WI", "Form", "SOP", "Manual", "STD", "DWG", "rec"};
const char* const k_extensions[] = {".doc", ".PDF", ".xlsx", ".Txt", ".docx", ".dwg", ".pdf"};

QString Mixed_Case(const QString& text, std::mt19937_64& random)
{
    switch (random() % 3) {
    case 0:
        return text.toLower();
    case 1:
        return text.toUpper();
    default:
        return text;
    }
}

bool Write_File(const QByteArray& path, const char* data, qint64 size, qint64 seconds, long nanos)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    for (qint64 done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += n;
    }
    ::close(fd);
    struct timespec times[2];
    times[0].tv_sec = seconds;
    times[0].tv_nsec = nanos;
    times[1] = times[0];
    return ::utimensat(AT_FDCWD, path.constData(), times, 0) == 0;
}

// A controlled-documents tree: folders up to 6 levels deep with mixed-case
// names, files spread over them with old modification times, a few hidden.
bool Generate_Tree(const QString& root, const TTreeShape& shape, TTreeStats* stats)
{
    std::mt19937_64 random(shape.seed);
    struct TFolder
    {
        QString path;
        int depth;
    };
    std::vector<TFolder> folders{{root, 0}};
    std::vector<int> open_folders{0}; // may still take a subfolder
    if (!QDir().mkpath(root))
        return false;
    for (int i = 0; i < shape.folders; ++i) {
        const int parent = open_folders[random() % open_folders.size()];
        const QString name =
            QString("%1 %2").arg(Mixed_Case(k_words[random() % std::size(k_words)], random)).arg(i);
        const TFolder folder{folders[parent].path + '/' + name, folders[parent].depth + 1};
        if (!QDir().mkdir(folder.path))
            return false;
        stats->max_depth = std::max(stats->max_depth, folder.depth);
        if (folder.depth < 6)
            open_folders.push_back(int(folders.size()));
        folders.push_back(folder);
    }
    stats->folders = shape.folders;

    std::vector<char> content(size_t(shape.max_bytes) + 4096);
    for (char& c : content)
        c = char(random());
    // 2015-01-01 to 2024-12-31, UTC.
    const qint64 earliest = 1420070400;
    const qint64 span = 1735603200 - earliest;
    for (int i = 0; i < shape.files; ++i) {
        const TFolder& folder = folders[random() % folders.size()];
        const bool hidden = random() % 1000 == 0;
        QString name = QString("%1-%2 %3%4")
                           .arg(Mixed_Case(k_prefixes[random() % std::size(k_prefixes)], random))
                           .arg(i, 5, 10, QChar('0'))
                           .arg(Mixed_Case(k_words[random() % std::size(k_words)], random))
                           .arg(k_extensions[random() % std::size(k_extensions)]);
        if (hidden) {
            name.prepend('.');
            ++stats->hidden;
        }
        const qint64 size =
            shape.min_bytes + qint64(random() % quint64(shape.max_bytes - shape.min_bytes + 1));
        const qint64 seconds = earliest + qint64(random() % quint64(span));
        const long nanos = long(random() % 1000000000);
        const size_t offset = size_t(random() % 4096);
        if (!Write_File(QFile::encodeName(folder.path + '/' + name), content.data() + offset, size,
                        seconds, nanos))
            return false;
        stats->bytes += size;
        ++stats->files;
    }
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Elapsed_Ms(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

bool Run_Tool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(-1))
        return false;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

long Peak_Kib()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Answers any message box with OK, so that a failing run cannot hang the
// benchmark; every box is counted as a failure.
class TBoxGuard : public QObject
{
public:
    TBoxGuard()
    {
        connect(&d_timer, &QTimer::timeout, this, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ++d_boxes;
                QMetaObject::invokeMethod(modal, "accept", Qt::QueuedConnection);
            }
        });
        d_timer.start(100);
    }
    int d_boxes = 0;

private:
    QTimer d_timer;
};

class TBench
{
public:
    TBench(const TOptions& options, const QString& work)
        : d_options(options), d_work(work), d_rsync(QStandardPaths::findExecutable("rsync"))
    {
        d_dialog.show();
        d_source = d_dialog.findChild<QLineEdit*>("d_source");
        d_destination = d_dialog.findChild<QLineEdit*>("d_destination");
        d_output = d_dialog.findChild<QPlainTextEdit*>("d_output");
    }

    bool Has_Rsync() const { return !d_rsync.isEmpty(); }

    bool Failed(const char* what, int entries)
    {
        const QString text = d_output->toPlainText();
        const int lines = text.count('\n');
        if (d_guard.d_boxes != 0 || text.contains("ERR:") || lines < entries) {
            std::printf("FAILED: %s (%d message boxes, %d lines in the pane)\n", what,
                        d_guard.d_boxes, lines);
            return true;
        }
        return false;
    }

    double Source_Report(const QString& source)
    {
        d_source->setText(source);
        return Elapsed_Ms([this] { QMetaObject::invokeMethod(&d_dialog, "Source_Report"); });
    }

    double Sync(const QString& source, const QString& destination)
    {
        d_source->setText(source);
        d_destination->setText(destination);
        return Elapsed_Ms([this] { QMetaObject::invokeMethod(&d_dialog, "Sync"); });
    }

    // Median times of each piece of work, run in turn after one untimed
    // warm-up of each.
    bool Medians(int runs, const std::vector<std::function<double()>>& work,
                 std::vector<double>* medians)
    {
        for (const auto& one : work)
            one();
        std::vector<std::vector<double>> samples(work.size());
        for (int i = 0; i < runs; ++i) {
            for (size_t w = 0; w < work.size(); ++w) {
                samples[w].push_back(work[w]());
                if (samples[w].back() < 0)
                    return false;
            }
        }
        medians->clear();
        for (const auto& one : samples)
            medians->push_back(Median(one));
        return true;
    }

    // The dialog against one baseline.
    bool Compare(int runs, const std::function<double()>& ours,
                 const std::function<double()>& theirs, double* ours_ms, double* theirs_ms)
    {
        std::vector<double> medians;
        if (!Medians(runs, {ours, theirs}, &medians))
            return false;
        *ours_ms = medians[0];
        *theirs_ms = medians[1];
        return true;
    }

    double Tool_Ms(const QString& program, const QStringList& arguments)
    {
        double ms = 0;
        bool ok = false;
        ms = Elapsed_Ms([&] { ok = Run_Tool(program, arguments); });
        if (!ok)
            std::printf("FAILED: %s %s\n", qPrintable(program), qPrintable(arguments.join(' ')));
        return ok ? ms : -1;
    }

    double Find_Ms(const QString& source)
    {
        return Tool_Ms("find", {source, "-type", "f", "-printf", "%T@ %P\n"});
    }

    double Dry_Run_Ms(const QString& source, const QString& destination)
    {
        if (Has_Rsync())
            return Tool_Ms(d_rsync, {"-rt", "--dry-run", source + '/', destination + '/'});
        // Without rsync: list both trees with their times.
        return Tool_Ms("find", {source, destination, "-type", "f", "-printf", "%T@ %P\n"});
    }

    double Copy_Ms(const QString& source, const QString& destination)
    {
        if (Has_Rsync())
            return Tool_Ms(d_rsync, {"-rt", source + '/', destination + '/'});
        return Tool_Ms("cp", {"-rp", source + "/.", destination});
    }

    bool Make_Copy(const QString& source, const QString& destination)
    {
        QDir().mkpath(destination);
        return Copy_Ms(source, destination) >= 0;
    }

    bool Make_Tree(const QString& root, const TTreeShape& shape)
    {
        TTreeStats stats;
        const double ms = Elapsed_Ms([&] {
            if (!Generate_Tree(root, shape, &stats))
                stats.files = -1;
        });
        if (stats.files < 0) {
            std::printf("FAILED: cannot generate the tree in %s\n", qPrintable(root));
            return false;
        }
        std::printf("tree %s: %d files (%d hidden), %d folders, %d levels deep, %.1f MiB, "
                    "%lld to %lld bytes each, seed %llu (%.1f s)\n",
                    qPrintable(QDir(d_work).relativeFilePath(root)), stats.files, stats.hidden,
                    stats.folders, stats.max_depth, double(stats.bytes) / 1048576.0,
                    qlonglong(shape.min_bytes), qlonglong(shape.max_bytes),
                    static_cast<unsigned long long>(shape.seed), ms / 1000);
        std::fflush(stdout);
        return true;
    }

    // The figures the issue asks for, at the configured size.
    bool Main_Figures()
    {
        const TOptions& o = d_options;
        const int folders = o.folders >= 0 ? o.folders : o.files / 10;
        const QString source = d_work + "/source";
        const QString current = d_work + "/current";
        if (!Make_Tree(source, {o.files, folders, qint64(o.min_kib) * 1024,
                                qint64(o.max_kib) * 1024, o.seed}))
            return false;
        if (!Make_Copy(source, current))
            return false;

        double report = 0, find = 0;
        if (!Compare(
                o.runs, [&] { return Source_Report(source); }, [&] { return Find_Ms(source); },
                &report, &find) ||
            Failed("Source Report", o.files))
            return false;
        Print_Figure(QString("Source Report, %1 files").arg(o.files), report, "find", find,
                     QString("target: at most 10 x find and under 1000 ms: %1")
                         .arg(report <= 10 * find && report < 1000 ? "met" : "NOT MET"),
                     report <= 10 * find && report < 1000);

        double noop = 0, dry = 0;
        if (!Compare(
                o.runs, [&] { return Sync(source, current); },
                [&] { return Dry_Run_Ms(source, current); }, &noop, &dry) ||
            Failed("no-op Sync", o.files))
            return false;
        const QString dry_name = Has_Rsync() ? "rsync -rt --dry-run" : "find on both trees";
        Print_Figure(QString("No-op Sync, %1 files").arg(o.files), noop, dry_name, dry,
                     QString("target: at most 5 x %1").arg(dry_name), noop <= 5 * dry);

        const QString small = d_work + "/source-full";
        if (!Make_Tree(small, {o.full_files, std::max(1, o.full_files / 10),
                               qint64(o.min_kib) * 1024, qint64(o.max_kib) * 1024, o.seed + 1}))
            return false;
        int round = 0;
        auto fresh = [&](const char* tag) {
            const QString folder = QString("%1/empty-%2-%3").arg(d_work, tag).arg(round++);
            QDir().mkpath(folder);
            return folder;
        };
        auto drop = [](const QString& folder) { QDir(folder).removeRecursively(); };
        std::vector<double> medians;
        if (!Medians(o.runs,
                     {[&] {
                          const QString folder = fresh("dorvane");
                          const double ms = Sync(small, folder);
                          drop(folder);
                          return ms;
                      },
                      [&] {
                          const QString folder = fresh("baseline");
                          const double ms = Copy_Ms(small, folder);
                          drop(folder);
                          return ms;
                      },
                      [&] {
                          const QString folder = fresh("floor");
                          const double ms = Floor_Ms(small, folder);
                          drop(folder);
                          return ms;
                      }},
                     &medians) ||
            Failed("full Sync", 2 * o.full_files))
            return false;
        const double full = medians[0], copy = medians[1], floor = medians[2];
        const QString copy_name = Has_Rsync() ? "rsync -rt" : "cp -rp";
        Print_Figure(QString("Full Sync, %1 files into an empty folder").arg(o.full_files), full,
                     copy_name, copy, QString("(ratio to %1)").arg(copy_name), true);
        Print_Figure(QString("Full Sync against the floor"), full, "floor", floor,
                     "target: at most 3 x floor", full <= 3 * floor);
        std::printf("%-44s %9.3f ms per file (copy beside, flush to disk, rename, one start of a "
                    "minimal static touch program, waited for)\n",
                    "Floor on its own", floor / o.full_files);

        const double start = Touch_Start_Ms(small);
        std::printf("%-44s %9.3f ms per start (QProcess, touch.exe, median of %d), %.0f ms for "
                    "%d files; the rest of the full Sync: %.0f ms\n",
                    "Touch program start on its own", start, o.touch_starts, start * o.full_files,
                    o.full_files, full - start * o.full_files);

        const double line = Pane_Line_Ms();
        std::printf("%-44s %9.3f ms per file (one Write_Entry, then pending events: the "
                    "pane repaints), %.0f ms for %d files\n",
                    "Pane line and repaint on their own", line, line * o.full_files, o.full_files);

        const double peak = double(Peak_Kib()) / 1024.0;
        std::printf("%-44s %9.1f MiB   target: under 150 MiB: %s\n",
                    qPrintable(QString("Peak memory, %1 files").arg(o.files)), peak,
                    peak < 150 ? "met" : "NOT MET");
        std::printf("SUMMARY files=%d source_report=%.0fms (%.1fx find) noop_sync=%.0fms (%.1fx "
                    "%s) full_sync_%d=%.0fms (%.1fx %s, %.1fx floor %.0fms) touch_start=%.2fms "
                    "peak=%.0fMiB\n",
                    o.files, report, report / find, noop, noop / dry, qPrintable(dry_name),
                    o.full_files, full, full / copy, qPrintable(copy_name), full / floor, floor,
                    start, peak);
        std::fflush(stdout);
        drop(source);
        drop(current);
        drop(small);
        return true;
    }

    // What any full sync by these rules must do, without Qt and without the
    // dialog: for each file a copy beside its target, flushed to disk and
    // renamed over it, then one start of a minimal statically linked touch
    // program, waited for. The tree is listed before the clock starts.
    double Floor_Ms(const QString& source, const QString& destination)
    {
        std::vector<QByteArray> folders, files;
        QDirIterator it(source,
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            (it.fileInfo().isDir() ? folders : files)
                .push_back(QFile::encodeName(path.mid(source.size())));
        }
        std::sort(folders.begin(), folders.end()); // parents first
        const QByteArray from = QFile::encodeName(source), to = QFile::encodeName(destination);
        const QByteArray touch =
            QFile::encodeName(QCoreApplication::applicationDirPath() + "/floor_touch");
        bool ok = true;
        const double ms = Elapsed_Ms([&] {
            for (const QByteArray& folder : folders)
                ok = ok && ::mkdir((to + folder).constData(), 0755) == 0;
            std::vector<char> buffer(64 * 1024);
            for (size_t i = 0; ok && i < files.size(); ++i) {
                const QByteArray in_path = from + files[i], out_path = to + files[i];
                const QByteArray temporary = out_path.left(out_path.lastIndexOf('/')) + "/.floor-" +
                                             QByteArray::number(qulonglong(i));
                struct stat info;
                const int in = ::open(in_path.constData(), O_RDONLY | O_CLOEXEC);
                const int out =
                    ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                ok = in >= 0 && out >= 0 && ::fstat(in, &info) == 0;
                for (ssize_t n = 1; ok && n > 0;) {
                    n = ::read(in, buffer.data(), buffer.size());
                    ok = n >= 0 && ::write(out, buffer.data(), size_t(n)) == n;
                }
                ok = ok && ::fdatasync(out) == 0;
                ::close(in);
                ok = ::close(out) == 0 && ok &&
                     ::rename(temporary.constData(), out_path.constData()) == 0;
                char time[32];
                struct tm local;
                ok = ok && localtime_r(&info.st_mtime, &local) &&
                     std::strftime(time, sizeof time, "%m%d%H%M%Y.%S", &local) > 0;
                char* arguments[] = {const_cast<char*>(touch.constData()), const_cast<char*>("-t"),
                                     time, const_cast<char*>(out_path.constData()), nullptr};
                pid_t pid = 0;
                int status = 0;
                ok = ok &&
                     posix_spawn(&pid, touch.constData(), nullptr, nullptr, arguments, environ) ==
                         0 &&
                     waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
                     WEXITSTATUS(status) == 0;
            }
        });
        if (!ok)
            std::printf("FAILED: the floor loop into %s\n", qPrintable(destination));
        return ok ? ms : -1;
    }

    // One start of the touch program as the sync makes it: one reused
    // QProcess, channels open, wait to start and to finish.
    double Touch_Start_Ms(const QString& folder)
    {
        const QString program = QCoreApplication::applicationDirPath() + "/touch.exe";
        const QString file = folder + "/touch-probe";
        QFile(file).open(QIODevice::WriteOnly);
        const QString time =
            QDateTime::currentDateTime().addSecs(-86400).toString("MMddhhmmyyyy.ss");
        QProcess process;
        std::vector<double> samples;
        for (int i = 0; i < d_options.touch_starts; ++i) {
            samples.push_back(Elapsed_Ms([&] {
                process.start(program, {"-t", time, file}, QIODevice::ReadWrite);
                process.waitForStarted(30000);
                process.waitForFinished(30000);
            }));
        }
        QFile::remove(file);
        return Median(samples);
    }

    // What the sync does in the pane for each copied file, without the copy.
    double Pane_Line_Ms()
    {
        d_dialog.Clear_Output();
        std::vector<double> samples;
        for (int i = 0; i < d_options.touch_starts; ++i) {
            samples.push_back(Elapsed_Ms([&] {
                d_dialog.Write_Entry("05 Mar 2017 01:07:09 PM",
                                     QString("/Procedures/Quality/QP-%1 Work Instruction.doc")
                                         .arg(i, 5, 10, QChar('0')));
                QCoreApplication::processEvents(QEventLoop::AllEvents);
            }));
        }
        return Median(samples);
    }

    // How the source report and the no-op sync grow with the number of files.
    bool Scale()
    {
        const TOptions& o = d_options;
        const int runs = std::max(1, std::min(o.runs, 3));
        std::printf("scale: files of 1 to %d bytes (the scan and the comparison do not read "
                    "content), medians of %d runs\n",
                    o.scale_max_bytes, runs);
        struct TRow
        {
            int files;
            double report, find, noop, dry, peak;
        };
        std::vector<TRow> rows;
        for (const int files : {2000, 20000, 200000}) {
            const QString source = QString("%1/scale-%2").arg(d_work).arg(files);
            const QString current = source + "-current";
            if (!Make_Tree(source, {files, files / 10, 1, o.scale_max_bytes, o.seed + 2}))
                return false;
            if (!Make_Copy(source, current))
                return false;
            TRow row{files, 0, 0, 0, 0, 0};
            if (!Compare(
                    runs, [&] { return Source_Report(source); }, [&] { return Find_Ms(source); },
                    &row.report, &row.find) ||
                Failed("Source Report", files))
                return false;
            if (!Compare(
                    runs, [&] { return Sync(source, current); },
                    [&] { return Dry_Run_Ms(source, current); }, &row.noop, &row.dry) ||
                Failed("no-op Sync", files))
                return false;
            row.peak = double(Peak_Kib()) / 1024.0;
            rows.push_back(row);
            std::printf("scale %6d files: Source Report %8.0f ms (find %6.0f ms, %4.1fx)   "
                        "no-op Sync %8.0f ms (%s %6.0f ms, %4.1fx)   peak %6.1f MiB\n",
                        files, row.report, row.find, row.report / row.find, row.noop,
                        Has_Rsync() ? "rsync --dry-run" : "find both", row.dry, row.noop / row.dry,
                        row.peak);
            std::fflush(stdout);
            QDir(source).removeRecursively();
            QDir(current).removeRecursively();
        }
        for (size_t i = 1; i < rows.size(); ++i) {
            const TRow& a = rows[i - 1];
            const TRow& b = rows[i];
            std::printf("scale %d -> %d files (x%.0f): Source Report x%.1f, no-op Sync x%.1f\n",
                        a.files, b.files, double(b.files) / a.files, b.report / a.report,
                        b.noop / a.noop);
        }
        const TRow& last = rows.back();
        const TRow& mid = rows[1];
        const bool linear = last.report <= 12 * mid.report && last.noop <= 12 * mid.noop;
        std::printf("SUMMARY scale 20000->200000: source_report x%.1f noop_sync x%.1f (target "
                    "at most x12: %s) peak_200000=%.0fMiB (target under 600 MiB: %s)\n",
                    last.report / mid.report, last.noop / mid.noop, linear ? "met" : "NOT MET",
                    last.peak, last.peak < 600 ? "met" : "NOT MET");
        return true;
    }

private:
    void Print_Figure(const QString& what, double ms, const QString& baseline, double baseline_ms,
                      const QString& target, bool met)
    {
        Q_UNUSED(met);
        std::printf("%-44s %9.1f ms   %s %8.1f ms   ratio %5.2f   %s\n", qPrintable(what), ms,
                    qPrintable(baseline), baseline_ms, ms / baseline_ms, qPrintable(target));
        std::fflush(stdout);
    }

    const TOptions d_options;
    const QString d_work;
    const QString d_rsync;
    TBoxGuard d_guard;
    TDorvane d_dialog;
    QLineEdit* d_source = nullptr;
    QLineEdit* d_destination = nullptr;
    QPlainTextEdit* d_output = nullptr;
};

bool Parse(const QStringList& args, TOptions* o)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto number = [&](auto* target) {
            if (i + 1 >= args.size())
                return false;
            bool ok = false;
            const qlonglong value = args[++i].toLongLong(&ok);
            *target = static_cast<std::remove_pointer_t<decltype(target)>>(value);
            return ok && value >= 0;
        };
        bool ok = true;
        if (a == "--files")
            ok = number(&o->files);
        else if (a == "--folders")
            ok = number(&o->folders);
        else if (a == "--min-kib")
            ok = number(&o->min_kib);
        else if (a == "--max-kib")
            ok = number(&o->max_kib);
        else if (a == "--seed")
            ok = number(&o->seed);
        else if (a == "--runs")
            ok = number(&o->runs);
        else if (a == "--full-files")
            ok = number(&o->full_files);
        else if (a == "--touch-starts")
            ok = number(&o->touch_starts);
        else if (a == "--scale-max-bytes")
            ok = number(&o->scale_max_bytes);
        else if (a == "--workdir" && i + 1 < args.size())
            o->workdir = args[++i];
        else if (a == "--scale")
            o->scale = true;
        else if (a == "--scale-only")
            o->scale = true, o->main = false;
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "dorvane_bench: bad argument '%s'\n", qPrintable(a));
            return false;
        }
    }
    if (o->min_kib < 1 || o->max_kib < o->min_kib || o->runs < 1 || o->files < 1 ||
        o->full_files < 1 || o->touch_starts < 1 || o->scale_max_bytes < 1) {
        std::fprintf(stderr, "dorvane_bench: inconsistent sizes or counts\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The dialog keeps its settings under HOME: never the real one.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "dorvane_bench: cannot make a temporary home folder\n");
        return 2;
    }
    qputenv("HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);

    TOptions options;
    if (!Parse(app.arguments(), &options))
        return 2;
    std::unique_ptr<QTemporaryDir> work(
        options.workdir.isEmpty() ? new QTemporaryDir()
                                  : new QTemporaryDir(options.workdir + "/dorvane-bench-XXXXXX"));
    if (!work->isValid()) {
        std::fprintf(stderr, "dorvane_bench: cannot make a work folder\n");
        return 2;
    }

    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::printf("dorvane_bench on %s, %ld cores, Qt %s; work folder %s\n", host,
                sysconf(_SC_NPROCESSORS_ONLN), qVersion(), qPrintable(work->path()));
    TBench bench(options, work->path());
    if (!bench.Has_Rsync())
        std::printf("rsync is missing: the no-op Sync is compared with find on both trees, "
                    "the full Sync with cp -rp\n");
    std::fflush(stdout);
    if (options.main && !bench.Main_Figures())
        return 1;
    if (options.scale && !bench.Scale())
        return 1;
    return 0;
}
