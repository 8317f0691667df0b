// libFuzzer target for the gocatcli TOML import reader.
#include "fuzz_import_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzImportReader(catimport::Format::GocatcliToml, data, size);
}
