// Helpers for tests that start the recording test launcher for real.
#ifndef KESTO_TESTS_UNIT_LAUNCHER_RECORD_H
#define KESTO_TESTS_UNIT_LAUNCHER_RECORD_H

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

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

// Launchers run on their own: waits (at most 10 seconds) until the record
// file holds records starts, then gives its text.
inline std::string wait_for_records(const std::string &path, size_t records = 1) {
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text = file_exists(path) ? read_file(path) : "";
        size_t n = 0;
        for (size_t at = text.find("argc="); at != std::string::npos; at = text.find("argc=", at + 1)) ++n;
        if (n >= records) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return text;
}

}  // namespace testing_support

#endif
