// The board tools' text formats: hex bytes as people type them, and recordings of reports.
#include "hex_text.h"
#include "recording.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(HexText, TakesPairsOfDigitsOfEitherCaseAndNothingElse) {
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(fromHex("00aB7fFF", bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x00, 0xAB, 0x7F, 0xFF}));
    EXPECT_EQ(toHex(bytes.data(), bytes.size()), "00AB7FFF");
    ASSERT_TRUE(fromHex("", bytes));
    EXPECT_TRUE(bytes.empty());

    for (const char* bad : {"0", "ABC", "0g", "12 34", "0x12", "-1", "1\n"}) {
        bytes = {9};
        EXPECT_FALSE(fromHex(bad, bytes)) << bad;
        EXPECT_EQ(bytes, std::vector<std::uint8_t>{9}) << "untouched on failure: " << bad;
    }
}

RecordedReport reportAt(std::uint32_t milliseconds, std::uint8_t first) {
    RecordedReport report;
    report.milliseconds = milliseconds;
    for (std::size_t i = 0; i < report.data.size(); ++i) {
        report.data[i] = static_cast<std::uint8_t>(first + i);
    }
    return report;
}

TEST(Recording, ReadsBackWhatWasWrittenPastCommentsBlankLinesAndCrLf) {
    const std::vector<RecordedReport> written{reportAt(0, 0), reportAt(1, 0x80), reportAt(1, 0xF0),
                                              reportAt(4294967295u, 7)};
    std::string text = recordingHeader() + "\r\n# a note of the technician\r\n";
    for (const RecordedReport& report : written) text += recordingLine(report) + "\r\n";

    std::vector<RecordedReport> read;
    RecordingError error;
    ASSERT_TRUE(readRecording(text, read, error)) << error.line << ": " << error.reason;
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].milliseconds, written[i].milliseconds);
        EXPECT_EQ(read[i].data, written[i].data);
    }
}

TEST(Recording, RejectsAMalformedLineByItsNumber) {
    const std::string good = recordingLine(reportAt(5, 1));
    const std::string hex = good.substr(good.find(' ') + 1);
    const struct {
        std::string line;
        const char* fault;
    } cases[] = {
        {"5" + hex, "no space"},
        {"x " + hex, "time not a number"},
        {"-1 " + hex, "negative time"},
        {"4294967296 " + hex, "time past 32 bits"},
        {"6 " + hex.substr(2), "63 bytes"},
        {"6 " + hex + "00", "65 bytes"},
        {"6 " + hex.substr(1), "odd digits"},
        {"6  " + hex, "two spaces"},
        {"4 " + hex, "time goes back"},
    };
    for (const auto& test : cases) {
        const std::string text = "# header\n" + good + "\n" + test.line + "\n" + good + "\n";
        std::vector<RecordedReport> read{reportAt(0, 0)};
        RecordingError error;
        EXPECT_FALSE(readRecording(text, read, error)) << test.fault;
        EXPECT_EQ(error.line, 3u) << test.fault;
        EXPECT_FALSE(error.reason.empty()) << test.fault;
        EXPECT_TRUE(read.empty()) << test.fault;
    }
}

// A recording whose program ended abruptly stops mid-line, without a line end: that last
// line alone is passed over, with a note; with its line end it is malformed as any other.
TEST(Recording, PassesOverALastLineCutShortAndNotesIt) {
    const std::string good = recordingLine(reportAt(5, 1));
    const struct {
        std::string tail;
        bool read;
        std::size_t reports;
        std::size_t cutLine;
    } cases[] = {
        {good.substr(0, 40), true, 1, 3},
        {"7", true, 1, 3},
        {good, true, 2, 0},
        {good.substr(0, 40) + "\r\n", false, 0, 0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.tail);
        std::vector<RecordedReport> read;
        RecordingError error;
        RecordingError cut{9, "stale"};
        EXPECT_EQ(readRecording("# header\n" + good + "\n" + test.tail, read, error, &cut),
                  test.read);
        EXPECT_EQ(read.size(), test.reports);
        EXPECT_EQ(cut.line, test.cutLine);
        EXPECT_EQ(cut.reason.empty(), test.cutLine == 0) << cut.reason;
        if (!test.read) {
            EXPECT_EQ(error.line, 3u);
        }
    }
}

}  // namespace
