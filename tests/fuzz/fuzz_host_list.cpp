// The reader of plain lists of hosts and links.
#include "tests/fuzz/ImportFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzImportReader(ReadPlainHostList, data, size);
}
