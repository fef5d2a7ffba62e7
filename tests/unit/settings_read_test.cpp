// The settings search and read, run against the simulated host: what goes
// to standard output and the system log, and what the block holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>

#include "src/settings/settings.h"
#include "tests/unit/test_support.h"

namespace fs = std::filesystem;
using namespace testing_support;
using sim::Event;

namespace {

using Env = std::map<std::string, std::optional<std::string>>;

const char *kIniName = "kesto_tools_vericut.ini";
const char *kFailed = "Cant open and read *.ini file!\n";
const char *kStart = "\n ----start----- _ini_read \n _ini_read init finish";

struct IniRun {
    int rc = 0;
    std::string out;
    std::vector<std::string> syslog;
    std::string error;
};

IniRun read_with(const Env &env, const std::vector<sim::Fault> &faults = {}) {
    sim::Session s;
    s.has_env = true;
    s.env = env;
    s.faults = faults;
    sim::DirectRun run(s);
    IniRun result;
    result.rc = _ini_read();
    sim::RunResult r = run.finish();
    result.out = joined(r, Event::Stdout);
    for (const Event &e : of_kind(r, Event::Syslog)) result.syslog.push_back(e.texts.at(0));
    result.error = r.error;
    return result;
}

// Writes the settings file under dir/application and gives the candidate
// path the search builds for dir.
std::string put_ini(const std::string &dir, const std::string &content) {
    fs::create_directories(dir + "/application");
    write_file(dir + "/application/" + kIniName, content);
    return dir + "\\application\\" + kIniName;
}

struct IniBlock {
    int active;
    std::string runpath, ver, path_tool, path_usr;
    int num_path;
};

IniBlock defaults() { return {0, "", "5.2", "\\\\cadserver\\vericut\\Tools", "\\\\cadserver\\vericut", 0}; }

std::string success_out(const IniBlock &b) {
    return std::string(kStart) + "\n _ini_read - read ini\nactive=" + std::to_string(b.active) +
           "\nfile=kesto_tools_vericut.ini\nrunpath=" + b.runpath + "\nver=" + b.ver + "\npath_tool=" + b.path_tool +
           "\npath_usr=" + b.path_usr + "\nnum_path=" + std::to_string(b.num_path) + "\n ----end----- _ini_read";
}

void expect_block(const IniBlock &b) {
    EXPECT_EQ(Settings.active, b.active);
    EXPECT_STREQ(Settings.file, kIniName);
    EXPECT_EQ(std::string(Settings.runpath), b.runpath);
    EXPECT_EQ(std::string(Settings.ver), b.ver);
    EXPECT_EQ(std::string(Settings.path_tool), b.path_tool);
    EXPECT_EQ(std::string(Settings.path_usr), b.path_usr);
    EXPECT_EQ(Settings.num_path, b.num_path);
}

TEST(IniRead, OnlyHomeSet) {
    TempDir dir;
    std::string candidate = put_ini(dir.path(), "[VMAIN]\r\nNUM=2\r\n");
    IniRun run = read_with({{"HOME", dir.path()}});
    EXPECT_EQ(run.rc, 0);
    EXPECT_EQ(run.syslog, (std::vector<std::string>{candidate, "\n"}));
    IniBlock b = defaults();
    b.active = 1;
    b.runpath = candidate;
    b.num_path = 2;
    expect_block(b);
    EXPECT_EQ(run.out, success_out(b));
    EXPECT_STREQ(_ini_file_path(), candidate.c_str());
}

TEST(IniRead, FirstVariableInOrderWins) {
    TempDir dir;
    std::string first = put_ini(dir.file("vendor"), "[VMAIN]\nVERSION=vendor\n");
    put_ini(dir.file("user"), "[VMAIN]\nVERSION=user\n");
    // Given in another order than the search's: the search order counts.
    IniRun run = read_with({{"UGII_USER_DIR", dir.file("user")}, {"UGII_VENDOR_DIR", dir.file("vendor")},
                            {"HOME", dir.file("user")}});
    EXPECT_EQ(run.rc, 0);
    EXPECT_EQ(run.syslog, (std::vector<std::string>{first, "\n"}));
    EXPECT_STREQ(Settings.ver, "vendor");
    EXPECT_EQ(std::string(Settings.runpath), first);
}

// Every variable that has a value is logged, in search order, until one
// leads to the file; unset variables leave no trace.
TEST(IniRead, CandidatesTriedUnchanged) {
    TempDir dir;
    put_ini(dir.file("site"), "[VMAIN]\nNUM=1\n");
    IniRun run = read_with({{"UGII_VENDOR_DIR", std::nullopt},
                            {"UGII_USER_DIR", dir.file("none") + "\\"},
                            {"USER_UFUN", ""},
                            {"UGII_SITE_DIR", dir.file("site") + "\\"},
                            {"HOME", dir.file("site")}});
    EXPECT_EQ(run.rc, 0);
    std::string site_candidate = dir.file("site") + "\\\\application\\" + kIniName;
    EXPECT_EQ(run.syslog, (std::vector<std::string>{dir.file("none") + "\\\\application\\" + kIniName, "\n",
                                                    site_candidate, "\n"}));
    EXPECT_EQ(std::string(Settings.runpath), site_candidate);
    EXPECT_EQ(Settings.num_path, 1);
}

TEST(IniRead, EmptyVariableGivesRootCandidate) {
    TempDir dir;
    std::string home = put_ini(dir.path(), "[VMAIN]\n");
    IniRun run = read_with({{"USER_UFUN", ""}, {"HOME", dir.path()}});
    EXPECT_EQ(run.rc, 0);
    EXPECT_EQ(run.syslog,
              (std::vector<std::string>{std::string("\\application\\") + kIniName, "\n", home, "\n"}));
}

// A variable's bytes that are no proper UTF-8 (overlong, surrogate, cut
// short) reach the plug-in as '?', never as a NUL that cuts the path.
TEST(IniRead, MalformedVariableBytesBecomeQuestionMarks) {
    TempDir dir;
    std::string home = put_ini(dir.path(), "[VMAIN]\n");
    IniRun run = read_with({{"UGII_VENDOR_DIR", "a\xC0\x80" "b\xED\xA0\x80" "c\xE0\x80\x80" "d\xD0"},
                            {"HOME", dir.path()}});
    EXPECT_EQ(run.rc, 0);
    EXPECT_EQ(run.syslog, (std::vector<std::string>{std::string("a??b??c??d?\\application\\") + kIniName, "\n",
                                                    home, "\n"}));
}

struct ValueCase {
    const char *name;
    std::string ini;
    IniBlock expected;  // runpath is filled in by the test
};

class IniValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(IniValues, BlockAndPrintout) {
    const ValueCase &c = GetParam();
    TempDir dir;
    std::string candidate = put_ini(dir.path(), c.ini);
    IniRun run = read_with({{"HOME", dir.path()}});
    EXPECT_EQ(run.rc, 0);
    IniBlock b = c.expected;
    b.runpath = candidate;
    expect_block(b);
    EXPECT_EQ(run.out, success_out(b));
}

IniBlock with(int num, const std::string &ver = "5.2", const std::string &tool = "\\\\cadserver\\vericut\\Tools",
           const std::string &usr = "\\\\cadserver\\vericut") {
    return {1, "", ver, tool, usr, num};
}

const std::string kTls200 = std::string(100, 'T') + std::string(100, 't');

INSTANTIATE_TEST_SUITE_P(
    Cases, IniValues,
    ::testing::Values(
        ValueCase{"OnlyNum2", "[VMAIN]\nNUM=2\n", with(2)},
        ValueCase{"AllKeys", "[VMAIN]\r\nVERSION=6.1\r\nTLS=D:\\tools\r\nUSR=D:\\usr\r\nNUM=3\r\n",
                  with(3, "6.1", "D:\\tools", "D:\\usr")},
        ValueCase{"LongValuesCut", "[VMAIN]\nVERSION=123456789012345\nTLS=" + kTls200 + "\nUSR=" + std::string(300, 'u') + "\n",
                  with(0, "123456789", kTls200.substr(0, 132), std::string(132, 'u'))},
        ValueCase{"NumAbc", "[VMAIN]\nNUM=abc\n", with(0)},
        ValueCase{"Num7x", "[VMAIN]\nNUM=7x\n", with(7)},
        ValueCase{"NumMinus1", "[VMAIN]\nNUM=-1\n", with(-1)},
        ValueCase{"NumCutToNineDigits", "[VMAIN]\nNUM=12345678901\n", with(123456789)},
        ValueCase{"LowerCaseNames", "[vmain]\nversion=5.5\ntls=t\nusr=u\nnum=4\n", with(4, "5.5", "t", "u")},
        ValueCase{"EmptyValuesKeepDefaults", "[VMAIN]\nVERSION=\nTLS=  \nUSR=\"\"\nNUM=\n", with(0)},
        ValueCase{"OtherSectionsIgnored", "[VRUN]\nNUM=5\n[OTHER]\nVERSION=x\n", with(0)},
        ValueCase{"Windows1251Values", "[VMAIN]\nTLS=D:\\\xC8\xED\xF1\xF2\xF0\n", with(0, "5.2", "D:\\\xC8\xED\xF1\xF2\xF0")}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(IniRead, FoundPathLongerThan132) {
    TempDir dir;
    std::string deep = dir.file(std::string(60, 'd') + "/" + std::string(60, 'e'));
    std::string candidate = put_ini(deep, "[VMAIN]\nVERSION=deep\nNUM=1\n");
    ASSERT_GT(candidate.size(), 132u);
    ASSERT_LT(candidate.size(), 256u);
    IniRun run = read_with({{"HOME", deep}});
    EXPECT_EQ(run.rc, 0);
    EXPECT_EQ(std::string(Settings.runpath), candidate.substr(0, 132));
    // The values come from the whole path, and so do the launcher entries.
    EXPECT_STREQ(Settings.ver, "deep");
    EXPECT_EQ(Settings.num_path, 1);
    EXPECT_EQ(std::string(_ini_file_path()), candidate);
    EXPECT_EQ(run.syslog, (std::vector<std::string>{candidate, "\n"}));
}

TEST(IniRead, NoCandidate) {
    TempDir dir;
    IniRun run = read_with({{"UGII_TMP_DIR", dir.path()}, {"TMP", dir.file("x")}, {"HOME", std::nullopt}});
    EXPECT_EQ(run.rc, -1);
    EXPECT_EQ(run.out, std::string(kStart) + "\n\t UF_CFI_ask_file_exist(-1) - kesto_tools_vericut.ini ");
    EXPECT_EQ(run.syslog, (std::vector<std::string>{dir.path() + "\\application\\" + kIniName, "\n",
                                                    dir.file("x") + "\\application\\" + kIniName, "\n", kFailed}));
    expect_block(defaults());
}

// A read that finds nothing leaves no trace of an earlier run's values.
TEST(IniRead, EachReadStartsFromTheDefaults) {
    TempDir dir;
    put_ini(dir.path(), "[VMAIN]\nVERSION=6\nNUM=3\n");
    ASSERT_EQ(read_with({{"HOME", dir.path()}}).rc, 0);
    ASSERT_EQ(Settings.num_path, 3);
    IniRun run = read_with({});
    EXPECT_EQ(run.rc, -1);
    EXPECT_EQ(run.syslog, (std::vector<std::string>{kFailed}));
    expect_block(defaults());
    EXPECT_STREQ(_ini_file_path(), "");
}

// A candidate that would not fit in 255 characters is not cut into another
// path: it is skipped with a line that says so, and the search goes on.
TEST(IniRead, OverlongCandidateSkipped) {
    TempDir dir;
    std::string home = put_ini(dir.path(), "[VMAIN]\nNUM=1\n");
    std::string longest_fitting(255 - std::string("\\application\\kesto_tools_vericut.ini").size(), 'a');
    IniRun run = read_with({{"UGII_VENDOR_DIR", std::string(300, 'v')},
                            {"UGII_USER_DIR", longest_fitting + "b"},
                            {"UGII_SITE_DIR", longest_fitting},
                            {"HOME", dir.path()}});
    EXPECT_EQ(run.rc, 0);
    const std::string skipped = " the path would be longer than 255 characters, skipped ";
    EXPECT_NE(run.out.find("\n _ini_read - UGII_VENDOR_DIR:" + skipped), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n _ini_read - UGII_USER_DIR:" + skipped), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("UGII_SITE_DIR"), std::string::npos);
    EXPECT_EQ(run.syslog, (std::vector<std::string>{longest_fitting + "\\application\\" + kIniName, "\n", home, "\n"}));
    EXPECT_EQ(Settings.num_path, 1);
}

// An existence test that fails leaves its answer unset: that candidate
// counts as missing and the search goes on.
TEST(IniRead, FailingExistenceTestCountsAsMissing) {
    TempDir dir;
    put_ini(dir.file("a"), "[VMAIN]\nVERSION=a\n");
    std::string b = put_ini(dir.file("b"), "[VMAIN]\nVERSION=b\n");
    IniRun run = read_with({{"UGII_VENDOR_DIR", dir.file("a")}, {"HOME", dir.file("b")}},
                           {sim::Fault{"UF_CFI_ask_file_exist", 7, 1}});
    EXPECT_EQ(run.rc, 0);
    EXPECT_STREQ(Settings.ver, "b");
    EXPECT_EQ(std::string(Settings.runpath), b);
}

struct GetCase {
    const char *name;
    const char *key;
    unsigned size;
    bool result;
    std::string buffer;
};

class IniGet : public ::testing::TestWithParam<GetCase> {};

TEST_P(IniGet, TrueExactlyForANonEmptyValue) {
    const GetCase &c = GetParam();
    TempDir dir;
    write_file(dir.file("s.ini"), "[VRUN]\n0=run.bat\n1=\n2=\"\"\n3\n");
    std::string buffer(c.size + 1, 'x');
    EXPECT_EQ(_ini_get("vrun", c.key, &buffer[0], c.size, dir.file("s.ini").c_str()), c.result);
    EXPECT_EQ(std::string(buffer.c_str()), c.buffer);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniGet,
                         ::testing::Values(GetCase{"Value", "0", 257, true, "run.bat"},
                                           GetCase{"ValueCut", "0", 4, true, "run"},
                                           GetCase{"EmptyValue", "1", 257, false, ""},
                                           GetCase{"EmptyQuotes", "2", 257, false, ""},
                                           GetCase{"NoEquals", "3", 257, false, ""},
                                           GetCase{"Missing", "9", 257, false, ""}),
                         [](const auto &p) { return std::string(p.param.name); });

}  // namespace
