#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const qint64 earlier = 1262304000; // 2010-01-01 00:00:00 UTC

struct TRun
{
    int exit_code = -1;
    QByteArray out;
    QByteArray err;
};

TRun Run_Touch(const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TZ", "Europe/Berlin");
    environment.insert("LC_ALL", "C");
    process.setProcessEnvironment(environment);
    process.start(DORVANE_TOUCH_EXE, arguments);
    process.waitForFinished(-1);
    TRun run;
    if (process.exitStatus() == QProcess::NormalExit) {
        run.exit_code = process.exitCode();
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

bool Set_Times(const QString& path, qint64 seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

QString Make_File(const QTemporaryDir& dir)
{
    const QString path = dir.filePath("QP-01.doc");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("content\n") != 8) {
        return QString();
    }
    file.close();
    return Set_Times(path, earlier) ? path : QString();
}

struct stat Stat(const QString& path)
{
    struct stat info = {};
    stat(QFile::encodeName(path).constData(), &info);
    return info;
}

} // namespace

class TTouchTest : public QObject
{
    Q_OBJECT

private slots:
    void setsBothTimes_data();
    void setsBothTimes();
    void rejects_data();
    void rejects();
    void reportsTimeTheFileSystemCannotHold();
};

void TTouchTest::setsBothTimes_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<qint64>("expected");
    QTest::addColumn<qint64>("alternative"); // a local time that occurs twice

    QTest::newRow("winter") << "030513072017.09" << qint64(1488715629) << qint64(1488715629);
    QTest::newRow("summer") << "070112002024.00" << qint64(1719828000) << qint64(1719828000);
    QTest::newRow("29 February 2024")
        << "022923592024.59" << qint64(1709247599) << qint64(1709247599);
    QTest::newRow("29 February 2000")
        << "022900002000.00" << qint64(951778800) << qint64(951778800);
    QTest::newRow("new year's eve")
        << "123123592023.59" << qint64(1704063599) << qint64(1704063599);
    QTest::newRow("mktime's error value") << "010100591970.59" << qint64(-1) << qint64(-1);
    QTest::newRow("hour repeated in autumn")
        << "102702302024.00" << qint64(1729989000) << qint64(1729992600);
}

void TTouchTest::setsBothTimes()
{
    QFETCH(QString, date);
    QFETCH(qint64, expected);
    QFETCH(qint64, alternative);
    QTemporaryDir dir;
    const QString file = Make_File(dir);
    QVERIFY(!file.isEmpty());

    const TRun run = Run_Touch({"-t", date, file});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.exit_code, 0);
    const struct stat info = Stat(file);
    if (info.st_mtim.tv_sec != alternative) {
        QCOMPARE(qint64(info.st_mtim.tv_sec), expected);
    }
    QCOMPARE(qint64(info.st_atim.tv_sec), qint64(info.st_mtim.tv_sec));
    QCOMPARE(info.st_mtim.tv_nsec, 0L);
    QCOMPARE(info.st_atim.tv_nsec, 0L);
    QCOMPARE(info.st_size, off_t(8));
}

void TTouchTest::rejects_data()
{
    QTest::addColumn<QStringList>("arguments"); // <file>, <missing> and <dir> stand for paths
    QTest::addColumn<QString>("message");

    const QString usage = "usage: touch.exe -t MMddhhmmyyyy.ss FILE";
    const QString date = "030513072017.09";
    QTest::newRow("no arguments") << QStringList() << usage;
    QTest::newRow("one argument") << QStringList{"-t"} << usage;
    QTest::newRow("two arguments") << QStringList{"-t", date} << usage;
    QTest::newRow("four arguments") << QStringList{"-t", date, "<file>", "<file>"} << usage;
    QTest::newRow("-x") << QStringList{"-x", date, "<file>"} << usage;

    const struct
    {
        const char* name;
        const char* date;
        const char* reason;
    } dates[] = {
        {"month 13", "130513072017.09", "no such month"},
        {"day 00", "030013072017.09", "no such day in that month"},
        {"30 February", "023012002024.00", "no such day in that month"},
        {"29 February 2023", "022912002023.00", "no such day in that month"},
        {"29 February 2100", "022912002100.00", "no such day in that month"},
        {"25:00", "030525002017.00", "no such time of day"},
        {"minute 60", "030513602017.00", "no such time of day"},
        {"second 60", "030513072017.60", "no such time of day"},
        {"year 1899", "030513071899.09", "year before 1900"},
        {"hour skipped in spring", "033102302024.00", "no such local time"},
        {"letter", "0305130a2017.09", "expected MMddhhmmyyyy.ss"},
        {"no full stop", "03051307201709", "expected MMddhhmmyyyy.ss"},
        {"full stop misplaced", "0305130720170.9", "expected MMddhhmmyyyy.ss"},
        {"empty", "", "expected MMddhhmmyyyy.ss"},
    };
    for (const auto& d : dates) {
        QTest::newRow(d.name) << QStringList{"-t", d.date, "<file>"}
                              << QString("invalid date '%1': %2").arg(d.date, d.reason);
    }

    QTest::newRow("missing file") << QStringList{"-t", date, "<missing>"}
                                  << "cannot touch '<missing>': No such file or directory";
    QTest::newRow("line break in name") << QStringList{"-t", date, "<missing>\nx"}
                                        << "cannot touch '<missing>?x': No such file or directory";
    QTest::newRow("folder") << QStringList{"-t", date, "<dir>"}
                            << "cannot touch '<dir>': is a folder, not a file";
    QTest::newRow("under a file") << QStringList{"-t", date, "<file>/x"}
                                  << "cannot touch '<file>/x': Not a directory";
}

void TTouchTest::rejects()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString file = Make_File(dir);
    const QString folder = dir.filePath("sub");
    QVERIFY(!file.isEmpty() && QDir().mkdir(folder) && Set_Times(folder, earlier));
    const auto Expand = [&](QString text) {
        return text.replace("<file>", file)
            .replace("<missing>", dir.filePath("missing.doc"))
            .replace("<dir>", folder);
    };
    for (QString& argument : arguments) {
        argument = Expand(argument);
    }

    const TRun run = Run_Touch(arguments);
    QCOMPARE(run.exit_code, 1);
    QCOMPARE(QString::fromLocal8Bit(run.err), "touch: " + Expand(message) + "\n");
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(qint64(Stat(file).st_mtim.tv_sec), earlier);
    QCOMPARE(qint64(Stat(file).st_atim.tv_sec), earlier);
    QCOMPARE(qint64(Stat(folder).st_mtim.tv_sec), earlier);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList({"QP-01.doc", "sub"}));
}

// Some file systems clamp a far-off time without an error; this must not pass as done.
void TTouchTest::reportsTimeTheFileSystemCannotHold()
{
    QTemporaryDir dir;
    const QString file = Make_File(dir);
    QVERIFY(!file.isEmpty());

    const TRun run = Run_Touch({"-t", "123123599999.59", file});
    if (run.exit_code == 0) {
        QCOMPARE(qint64(Stat(file).st_mtim.tv_sec), Q_INT64_C(253402297199));
    } else {
        QCOMPARE(run.exit_code, 1);
        QCOMPARE(QString::fromLocal8Bit(run.err), "touch: cannot set the time of '" + file +
                                                      "': the file system cannot hold that time\n");
    }
}

QTEST_GUILESS_MAIN(TTouchTest)
#include "tst_touch.moc"
