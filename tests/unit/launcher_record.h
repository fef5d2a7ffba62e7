// Helpers for tests that start the recording test launcher for real.
#ifndef KESTO_TESTS_UNIT_LAUNCHER_RECORD_H
#define KESTO_TESTS_UNIT_LAUNCHER_RECORD_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/platform/platform.h"
#include "tests/unit/test_support.h"

namespace testing_support {

// The native build of the launcher.
inline std::string native_launcher() { return std::string(KESTO_BINARY_DIR) + "/kesto_test_launcher"; }

// Copies a launcher program to path, making its folders.
inline void install_launcher_at(const std::string &program, const std::string &path) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::filesystem::copy_file(program, p, std::filesystem::copy_options::overwrite_existing);
}

// What the launcher records when started with argument.
inline std::string record_of(const std::string &argument) { return "argc=2\nargv[1]=" + argument + "\n"; }

// Launchers run on their own: waits until the record file holds records
// starts, then gives its text.
inline std::string wait_for_records(const std::string &path, size_t records = 1) {
    std::string text;
    wait_until([&] {
        text = file_exists(path) ? read_file(path) : "";
        return occurrences(text, "argc=") >= records;
    });
    return text;
}

// For checks that a launch did not happen, or no more than those recorded:
// starts the launcher once more, in the current folder (where path is), and
// waits for its record.  A launch that the code under test made was started
// before this marker, so it has had its turn by then.  Gives every record
// but the marker's.
inline std::string records_but_marker(const std::string &path) {
    const std::string marker = record_of("(marker)");
    EXPECT_EQ(plat_start_process("", native_launcher().c_str(), "(marker)"), 0);
    std::string text;
    EXPECT_TRUE(wait_until([&] {
        text = file_exists(path) ? read_file(path) : "";
        return text.find(marker) != std::string::npos;
    })) << "the marker launcher left no record in " << path;
    size_t at = text.find(marker);
    return at == std::string::npos ? text : text.erase(at, marker.size());
}

}  // namespace testing_support

#endif
