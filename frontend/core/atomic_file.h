// Replacing a file so that a failure never leaves it half written.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

enum class ReplaceResult { Replaced, OpenFailed, WriteFailed };

// Writes the new content to a temporary file beside the target (in text mode), flushes and
// closes it, then puts it in the target's place. On any failure the target keeps its previous
// content and the temporary file is removed. writeBody returns false when a write failed.
// OpenFailed: the temporary file could not be created or the replacement failed.
ReplaceResult replaceFileAtomically(const std::string& targetPath,
                                    const std::function<bool(std::FILE*)>& writeBody);

// Platform part: moves `from` over an existing or missing `to`; false on failure.
bool replaceExistingFile(const std::string& from, const std::string& to);
