#include "atomic_file.h"

ReplaceResult replaceFileAtomically(const std::string& targetPath,
                                    const std::function<bool(std::FILE*)>& writeBody) {
    const std::string temporaryPath = targetPath + ".new";
    std::FILE* file = std::fopen(temporaryPath.c_str(), "w");
    if (file == nullptr) return ReplaceResult::OpenFailed;

    const bool written = writeBody(file) && std::fflush(file) == 0 && std::ferror(file) == 0;
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
