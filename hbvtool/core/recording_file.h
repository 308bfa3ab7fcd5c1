// The recording of a watch as a file. It is written beside the file it is to become and takes
// that file's place only once it holds a packet, so a watch that finds no board, or fails
// before its first packet, leaves an earlier recording of the same name as it was.
#pragma once

#include "watch_loop.h"

#include <cstdint>
#include <cstdio>
#include <string>

// The files the recording needs of the platform, by UTF-8 path.
class RecordingDisk {
  public:
    virtual ~RecordingDisk() = default;
    // fopen's modes, text mode.
    virtual std::FILE* open(const std::string& path, const char* mode) = 0;
    // From the C library's buffer, already flushed, to the disk; false when the disk failed.
    virtual bool flushToDisk(std::FILE* file) = 0;
    // Moves `from` over an existing or missing `to` in one step.
    virtual bool replace(const std::string& from, const std::string& to) = 0;
    virtual void remove(const std::string& path) = 0;
};

class RecordingFile {
  public:
    enum class Result { Written, NothingRecorded, Failed };

    explicit RecordingFile(RecordingDisk& disk) : disk_(disk) {}
    ~RecordingFile() { close(); }
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    // Where the recording grows until its first packet.
    static std::string temporaryPathOf(const std::string& path) { return path + ".new"; }

    // Starts the recording beside `path`; false when that file cannot be written.
    bool begin(const std::string& path);
    // The first packet also puts the recording in its place.
    void add(std::uint32_t milliseconds, const WatchPacket& packet);
    // What an abrupt end would otherwise lose; the disk's own cache is left to the system.
    void flush();
    // Ends the recording. The session's end may close it before the watch does: every later
    // call gives the first call's result, so that a failure is still told when the watch ends.
    Result close();

  private:
    bool placeAtFirstPacket();

    RecordingDisk& disk_;
    std::string path_;
    std::FILE* file_ = nullptr;
    bool placed_ = false;
    bool failed_ = false;
    bool closed_ = false;
    Result result_ = Result::NothingRecorded;
};
