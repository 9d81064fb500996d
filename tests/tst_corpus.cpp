#include "fuzz/replay_referencelist.h"

#include <QtTest>

// Every input the fuzzer kept is read once more through the same path, so a
// fault it once found stays found without clang or libFuzzer.
class TCorpusTest : public QObject
{
    Q_OBJECT

private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        const QDir corpus(DORVANE_SOURCE_DIR "/tests/fuzz/corpus");
        const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
        QVERIFY2(names.size() >= 20, qPrintable(corpus.path()));
        for (const QString& name : names)
            QTest::newRow(qPrintable(name)) << corpus.filePath(name);
    }

    void replay()
    {
        QFETCH(QString, path);
        QFile input(path);
        QTemporaryDir folder;
        QVERIFY(input.open(QIODevice::ReadOnly) && folder.isValid());
        const QString problem = Replay_Reference_List(folder.path(), input.readAll());
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(TCorpusTest)
#include "tst_corpus.moc"
