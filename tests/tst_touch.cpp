#include <QtTest>

class TTouchTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "Europe/Berlin"); }

    // Arguments, then after "|" the times the file may get (none: refused). Set: winter, summer,
    // 29 February 2024 and 2000, mktime's error value -1, and an hour that occurs twice in
    // autumn, where either second will do. Refused: wrong counts or flag; month 13, 30 February,
    // 29 February 2100, 25:00, an hour skipped in spring, malformed dates; a missing file with a
    // line break in its name; a folder.
    void Touch_data()
    {
        QTest::addColumn<QString>("row");
        for (const QString r :
             {"-t 030513072017.09 f|1488715629", "-t 070112002024.00 f|1719828000",
              "-t 022923592024.59 f|1709247599", "-t 022900002000.00 f|951778800",
              "-t 010100591970.59 f|-1", "-t 102702302024.00 f|1729989000|1729992600", "-t",
              "-t 030513072017.09 f f", "-x 030513072017.09 f", "-t 130513072017.09 f",
              "-t 023012002024.00 f", "-t 022912002100.00 f", "-t 030525002017.00 f",
              "-t 033102302024.00 f", "-t 0305130a2017.09 f", "-t 0305130720170.9 f",
              "-t 030513072017.09 f\nx", "-t 030513072017.09 ."})
            QTest::newRow(qPrintable(r)) << r;
    }

    // In a folder of its own with a file "f" dated 2010-01-01 00:00:00 UTC. Compared: the exit
    // code, stderr and the file's time in milliseconds; refused means exit code 1, one line on
    // stderr and the time kept. Either way nothing is created.
    void Touch()
    {
        QFETCH(QString, row);
        QTemporaryDir dir;
        QFile file(dir.filePath("f"));
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.setFileTime(QDateTime::fromSecsSinceEpoch(1262304000),
                                 QFile::FileModificationTime));
        QProcess touch;
        touch.setWorkingDirectory(dir.path());
        touch.start(DORVANE_TOUCH_EXE, row.section('|', 0, 0).split(' '));
        QVERIFY(touch.waitForFinished(-1) && touch.exitStatus() == QProcess::NormalExit);
        const qint64 ms = QFileInfo(file).lastModified().toMSecsSinceEpoch();
        const QString got = QString::number(touch.exitCode()) + ':' + touch.readAllStandardError() +
                            '@' + QString::number(ms);
        const QString want = row.contains('|') ? "0:@(" + row.section('|', 1) + ")000"
                                               : "1:touch: [^\n]*\n@1262304000000";
        QVERIFY2(QRegularExpression("^(?:" + want + ")$").match(got).hasMatch(), qPrintable(got));
        QCOMPARE(QDir(dir.path()).entryList(), QStringList({".", "..", "f"}));
    }
};

QTEST_GUILESS_MAIN(TTouchTest)
#include "tst_touch.moc"
