#include "number_reading.h"

#include "temp_workplace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

TEST(ToInt16, FollowsTheStandardDecimalConversion) {
    const std::pair<const char*, int16_t> cases[] = {
        {"123", 123},     {"  -123abc", -123}, {"  -25xyz", -25},
        {"+7", 7},        {"\t\r\n 42", 42},   {"", 0},
        {"\n", 0},        {"letters", 0},      {"-", 0},
        {"- 5", 0},       {"12 34", 12},       {"0x1F", 0},
        {"32767", 32767}, {"-32768", -32768},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(toInt16(text), expected) << text;
}

TEST(ToInt16, KeepsTheLowSixteenBitsAsASignedValue) {
    EXPECT_EQ(toInt16("32768"), -32768);
    EXPECT_EQ(toInt16("40000"), 40000 - 65536);
    EXPECT_EQ(toInt16("65536"), 0);
    EXPECT_EQ(toInt16("-32769"), 32767);
    EXPECT_EQ(toInt16("99999999"), static_cast<int16_t>(99999999 & 0xFFFF));
    // Far beyond any integer type, still the low 16 bits of the number: 10^30 mod 2^16.
    EXPECT_EQ(toInt16("1000000000000000000000000000000"), 0);
    EXPECT_EQ(toInt16("1000000000000000000000000000001"), 1);
}

class ReadNumberLine : public TempWorkplace {
  protected:
    std::vector<int16_t> readAll(const std::string& bytes) {
        writeFile("numbers.txt", bytes);
        std::FILE* file = std::fopen("numbers.txt", "r");
        std::vector<int16_t> values;
        int16_t value = 0;
        while (readNumberLine(file, value)) values.push_back(value);
        std::fclose(file);
        return values;
    }
};

TEST_F(ReadNumberLine, ReadsOneValuePerLineAndTheLastLineMayLackItsEnd) {
    EXPECT_EQ(readAll("1\n-2\r\n  3x\n\nabc\n70000"),
              (std::vector<int16_t>{1, -2, 3, 0, 0, static_cast<int16_t>(70000 - 65536)}));
    EXPECT_EQ(readAll(""), std::vector<int16_t>{});
}

TEST_F(ReadNumberLine, SplitsALineLongerThanSeventyNineCharacters) {
    // 79 characters fill one read; the rest of the line is read as the next line.
    const std::string line = std::string(75, ' ') + "1234" + "5678\n";
    EXPECT_EQ(readAll(line), (std::vector<int16_t>{1234, 5678}));
    EXPECT_EQ(readAll(std::string(5000, '7') + "\n").size(), 5000u / 79 + 1);
}

TEST_F(ReadNumberLine, StopsAtANulByteWithinALine) {
    EXPECT_EQ(readAll(std::string("12\0"
                                  "34\n56\n",
                                  9)),
              (std::vector<int16_t>{12, 56}));
}
