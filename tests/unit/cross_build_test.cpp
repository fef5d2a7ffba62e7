// Every session file under tests/sessions runs on the native build and on
// the Win32 build under Wine; the transcripts and every file the session
// left behind must be the same, byte for byte.  Also checks what the DLL
// exports and imports.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>

#include "tests/unit/launcher_record.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

std::string quoted(const std::string &s) { return "'" + s + "'"; }

// The date of the Help report is the only text that depends on when a run
// happened.
std::string without_dates(const std::string &text) {
    static const std::regex date(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4})");
    return std::regex_replace(text, date, "<date>");
}

std::map<std::string, std::string> files_under(const fs::path &root) {
    std::map<std::string, std::string> out;
    for (const auto &entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().filename() != "launcher.exe")
            out[fs::relative(entry.path(), root).string()] = without_dates(read_file(entry.path().string()));
    return out;
}

// Launched simulators run on their own; wait until each launcher that the
// transcript says was started has left its record.
void wait_for_launches(const fs::path &dir, const std::string &transcript) {
    size_t started = occurrences(transcript, ") GetParam=") - occurrences(transcript, "(CreateProcess) - error run");
    if (started > 0) wait_for_records((dir / "launched.txt").string(), started);
}

void install_launcher(const fs::path &dir, const fs::path &program) {
    if (!fs::exists(program)) return;
    fs::create_directories(dir / "bin");
    fs::copy_file(program, dir / "bin" / "launcher.exe");
}

class CrossBuild : public ::testing::TestWithParam<std::string> {};

TEST_P(CrossBuild, SameTranscriptAndFiles) {
    std::string win32 = wine_dir();
    if (win32.empty()) GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
    fs::path session = fs::path(KESTO_SOURCE_DIR) / "tests" / "sessions" / GetParam();
    TempDir native_dir;
    TempDir wine_dir;
    install_launcher(native_dir.path(), fs::path(KESTO_BINARY_DIR) / "kesto_test_launcher");
    install_launcher(wine_dir.path(), fs::path(win32) / "kesto_test_launcher.exe");

    std::string out;
    int native_rc = run_command(std::string(KESTO_CLI_PATH) + " run " + quoted(session.string()) +
                                    " -C " + quoted(native_dir.path()) + " -o transcript.txt",
                                out);
    int wine_rc = run_command(wine_command() + " " + quoted(win32 + "/kesto-tools-vericut.exe") +
                                  " run " + quoted(wine_path(fs::absolute(session).string())) + " -C " +
                                  quoted(wine_path(fs::absolute(wine_dir.path()).string())) + " -o transcript.txt",
                              out);
    EXPECT_EQ(native_rc, 0);
    EXPECT_EQ(wine_rc, native_rc);
    std::string transcript = read_file(native_dir.file("transcript.txt"));
    ASSERT_FALSE(transcript.empty());
    wait_for_launches(native_dir.path(), transcript);
    wait_for_launches(wine_dir.path(), transcript);

    auto native_files = files_under(native_dir.path());
    auto wine_files = files_under(wine_dir.path());
    std::vector<std::string> native_names, wine_names;
    for (auto &[name, content] : native_files) native_names.push_back(name);
    for (auto &[name, content] : wine_files) wine_names.push_back(name);
    ASSERT_EQ(native_names, wine_names);
    for (auto &[name, content] : native_files) EXPECT_EQ(content, wine_files[name]) << "file " << name;
}

std::vector<std::string> session_files() {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(fs::path(KESTO_SOURCE_DIR) / "tests" / "sessions"))
        if (entry.path().extension() == ".json") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Sessions, CrossBuild, ::testing::ValuesIn(session_files()),
                         [](const auto &p) {
                             std::string n = fs::path(p.param).stem().string();
                             for (char &c : n)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

// Non-ASCII (Cyrillic) names in arguments, folders and files: the Windows
// build takes them as the native build does, and gives the same exit codes,
// output and files.  Standard output is compared with Windows' CR LF as LF.
TEST(CrossBuildNames, CyrillicArgumentsAndFiles) {
    const std::string win = wine_dir();
    if (win.empty()) GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
    TempDir program_dir, native_dir, wine_dir;
    const std::vector<std::string> commands = {
        "export папка/деталь.json -o папка/инструменты.tls --select Фреза",
        "check папка/инструменты.tls",
        "preview папка/инструменты.tls -o папка/рисунок.svg",
        "export папка/деталь.json --merge папка/библиотека.tls",
        "merge папка/библиотека.tls папка/инструменты.tls -o папка/библиотека.tls",
        "diff папка/инструменты.tls папка/библиотека.tls --json",
        "find папка/деталь.json --database папка",
        "export папка/деталь.json --prefer папка -o папка/из-базы.tls",
        "preview папка/библиотека.tls --against папка/инструменты.tls --scale per-tool -o папка/рисунок2.svg",
        "run папка/сессия.json -C выход -o протокол.txt",
        "export папка/деталь.json -o папка/деталь.json",
        "check папка/нет.tls",
        // "-" is standard input or output; a "/" path is a path, never an option
        "check - папка/библиотека.tls < папка/инструменты.tls",
        "export папка/деталь.json -o - --select Фреза -q",
        "diff --full папка/инструменты.tls папка/библиотека.tls",
        "check " + native_dir.file("папка/инструменты.tls"),
    };
    // the Windows program runs from a folder of a Cyrillic name too
    const fs::path program_folder = program_dir.file("программа");
    fs::create_directories(program_folder);
    for (const char *name : {"kesto-tools-vericut.exe", "kesto_tools_vericut.dll", "libufun.dll", "libugopenint.dll"})
        fs::copy_file(fs::path(win) / name, program_folder / name);
    for (const TempDir *d : {&native_dir, &wine_dir}) {
        fs::create_directories(d->file("папка"));
        fs::create_directories(d->file("выход"));
        fs::copy_file(fs::path(KESTO_SOURCE_DIR) / "tests/sessions/tls_cutter_forms.json", d->file("папка/сессия.json"));
        write_file(d->file("папка/деталь.json"),
                   R"({"name": "Корпус.prt", "members": [{"name": "Фреза", "type": 1, "subtype": 1,
                       "params": {"diameter": 10, "length": 75, "flute_length": 30}}, {"name": "Сверло", "type": 2}]})");
    }
    auto run_in = [](const TempDir &dir, const std::string &program, const std::string &args, std::string &err) {
        std::string out;
        int rc = run_command("cd " + quoted(dir.path()) + " && " + program + " " + args + " 2>.stderr", out);
        err = std::regex_replace(read_file(dir.file(".stderr")), std::regex("\r\n"), "\n");
        fs::remove(dir.file(".stderr"));
        return std::make_pair(rc, std::regex_replace(out, std::regex("\r\n"), "\n"));
    };
    for (const std::string &args : commands) {
        SCOPED_TRACE(args);
        std::string native_err, wine_err;
        auto native = run_in(native_dir, quoted(KESTO_CLI_PATH), args, native_err);
        auto wine = run_in(wine_dir, wine_command() + " " + quoted((program_folder / "kesto-tools-vericut.exe").string()), args, wine_err);
        EXPECT_EQ(wine, native) << native_err << wine_err;
        if (native.first == 2) {
            EXPECT_EQ(wine_err, native_err);
        }
    }
    EXPECT_EQ(files_under(wine_dir.path()), files_under(native_dir.path()));
    EXPECT_TRUE(fs::exists(native_dir.file("выход/протокол.txt")));
    EXPECT_TRUE(fs::exists(native_dir.file("папка/рисунок.svg")));
}

// A tool database on a UNC path, which Wine serves from dosdevices/unc of
// its prefix (a server of this process's own, removed afterwards): the
// Windows build finds there what the native build finds in the folder.
TEST(CrossBuildNames, DatabaseOnAUncPath) {
    const std::string win = wine_dir();
    const char *prefix = std::getenv("WINEPREFIX");
    const fs::path devices =
        fs::path(prefix && *prefix ? prefix : std::string(std::getenv("HOME")) + "/.wine") / "dosdevices";
    if (win.empty() || !fs::is_directory(devices)) GTEST_SKIP() << "no Windows build given, or no Wine prefix";
    TempDir dir;
    fs::copy(fs::path(KESTO_SOURCE_DIR) / "examples", "share", fs::copy_options::recursive);
    const std::string server = "kesto-test-" + std::to_string(getpid());
    fs::create_directories(devices / "unc" / server);
    fs::create_directory_symlink(dir.file("share"), devices / "unc" / server / "vericut");
    std::string native, wine;
    run_command(quoted(KESTO_CLI_PATH) + " find share/site_part.json --database share/database 2>/dev/null", native);
    run_command(wine_command() + " " + quoted(win + "/kesto-tools-vericut.exe") +
                    " find share/site_part.json --database '\\\\" + server + "\\vericut\\database' 2>/dev/null", wine);
    std::error_code ec;
    fs::remove_all(devices / "unc" / server, ec);
    fs::remove(devices / "unc", ec);  // only when empty
    EXPECT_NE(wine.find(" at \\\\" + server + "\\vericut\\database\\drills\\drills.tls:4"), std::string::npos) << wine;
    ASSERT_GT(native.size(), 2u);
    const std::string summary = native.substr(native.rfind('\n', native.size() - 2) + 1);
    EXPECT_NE(wine.find(summary.substr(0, summary.size() - 1)), std::string::npos) << wine << native;
}

// The DLL is a PE32 i386 library exporting exactly the two entry points and
// importing only from the host's libraries, KERNEL32 and the C runtime.
TEST(Win32Dll, ExportsAndImports) {
    std::string win32 = win32_dir();
    if (win32.empty()) GTEST_SKIP() << "no Win32 build given (KESTO_WIN32_DIR)";
    std::string out;
    ASSERT_EQ(run_command("i686-w64-mingw32-objdump -p " + quoted(win32 + "/kesto_tools_vericut.dll"), out), 0);
    EXPECT_NE(out.find("file format pei-i386"), std::string::npos);

    std::smatch m;
    std::vector<std::string> dlls;
    std::regex dll_name(R"(DLL Name: (\S+))");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), dll_name); it != std::sregex_iterator(); ++it)
        dlls.push_back((*it)[1]);
    std::sort(dlls.begin(), dlls.end());
    EXPECT_EQ(dlls, (std::vector<std::string>{"KERNEL32.dll", "libufun.dll", "libugopenint.dll", "msvcrt.dll"}));

    size_t table = out.find("[Ordinal/Name Pointer] Table");
    ASSERT_NE(table, std::string::npos);
    std::string exports = out.substr(table, out.find("\n\n", table) - table);
    std::vector<std::string> names;
    std::regex export_name(R"(\[\s*\d+\] (\S+))");
    for (auto it = std::sregex_iterator(exports.begin(), exports.end(), export_name); it != std::sregex_iterator(); ++it)
        names.push_back((*it)[1]);
    EXPECT_EQ(names, (std::vector<std::string>{"ufusr", "ufusr_ask_unload"}));

    // No compiler runtime DLL is needed beside it.
    EXPECT_EQ(out.find("libgcc"), std::string::npos);
    EXPECT_EQ(out.find("libstdc++"), std::string::npos);
}

// The plug-in computes doubles in SSE2 registers, as the native build does:
// no x87 arithmetic, whose 80-bit intermediates would give other bytes.
TEST(Win32Dll, PlugInComputesDoublesInSse2) {
    std::string win32 = win32_dir();
    if (win32.empty()) GTEST_SKIP() << "no Win32 build given (KESTO_WIN32_DIR)";
    const std::regex x87(R"(\sf(add|sub|mul|div|sqrt|sin|cos|ptan|patan|prem)[a-z]*\s)");
    int objects = 0;
    for (const auto &e : fs::recursive_directory_iterator(fs::path(win32) / "CMakeFiles" / "kesto_plugin_objects.dir")) {
        if (e.path().extension() != ".obj") continue;
        ++objects;
        std::string out;
        ASSERT_EQ(run_command("i686-w64-mingw32-objdump -d " + quoted(e.path().string()), out), 0);
        EXPECT_FALSE(std::regex_search(out, x87)) << e.path();
        if (e.path().filename() == "cutter_profile.cpp.obj") {
            EXPECT_NE(out.find("mulsd"), std::string::npos);
        }
    }
    EXPECT_GT(objects, 5);
}

}  // namespace
