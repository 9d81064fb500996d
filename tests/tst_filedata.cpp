#include "filedata.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const qint64 Now = std::numeric_limits<qint64>::min();

bool Make(const QString& path, qint64 mtime = Now)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1 || !file.flush()) {
        return false;
    }
    return mtime == Now || file.setFileTime(QDateTime::fromSecsSinceEpoch(mtime, Qt::UTC),
                                            QFileDevice::FileModificationTime);
}
} // namespace

class TFileDataTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        qputenv("LC_ALL", "C");
        tzset();
    }

    void scanOrderAndFilter()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString root = dir.path() + "/src";
        const QStringList files = {"b.doc",
                                   "A.doc",
                                   "Z.doc",
                                   "_u.doc",
                                   "\u00e9.doc",
                                   "\U0001F600.doc",
                                   "\uFF21.doc",
                                   ".hidden",
                                   ".ds_store",
                                   ".DS_Store",
                                   "sub/c.doc",
                                   "sub/a.doc",
                                   "sub/.DS_Store/inside.doc",
                                   "sub/Deep/x.doc",
                                   "only/.DS_Store",
                                   "only/deeper/.DS_Store"};
        for (const QString& name : files) {
            QVERIFY(Make(root + "/" + name));
        }
        QVERIFY(QDir().mkpath(root + "/empty"));

        TFileData data;
        QVERIFY(data.Scan_Source(root));
        const QStringList expected = {".ds_store", ".hidden",    "_u.doc",         "A.doc",
                                      "b.doc",     "sub/a.doc",  "sub/c.doc",      "sub/Deep/x.doc",
                                      "Z.doc",     "\u00e9.doc", "\U0001F600.doc", "\uFF21.doc"};
        QCOMPARE(data.d_source_file_names, expected);
        QCOMPARE(data.Source_File_Count(), expected.size());
        QCOMPARE(data.Child_Count(), 12); // "empty" and "only" are nodes without files
        QCOMPARE(data.Source_File_Path("", 3), QString("/A.doc"));
        QCOMPARE(data.Source_File_Path("/base", 5), QString("/base/sub/a.doc"));
        QVERIFY(data.d_error.isEmpty());

        // A second scan replaces everything; a failed one changes nothing.
        QVERIFY(QFile::remove(root + "/b.doc"));
        QVERIFY(data.Scan_Source(root + "/"));
        QCOMPARE(data.Source_File_Count(), expected.size() - 1);
        QVERIFY(!data.Scan_Source(root + "/gone"));
        QCOMPARE(data.Source_File_Count(), expected.size() - 1);
        QCOMPARE(data.Child_Count(), 11);
    }

    void caseEqualNamesKeepDirectoryOrder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // 32 names equal but for case: enough to show an unstable sort.
        for (int bits = 0; bits < 32; ++bits) {
            QString name = "abcde";
            for (int i = 0; i < 5; ++i) {
                if (bits & (1 << i)) {
                    name[i] = name[i].toUpper();
                }
            }
            QVERIFY(Make(dir.path() + "/" + name));
        }
        QVERIFY(Make(dir.path() + "/abcd"));
        QVERIFY(Make(dir.path() + "/ABCDF"));
        QStringList expected;
        QDirIterator it(dir.path(), QDir::Files);
        while (it.hasNext()) {
            const QString name = QFileInfo(it.next()).fileName();
            if (name.size() == 5 && name.compare("abcde", Qt::CaseInsensitive) == 0) {
                expected.append(name);
            }
        }
        expected.prepend("abcd");
        expected.append("ABCDF");

        TFileData data;
        QVERIFY(data.Scan_Source(dir.path()));
        QCOMPARE(data.d_source_file_names, expected);
    }

    void linksAndCycles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString root = dir.path() + "/src";
        const QString outside = dir.path() + "/outside";
        QVERIFY(Make(outside + "/f.txt"));
        QVERIFY(Make(root + "/x/f.txt"));
        QVERIFY(Make(root + "/y/g.txt"));
        QVERIFY(QFile::link(outside, root + "/ln"));
        QVERIFY(QFile::link(outside + "/f.txt", root + "/file-link"));
        QVERIFY(QFile::link(dir.path() + "/missing", root + "/broken"));
        QVERIFY(QFile::link(root + "/y", root + "/x/toy"));
        QVERIFY(QFile::link(root + "/x", root + "/y/tox"));
        QVERIFY(QFile::link(root, root + "/x/up"));
        QVERIFY(QFile::link(root + "/self", root + "/self"));

        TFileData data;
        QVERIFY(data.Scan_Source(root));
        const QStringList expected = {"file-link",   "ln/f.txt", "x/f.txt",
                                      "x/toy/g.txt", "y/g.txt",  "y/tox/f.txt"};
        QCOMPARE(data.d_source_file_names, expected);

        // The link that closes a cycle is still a folder node, just not entered.
        TFileNode* x = data.Child(2);
        QCOMPARE(x->Name(), QString("x"));
        QCOMPARE(x->Child(2)->Name(), QString("up"));
        QVERIFY(x->Child(2)->Is_Folder());
        QCOMPARE(x->Child(2)->Child_Count(), 0);
    }

    void unreadableFolder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(Make(dir.path() + "/open/a.txt"));
        QVERIFY(Make(dir.path() + "/locked/b.txt"));
        QVERIFY(QFile::setPermissions(
            dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                            QFileDevice::ReadOther | QFileDevice::ExeOther));
        QVERIFY(QFile::setPermissions(dir.path() + "/locked", QFileDevice::Permissions()));

        // Root reads any folder, so the scan runs as "nobody" in a child process.
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
                _exit(2);
            }
            TFileData data;
            if (!data.Scan_Source(dir.path())) {
                _exit(2);
            }
            const bool ok = data.d_source_file_names == QStringList{"open/a.txt"} &&
                            data.Child_Count() == 2 && data.Child(0)->Is_Folder() &&
                            data.Child(0)->Child_Count() == 0;
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QFile::setPermissions(dir.path() + "/locked", QFileDevice::ReadOwner |
                                                          QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner);
        QVERIFY(WIFEXITED(status));
        if (WEXITSTATUS(status) == 2) {
            QSKIP("cannot scan as an unprivileged user here");
        }
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    void scanErrors()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(Make(dir.path() + "/plain.doc"));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        TFileData data;
        const bool missing = data.Scan_Source("nothere");
        const QString missing_error = data.d_error;
        const bool plain = data.Scan_Source("plain.doc");
        QDir::setCurrent(previous);

        QVERIFY(!missing);
        QCOMPARE(missing_error, "Source path '" + dir.path() + "/nothere' does not exist");
        QVERIFY(!plain);
        QCOMPARE(data.Last_Error(),
                 "Source path '" + dir.path() + "/plain.doc' must be a directory");
        QVERIFY(!data.Is_Folder());
        // A later success does not clear the error.
        QVERIFY(data.Scan_Source(dir.path()));
        QVERIFY(!data.d_error.isEmpty());
    }

    void compare_data()
    {
        QTest::addColumn<qint64>("actual"); // Now: no file
        QTest::addColumn<uint>("recorded");
        QTest::addColumn<bool>("current");
        const uint t = 1000000;
        QTest::newRow("equal") << qint64(t) << t << true;
        QTest::newRow("older by 1") << qint64(t - 1) << t << true;
        QTest::newRow("older by 2") << qint64(t - 2) << t << false;
        QTest::newRow("newer by 1") << qint64(t + 1) << t << false;
        QTest::newRow("older by 3598") << qint64(t - 3598) << t << false;
        QTest::newRow("older by 3599") << qint64(t - 3599) << t << true;
        QTest::newRow("older by 3600") << qint64(t - 3600) << t << true;
        QTest::newRow("older by 3601") << qint64(t - 3601) << t << true;
        QTest::newRow("older by 3602") << qint64(t - 3602) << t << false;
        QTest::newRow("newer by 3600") << qint64(t + 3600) << t << false;
        QTest::newRow("newer by 3601") << qint64(t + 3601) << t << false;
        QTest::newRow("missing") << Now << t << false;
        QTest::newRow("recorded 0, file 1 s later") << qint64(1) << 0u << false;
        // Before 1970 counts as 4294967295, as the writer records it.
        QTest::newRow("1965 vs out of range") << qint64(-157766400) << 4294967295u << true;
        QTest::newRow("1965 vs wrapped") << qint64(-157766400) << uint(-157766400) << false;
    }

    void compare()
    {
        QFETCH(qint64, actual);
        QFETCH(uint, recorded);
        QFETCH(bool, current);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (actual != Now) {
            QVERIFY(Make(dir.path() + "/sub/f.doc", actual));
        }
        TFileData data;
        data.d_reference_times.insert("sub/f.doc", recorded);
        QVERIFY(data.Make_Update_List(dir.path()));
        QCOMPARE(data.Update_File_Count(), current ? 0 : 1);
        if (!current) {
            QCOMPARE(data.Update_File_Path("", 0), QString("sub/f.doc"));
            QCOMPARE(data.Update_File_Path(dir.path() + "/", 0), dir.path() + "/sub/f.doc");
        }
    }

    void compareListAndEmptyTable()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(Make(dir.path() + "/a.doc", 5000));
        QVERIFY(Make(dir.path() + "/b b/c.doc", 5000));
        TFileData data;
        data.d_reference_times = {{"a.doc", 5000}, {"b b/c.doc", 6000}, {"gone.doc", 1}};
        QVERIFY(data.Make_Update_List(dir.path() + "/"));
        QStringList updates = data.d_update_file_names;
        updates.sort();
        QCOMPARE(updates, QStringList({"b b/c.doc", "gone.doc"}));

        data.d_reference_times.clear();
        QVERIFY(!data.Make_Update_List(dir.path()));
        QCOMPARE(data.d_error, QString("Source list is empty"));
        QCOMPARE(data.Update_File_Count(), 2);
    }

    void nodeOwnership()
    {
        TFileNode folder;
        folder.Set_Folder(true);
        TFileNode* sub = new TFileNode(&folder);
        sub->Set_Folder(true);
        new TFileNode(sub);
        new TFileNode(&folder);
        QCOMPARE(folder.Child_Count(), 2);
        QCOMPARE(folder.Child(0)->Child_Count(), 1);
        folder.Set_Folder(false); // frees the subtree (the leak checker would tell)
        QCOMPARE(folder.Child_Count(), 0);

        TFileNode* orphan = new TFileNode(&folder); // a file takes no children
        QCOMPARE(folder.Child_Count(), 0);
        delete orphan;
    }
};

QTEST_GUILESS_MAIN(TFileDataTest)
#include "tst_filedata.moc"
