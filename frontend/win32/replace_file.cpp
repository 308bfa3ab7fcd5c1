#include "../core/atomic_file.h"

#include <io.h>
#include <windows.h>

// _commit is FlushFileBuffers on the descriptor's handle.
bool flushFileToDisk(std::FILE* file) { return _commit(_fileno(file)) == 0; }

// The narrow names are those the C library's fopen uses for the same paths. Write-through
// makes the rename itself reach the disk before the call returns.
bool replaceExistingFile(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
