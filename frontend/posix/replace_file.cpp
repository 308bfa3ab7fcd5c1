#include "../core/atomic_file.h"

#include <cstdio>

// rename() replaces the target in one step on POSIX systems.
bool replaceExistingFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}
