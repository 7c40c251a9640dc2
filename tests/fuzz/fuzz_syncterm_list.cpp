// The reader of SyncTERM's syncterm.lst.
#include "tests/fuzz/ImportFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzImportReader(ReadSyncTermList, data, size);
}
