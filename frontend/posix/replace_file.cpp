#include "../core/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace {

// A rename is an entry in the folder, which reaches the disk on its own schedule unless the
// folder is synced too. The file is in place by then: a folder that cannot be synced (some
// file systems refuse) changes nothing the caller could act on, so it is not a failure.
void syncFolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (descriptor < 0) return;
    fsync(descriptor);
    close(descriptor);
}

}  // namespace

bool flushFileToDisk(std::FILE* file) { return fsync(fileno(file)) == 0; }

// rename() replaces the target in one step on POSIX systems.
bool replaceExistingFile(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) return false;
    syncFolderOf(to);
    return true;
}
