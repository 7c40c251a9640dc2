// The reader of IcyTERM's phonebook.toml.
#include "tests/fuzz/ImportFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzImportReader(ReadIcyTermPhonebook, data, size);
}
