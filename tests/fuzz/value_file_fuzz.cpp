// Any bytes as a value file: the reader must neither crash nor read out of bounds, and it
// may call a file valid only when all five pairs are.
#include "value_files.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "value_file_fuzz_" + std::to_string(getpid()) + ".out";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    CalibPairs pairs{};
    if (readValueFile(path, pairs) == ValueFileStatus::Valid) {
        for (const CalibPair& pair : pairs) {
            if (!pair.isValid()) std::abort();
        }
    }
    std::remove(path.c_str());
    return 0;
}
