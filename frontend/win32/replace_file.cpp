#include "../core/atomic_file.h"

#include <windows.h>

// The narrow names are those the C library's fopen uses for the same paths.
bool replaceExistingFile(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
