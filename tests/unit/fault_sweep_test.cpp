// Every host call of the interface, failing on its first, second or third
// call or on every call, during one rich session: both exports over an
// existing library (append, then rewrite), holder creation, Help, every
// cutter type, holders with an offset.  Whatever fails, the session ends,
// each library passes the check, holds no infinite number, an export that
// did not end with the "created" question left it exactly as it was, and
// one that did wrote a record.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "host/common/cp1251.h"
#include "host/sim/host_state.h"
#include "tests/unit/test_support.h"
#include "tools/tlsfile/tls_check.h"

namespace fs = std::filesystem;
using namespace testing_support;
using sim::Event;

namespace {

// Each export keeps to its own library, so that no append repeats a tool
// the library already holds.
const char *kAllLibrary = "all.tls";
const char *kSelectedLibrary = "selected.tls";
const char *const kLibraries[] = {kAllLibrary, kSelectedLibrary};

// A library whose last line has no line break.
const char *kOldLibrary =
    "CGTECH Tool Library File\r\nVersion-5.2\r\n\r\nTOOLID \"OLD\" {\r\n  UNITS MILLIMETER\r\n"
    "  TOOLTYPE TURNING\r\n  STACK NO\r\n}";

// The demo part (every cutter form, holders with an offset) with a group in
// the machine-tool root, the library and settings whose launchers are missing.
std::string rich_session(const std::string &call, int nth) {
    nlohmann::json part = nlohmann::json::parse(read_file(std::string(KESTO_SOURCE_DIR) + "/examples/demo_part.json"));
    part["members"].push_back({{"name", "POCKET"}, {"object_type", 110}});
    part["selected"] = {"BN16_R2", "BARREL_20", "T_SLOT_30"};
    nlohmann::json s = {
        {"env", {{"HOME", "home"}}},
        {"part", part},
        {"fail_messages", {{"949001", "Sweep fault"}}},
        {"files",
         {{"home/application/kesto_tools_vericut.ini", "[VMAIN]\nNUM=1\n[VRUN]\n0=bin\\missing.exe\n"},
          {kAllLibrary, kOldLibrary},
          {kSelectedLibrary, kOldLibrary}}}};
    if (!call.empty()) {
        nlohmann::json fault = {{"call", call}, {"code", 949001}};
        if (nth > 0) fault["nth"] = nth;
        s["faults"] = {fault};
    }
    return s.dump();
}

sim::Answer answer_of(sim::Answer::Kind kind, int value) {
    sim::Answer a;
    a.kind = kind;
    a.value = value;
    return a;
}

// The user: answers by the dialog's title, so that a fault that changes the
// dialogs does not shift the answers, and keeps watch over the libraries
// from one main menu to the next.
class SweepUser : public sim::AnswerSource {
public:
    explicit SweepUser(bool dialog_faulted) : dialog_faulted_(dialog_faulted) {}

    sim::Answer answer(const Event &d) override {
        std::string title = kesto::cp1251_to_utf8(d.title);
        if (d.kind == Event::FileBox) {
            sim::Answer a = answer_of(sim::Answer::File, 0);
            a.file = command_ == 6 ? kSelectedLibrary : kAllLibrary;
            return a;
        }
        if (d.kind == Event::Menu) {
            if (title != "Select menu ") return answer_of(sim::Answer::Menu, 5);  // "Fix", and Help's wait
            end_of_command();
            // All tools appending, selected appending, holders, all tools
            // rewriting, selected rewriting, Help.
            static const int kCommands[] = {5, 6, 9, 5, 6, 10};
            static const int kExisting[] = {2, 2, 0, 1, 1, 0};
            existing_answer_ = next_ < 6 ? kExisting[next_] : 0;
            command_ = next_ < 6 ? kCommands[next_++] : UF_UI_CANCEL;
            return answer_of(sim::Answer::Menu, command_);
        }
        if (title == "Create TLS - файл...") {
            existing_at_ = question_calls();
            return answer_of(sim::Answer::Question, existing_answer_);
        }
        if (title == "Open Vericut ...?") {
            created_ = true;
            ++created_count;
        }
        return answer_of(sim::Answer::Question, 1);
    }

    // An export ends at the next main menu or with the run.
    void end_of_command() {
        // A question call that failed after the existing-file question was
        // the "created" question: the export itself had succeeded.
        if (dialog_faulted_ && existing_at_ >= 0 && question_calls() > existing_at_) created_ = true;
        // and it follows only a record written (appended, or making a rewrite)
        const size_t own = command_ == 6 ? 1 : 0;
        const size_t before = existing_answer_ == 2 ? occurrences(libraries_[own], "TOOLID") : 0;
        if (created_ && occurrences(read_file(kLibraries[own]), "TOOLID") <= before)
            problems.push_back("command " + std::to_string(command_) + " announced no record as created");
        for (size_t i = 0; i < 2; ++i) {
            std::string now = read_file(kLibraries[i]);
            if (!created_ && now != libraries_[i])
                problems.push_back("after command " + std::to_string(command_) + " " + kLibraries[i] +
                                   " changed:\n" + now);
            libraries_[i] = now;
        }
        created_ = false;
        existing_at_ = -1;
    }

    std::vector<std::string> problems;
    int created_count = 0;

private:
    // How often the question dialog has been called, where it is the
    // faulted call (its count is kept only then).
    long question_calls() const { return dialog_faulted_ ? sim::state()->call_counts.at(0) : 0; }

    bool dialog_faulted_;
    std::string libraries_[2] = {kOldLibrary, kOldLibrary};
    bool created_ = false;
    long existing_at_ = -1;
    int command_ = 0;
    int existing_answer_ = 0;
    size_t next_ = 0;
};

struct SweepCase {
    std::string call;  // empty: nothing fails
    int nth;           // 0: every call
};
void PrintTo(const SweepCase &c, std::ostream *os) { *os << c.call << " nth=" << c.nth; }

class FaultSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(FaultSweep, LibraryKeptOrWholeAndClean) {
    const SweepCase &c = GetParam();
    TempDir dir;
    sim::Session session = sim::parse_session(rich_session(c.call, c.nth), "sweep");
    sim::create_session_files(session);
    SweepUser user(c.call == "UF_UI_message_dialog");
    sim::RunOptions options;
    options.plugin_path = KESTO_PLUGIN_PATH;
    options.answers = &user;
    sim::RunResult r = sim::run_session(session, options);
    user.end_of_command();

    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(of_kind(r, Event::Unload).size(), 1u);
    for (const std::string &p : user.problems) ADD_FAILURE() << p;
    if (c.call.empty()) {
        EXPECT_EQ(user.created_count, 4) << "the session exports four times";
    }

    // The libraries, the settings and nothing else: no file is left behind.
    std::vector<std::string> files;
    for (const auto &e : fs::recursive_directory_iterator(dir.path()))
        if (e.is_regular_file()) files.push_back(fs::relative(e.path(), dir.path()).string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{kAllLibrary, "home/application/kesto_tools_vericut.ini", kSelectedLibrary}));

    for (const char *name : kLibraries) {
        std::string library = read_file(name);
        EXPECT_EQ(library.find("inf"), std::string::npos) << name << "\n" << library;
        EXPECT_EQ(library.find("nan"), std::string::npos) << name << "\n" << library;
        // Every library the plug-in wrote (the old one lacks its last line end).
        if (library != kOldLibrary) {
            tlsfile::CheckResult checked = tlsfile::check_file(name);
            ASSERT_TRUE(checked.readable) << checked.read_error;
            // Parameters the host does not give are written as the table's
            // zeros; the check rightly reports the sizes no cutter has.
            // Nothing else may be wrong with the file.
            const std::string report = tlsfile::format_report(checked, name);
            if (c.call == "UF_PARAM_ask_double_value")
                checked.problems.erase(std::remove_if(checked.problems.begin(), checked.problems.end(),
                                                      [](const tlsfile::Problem &p) {
                                                          return p.message.find(" is not positive") !=
                                                                     std::string::npos ||
                                                                 p.message.find(" is not between 0 and 180") !=
                                                                     std::string::npos;
                                                      }),
                                       checked.problems.end());
            EXPECT_TRUE(checked.problems.empty()) << report;
        }
    }
}

std::vector<SweepCase> sweep_cases() {
    std::vector<SweepCase> cases = {{"", 0}};
    for (const std::string &call : sim::fault_call_names())
        for (int nth : {1, 2, 3, 0}) cases.push_back({call, nth});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Calls, FaultSweep, ::testing::ValuesIn(sweep_cases()), [](const auto &p) {
    if (p.param.call.empty()) return std::string("NoFault");
    return p.param.call + (p.param.nth ? "_Call" + std::to_string(p.param.nth) : std::string("_Every"));
});

}  // namespace
