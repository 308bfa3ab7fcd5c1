#include "atomic_file.h"

#include <utility>

namespace {

DiskFlush& diskFlush() {
    static DiskFlush flush = flushFileToDisk;
    return flush;
}

// The C library's buffer first, then the system's: only then is the data on the disk.
bool writeDurably(std::FILE* file, const std::function<bool(std::FILE*)>& writeBody) {
    return writeBody(file) && std::fflush(file) == 0 && std::ferror(file) == 0 && diskFlush()(file);
}

}  // namespace

DiskFlush replaceDiskFlush(DiskFlush flush) { return std::exchange(diskFlush(), std::move(flush)); }

ReplaceResult replaceFileAtomically(const std::string& targetPath,
                                    const std::function<bool(std::FILE*)>& writeBody) {
    const std::string temporaryPath = targetPath + ".new";
    std::FILE* file = std::fopen(temporaryPath.c_str(), "w");
    if (file == nullptr) return ReplaceResult::OpenFailed;

    const bool written = writeDurably(file, writeBody);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(temporaryPath.c_str());
        return ReplaceResult::WriteFailed;
    }
    if (!replaceExistingFile(temporaryPath, targetPath)) {
        std::remove(temporaryPath.c_str());
        return ReplaceResult::OpenFailed;
    }
    return ReplaceResult::Replaced;
}
