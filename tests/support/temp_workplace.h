// A working folder and a data directory of a test's own: the test runs inside the working
// folder, as the program runs inside the trainer's.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

class TempWorkplace : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        std::random_device seed;
        root_ = fs::temp_directory_path() / ("trimdesk-test-" + std::to_string(seed()));
        fs::create_directories(root_ / "work");
        fs::create_directories(root_ / "data");
        previous_ = fs::current_path();
        fs::current_path(root_ / "work");
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    // The data directory as the program expects it: ending with its separator.
    std::string dataDir() const {
        return (root_ / "data").string() +
               std::string(1, std::filesystem::path::preferred_separator);
    }
    std::string dataFile(const std::string& name) const { return (root_ / "data" / name).string(); }

    static void writeFile(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    // Read back in text mode, so CR LF line ends compare like LF on every platform.
    static std::string readFile(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static bool exists(const std::string& path) { return std::filesystem::exists(path); }

    std::filesystem::path root_;
    std::filesystem::path previous_;
};
