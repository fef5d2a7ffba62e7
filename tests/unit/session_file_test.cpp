// Reading session files: every malformed one is refused with the file's name
// and what is wrong; the run command exits 2 for it and runs nothing.
#include <gtest/gtest.h>

#include "host/common/cp1251.h"
#include "tests/unit/test_support.h"

using namespace testing_support;

namespace {

struct BadSession {
    const char *name;
    const char *json;
    const char *says;  // part of the message
};

class MalformedSession : public ::testing::TestWithParam<BadSession> {};

TEST_P(MalformedSession, IsRefusedWithTheReason) {
    try {
        sim::parse_session(GetParam().json, "s.json");
        FAIL() << "accepted";
    } catch (const sim::SessionError &e) {
        std::string what = e.what();
        EXPECT_EQ(what.rfind("s.json: ", 0), 0u) << what;
        EXPECT_NE(what.find(GetParam().says), std::string::npos) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Session, MalformedSession,
    ::testing::Values(
        BadSession{"BadJson", "{\"module\": 16,", "not valid JSON"},
        BadSession{"NotAnObject", "[1, 2]", "must be an object"},
        BadSession{"ModuleText", R"({"module": "cam"})", "module: must be an integer"},
        BadSession{"UnknownKey", R"({"modul": 16})", "unknown key \"modul\""},
        BadSession{"UnknownAnswerKind", R"({"answers": [{"click": 1}]})", "unknown answer kind \"click\""},
        BadSession{"TwoAnswerKinds", R"({"answers": [{"menu": 1, "question": 2}]})", "exactly one"},
        BadSession{"FileNumber", R"({"answers": [{"file": 3}]})", "answers[0].file: must be a text"},
        BadSession{"FaultUnknownCall", R"({"faults": [{"call": "UF_nothing", "code": 1}]})", "names no host call"},
        BadSession{"FaultZeroCode", R"({"faults": [{"call": "UF_initialize", "code": 0}]})", "non-zero code"},
        BadSession{"MemberWithoutName", R"({"part": {"members": [{"type": 1}]}})", "part.members[0]: has no \"name\""},
        BadSession{"BadParamName", R"({"part": {"members": [{"name": "A", "params": {"diametre": 1}}]}})",
                   "part.members[0].params.diametre"},
        BadSession{"ParamObject", R"({"part": {"members": [{"name": "A", "params": {"diameter": {}}}]}})",
                   "must be a number"},
        BadSession{"SelectedUnknown", R"({"part": {"members": [{"name": "A"}], "selected": ["B"]}})",
                   "names no member"},
        BadSession{"HolderKey", R"({"part": {"members": [{"name": "A", "holder": [{"dia": 1}]}]}})",
                   "unknown key \"dia\""},
        BadSession{"RunsZero", R"({"runs": 0})", "runs: must be 1 to 100"},
        BadSession{"HugeInteger", R"({"module": 99999999999})", "32-bit range"}),
    [](const auto &p) { return p.param.name; });

TEST(Session, ParamsByNameOrNumberAndTextsInWindows1251) {
    sim::Session s = sim::parse_session(R"({"part": {"name": "деталь.prt", "members": [
        {"name": "Фреза", "params": {"diameter": 10, "1049": 25, "catalog_name": "КАТ"}, "holder_offset": 3}]}})",
                                        "x");
    const sim::Member &m = s.part->members[0];
    EXPECT_EQ(m.name, kesto::utf8_to_cp1251("Фреза"));
    EXPECT_EQ(m.params.at(1000).number, 10);
    EXPECT_EQ(m.params.at(1049).number, 3);  // holder_offset wins over the number written before it
    EXPECT_TRUE(m.params.at(1043).is_text);
    EXPECT_EQ(s.part->name, "\xE4\xE5\xF2\xE0\xEB\xFC.prt");
}

TEST(Session, RunCommandExitCodes) {
    TempDir dir;
    write_file("bad.json", R"({"answers": [{"click": 1}]})");
    write_file("wrong_kind.json", R"({"part": {"name": "p"}, "answers": [{"question": 1}]})");
    write_file("good.json", R"({"part": {"name": "p"}, "answers": [{"menu": 2}]})");
    std::string out;
    std::string cli = std::string(KESTO_CLI_PATH) + " run ";
    EXPECT_EQ(run_command(cli + "bad.json 2>err.txt", out), 2);
    EXPECT_EQ(out, "");  // nothing is run
    EXPECT_NE(read_file("err.txt").find("bad.json: answers[0]: unknown answer kind"), std::string::npos);
    EXPECT_EQ(run_command(cli + "missing.json 2>/dev/null", out), 2);
    EXPECT_EQ(run_command(cli + "good.json", out), 0);
    EXPECT_NE(out.find("menu \"Select menu \""), std::string::npos);
    EXPECT_EQ(run_command(cli + "good.json --plugin ./nothing.so 2>/dev/null", out), 3);

    // A question answer given to the menu: the error names the dialog, and
    // the user leaves, so the session still ends.
    EXPECT_EQ(run_command(cli + "wrong_kind.json 2>err.txt", out), 2);
    EXPECT_NE(out.find("error \"a question answer was given to the menu \\\"Select menu \\\""), std::string::npos) << out;
    EXPECT_NE(out.find("unload 1"), std::string::npos);
}

TEST(Session, AnswersRunOutAsAUserWhoLeaves) {
    TempDir dir;
    sim::RunResult r = run_json(R"({"part": {"name": "p"}})");
    auto menus = of_kind(r, sim::Event::Menu);
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_EQ(menus[0].answer, 2);
    EXPECT_TRUE(r.error.empty());
}

TEST(Session, FaultOnlyOnTheNthCall) {
    sim::Session s = sim::parse_session(R"({"part": {"name": "p"},
        "faults": [{"call": "UF_SETUP_ask_setup", "code": 9, "nth": 2}]})", "x");
    sim::DirectRun host(s);
    tag_t t = 0;
    EXPECT_EQ(UF_SETUP_ask_setup(&t), 0);
    EXPECT_EQ(UF_SETUP_ask_setup(&t), 9);
    EXPECT_EQ(UF_SETUP_ask_setup(&t), 0);
}

TEST(Session, HostCatchesArraysNotGivenBackAndForeignFrees) {
    sim::Session s = sim::parse_session(R"({"part": {"name": "p", "members": [{"name": "A"}]}})", "x");
    sim::DirectRun host(s);
    int count = 0;
    tag_t *list = nullptr;
    ASSERT_EQ(UF_NCGROUP_ask_member_list(3, &count, &list), 0);
    EXPECT_EQ(count, 2);  // "NONE" and A
    int local = 0;
    UF_free(&local);
    sim::RunResult r = host.finish();
    EXPECT_EQ(r.outstanding_arrays, 1);
    EXPECT_NE(r.error.find("never handed out"), std::string::npos);
}

}  // namespace
