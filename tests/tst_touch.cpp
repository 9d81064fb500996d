// The touch program on this platform, run the way the sync runs it: "-t", a
// local time as MMddhhmmyyyy.ss and a file. Local times are Berlin's.

#include "support/testsupport.h"

#include <QtTest>

// 2010-01-01 00:00:00 UTC: the time of "f" before each run.
static const qint64 k_old_time = 1262304000;

class TTouchTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> d_dir;
    QProcess d_touch;

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void init();

    void setsTheLocalTime_data();
    void setsTheLocalTime();
    void refusesAndChangesNothing_data();
    void refusesAndChangesNothing();

private:
    // False when the program did not run to its end.
    bool Run(const QStringList& arguments)
    {
        d_touch.start(DORVANE_TOUCH_EXE, arguments);
        return d_touch.waitForFinished(-1) && d_touch.exitStatus() == QProcess::NormalExit;
    }
    qint64 File_Time() { return ::File_Time(d_dir->filePath("f")); }
};

// Each run in a folder of its own, holding "f".
void TTouchTest::init()
{
    d_dir.reset(new QTemporaryDir);
    QVERIFY(Make_File(d_dir->filePath("f"), "x", k_old_time));
    d_touch.setWorkingDirectory(d_dir->path());
}

// Where an hour occurs twice, in autumn, either second will do.
void TTouchTest::setsTheLocalTime_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<bool>("hourTwice");
    QTest::newRow("winter") << "030513072017.09" << qint64(1488715629) << false;
    QTest::newRow("summer") << "070112002024.00" << qint64(1719828000) << false;
    QTest::newRow("an hour that occurs twice") << "102702302024.00" << qint64(1729989000) << true;
    QTest::newRow("29 February 2000, a leap century")
        << "022900002000.00" << qint64(951778800) << false;
    // mktime returns -1 for errors, and -1 is also this real second.
    QTest::newRow("the second before 1970") << "010100591970.59" << qint64(-1) << false;
}

void TTouchTest::setsTheLocalTime()
{
    QFETCH(QString, date);
    QFETCH(qint64, seconds);
    QFETCH(bool, hourTwice);
    QVERIFY(Run({"-t", date, "f"}));
    QCOMPARE(d_touch.readAllStandardError(), QByteArray());
    QCOMPARE(d_touch.exitCode(), 0);
    if (!hourTwice || File_Time() != seconds + 3600)
        QCOMPARE(File_Time(), seconds);
}

// The arguments, and the message without "touch: ". A line break in a name is
// shown as "?", so that the message stays one line.
void TTouchTest::refusesAndChangesNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QString usage = "usage: touch.exe -t MMddhhmmyyyy.ss FILE";
    QTest::newRow("no date") << QStringList({"-t"}) << usage;
    const auto invalid = [](const char* tag, const char* date, const char* reason) {
        QTest::newRow(tag) << QStringList({"-t", date, "f"})
                           << QString("invalid date '%1': %2").arg(date, reason);
    };
    invalid("month 13", "130513072017.09", "no such month");
    invalid("29 February 2100, no leap year", "022912002100.00", "no such day in that month");
    invalid("25 o'clock", "030525002017.00", "no such time of day");
    invalid("an hour skipped in spring", "033102302024.00", "no such local time");
    invalid("before 1900", "123123591899.59", "year before 1900");
    invalid("a letter", "0305130a2017.09", "expected MMddhhmmyyyy.ss");
    QTest::newRow("a missing file") << QStringList({"-t", "030513072017.09", "f\nx"})
                                    << "cannot touch 'f?x': No such file or directory";
    QTest::newRow("a folder") << QStringList({"-t", "030513072017.09", "."})
                              << "cannot touch '.': is a folder, not a file";
}

void TTouchTest::refusesAndChangesNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QVERIFY(Run(arguments));
    QCOMPARE(QString::fromUtf8(d_touch.readAllStandardError()), "touch: " + message + "\n");
    QCOMPARE(d_touch.exitCode(), 1);
    QCOMPARE(File_Time(), k_old_time);
    QCOMPARE(QDir(d_dir->path()).entryList(QDir::AllEntries | QDir::Hidden),
             QStringList({".", "..", "f"}));
}

QTEST_GUILESS_MAIN(TTouchTest)
#include "tst_touch.moc"
