#include "filedata.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

// A one-byte file, its folders made as needed; mtime in seconds since 1970 UTC.
static bool Make(const QString& path, qint64 mtime = 1000)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1 && file.flush() &&
           file.setFileTime(QDateTime::fromSecsSinceEpoch(mtime, Qt::UTC),
                            QFileDevice::FileModificationTime);
}

class TFileDataTest : public QObject
{
    Q_OBJECT

private slots:
    void scan_data()
    {
        // Names apart by blanks. "d/": an empty folder; "a>b": a link a to b, b taken
        // from the scanned folder. "*": the order in which the directory lists them.
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QString>("expected");
        QTest::newRow("order") << "b A Z _u s/c s/a s/D/x \u00e9 \U0001F600 \uFF21"
                               << "_u A b s/a s/c s/D/x Z \u00e9 \U0001F600 \uFF21";
        QString case_equal; // 32 names: enough to show an unstable sort
        for (int bits = 32; bits < 64; ++bits) {
            case_equal += QString::number(bits, 2).mid(1).replace('0', 'x').replace('1', 'X') + ' ';
        }
        QTest::newRow("case-equal names") << case_equal.trimmed() << "*";
        QTest::newRow("hidden, .DS_Store, no files")
            << ".hidden .h/x .DS_Store s/.ds_store s/.DS_Store/x e/ o/.DS_Store o/p/.DS_Store"
            << ".h/x .hidden s/.ds_store";
        QTest::newRow("links, cycles")
            << "x/f y/g ../out/f ln>../out f>../out/f no>../none x/y>y y/x>x x/up>. me>me"
            << "f ln/f x/f x/y/g y/g y/x/f";
    }

    void scan()
    {
        QFETCH(QString, entries);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString root = dir.path() + "/src/";
        for (const QString& entry : entries.split(' ')) {
            const QStringList link = entry.split('>');
            QVERIFY(link.size() == 2      ? QFile::link(root + link[1], root + link[0])
                    : entry.endsWith('/') ? QDir().mkpath(root + entry)
                                          : Make(root + entry));
        }
        if (expected == "*") {
            expected = QDir(root).entryList(QDir::Files, QDir::Unsorted).join(' ');
        }
        TFileData data;
        QVERIFY(data.Scan_Source(root));
        QCOMPARE(data.d_source_file_names.join(' '), expected);
    }

    void unreadableFolder()
    {
        QTemporaryDir dir;
        QVERIFY(Make(dir.path() + "/open/a") && Make(dir.path() + "/locked/b"));
        QVERIFY(chmod(qPrintable(dir.path()), 0755) == 0 &&
                chmod(qPrintable(dir.path() + "/locked"), 0) == 0);
        // Root reads any folder, so root scans as "nobody" and then takes its rights back.
        const bool root = geteuid() == 0;
        if (root && seteuid(65534) != 0) {
            QSKIP("cannot scan as an unprivileged user here");
        }
        TFileData data;
        const bool scanned = data.Scan_Source(dir.path());
        QVERIFY(!root || seteuid(0) == 0);
        QVERIFY(chmod(qPrintable(dir.path() + "/locked"), 0700) == 0 && scanned);
        QCOMPARE(data.d_source_file_names, QStringList("open/a"));
    }

    void scanErrors()
    {
        // Given relative, named absolute.
        QTemporaryDir dir;
        const QString none = dir.path() + "/none", plain = dir.path() + "/plain.doc";
        QVERIFY(Make(plain));
        TFileData data;
        QVERIFY(!data.Scan_Source(QDir::current().relativeFilePath(none)));
        QCOMPARE(data.d_error, "Source path '" + none + "' does not exist");
        QVERIFY(!data.Scan_Source(QDir::current().relativeFilePath(plain)));
        QCOMPARE(data.Last_Error(), "Source path '" + plain + "' must be a directory");
    }

    void compare()
    {
        // Not UTC, so that a local time taken for a count would show.
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        qputenv("LC_ALL", "C");
        tzset();
        // Each file is named by how much older it is than the time recorded for it.
        QTemporaryDir dir;
        TFileData data;
        for (int older : {0, 1, 3599, 3600, 3601, 2, 3598, 3602, -1, -3600}) {
            QVERIFY(Make(dir.path() + "/" + QString::number(older), 1000000 - older));
            data.d_reference_times.insert(QString::number(older), 1000000);
        }
        // Before 1970 counts as 4294967295, as the writer records it.
        QVERIFY(Make(dir.path() + "/1965", -157766400));
        data.d_reference_times.insert("1965", 4294967295u);
        data.d_reference_times.insert("missing", 1000000);
        QVERIFY(data.Make_Update_List(dir.path()));
        data.d_update_file_names.sort();
        QCOMPARE(data.d_update_file_names.join(' '), QString("-1 -3600 2 3598 3602 missing"));
        // An empty table is a failure and leaves the previous list.
        data.d_reference_times.clear();
        QVERIFY(!data.Make_Update_List(dir.path()));
        QCOMPARE(data.d_error, QString("Source list is empty"));
        QCOMPARE(data.Update_File_Count(), 6);
    }
};

QTEST_GUILESS_MAIN(TFileDataTest)
#include "tst_filedata.moc"
