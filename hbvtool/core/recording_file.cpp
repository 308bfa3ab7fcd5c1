#include "recording_file.h"

#include "recording.h"
#include "report_lines.h"

bool RecordingFile::begin(const std::string& path) {
    path_ = path;
    file_ = disk_.open(temporaryPathOf(path_), "w");
    if (file_ && std::fputs(recordingHeader().c_str(), file_) >= 0) return true;
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
        disk_.remove(temporaryPathOf(path_));
    }
    return false;
}

void RecordingFile::add(std::uint32_t milliseconds, const WatchPacket& packet) {
    if (!file_) return;
    const RecordedReport report{milliseconds, reportDataOfPacket(packet.bytes, packet.count)};
    std::fprintf(file_, "%s\n", recordingLine(report).c_str());
    if (!placed_ && !placeAtFirstPacket()) failed_ = true;
}

void RecordingFile::flush() {
    if (file_) std::fflush(file_);
}

// The first packet reaches the disk before the rename: a power cut just after it must not leave
// an empty file where the earlier recording was.
bool RecordingFile::placeAtFirstPacket() {
    const std::string temporary = temporaryPathOf(path_);
    const bool written = std::fflush(file_) == 0 && !std::ferror(file_) && disk_.flushToDisk(file_);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed || !disk_.replace(temporary, path_)) {
        disk_.remove(temporary);
        return false;
    }
    placed_ = true;
    file_ = disk_.open(path_, "a");
    return file_ != nullptr;
}

RecordingFile::Result RecordingFile::close() {
    if (closed_) return result_;
    closed_ = true;
    if (!file_) {
        result_ = failed_ ? Result::Failed : Result::NothingRecorded;
    } else if (!placed_) {
        std::fclose(file_);
        disk_.remove(temporaryPathOf(path_));
        result_ = Result::NothingRecorded;
    } else {
        const bool written =
            std::fflush(file_) == 0 && !std::ferror(file_) && disk_.flushToDisk(file_);
        const bool closed = std::fclose(file_) == 0;
        result_ = written && closed ? Result::Written : Result::Failed;
    }
    file_ = nullptr;
    return result_;
}
