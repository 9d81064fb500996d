#include <QtTest>

static const qint64 Start = 1262304000; // 2010-01-01 00:00:00 UTC

class TTouchTest : public QObject
{
    Q_OBJECT

    QScopedPointer<QTemporaryDir> d_dir;

    // Runs touch in the case's folder; returns the exit code (-1 after a crash), a colon and
    // what it wrote to stderr.
    QString Run(const QStringList& Arguments)
    {
        QProcess process;
        process.setWorkingDirectory(d_dir->path());
        process.start(DORVANE_TOUCH_EXE, Arguments);
        process.waitForFinished(-1);
        const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return QString::number(code) + ':' + process.readAllStandardError();
    }

    qint64 Modified() { return QFileInfo(d_dir->filePath("f")).lastModified().toMSecsSinceEpoch(); }

private slots:
    // Each case has a file "f", dated Start, alone in a folder.
    void init()
    {
        qputenv("TZ", "Europe/Berlin");
        d_dir.reset(new QTemporaryDir);
        QFile f(d_dir->filePath("f"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.setFileTime(QDateTime::fromSecsSinceEpoch(Start), QFile::FileModificationTime));
    }

    // Winter, summer, 29 February 2024 and 2000, mktime's error value -1, and an hour that occurs
    // twice in autumn, where either second will do.
    void Valid_data()
    {
        QTest::addColumn<QStringList>("seconds"); // the date first
        for (const char* row : {"030513072017.09 1488715629", "070112002024.00 1719828000",
                                "022923592024.59 1709247599", "022900002000.00 951778800",
                                "010100591970.59 -1", "102702302024.00 1729989000 1729992600"})
            QTest::newRow(row) << QString(row).split(' ');
    }

    void Valid()
    {
        QFETCH(QStringList, seconds);
        QCOMPARE(Run({"-t", seconds.takeFirst(), "f"}), QString("0:"));
        QVERIFY(Modified() % 1000 == 0 && seconds.contains(QString::number(Modified() / 1000)));
    }

    // Wrong counts or flag; month 13, 30 February, 29 February 2100, 25:00, an hour skipped in
    // spring, malformed dates; a missing file, a line break in its name, a folder.
    void Invalid_data()
    {
        QTest::addColumn<QStringList>("arguments");
        for (const char* row :
             {"-t", "-t 030513072017.09 f f", "-x 030513072017.09 f", "-t 130513072017.09 f",
              "-t 023012002024.00 f", "-t 022912002100.00 f", "-t 030525002017.00 f",
              "-t 033102302024.00 f", "-t 0305130a2017.09 f", "-t 0305130720170.9 f",
              "-t 030513072017.09 missing", "-t 030513072017.09 f\nx", "-t 030513072017.09 ."})
            QTest::newRow(row) << QString(row).split(' ');
    }

    // Exit code 1, one line on stderr, and nothing touched or created.
    void Invalid()
    {
        QFETCH(QStringList, arguments);
        const QString out = Run(arguments);
        QVERIFY2(out.contains(QRegularExpression("\\A1:touch: [^\n]*\n\\z")), qPrintable(out));
        QCOMPARE(Modified(), Start * 1000);
        QCOMPARE(QDir(d_dir->path()).entryList(), QStringList({".", "..", "f"}));
    }
};

QTEST_GUILESS_MAIN(TTouchTest)
#include "tst_touch.moc"
