// Every tool library the plug-in writes in the session tests, and the demo
// export, passes the checker; the only problems are those the session's own
// tool data asks for.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/unit/test_support.h"
#include "tools/tlsfile/tls_check.h"

namespace {

namespace fs = std::filesystem;

std::string problems_text(const tlsfile::CheckResult &r) {
    std::string s;
    for (const tlsfile::Problem &p : r.problems) s += std::to_string(p.line) + ": " + p.message + "\n";
    return s;
}

TEST(TlsfilePluginFiles, SessionExportsPassTheCheck) {
    // The holder of TC30 has a negative fillet radius, which the plug-in
    // draws as given: the outline dips below the holder's start.
    const std::map<std::string, std::vector<std::string>> expected = {
        {"tls_profiles/profiles.tls", {"holder is drawn below its own start"}},
    };
    int files = 0;
    for (const fs::directory_entry &e : fs::directory_iterator(std::string(KESTO_SOURCE_DIR) + "/tests/sessions")) {
        if (e.path().extension() != ".json") continue;
        testing_support::TempDir dir;
        sim::Session session = sim::load_session(e.path().string());
        testing_support::run(session);
        for (const fs::directory_entry &f : fs::recursive_directory_iterator(dir.path())) {
            if (f.path().extension() != ".tls") continue;
            const std::string name = e.path().stem().string() + "/" + f.path().filename().string();
            tlsfile::CheckResult r = tlsfile::check_file(f.path().string());
            ++files;
            ASSERT_TRUE(r.readable) << name;
            auto want = expected.find(name);
            std::vector<std::string> messages = want == expected.end() ? std::vector<std::string>{} : want->second;
            ASSERT_EQ(r.problems.size(), messages.size()) << name << "\n" << problems_text(r);
            for (size_t i = 0; i < messages.size(); ++i)
                EXPECT_NE(r.problems[i].message.find(messages[i]), std::string::npos) << name << "\n" << problems_text(r);
        }
    }
    EXPECT_GT(files, 5);
}

TEST(TlsfilePluginFiles, DemoExportIsCleanAndCoversEveryForm) {
    testing_support::TempDir dir;
    std::string out;
    ASSERT_EQ(testing_support::run_command(std::string("'") + KESTO_CLI_PATH + "' export -o demo.tls", out), 0) << out;
    tlsfile::CheckResult r = tlsfile::check_file(dir.file("demo.tls"));
    ASSERT_TRUE(r.readable) << r.read_error;
    EXPECT_TRUE(r.problems.empty()) << problems_text(r);
    std::map<tlsfile::Form, int> forms;
    int holders = 0;
    for (const tlsfile::Tool &t : r.library.tools) {
        ++forms[t.form];
        holders += t.has_holder;
    }
    for (tlsfile::Form f : {tlsfile::Form::flat_end, tlsfile::Form::bull_nose, tlsfile::Form::ball_end,
                            tlsfile::Form::seven_value, tlsfile::Form::apt10, tlsfile::Form::drill,
                            tlsfile::Form::sor, tlsfile::Form::turning})
        EXPECT_GT(forms[f], 0) << tlsfile::form_name(f);
    EXPECT_GT(holders, 1);
}

}  // namespace
