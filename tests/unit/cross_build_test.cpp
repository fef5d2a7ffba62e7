// Every session file under tests/sessions runs on the native build and on
// the Win32 build under Wine; the transcripts and every file the session
// left behind must be the same, byte for byte.  Also checks what the DLL
// exports and imports.
#include <gtest/gtest.h>

#include <unistd.h>

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

std::vector<std::string> session_files() {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(fs::path(KESTO_SOURCE_DIR) / "tests" / "sessions"))
        if (entry.path().extension() == ".json") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Natively each session runs in a program of its own; on the Windows build
// all of them run in one program (one Wine start: a start is slow where
// Wine runs under qemu-i386), each in its own folder.
TEST(CrossBuild, EverySessionSameTranscriptAndFiles) {
    std::string win32 = wine_dir();
    if (win32.empty()) GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
    const fs::path sessions = fs::path(KESTO_SOURCE_DIR) / "tests" / "sessions";
    const std::vector<std::string> names = session_files();
    ASSERT_GE(names.size(), 30u);
    TempDir native_root;
    TempDir wine_root;
    std::string wine_args;
    for (const std::string &name : names) {
        const fs::path native_dir = fs::path(native_root.path()) / name, wine_dir = fs::path(wine_root.path()) / name;
        fs::create_directories(native_dir);
        fs::create_directories(wine_dir);
        install_launcher(native_dir, fs::path(KESTO_BINARY_DIR) / "kesto_test_launcher");
        install_launcher(wine_dir, fs::path(win32) / "kesto_test_launcher.exe");
        wine_args += " " + quoted(wine_path((sessions / name).string())) + " -C " + quoted(wine_path(wine_dir.string()));
    }
    std::string out;
    EXPECT_EQ(run_command(wine_command() + " " + quoted(win32 + "/kesto-tools-vericut.exe") + " run" + wine_args +
                              " -o transcript.txt",
                          out),
              0);
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        const fs::path native_dir = fs::path(native_root.path()) / name, wine_dir = fs::path(wine_root.path()) / name;
        EXPECT_EQ(run_command(std::string(KESTO_CLI_PATH) + " run " + quoted((sessions / name).string()) + " -C " +
                                  quoted(native_dir.string()) + " -o transcript.txt",
                              out),
                  0);
        std::string transcript = read_file((native_dir / "transcript.txt").string());
        EXPECT_FALSE(transcript.empty());
        wait_for_launches(native_dir, transcript);
        wait_for_launches(wine_dir, transcript);
        EXPECT_EQ(files_under(native_dir), files_under(wine_dir));
    }
}

// Non-ASCII (Cyrillic) names in arguments, folders and files: the Windows
// build takes them as the native build does, and gives the same exit codes,
// output and files.  Standard output is compared with Windows' CR LF as LF.
// Also paths beyond Windows' classic 260 characters (the program's, an
// output folder), and a refused part or session file: exit 2 and one line
// (an exception thrown in the host's DLL is caught in the program).
TEST(CrossBuildNames, CyrillicArgumentsAndFiles) {
    const std::string win = wine_dir();
    if (win.empty()) GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
    TempDir program_dir, native_dir, wine_dir;
    const std::string long_folder = "длинная/" + std::string(100, 'l') + "/" + std::string(100, 'm') + "/" + std::string(60, 'n');
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
        "run папка/плохая.json -C выход",
        "export папка/плохая.json",
        "play папка/плохая.json",
        "export папка/деталь.json -o " + long_folder + "/инструменты.tls",
        "find папка/деталь.json --database длинная",
    };
    // the Windows program runs from a folder of a Cyrillic name too, and of
    // a long path
    const fs::path program_folder = program_dir.file(std::string(250, 'p') + "/программа");
    fs::create_directories(program_folder);
    for (const auto &entry : fs::directory_iterator(win))  // the program and every DLL beside it
        if (entry.path().extension() == ".dll" || entry.path().filename() == "kesto-tools-vericut.exe")
            fs::copy_file(entry.path(), program_folder / entry.path().filename());
    for (const TempDir *d : {&native_dir, &wine_dir}) {
        fs::create_directories(d->file("папка"));
        fs::create_directories(d->file("выход"));
        fs::create_directories(d->file(long_folder));
        write_file(d->file("папка/плохая.json"), R"({"runs": "два"})");
        fs::copy_file(fs::path(KESTO_SOURCE_DIR) / "tests/sessions/tls_cutter_forms.json", d->file("папка/сессия.json"));
        write_file(d->file("папка/деталь.json"),
                   R"({"name": "Корпус.prt", "members": [{"name": "Фреза", "type": 1, "subtype": 1,
                       "params": {"diameter": 10, "length": 75, "flute_length": 30}}, {"name": "Сверло", "type": 2,
                       "params": {"diameter": 8, "length": 40, "flute_length": 30, "point_angle": 2.0594885}}]})");
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
    for (const char *made : {"папка/рисунок.svg", "папка/библиотека.tls", "папка/рисунок2.svg"})
        EXPECT_TRUE(fs::exists(native_dir.file(made))) << made;
    EXPECT_TRUE(fs::exists(native_dir.file(long_folder + "/инструменты.tls")));
}

// A tool database on a UNC path, which Wine serves from dosdevices/unc of
// its prefix (a server of this process's own, removed afterwards): the
// Windows build finds there what the native build finds in the folder.
TEST(CrossBuildNames, DatabaseOnAUncPath) {
    const std::string win = wine_dir();
    if (win.empty()) GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
    const fs::path devices = fs::path(wine_prefix()) / "dosdevices";
    ASSERT_TRUE(fs::is_directory(devices)) << devices;
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
