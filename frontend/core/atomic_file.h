// Replacing a file so that a failure, or a power cut once it is done, never leaves it half
// written.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

enum class ReplaceResult { Replaced, OpenFailed, WriteFailed };

// Writes the new content to a temporary file beside the target (in text mode), makes it reach
// the disk and closes it, then puts it in the target's place. On any failure the target keeps
// its previous content and the temporary file is removed. writeBody returns false when a write
// failed. WriteFailed: writing or flushing failed. OpenFailed: the temporary file could not be
// created or the replacement failed.
ReplaceResult replaceFileAtomically(const std::string& targetPath,
                                    const std::function<bool(std::FILE*)>& writeBody);

// Platform part: moves the data of a file whose C library buffer is already flushed from the
// system's cache to the disk, so that a rename after it cannot expose an empty file; false on
// failure.
bool flushFileToDisk(std::FILE* file);

// Platform part: moves `from` over an existing or missing `to`, durably where the system
// allows; false on failure.
bool replaceExistingFile(const std::string& from, const std::string& to);

// The disk flush replaceFileAtomically uses, flushFileToDisk unless a test stands in a failing
// disk. Returns the flush it replaces, so the caller can put it back.
using DiskFlush = std::function<bool(std::FILE*)>;
DiskFlush replaceDiskFlush(DiskFlush flush);
