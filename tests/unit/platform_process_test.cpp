// The POSIX platform layer's open test, process start and CR LF stream.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "host/platform/platform.h"
#include "tests/unit/launcher_record.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

const std::string kLauncher = native_launcher();

TEST(PlatformFileOpens, FilesOnlyThatExist) {
    TempDir dir;
    write_file(dir.file("s.ini"), "[VMAIN]\n");
    fs::create_directory(dir.file("folder"));
    EXPECT_EQ(plat_file_opens(dir.file("s.ini").c_str()), 1);
    EXPECT_EQ(plat_file_opens((dir.path() + "\\s.ini").c_str()), 1);
    EXPECT_EQ(plat_file_opens(dir.file("missing.ini").c_str()), 0);
    EXPECT_EQ(plat_file_opens(dir.file("folder").c_str()), 0);
}

struct ArgumentCase {
    const char *name;
    std::string argument;  // as the plug-in hands it over (Windows-1251)
    std::string received;  // what reaches the launcher (UTF-8, '/')
};

class StartProcess : public ::testing::TestWithParam<ArgumentCase> {};

// The argument reaches the program whole, as its one argument: no shell
// sees it.
TEST_P(StartProcess, ArgumentArrivesWhole) {
    const ArgumentCase &c = GetParam();
    TempDir dir;
    std::string cmd_line = "\"" + kLauncher + "\" \"" + c.argument + "\"";
    ASSERT_EQ(plat_start_process(cmd_line.c_str(), kLauncher.c_str(), c.argument.c_str()), 0);
    EXPECT_EQ(wait_for_records(dir.file("launched.txt")), "argc=2\nargv[1]=" + c.received + "\n");
    EXPECT_FALSE(file_exists(dir.file("pwned")));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, StartProcess,
    ::testing::Values(ArgumentCase{"Blanks", "my tools/a b.tls", "my tools/a b.tls"},
                      ArgumentCase{"Quotes", "a \"b\" 'c'.tls", "a \"b\" 'c'.tls"},
                      ArgumentCase{"ShellCharacters", "x; touch pwned $(touch pwned) `touch pwned` $HOME | &",
                                   "x; touch pwned $(touch pwned) `touch pwned` $HOME | &"},
                      ArgumentCase{"Backslashes", "out\\dir\\t.tls", "out/dir/t.tls"},
                      ArgumentCase{"Windows1251", "\xC8\xED\xF1\xF2\xF0.tls",
                                   "\xD0\x98\xD0\xBD\xD1\x81\xD1\x82\xD1\x80.tls"},
                      ArgumentCase{"Empty", "", ""}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(StartProcessPaths, ProgramPathWithBlanksAndBackslashes) {
    TempDir dir;
    fs::create_directories(dir.file("sim dir; $x"));
    fs::copy_file(kLauncher, dir.file("sim dir; $x/run it.exe"));
    std::string program = "sim dir; $x\\run it.exe";
    EXPECT_EQ(plat_start_process("", program.c_str(), "t.tls"), 0);
    EXPECT_EQ(wait_for_records(dir.file("launched.txt")), "argc=2\nargv[1]=t.tls\n");
}

// Programs that exist but cannot be started are refused, and nothing runs.
TEST(StartProcessPaths, RefusedWhenTheProgramCannotRun) {
    TempDir dir;
    write_file(dir.file("text.exe"), "not a program\n");
    write_file(dir.file("script.exe"), "echo no interpreter line\n");
    chmod(dir.file("script.exe").c_str(), 0755);
    fs::create_directory(dir.file("folder.exe"));
    for (const char *program : {"text.exe", "script.exe", "folder.exe", "missing.exe"}) {
        SCOPED_TRACE(program);
        EXPECT_EQ(plat_start_process("", program, "t.tls"), -1);
    }
    EXPECT_EQ(records_but_marker(dir.file("launched.txt")), "");
}

// The caller does not wait for the program, and no child of the caller is
// left behind (the program belongs to init).
TEST(StartProcessPaths, NotWaitedForAndNoZombie) {
    TempDir dir;
    write_file(dir.file("hold"), "");
    auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(plat_start_process("", kLauncher.c_str(), "t.tls"), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    int status = 0;
    errno = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_FALSE(file_exists(dir.file("launched.txt"))) << "the launcher should still be holding";
    fs::remove(dir.file("hold"));
    EXPECT_EQ(wait_for_records(dir.file("launched.txt")), "argc=2\nargv[1]=t.tls\n");
}

// ---- CR LF stream --------------------------------------------------------------

TEST(TextStream, NewlinesBecomeCrLf) {
    TempDir dir;
    FILE *f = plat_open_text(dir.file("t.tls").c_str(), "w");
    ASSERT_NE(f, nullptr);
    fprintf(f, "a\nb\r\n\n");
    // Larger than any buffer on the way, newlines throughout.
    std::string big;
    for (int i = 0; i < 5000; ++i) big += "line " + std::to_string(i) + "\n";
    fputs(big.c_str(), f);
    EXPECT_EQ(fclose(f), 0);
    std::string expected = "a\r\nb\r\r\n\r\n";
    for (int i = 0; i < 5000; ++i) expected += "line " + std::to_string(i) + "\r\n";
    EXPECT_EQ(read_file(dir.file("t.tls")), expected);

    f = plat_open_text(dir.file("t.tls").c_str(), "a");
    ASSERT_NE(f, nullptr);
    fputs("end\n", f);
    EXPECT_EQ(fclose(f), 0);
    EXPECT_EQ(read_file(dir.file("t.tls")), expected + "end\r\n");

    f = plat_open_text(dir.file("t.tls").c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("new\n", f);
    EXPECT_EQ(fclose(f), 0);
    EXPECT_EQ(read_file(dir.file("t.tls")), "new\r\n");
}

TEST(TextStream, WriteErrorsSurface) {
    FILE *f = plat_open_text("/dev/full", "w");
    ASSERT_NE(f, nullptr);
    fputs("header\n", f);
    EXPECT_EQ(fflush(f), EOF);
    EXPECT_NE(ferror(f), 0);
    fclose(f);

    // Past the stream's buffer the write itself fails.
    f = plat_open_text("/dev/full", "a");
    ASSERT_NE(f, nullptr);
    std::string big(100000, 'x');
    int printed = fprintf(f, "%s\n", big.c_str());
    EXPECT_TRUE(printed < 0 || ferror(f) != 0);
    EXPECT_EQ(fclose(f), EOF);
}

TEST(TextStream, RefusedModesAndPaths) {
    TempDir dir;
    for (const char *mode : {"r", "w+", "wb", ""}) EXPECT_EQ(plat_open_text(dir.file("x").c_str(), mode), nullptr) << mode;
    EXPECT_EQ(plat_open_text(dir.file("no folder/x").c_str(), "w"), nullptr);
    EXPECT_FALSE(file_exists(dir.file("x")));
}

}  // namespace
