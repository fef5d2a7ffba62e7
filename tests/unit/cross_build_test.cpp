// Every session file under tests/sessions runs on the native build and on
// the Win32 build under Wine; the transcripts and every file the session
// left behind must be the same, byte for byte.  Also checks what the DLL
// exports and imports.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "tests/unit/launcher_record.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

std::string quoted(const std::string &s) { return "'" + s + "'"; }

// The environment of Wine as a Russian Windows, whose ANSI code page is 1251
// and OEM one 866: Wine takes them from the C library's locale, made in dir
// when the system lacks it.
std::string russian_windows(const testing_support::TempDir &dir) {
    std::string out;
    if (run_command("locale -a | grep -qix 'ru_RU.utf-\\?8'", out) == 0) return "LANG=ru_RU.UTF-8";
    fs::create_directories(dir.file("locale"));
    EXPECT_EQ(run_command("localedef -i ru_RU -f UTF-8 " + quoted(dir.file("locale/ru_RU.UTF-8")) + " 2>&1", out), 0)
        << out;
    return "LOCPATH=" + quoted(dir.file("locale")) + " LANG=ru_RU.UTF-8";
}

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
        "find папка/деталь.json --database папка/",
        "export папка/деталь.json --prefer папка/ -o папка/из-базы.tls",
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
        "find папка/деталь.json --database длинная/",
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

// What a cmd user types on Windows, run by the Windows program alone (the
// native build has no such forms): the path forms of a writing command, a
// UNC share among them; wildcards the program expands; /? as help;
// examples in cmd's quoting; devices refused as outputs; text to a file in
// the console's code page; the encodings a Windows editor saves.  Each row
// runs in the same folder, after the rows before it.
TEST(CrossBuildNames, WhatACmdUserTypes) {
    const std::string win = wine_dir();
    if (win.empty()) GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
    const fs::path devices = fs::path(wine_prefix()) / "dosdevices";
    ASSERT_TRUE(fs::is_directory(devices)) << devices;
    TempDir dir;
    const std::string server = "kesto-cmd-" + std::to_string(getpid()), unc = "\\\\" + server + "\\share";
    fs::create_directories(dir.file("share/db"));
    fs::create_directories(devices / "unc" / server);
    fs::create_directory_symlink(dir.file("share"), devices / "unc" / server / "share");
    fs::create_directories(dir.file("libs/sub"));
    fs::create_directories(dir.file("site/application"));
    const fs::path examples = fs::path(KESTO_SOURCE_DIR) / "examples";
    fs::copy_file(examples / "PART.json", dir.file("part.json"));
    fs::copy_file(examples / "SITE.tls", dir.file("libs/site.tls"));
    fs::copy_file(examples / "SITE.tls", dir.file("libs/sub/k.tls"));
    fs::copy_file(examples / "SITE.tls", dir.file("libs/site.tlsx"));  // never "*.tls" (its short name would be)
    fs::create_directories(dir.file("shop libraries"));
    fs::copy_file(examples / "SITE.tls", dir.file("shop libraries/x.tls"));
    write_file(dir.file("T_SLOT_30"), "a file named as a TOOLID is");
    // a library edited apart by two keepers, as git hands it to its merge driver
    std::string ours = read_file(dir.file("libs/site.tls")), theirs = ours;
    ours.replace(ours.find("H90.00"), 6, "H91.00");
    theirs.replace(theirs.find("H90.00"), 6, "H92.00");
    write_file(dir.file("git-ours"), ours);
    write_file(dir.file("git-theirs"), theirs);
    write_file(dir.file("корпус.json"), R"({"name": "Корпус.prt", "members": [{"name": "ФРЕЗА12", "type": 1,
        "subtype": 1, "params": {"diameter": 12, "length": 75, "flute_length": 30}}]})");
    write_file(dir.file("site/application/kesto_tools_vericut.ini"), "[VMAIN]\r\nTLS=C:\\база\r\nNUM=1\r\n[VRUN]\r\n1=" +
                                                                          wine_path(dir.file("part.json")) + "\r\n");
    std::string ignored;
    run_command(quoted(KESTO_CLI_PATH) + " export корпус.json -o корпус.tls 2>&1", ignored);
    fs::copy_file(dir.file("корпус.tls"), dir.file("k.tls"));
    // (Wine reads non-ASCII arguments in the locale given: k.tls has an ASCII name)
    const std::string russian = russian_windows(dir);
    fs::create_directories(dir.file("enc"));
    // a library saved as Notepad's "Unicode": UTF-16, its mark first
    std::string unicode = "\xFF\xFE";
    for (char c : read_file(dir.file("k.tls"))) unicode += std::string(1, c) + '\0';  // k.tls: ASCII
    write_file(dir.file("enc/unicode.tls"), unicode);
    const std::string here = wine_path(dir.path()), root_relative = here.substr(2);
    struct Row {
        std::string args;  // as the shell passes them on
        int exit;
        std::string shown;  // in standard output and error
        std::string env = "";
    };
    const std::vector<Row> rows = {
        // the path forms, for each kind of write; the scratch work stays beside the library
        {"export part.json -o '" + unc + "\\db\\x.tls'", 0, "13 tools"},
        {"export part.json --merge '" + unc + "\\db\\x.tls'", 0, "replaced"},
        {"export part.json --select EM12 --append -o '" + unc + "\\db\\y.tls'", 0, "1 tool"},
        {"merge '" + unc + "\\db\\x.tls' libs/site.tls -o '\\\\?\\UNC\\" + server + "\\share\\db\\x.tls'", 0, "replaced"},
        {"export part.json -o '\\\\?\\" + here + "\\long.tls'", 0, "13 tools"},
        {"export part.json -o 'Z:drive-relative.tls'", 0, "13 tools"},
        {"export part.json -o '" + root_relative + "\\root-relative.tls'", 0, "13 tools"},
        {"export part.json --merge libs/sub/forward.tls", 0, "13 tools"},
        // wildcards: a pattern matches long names only; a quoted one is the file name itself
        {"check '*.tls'", 0, "корпус.tls: 1 tool"},
        {"check 'libs\\*.tls' --json", 0, "libs\\\\site.tls"},
        {"diff 'libs\\s?te.tls' 'libs/sub/k.t*'", 0, "unchanged: 12 tools"},
        {"check 'libs\\*.none'", 2, "libs\\*.none: no file matches this pattern"},
        // a file pattern in quotes is expanded as cmd's own commands expand it; a TOOLID never is
        {"check 'shop libraries\\*.tls'", 0, "shop libraries\\x.tls: 12 tools"},
        {"extract libs/site.tls 'T_*' -o libs/t.tls", 0, "wrote \"T_FULLRAD_30\""},
        // git's merge driver (Git for Windows starts it as git-setup set it): a conflict named, OURS whole
        {"merge --git libs/site.tls git-ours git-theirs site.tls", 1, "site.tls: conflict: \"BN16_R2\""},
        {"check -q git-ours", 0, ""},
        // the program's own paths in Windows' separator, the user's as typed
        {"find libs/site.tls --database libs", 0, ", libs\\sub\\k.tls:4"},
        {"find libs/site.tls --database libs/", 0, ", libs/sub/k.tls:4"},
        // help
        {"'/?'", 0, "Subcommands:"},
        {"check '/?'", 0, "kesto-tools-vericut check --json *.tls"},
        {"export '/?'", 0, "--select EM10,\"DRILL_8.5 |HSS|\""},
        {"run '/?'", 0, "\\\"question\\\")\""},
        // devices are refused before anything is locked
        {"export part.json -o NUL", 2, "NUL: is not a regular file (a device"},
        {"merge libs/site.tls libs/site.tls -o aux.tls", 2, "aux.tls: is not a regular file (a device"},
        {"export part.json -o 'libs\\Con .txt'", 2, "is not a regular file (a device"},
        // text to a pipe in the console's code page (Wine's OEM one here), or UTF-8 when asked
        // (the tests' Wine command asks for UTF-8 by $KESTO_ENCODING)
        {"--encoding console check k.tls", 0, "\x94\x90\x85\x87\x80""12", russian},
        {"check k.tls", 0, "ФРЕЗА12", russian},
        {"--encoding console check --json k.tls", 0, "\\u0424\\u0420\\u0415\\u0417\\u0410", russian},
        // the encodings of a Windows editor
        {"check enc/unicode.tls", 1, "it is UTF-16 (Notepad's \"Unicode\")"},
        {"settings --env UGII_VENDOR_DIR --env UGII_USER_DIR --env 'UGII_SITE_DIR=" + here + "\\site'", 0,
         "1 = " + wine_path(dir.file("part.json")) + ": exists, started first"},
        {"settings --env UGII_VENDOR_DIR --env UGII_USER_DIR --env 'UGII_SITE_DIR=" + here + "\\site'", 0,
         "the settings file is UTF-8; the plug-in reads it as ANSI: save it as ANSI"},
        {"settings --env UGII_VENDOR_DIR --env UGII_USER_DIR --env UGII_SITE_DIR --env USER_UFUN --env "
         "UGII_INITIAL_UFUN_DIR --env UGII_TMP_DIR --env HOME --env TMP", 1, "No settings file the plug-in can read"},
        {"settings --env =x", 2, "give NAME=VALUE"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.args);
        std::string out;
        const int rc = run_command("cd " + quoted(dir.path()) + " && " + row.env + " " + wine_command() + " " +
                                       quoted(win + "/kesto-tools-vericut.exe") + " " + row.args + " 2>&1",
                                   out);
        EXPECT_EQ(rc, row.exit) << out;
        EXPECT_NE(out.find(row.shown), std::string::npos) << out;
    }
    std::error_code ec;
    fs::remove_all(devices / "unc" / server, ec);
    fs::remove(devices / "unc", ec);  // only when empty
    for (const char *made : {"share/db/x.tls", "share/db/y.tls", "long.tls", "drive-relative.tls", "root-relative.tls",
                             "libs/sub/forward.tls"})
        EXPECT_TRUE(fs::exists(dir.file(made))) << made;
    for (const auto &entry : fs::recursive_directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().find(".~kesto"), std::string::npos) << entry.path();
    EXPECT_FALSE(fs::exists(fs::path(wine_prefix()) / "drive_c" / "server")) << "scratch work on C:";
}

// The Windows ZIP as a keeper gets it: unpacked into a folder of a Cyrillic
// name with blanks, on a Russian Windows (a Wine prefix of its own) with the share
// \\cadserver\vericut mapped, the user guide's walkthrough runs through
// cmd /c as written, each command with the exit code the guide gives.
// INSTALL.txt and the guide are CR LF and INSTALL.txt names every file; the
// program and the plug-in carry the project's version, and no binary
// carries debugging sections.
TEST(CrossBuild, WindowsZipWalkthrough) {
    const std::string win = win32_dir();
    if (win.empty() || wine_dir() != win) GTEST_SKIP() << "no Win32 build run under Wine (KESTO_WIN32_DIR)";
    TempDir dir;
    std::string out;
    // the package's reference is printed by this build's program
    ASSERT_EQ(run_command("KESTO_NATIVE_PROGRAM=" KESTO_CLI_PATH " cpack --config " + quoted(win + "/CPackConfig.cmake") +
                              " -B " + quoted(dir.file("cpack")) +
                              " >/dev/null 2>&1 && cd " + quoted(dir.path()) +
                              " && mkdir 'Папка с пробелами' && cd 'Папка с пробелами' && unzip -q ../cpack/*.zip",
                          out),
              0);
    const fs::path unpacked = fs::path(dir.file("Папка с пробелами")) /
                              ("kesto_tools_vericut-" + std::string(KESTO_VERSION) + "-win32");
    ASSERT_TRUE(fs::is_directory(unpacked));

    const std::string install = read_file((unpacked / "INSTALL.txt").string()),
                      guide = read_file((unpacked / "GUIDE.txt").string());
    for (const std::string *text : {&install, &guide}) {
        EXPECT_EQ(occurrences(*text, "\n"), occurrences(*text, "\r\n"));
        EXPECT_GT(occurrences(*text, "\r\n"), 20u);
    }
    for (const auto &entry : fs::directory_iterator(unpacked)) {
        const std::string name = entry.path().filename().string() + (entry.is_directory() ? "\\" : "");
        EXPECT_NE(install.find(name), std::string::npos) << name << " is not named in INSTALL.txt";
        if (entry.path().extension() != ".dll" && entry.path().extension() != ".exe") continue;
        ASSERT_EQ(run_command("i686-w64-mingw32-objdump -h " + quoted(entry.path().string()), out), 0);
        EXPECT_EQ(out.find(".debug_"), std::string::npos) << name << " is not stripped";
    }
    // The reference every --json help line points to: CR LF, every
    // subcommand with its usage, the examples quoted for cmd.exe.
    const std::string reference = read_file((unpacked / "REFERENCE.txt").string());
    EXPECT_EQ(occurrences(reference, "\n"), occurrences(reference, "\r\n"));
    ASSERT_EQ(run_command(quoted(KESTO_CLI_PATH) + " --help", out), 0);
    size_t subcommands = 0;
    std::istringstream help(out.substr(out.find("\nSubcommands:\n") + 14));
    for (std::string line; std::getline(help, line) && line.rfind("  ", 0) == 0;) {
        if (line[2] == ' ') continue;  // a summary's second line
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        ++subcommands;
        if (name == "help") continue;
        EXPECT_NE(reference.find("\r\n   " + name + "\r\n\r\n       kesto-tools-vericut " + name), std::string::npos)
            << name << " is not in REFERENCE.txt";
    }
    EXPECT_GE(subcommands, 16u);
    EXPECT_NE(reference.find("--select \"EM*\" -o MILLS.tls"), std::string::npos);
    EXPECT_EQ(reference.find("'EM*'"), std::string::npos);
    EXPECT_NE(reference.find("%UGII_SITE_DIR%\\application\\kesto_tools_vericut.ini"), std::string::npos);

    // the version resource's strings are UTF-16
    auto utf16 = [](const std::string &ascii) {
        std::string s;
        for (char c : ascii) s += std::string(1, c) + '\0';
        return s;
    };
    for (const char *binary : {"kesto_tools_vericut.dll", "kesto-tools-vericut.exe"}) {
        const std::string bytes = read_file((unpacked / binary).string());
        const size_t key = bytes.find(utf16("FileVersion") + std::string(2, '\0'));
        ASSERT_NE(key, std::string::npos) << binary;
        EXPECT_LT(bytes.find(utf16(KESTO_VERSION), key) - key, 32u) << binary;
        EXPECT_NE(bytes.find(utf16(binary)), std::string::npos) << binary;
    }

    // The walkthrough: each "  > " line of the guide, and the exit code
    // the line below it gives ("(exit code N"), else 0.
    std::vector<std::string> commands;
    std::vector<int> expected;
    std::istringstream lines(guide);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("  > ", 0) == 0) {
            commands.push_back(line.substr(4));
            expected.push_back(0);
        } else if (size_t at = line.find("(exit code "); at != std::string::npos && !expected.empty()) {
            expected.back() = std::atoi(line.c_str() + at + 11);
        }
    }
    ASSERT_GE(commands.size(), 15u);
    std::string script = "@echo off\r\n";
    for (const std::string &command : commands) script += command + "\r\necho @@%ERRORLEVEL%\r\n";
    // and the reference as the Windows program itself prints it
    script += "kesto-tools-vericut --reference > exe-reference.txt\r\n";
    write_file((unpacked / "walkthrough.cmd").string(), script);

    // a fresh prefix, with the share mapped once the prefix is there
    ASSERT_EQ(run_command(quoted(std::string(KESTO_SOURCE_DIR) + "/scripts/wine32.sh") + " prepare " +
                              quoted(dir.file("wine")) + " >/dev/null && " + quoted(dir.file("wine/wine")) +
                              " cmd /c exit >/dev/null 2>&1",
                          out),
              0);
    fs::create_directories(dir.file("share/Tools"));
    fs::create_directories(dir.file("wine/prefix/dosdevices/unc/cadserver"));
    fs::create_directory_symlink(dir.file("share"), dir.file("wine/prefix/dosdevices/unc/cadserver/vericut"));
    // a Russian Windows: the plug-in names the Cyrillic folder in its ANSI code page
    const int rc = run_command("cd " + quoted(unpacked.string()) + " && " + russian_windows(dir) + " " + quoted(dir.file("wine/wine")) +
                                   " cmd /c walkthrough.cmd 2>&1",
                               out);
    std::string ignored;
    run_command("WINEPREFIX=" + quoted(dir.file("wine/prefix")) + " wineserver -k >/dev/null 2>&1", ignored);
    EXPECT_EQ(rc, 0) << out;
    std::vector<int> codes;
    for (size_t at = out.find("@@"); at != std::string::npos; at = out.find("@@", at + 2))
        codes.push_back(std::atoi(out.c_str() + at + 2));
    ASSERT_EQ(codes.size(), commands.size()) << out;
    for (size_t i = 0; i < commands.size(); ++i) EXPECT_EQ(codes[i], expected[i]) << commands[i] << "\n" << out;

    // what the walkthrough made, the share's libraries among them
    for (const char *made : {"demo.tls", "demo.svg", "site.tls", "new.tls", "from-database.tls", "report.txt"})
        EXPECT_TRUE(fs::exists(unpacked / made)) << made;
    EXPECT_TRUE(fs::exists(dir.file("share/Tools/site.tls")));
    EXPECT_TRUE(fs::exists(dir.file("share/Tools/em12.tls")));
    for (const auto &entry : fs::recursive_directory_iterator(dir.file("share")))
        EXPECT_EQ(entry.path().string().find(".~kesto"), std::string::npos) << entry.path();
    // (Wine's findstr prints nothing; type shows the report as the console's code page has it)
    const std::string report = read_file((unpacked / "report.txt").string());
    EXPECT_NE(report.find("site.tls: 13 tools\r\n"), std::string::npos) << report;
    EXPECT_NE(out.find(report), std::string::npos) << "type shows the report";
    // the package's reference is the one its program gives
    auto lf = [](std::string text) { return std::regex_replace(text, std::regex("\r\n"), "\n"); };
    EXPECT_TRUE(lf(read_file((unpacked / "exe-reference.txt").string())) == lf(reference))
        << read_file((unpacked / "exe-reference.txt").string()).substr(0, 400);
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
