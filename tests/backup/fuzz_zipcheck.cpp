// libFuzzer target for the zip checks that restore and merge run before anything is written:
// every byte string must be refused, or read within the reader's promises, without a crash or
// a sanitizer report.
//   clang++ -fsanitize=fuzzer,address ... tests/backup/fuzz_zipcheck.cpp backup/ZipReader.cpp
#include "backup/ZipReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (backup::checkZipBytes(data, size) != 0)
        std::abort();
    return 0;
}
