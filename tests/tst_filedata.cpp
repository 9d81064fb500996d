#include "filedata.h"

#include "support/testsupport.h"

#include <QtTest>
// Users and permission bits are POSIX's: an unreadable folder is staged on Linux only.
#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

// An empty file, its folders made as needed; mtime in seconds since 1970 UTC.
static bool Make(const QString& path, qint64 mtime = 1000)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.setFileTime(QDateTime::fromSecsSinceEpoch(mtime, Qt::UTC),
                            QFileDevice::FileModificationTime);
}

class TFileDataTest : public QObject
{
    Q_OBJECT

private slots:
    void scan_data()
    {
        // Names apart by blanks. "d/": an empty folder; "a>b": a link a to b, b taken from the
        // scanned folder. A folder "locked" cannot be read. "*": the order in which the
        // directory lists them.
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QString>("expected");
        // Hidden files count; ".DS_Store" (so written) is left out, file or folder; what cannot
        // be read is left out too.
#ifdef Q_OS_WIN
        // Windows names that differ only in case are one: no folder ".DS_Store" beside a file
        // ".ds_store". Nothing is made unreadable.
        QTest::newRow("order, hidden")
            << "b A Z _u s/c s/a s/D/x \u00e9 \U0001F600 \uFF21 .hidden .h/x .DS_Store s/.ds_store "
               "t/.DS_Store/x e/ o/.DS_Store o/p/.DS_Store open/a"
            << ".h/x .hidden _u A b open/a s/.ds_store s/a s/c s/D/x Z \u00e9 \U0001F600 \uFF21";
#else
        QTest::newRow("order, hidden, unreadable")
            << "b A Z _u s/c s/a s/D/x \u00e9 \U0001F600 \uFF21 .hidden .h/x .DS_Store s/.ds_store "
               "s/.DS_Store/x e/ o/.DS_Store o/p/.DS_Store open/a locked/b"
            << ".h/x .hidden _u A b open/a s/.ds_store s/a s/c s/D/x Z \u00e9 \U0001F600 \uFF21";
#endif
        QString case_equal; // 32 names: enough to show an unstable sort
        for (int bits = 32; bits < 64; ++bits)
            case_equal += QString::number(bits, 2).mid(1).replace('0', 'x').replace('1', 'X') + ' ';
        QTest::newRow("case-equal names") << case_equal.trimmed() << "*";
#ifdef Q_OS_WIN
        // A link on Windows is a shortcut file, "NAME.lnk"; one to a folder is followed as a
        // folder of that name, one to a file listed as a file.
        QTest::newRow("links are shortcut files")
            << "x/f y/g ../out/f ln.lnk>../out f.lnk>../out/f x/y.lnk>y"
            << "f.lnk ln.lnk/f x/f x/y.lnk/g y/g";
#else
        QTest::newRow("links, cycles")
            << "x/f y/g ../out/f ln>../out f>../out/f no>../none x/y>y y/x>x x/up>. me>me"
            << "f ln/f x/f x/y/g y/g y/x/f";
#endif
    }

    void scan()
    {
        QFETCH(QString, entries);
        QFETCH(QString, expected);
        // Root reads any folder, so root makes and scans the files as "nobody"; "locked" is
        // unreadable for the scan only.
#ifndef Q_OS_WIN
        const bool nobody = geteuid() == 0 && seteuid(65534) == 0;
#endif
        QTemporaryDir dir;
        const QString root = dir.path() + "/src/";
        for (const QString& entry : entries.split(' '))
            QVERIFY(entry.contains('>')
                        ? QFile::link(root + entry.section('>', 1), root + entry.section('>', 0, 0))
                    : entry.endsWith('/') ? QDir().mkpath(root + entry)
                                          : Make(root + entry));
        if (expected == "*")
            expected = QDir(root).entryList(QDir::Files, QDir::Unsorted).join(' ');
        TFileData data;
#ifdef Q_OS_WIN
        QVERIFY(data.Scan_Source(root));
#else
        chmod(qPrintable(root + "locked"), 0);
        QVERIFY(data.Scan_Source(root));
        chmod(qPrintable(root + "locked"), 0700);
        QVERIFY(!nobody || seteuid(0) == 0);
#endif
        QCOMPARE(data.d_source_file_names.join(' '), expected);
    }

    void compare()
    {
        // Not UTC, so that a local time taken for a count would show.
        Set_Time_Zone("CET-1CEST,M3.5.0,M10.5.0/3");
        QCOMPARE(QDateTime::fromSecsSinceEpoch(1000000).offsetFromUtc(), 3600);
        // Each file is named by how much older it is than the time recorded for it.
        QTemporaryDir dir;
        TFileData data;
        for (int older : {0, 1, 3599, 3600, 3601, 2, 3598, 3602, -1, -3600})
            QVERIFY(Make(dir.path() + "/" + QString::number(older), 1000000 - older));
        QVERIFY(Make(dir.path() + "/1965", -157766400));
        // Files to update come in the order of the list. Before 1970 counts as 4294967295, as
        // the writer records it.
        data.d_reference_order = QDir(dir.path()).entryList(QDir::Files) << "missing";
        for (const QString& name : data.d_reference_order)
            data.d_reference_times.insert(name, name == "1965" ? 4294967295u : 1000000u);
        QVERIFY(data.Make_Update_List(dir.path()));
        // Failures, which leave the list there was: no recorded times; a source given relative
        // (and named absolute) that is missing or no folder.
        data.d_reference_times.clear();
        QVERIFY(!data.Make_Update_List(dir.path()));
        QCOMPARE(data.Last_Error(), QString("Source list is empty"));
        QVERIFY(!data.Scan_Source(QDir::current().relativeFilePath(dir.path() + "/none")));
        QCOMPARE(data.Last_Error(), "Source path '" + dir.path() + "/none' does not exist");
        QVERIFY(!data.Scan_Source(QDir::current().relativeFilePath(dir.path() + "/1965")));
        QCOMPARE(data.Last_Error(), "Source path '" + dir.path() + "/1965' must be a directory");
        QCOMPARE(data.d_update_file_names.join(' '), QString("-1 -3600 2 3598 3602 missing"));
    }
};

QTEST_GUILESS_MAIN(TFileDataTest)
#include "tst_filedata.moc"
