#include "replay_referencelist.h"

#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {
QTemporaryDir* Folder = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Folder = new QTemporaryDir();
    if (!Folder->isValid())
        std::abort();
    std::atexit([] { delete Folder; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString problem = Replay_Reference_List(
        Folder->path(), QByteArray(reinterpret_cast<const char*>(data), int(size)));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        std::abort();
    }
    return 0;
}
