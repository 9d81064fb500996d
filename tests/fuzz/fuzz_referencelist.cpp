#include "replay_referencelist.h"

#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir folder;
    const QString problem = Replay_Reference_List(
        folder.path(), QByteArray(reinterpret_cast<const char*>(data), int(size)));
    // qFatal aborts, which libFuzzer takes for a crash and keeps the input.
    if (!problem.isEmpty())
        qFatal("%s", qPrintable(problem));
    return 0;
}
