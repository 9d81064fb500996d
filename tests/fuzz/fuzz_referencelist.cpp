#include "replay_referencelist.h"

#include <QFile>
#include <QTemporaryDir>

// qFatal aborts, which libFuzzer takes for a crash and keeps the input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir folder;
    QFile file(folder.filePath("reference_list.xml"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    const QString problem = Replay_Reference_List(folder.path(), "reference_list.xml");
    if (!problem.isEmpty())
        qFatal("%s", qPrintable(problem));
    return 0;
}
