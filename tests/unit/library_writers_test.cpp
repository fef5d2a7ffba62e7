// Writers of one library at once (the plug-in appending, the command-line
// tool merging), and writers killed at any point: the library holds each
// writer's tools exactly once when it said it succeeded, is always its old
// or its complete new bytes, and nothing of ours is left beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <atomic>
#include <random>
#include <thread>

#include <unistd.h>

#include "tests/unit/test_support.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

const std::string kHeader = "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n";

// A part of two tools named after their writer.
std::string part(const std::string &writer) {
    return R"({"name": ")" + writer + R"(.prt", "members": [{"name": ")" + writer +
           R"(_A", "type": 1, "subtype": 1, "params": {"diameter": 10, "length": 75}}, {"name": ")" + writer +
           R"(_B", "type": 1, "subtype": 4, "params": {"diameter": 5, "length": 40, "r1": 2.5}}]})";
}

// The plug-in's all-tools export of the part into library, answering the
// existing-file question with existing (1 rewrite, 2 append).
std::string session(const std::string &writer, int existing, const std::string &library = "site.tls") {
    return R"({"part": )" + part(writer) + R"(, "answers": [{"menu": 5}, {"question": 1}, {"file": ")" + library +
           R"("}, {"question": )" + std::to_string(existing) + R"(}, {"question": 2}, {"menu": 2}]})";
}

// Our temporaries and lock files in the current folder.
std::vector<std::string> ours() {
    std::vector<std::string> out;
    for (const auto &e : fs::directory_iterator("."))
        if (e.path().filename().string().find(".~kesto-") != std::string::npos)
            out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// One writer: the program it runs (the command-line tool, which runs the
// plug-in too), whether it appends through the plug-in or merges with
// export --merge, and the name it gives site.tls.
struct Writer {
    std::string program;
    bool plugin;
    std::string library = "site.tls";
};

std::string native_cli() { return "'" KESTO_CLI_PATH "'"; }
std::string windows_cli() { return wine_command() + " '" + wine_dir() + "/kesto-tools-vericut.exe'"; }

// n writers of program, the plug-in's appends and export --merge taking turns.
std::vector<Writer> taking_turns(const std::string &program, int n) {
    std::vector<Writer> out;
    for (int i = 0; i < n; ++i) out.push_back({program, i % 2 == 1});
    return out;
}

// The writers start at once.  A writer that waited too long says so and
// writes nothing; natively none waits that long, under an emulated Wine one
// may.  Every writer that said it succeeded has its tools in site.tls once
// (none lost), and none that failed has them (no false failure).  A reader
// looking all the while never finds site.tls gone: each replacement is one
// rename on every build.
void writers_at_once(const std::vector<Writer> &writers, bool all_succeed) {
    TempDir dir;
    write_file("site.tls", kHeader + "TOOLID \"SITE\" {\r\n  TOOLTYPE TURNING\r\n}\r\n");
    // other names of site.tls, and of its folder
    fs::create_directory("sub");
    fs::create_symlink("site.tls", "link.tls");
    fs::create_symlink(".", "here");
    std::string script;
    for (size_t i = 0; i < writers.size(); ++i) {
        const Writer &w = writers[i];
        const std::string name = "W" + std::to_string(i);
        write_file(name + ".json", w.plugin ? session(name, 2, w.library) : part(name));
        script += "(" + w.program + (w.plugin ? " run " + name + ".json" : " export " + name + ".json --merge " + w.library) +
                  " >" + name + ".out 2>&1; echo $? >" + name + ".rc) & ";
    }
    std::string ignored;
    std::atomic<bool> writing{true};
    long gone = 0;
    std::thread reader([&] {
        // a look every 20 us: often enough to see a gap, while leaving the writers a core
        while (writing) {
            gone += !fs::exists("site.tls");
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    });
    run_command(script + "wait", ignored);
    writing = false;
    reader.join();
    EXPECT_EQ(gone, 0) << "times a reader found no site.tls while it was replaced";
    const std::string library = read_file("site.tls");
    int succeeded = 0, lost = 0, false_failures = 0;
    for (size_t i = 0; i < writers.size(); ++i) {
        const std::string w = "W" + std::to_string(i), out = read_file(w + ".out");
        bool ok = writers[i].plugin ? out.find("Open Vericut ...?") != std::string::npos : read_file(w + ".rc") == "0\n";
        if (!ok) {
            EXPECT_TRUE(out.find("сейчас записывает другой пользователь") != std::string::npos ||
                        out.find("is being written by someone else") != std::string::npos)
                << w << out;
        }
        for (const char *tool : {"_A", "_B"}) {
            size_t held = occurrences(library, "TOOLID \"" + w + tool + "\"");
            lost += ok && held != 1;
            false_failures += !ok && held != 0;
            EXPECT_EQ(held, ok ? 1u : 0u) << w << " as " << writers[i].library << ": " << out;
        }
        succeeded += ok;
    }
    EXPECT_EQ(lost, 0) << "tools of writers that said they succeeded, lost or doubled";
    EXPECT_EQ(false_failures, 0);
    EXPECT_EQ(occurrences(library, "TOOLID \"SITE\""), 1u);
    EXPECT_EQ(succeeded, all_succeed ? static_cast<int>(writers.size()) : succeeded);
    EXPECT_GT(succeeded, 0);
    EXPECT_TRUE(fs::is_symlink("link.tls"));
    EXPECT_EQ(ours(), std::vector<std::string>{});
}

TEST(LibraryWriters, AtOnceNatively) { writers_at_once(taking_turns(native_cli(), 8), true); }

TEST(LibraryWriters, AtOnceUnderWine) {
    if (wine_dir().empty()) GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
    writers_at_once(taking_turns(windows_cli(), 6), false);
}

// The native and the Windows build on one library at once, each under
// several names of it: Windows ignores letter case, "..", a link to the
// file, a link to its folder.
TEST(LibraryWriters, BothBuildsAtOnceUnderEveryNameOfTheLibrary) {
    if (wine_dir().empty()) GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
    const std::string native = native_cli(), windows = windows_cli();
    writers_at_once({{windows, true, "SITE.TLS"}, {native, false, "site.tls"}, {windows, false, "Site.Tls"},
                     {native, true, "sub/../site.tls"}, {windows, true, "sub\\\\..\\\\site.tls"},
                     {native, false, "link.tls"}, {windows, false, "LINK.TLS"}, {native, true, "here/site.tls"},
                     {windows, false, "here\\\\SITE.tls"}, {native, false, "./here/sub/../link.tls"}},
                    false);
}

// Runs the command-line tool with args in the current folder, its output
// thrown away; killed with SIGKILL after kill_after seconds, when given.
void run_cli(const std::string &args, double kill_after = 0) {
    std::string ignored, command = "'" KESTO_CLI_PATH "' " + args + " >/dev/null 2>&1";
    if (kill_after > 0) command += " & sleep " + std::to_string(kill_after) + "; kill -9 $! 2>/dev/null; wait";
    run_command(command, ignored);
}

TEST(LibraryWriters, KilledAnywhereTheLibraryIsOldOrNewAndTheNextRunSweeps) {
    TempDir dir;
    // Some thousand records, so that the writers spend a while on them.
    std::string old = kHeader;
    for (int i = 0; i < 2500; ++i) old += "TOOLID \"OLD" + std::to_string(i) + "\" {\r\n  TOOLTYPE TURNING\r\n}\r\n";
    write_file("rewrite.json", session("P", 1));
    write_file("append.json", session("P", 2));
    write_file("part.json", part("P"));
    run_cli("export part.json -o new.tls");
    // find's scratch folder in the temporary folder, of a process that is
    // gone, goes with the next find; one of a process that runs stays.
    const fs::path temp = fs::temp_directory_path();
    const fs::path gone = temp / "kesto-export.tls.~kesto-999999999-0.tmp";
    const fs::path alive = temp / ("kesto-export.tls.~kesto-" + std::to_string(getppid()) + "-7.tmp");
    fs::create_directories(gone / "inside");
    fs::create_directories(alive);
    run_cli("find part.json --database .");
    EXPECT_FALSE(fs::exists(gone));
    EXPECT_TRUE(fs::exists(alive));
    fs::remove(alive);
    // Another library's temporary, and a file of another name: never touched.
    write_file("other.tls.~kesto-99999-2.tmp", old);
    write_file("site.tls.~kesto-x.tmp", old);
    std::mt19937 rng(19);
    for (const char *op : {"run rewrite.json", "run append.json", "merge site.tls new.tls -o site.tls",
                           "export part.json --merge site.tls"}) {
        SCOPED_TRACE(op);
        write_file("site.tls", old);
        const auto start = std::chrono::steady_clock::now();
        run_cli(op);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        const std::string updated = read_file("site.tls");
        ASSERT_TRUE(updated != old);
        for (int round = 0; round < 12; ++round) {
            write_file("site.tls", old);
            run_cli(op, std::uniform_real_distribution<double>(0.0001, took.count() * 1.2)(rng));
            const std::string now = read_file("site.tls");
            EXPECT_TRUE(now == old || now == updated) << "round " << round << ", " << now.size() << " bytes";
        }
        // What killed writers left (and a scratch folder of an export) goes
        // with the next run.
        fs::create_directory("site.tls.~kesto-99999-0.tmp");
        write_file("site.tls.~kesto-99999-0.tmp/site.tls", old);
        write_file("site.tls.~kesto-99999-1.tmp", old);
        write_file("site.tls", old);
        run_cli(op);
        EXPECT_EQ(read_file("site.tls"), updated);
        EXPECT_EQ(ours(), (std::vector<std::string>{"other.tls.~kesto-99999-2.tmp", "site.tls.~kesto-x.tmp"}));
    }
}

}  // namespace
