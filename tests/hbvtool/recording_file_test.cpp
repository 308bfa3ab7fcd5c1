// A watch's recording on a disk of the test's own: an earlier recording of the same name stays
// until the new one holds a packet, no temporary file stays behind, and a full disk at any
// close is told, also when the session's end closed the recording first.
#include "recording_file.h"

#include "recording.h"
#include "temp_workplace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

// gtest's name for a result in a failure's message.
void PrintTo(RecordingFile::Result result, std::ostream* out) {
    static const char* const kNames[] = {"Written", "NothingRecorded", "Failed"};
    *out << kNames[static_cast<int>(result)];
}

namespace {

// The C library's files; like the FailingDisk of the value files, its data reaches the cache
// but the n-th flush to the disk (counting from 1) fails, as on a full disk.
class TestDisk : public RecordingDisk {
  public:
    explicit TestDisk(int failingFlush) : failingFlush_(failingFlush) {}
    std::FILE* open(const std::string& path, const char* mode) override {
        return std::fopen(path.c_str(), mode);
    }
    bool flushToDisk(std::FILE*) override { return ++flushes_ != failingFlush_; }
    bool replace(const std::string& from, const std::string& to) override {
        std::error_code error;
        std::filesystem::rename(from, to, error);
        return !error;
    }
    void remove(const std::string& path) override { std::remove(path.c_str()); }

  private:
    int failingFlush_;
    int flushes_ = 0;
};

WatchPacket packetWith(std::uint8_t first) {
    WatchPacket packet;
    packet.bytes[0] = first;
    packet.count = 3;
    return packet;
}

constexpr char kEarlier[] = "# an earlier recording\n5 01\n";

struct Case {
    const char* name;
    int packets;
    int failingFlush;      // 0: none
    bool sessionEndFirst;  // the session's end closes the recording before the watch does
    RecordingFile::Result result;
    bool earlierKept;
};

class Recording : public TempWorkplace {};

TEST_F(Recording, KeepsTheEarlierFileUntilThereIsAPacketAndTellsEveryFailure) {
    const Case cases[] = {
        {"no board: no packet", 0, 0, false, RecordingFile::Result::NothingRecorded, true},
        {"packets", 3, 0, false, RecordingFile::Result::Written, false},
        {"full disk at the first packet", 3, 1, false, RecordingFile::Result::Failed, true},
        {"full disk at the close", 3, 2, false, RecordingFile::Result::Failed, false},
        {"session end, then the watch's end", 3, 0, true, RecordingFile::Result::Written, false},
        {"full disk at the session end's close", 3, 2, true, RecordingFile::Result::Failed, false},
    };
    const std::string path = dataFile("drive.txt");
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        writeFile(path, kEarlier);
        TestDisk disk(test.failingFlush);
        RecordingFile recording(disk);
        ASSERT_TRUE(recording.begin(path));
        EXPECT_EQ(readFile(path), kEarlier) << "replaced before the first packet";
        for (int i = 0; i < test.packets; ++i) recording.add(10 * i, packetWith(0xA0 + i));
        if (test.sessionEndFirst) {
            EXPECT_EQ(recording.close(), test.result) << "at the session's end";
            recording.add(50, packetWith(0xEE));  // the watch takes one more before it ends
        }
        EXPECT_EQ(recording.close(), test.result);
        EXPECT_FALSE(exists(RecordingFile::temporaryPathOf(path))) << "temporary file left";
        if (test.earlierKept) {
            EXPECT_EQ(readFile(path), kEarlier);
            continue;
        }
        std::vector<RecordedReport> reports;
        RecordingError error;
        ASSERT_TRUE(readRecording(readFile(path), reports, error)) << error.reason;
        ASSERT_EQ(reports.size(), std::size_t(test.packets));
        for (int i = 0; i < test.packets; ++i) {
            EXPECT_EQ(reports[i].milliseconds, std::uint32_t(10 * i));
            EXPECT_EQ(reports[i].data[0], 0xA0 + i);
        }
    }
}

TEST_F(Recording, RefusesAFolderThatCannotHoldIt) {
    TestDisk disk(0);
    RecordingFile recording(disk);
    EXPECT_FALSE(recording.begin(dataFile("no-such-folder/drive.txt")));
    EXPECT_EQ(recording.close(), RecordingFile::Result::NothingRecorded);
}

}  // namespace
