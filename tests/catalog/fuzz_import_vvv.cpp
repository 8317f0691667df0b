// libFuzzer target for the vvv import reader.
#include "fuzz_import_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzImportReader(catimport::Format::VvvCsv, data, size);
}
