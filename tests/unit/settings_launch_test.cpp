// The simulator launch against the simulated host, with the recording test
// launcher started for real: natively, and through the Windows build under
// Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "host/common/cp1251.h"
#include "src/settings/launch.h"
#include "src/settings/settings.h"
#include "tests/unit/launcher_record.h"

namespace fs = std::filesystem;
using namespace testing_support;
using sim::Event;

namespace {

const char *kNotRead = "Не могу запустить Vericut для:\n %s\n сделайте это вручную..";
const char *kNotStarted = "Невозможно запустить Vericut для %s\nсделайте это вручную..";

std::string with_path(const char *format, const std::string &path) {
    std::string text(format);
    return text.replace(text.find("%s"), 2, path);
}

struct LaunchRun {
    int rc = 0;
    std::string out;
    std::vector<std::string> messages;  // UTF-8
};

// Reads the settings from home (when the file is there), then launches on
// tls_path in a second host session, so that only the launch's output is
// looked at.
LaunchRun launch(const std::string &home, const std::string &tls_path) {
    sim::Session setup;
    setup.has_env = true;
    setup.env["HOME"] = home;
    {
        sim::DirectRun run(setup);
        _ini_read();
    }
    sim::Session s;
    s.has_env = true;
    sim::DirectRun run(s);
    LaunchRun result;
    result.rc = Tools_run_vericut(0, tls_path.c_str());
    sim::RunResult r = run.finish();
    result.out = joined(r, Event::Stdout);
    for (const Event &e : of_kind(r, Event::Message)) result.messages.push_back(kesto::cp1251_to_utf8(e.texts.at(0)));
    return result;
}

std::string started_out(int index, const std::string &launcher, const std::string &tls) {
    return "\n Tools_run_vericut " + std::to_string(index) + ") GetParam=" + launcher + " file=" + tls +
           " \n\n \"" + launcher + "\" \"" + tls + "\" ";
}

// A message as its buffer holds it: 387 Windows-1251 bytes at most.
std::string cut_message(const std::string &utf8) {
    return kesto::cp1251_to_utf8(kesto::utf8_to_cp1251(utf8).substr(0, 387));
}

struct LaunchCase {
    const char *name;
    std::string ini;        // the settings file; empty: none is found
    std::string tls;        // the tool file path handed over
    int rc;
    std::string out;        // standard output of the launch
    std::string message;    // empty: no message
    std::string record;     // what the launcher recorded; empty: not started
};

class Launch : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(Launch, StartsTheFirstLauncherThatRuns) {
    const LaunchCase &c = GetParam();
    TempDir dir;
    install_launcher_at(native_launcher(), dir.file("bin/launcher"));
    install_launcher_at(native_launcher(), dir.file("bin/second"));
    install_launcher_at(native_launcher(), dir.file("bin dir/run it"));
    install_launcher_at(native_launcher(), dir.file("bin/" + std::string(240, 'L')));
    write_file(dir.file("bin/text.exe"), "not a program\n");
    if (!c.ini.empty()) {
        fs::create_directories(dir.file("home/application"));
        write_file(dir.file("home/application/kesto_tools_vericut.ini"), c.ini);
    }
    auto start = std::chrono::steady_clock::now();
    LaunchRun run = launch(dir.file("home"), c.tls);
    // However large NUM is, only the entries the section has are read.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(run.rc, c.rc);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.messages, c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
    if (!c.record.empty()) {
        EXPECT_EQ(wait_for_records(dir.file("launched.txt")), c.record);
    }
    // Nothing else is started: no launcher, or not the later entries as well.
    EXPECT_EQ(records_but_marker(dir.file("launched.txt")), c.record);
}

const std::string kLongLauncher = "bin\\" + std::string(240, 'L');
const std::string kLongTls = std::string(255, 'T') + ".tls";  // the longest a tool file path gets
const std::string kTooLongTls = std::string(600, 'X');

INSTANTIATE_TEST_SUITE_P(
    Cases, Launch,
    ::testing::Values(
        LaunchCase{"SettingsNotRead", "", "t.tls", -1, "", with_path(kNotRead, "t.tls"), ""},
        LaunchCase{"NotReadLongMessageWhole", "", kLongTls, -1, "", with_path(kNotRead, kLongTls), ""},
        LaunchCase{"Num0Valid", "[VMAIN]\nNUM=0\n[VRUN]\n0=bin\\launcher\n", "t.tls", 0,
                   started_out(0, "bin\\launcher", "t.tls"), "", record_of("t.tls")},
        LaunchCase{"MissingNonexistentValid",
                   "[VMAIN]\nNUM=2\n[VRUN]\n1=bin\\nothing\n2=bin\\launcher\n", "t.tls", 0,
                   started_out(2, "bin\\launcher", "t.tls"), "", record_of("t.tls")},
        LaunchCase{"OnlyTheFirstOfTwoValid", "[VMAIN]\nNUM=1\n[VRUN]\n0=bin\\launcher\n1=bin\\second\n", "t.tls", 0,
                   started_out(0, "bin\\launcher", "t.tls"), "", record_of("t.tls")},
        LaunchCase{"EntryBeyondNumNeverRead", "[VMAIN]\nNUM=2\n[VRUN]\n3=bin\\launcher\n", "t.tls", 0, "",
                   with_path(kNotStarted, "t.tls"), ""},
        LaunchCase{"NumNegative", "[VMAIN]\nNUM=-1\n[VRUN]\n0=bin\\launcher\n", "t.tls", 0, "",
                   with_path(kNotStarted, "t.tls"), ""},
        LaunchCase{"NoVrunSection", "[VMAIN]\nNUM=3\n", "t.tls", 0, "", with_path(kNotStarted, "t.tls"), ""},
        // NUM=2147483647 is read with room for nine digits: 214748364.
        LaunchCase{"LargestNumWithoutLauncher", "[VMAIN]\nNUM=2147483647\n", "t.tls", 0, "",
                   with_path(kNotStarted, "t.tls"), ""},
        LaunchCase{"LargestNumOnlyIndicesAsWritten",
                   "[VMAIN]\nNUM=2147483647\n[VRUN]\n05=bin\\second\n+1=bin\\second\n214748365=bin\\second\n"
                   "214748364=bin\\launcher\n",
                   "t.tls", 0, started_out(214748364, "bin\\launcher", "t.tls"), "", record_of("t.tls")},
        LaunchCase{"IndicesInIncreasingOrderFirstKeyAnswers",
                   "[VMAIN]\nNUM=3\n[VRUN]\n3=bin\\second\n1=bin\\launcher\n1=bin\\nothing\n", "t.tls", 0,
                   started_out(1, "bin\\launcher", "t.tls"), "", record_of("t.tls")},
        LaunchCase{"NamelessKeyFirst", "[VMAIN]\nNUM=1\n[VRUN]\n=bin\\second\n1=bin\\launcher\n", "t.tls", 0,
                   started_out(1, "bin\\launcher", "t.tls"), "", record_of("t.tls")},
        LaunchCase{"EntryWithArgumentsIsNoFile", "[VMAIN]\n[VRUN]\n0=bin\\launcher -x\n", "t.tls", 0, "",
                   with_path(kNotStarted, "t.tls"), ""},
        LaunchCase{"CannotStartThenNext", "[VMAIN]\nNUM=1\n[VRUN]\n0=bin\\text.exe\n1=bin\\launcher\n", "t.tls", 0,
                   started_out(0, "bin\\text.exe", "t.tls") +
                       "\n\t (CreateProcess) - error run \"bin\\text.exe\" \"t.tls\" " +
                       started_out(1, "bin\\launcher", "t.tls"),
                   "", record_of("t.tls")},
        LaunchCase{"NoneCanStart", "[VMAIN]\n[VRUN]\n0=bin\\text.exe\n", "t.tls", 0,
                   started_out(0, "bin\\text.exe", "t.tls") +
                       "\n\t (CreateProcess) - error run \"bin\\text.exe\" \"t.tls\" ",
                   with_path(kNotStarted, "t.tls"), ""},
        LaunchCase{"BlanksInBothPaths", "[VMAIN]\n[VRUN]\n0=\"bin dir\\run it\"\n", "my tools\\a b; $x.tls", 0,
                   started_out(0, "bin dir\\run it", "my tools\\a b; $x.tls"), "",
                   record_of("my tools/a b; $x.tls")},
        // Longer than 256 characters together: built whole and started.
        LaunchCase{"LongCommandLine", "[VMAIN]\n[VRUN]\n0=" + kLongLauncher + "\n", kLongTls, 0,
                   started_out(0, kLongLauncher, kLongTls), "", record_of(kLongTls)},
        // Longer than any tool file path the export hands over: not cut
        // into another command, and the user is told.
        LaunchCase{"ToolPathTooLong", "[VMAIN]\n[VRUN]\n0=bin\\launcher\n", kTooLongTls, 0,
                   "\n Tools_run_vericut 0) command line too long, not started: bin\\launcher ",
                   cut_message(with_path(kNotStarted, kTooLongTls)), ""}),
    [](const auto &p) { return std::string(p.param.name); });

// The launch reads the entries from the whole path of the settings file,
// even when the stored runpath is cut to 132 characters.
TEST(LaunchPaths, EntriesReadFromTheWholeSettingsPath) {
    TempDir dir;
    install_launcher_at(native_launcher(), dir.file("bin/launcher"));
    std::string home = dir.file(std::string(70, 'h') + "/" + std::string(70, 'i'));
    fs::create_directories(home + "/application");
    write_file(home + "/application/kesto_tools_vericut.ini", "[VMAIN]\n[VRUN]\n0=bin\\launcher\n");
    LaunchRun run = launch(home, "t.tls");
    ASSERT_EQ(std::string(Settings.runpath).size(), 132u);
    EXPECT_EQ(run.rc, 0);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(wait_for_records(dir.file("launched.txt")), record_of("t.tls"));
}

// ---- The Windows build under Wine ------------------------------------------------

// One export session, run by the native and the Windows command-line host:
// a missing launcher, one that cannot be started, then the test launcher,
// which gets the tool file path with blanks, ';', '$' and quotes whole.
TEST(LaunchBothBuilds, SameLauncherStartedWithTheSameArgument) {
    std::string win32 = wine_dir();
    if (win32.empty()) GTEST_SKIP() << "no Windows build given (KESTO_WIN32_DIR or KESTO_WINE_DIR)";
    const std::string session = R"({
  "env": {"HOME": "home"},
  "files": {
    "home/application/kesto_tools_vericut.ini": "[VMAIN]\r\nNUM=2\r\n[VRUN]\r\n0=bin\\missing.exe\r\n1=bin\\text.exe\r\n2=bin\\launcher.exe\r\n",
    "bin/text.exe": "not a program\n",
    "out dir/keep": ""},
  "part": {"name": "bracket.prt", "members": [
    {"name": "EM10", "type": 1, "subtype": 1, "params": {"diameter": 10, "length": 75, "flute_length": 50}}]},
  "answers": [{"menu": 5}, {"question": 1}, {"file": "out dir/my tools; $x 'y'.tls"}, {"question": 1}, {"menu": 2}]
})";
    TempDir native_dir;
    TempDir wine_dir;
    for (const TempDir *d : {&native_dir, &wine_dir}) write_file(d->file("session.json"), session);
    install_launcher_at(native_launcher(), native_dir.file("bin/launcher.exe"));
    install_launcher_at(win32 + "/kesto_test_launcher.exe", wine_dir.file("bin/launcher.exe"));

    std::string out;
    ASSERT_EQ(run_command(std::string(KESTO_CLI_PATH) + " run '" + native_dir.file("session.json") + "' -C '" +
                              native_dir.path() + "' -o transcript.txt",
                          out),
              0)
        << out;
    ASSERT_EQ(run_command(wine_command() + " '" + win32 + "/kesto-tools-vericut.exe' run '" +
                              wine_path(wine_dir.file("session.json")) + "' -C '" + wine_path(wine_dir.path()) +
                              "' -o transcript.txt",
                          out),
              0)
        << out;

    const std::string record = record_of("out dir/my tools; $x 'y'.tls");
    EXPECT_EQ(wait_for_records(native_dir.file("launched.txt")), record);
    EXPECT_EQ(wait_for_records(wine_dir.file("launched.txt")), record);
    std::string transcript = read_file(native_dir.file("transcript.txt"));
    EXPECT_NE(transcript.find("(CreateProcess) - error run"), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("Tools_run_vericut 2) GetParam="), std::string::npos) << transcript;
    EXPECT_EQ(transcript.find("Tools_run_vericut 0)"), std::string::npos) << transcript;
    EXPECT_EQ(read_file(wine_dir.file("transcript.txt")), transcript);
}

}  // namespace
