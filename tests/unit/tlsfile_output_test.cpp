// Output files are replaced whole or left alone, with no temporary file
// left behind either way.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/unit/test_support.h"
#include "tools/tlsfile/output_file.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> entries(const std::string &folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry &e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(TlsfileOutput, WritesAndReplacesWholeFiles) {
    testing_support::TempDir dir;
    const std::string target = dir.file("out.svg");
    std::string error;
    ASSERT_TRUE(tlsfile::write_output_file(target, std::string("first\0\r\n", 8), error)) << error;
    EXPECT_EQ(testing_support::read_file(target), std::string("first\0\r\n", 8));
    ASSERT_TRUE(tlsfile::write_output_file(target, "second", error)) << error;
    EXPECT_EQ(testing_support::read_file(target), "second");
    // a bare file name goes to the current folder
    ASSERT_TRUE(tlsfile::write_output_file("plain.svg", "", error)) << error;
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"out.svg", "plain.svg"}));
}

TEST(TlsfileOutput, FailureLeavesEverythingAsItWas) {
    testing_support::TempDir dir;
    fs::create_directory(dir.file("taken"));
    testing_support::write_file(dir.file("taken/keep.txt"), "kept");
    struct Row {
        std::string path;
        const char *why;
    };
    const Row rows[] = {
        {dir.file("taken"), "a folder of that name"},
        {dir.file("no/such/folder/out.svg"), "a missing folder"},
        {dir.path() + "/", "no file name"},
    };
    for (const Row &row : rows) {
        std::string error;
        EXPECT_FALSE(tlsfile::write_output_file(row.path, "new", error)) << row.why;
        EXPECT_FALSE(error.empty()) << row.why;
        EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"taken"}) << row.why;
        EXPECT_EQ(testing_support::read_file(dir.file("taken/keep.txt")), "kept");
    }
}

}  // namespace
