#include "fuzz/replay_referencelist.h"

#include <QtTest>

// Every input the fuzzer kept is read once more through the same path, so a fault it once
// found stays found without clang or libFuzzer. The reader only reads, so it reads them in place.
class TCorpusTest : public QObject
{
    Q_OBJECT

private slots:
    void replay()
    {
        const QDir corpus(DORVANE_SOURCE_DIR "/tests/fuzz/corpus");
        const QStringList names = corpus.entryList(QDir::Files);
        QVERIFY2(names.size() >= 20, qPrintable(corpus.path()));
        for (const QString& name : names)
            QCOMPARE(name + ": " + Replay_Reference_List(corpus.path(), name), name + ": ");
    }
};

QTEST_GUILESS_MAIN(TCorpusTest)
#include "tst_corpus.moc"
