#include "../support/testsupport.h"
#include "replay_referencelist.h"

// qFatal aborts, which libFuzzer takes for a crash and keeps the input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir folder;
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const QString problem = Make_File(folder.filePath("reference_list.xml"), bytes)
                                ? Replay_Reference_List(folder.path(), "reference_list.xml")
                                : "cannot write " + folder.path();
    if (!problem.isEmpty())
        qFatal("%s", qPrintable(problem));
    return 0;
}
