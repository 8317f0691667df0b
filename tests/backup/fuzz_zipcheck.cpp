// libFuzzer target for the zip checks that restore and merge run before anything is written:
// every byte string must be refused or read without a crash or a sanitizer report.
//   clang++ -fsanitize=fuzzer,address ... tests/backup/fuzz_zipcheck.cpp backup/ZipReader.cpp
#include "backup/ZipReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return backup::checkZipBytes(data, size);
}
