// The plug-in's entry, its main menu and its failure reports, run in the
// simulated host.
#include <gtest/gtest.h>

#include "host/common/cp1251.h"
#include "src/call_check.h"
#include "src/tools_vericut.h"
#include "tests/unit/test_support.h"

using namespace testing_support;
using sim::Event;

namespace {

const char *kPart = R"("part": {"name": "bracket.prt", "members": [
    {"name": "EM10", "type": 1, "subtype": 1, "params": {"diameter": 10, "length": 75}}]})";

std::string session_with(const std::string &answers, const std::string &extra = "") {
    return std::string("{") + kPart + ", \"answers\": " + answers + (extra.empty() ? "" : ", " + extra) + "}";
}

TEST(EntryMenu, MenuItemsAndInactiveOptions) {
    TempDir dir;
    sim::RunResult r = run_json(session_with(R"([{"menu": 7}, {"menu": 8}, {"menu": 2}])"));
    ASSERT_EQ(r.return_codes, std::vector<int>{0});
    EXPECT_EQ(r.unload_answers, std::vector<int>{1});
    EXPECT_TRUE(r.error.empty()) << r.error;

    auto menus = of_kind(r, Event::Menu);
    ASSERT_EQ(menus.size(), 3u);
    const std::vector<std::string> items = {
        "Create File TLS Vericut (All Tools)", "Create File TLS Vericut (Selectively)",
        "Find Tools in Database of Vericut",   "Find Tools in Vericut   (Selectively)",
        "Create ToolHolder in UG (auto)",      "Help"};
    for (const Event &m : menus) {
        EXPECT_EQ(m.title, "Select menu ");
        EXPECT_EQ(m.default_item, 5);
        EXPECT_EQ(m.items, items);
        EXPECT_EQ(m.values, (std::vector<int>{5, 6, 7, 8, 9, 10}));
    }
    auto messages = of_kind(r, Event::Message);
    ASSERT_EQ(messages.size(), 2u);
    for (const Event &m : messages)
        EXPECT_EQ(utf8(m.texts[0]), "Опция не активна.....\n Операция прервана.");

    std::string out = joined(r, Event::Stdout);
    size_t start = out.find("\n ----------------------- Start Tools_ui_mgr ");
    size_t r7 = out.find("\n Tools_ui_mgr -> response=7 ");
    size_t r8 = out.find("\n Tools_ui_mgr -> response=8 ");
    size_t r2 = out.find("\n Tools_ui_mgr -> response=2 ");
    size_t end = out.find("\n ----------------------- End Tools_ui_mgr ");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LT(start, r7);
    EXPECT_LT(r7, r8);
    EXPECT_LT(r8, r2);
    EXPECT_LT(r2, end);
    EXPECT_EQ(r.outstanding_arrays, 0);
}

// The message of each inactive option stands between its menu and the next.
TEST(EntryMenu, InactiveMessageFollowsItsMenu) {
    TempDir dir;
    sim::RunResult r = run_json(session_with(R"([{"menu": 8}, {"menu": 1}])"));
    std::vector<Event::Kind> dialogs;
    for (const Event &e : r.events)
        if (e.kind == Event::Menu || e.kind == Event::Message) dialogs.push_back(e.kind);
    EXPECT_EQ(dialogs, (std::vector<Event::Kind>{Event::Menu, Event::Message, Event::Menu}));
}

struct RefusalCase {
    const char *name;
    std::string session;
    std::string message;
};

class Refusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, OnlyTheMessage) {
    TempDir dir;
    sim::RunResult r = run_json(GetParam().session);
    ASSERT_EQ(r.return_codes, std::vector<int>{0});
    auto messages = of_kind(r, Event::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(utf8(messages[0].texts[0]), GetParam().message);
    EXPECT_TRUE(of_kind(r, Event::Menu).empty());
    EXPECT_EQ(joined(r, Event::Stdout), "");
    EXPECT_TRUE(r.error.empty()) << r.error;  // the interface was closed properly
}

INSTANTIATE_TEST_SUITE_P(
    EntryMenu, Refusal,
    ::testing::Values(
        RefusalCase{"OtherModule", std::string("{\"module\": 1, ") + kPart + "}",
                    "Запуск DLL - производится из модуля обработки\n -2003г."},
        RefusalCase{"Modeling", std::string("{\"module\": 17, ") + kPart + "}",
                    "Запуск DLL - производится из модуля обработки\n -2003г."},
        RefusalCase{"NoPart", R"({"module": 16})", "Cam-часть не активна.....\n Программа прервана."},
        RefusalCase{"NullPart", R"({"part": null})", "Cam-часть не активна.....\n Программа прервана."}),
    [](const auto &p) { return p.param.name; });

struct ResponseCase {
    int response;
    size_t menus;  // how many times the menu is shown for [response, 2]
};

class MenuResponse : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(MenuResponse, ShowsAgainOrEnds) {
    TempDir dir;
    int resp = GetParam().response;
    sim::RunResult r = run_json(session_with("[{\"menu\": " + std::to_string(resp) + "}, {\"menu\": 2}]"));
    EXPECT_EQ(of_kind(r, Event::Menu).size(), GetParam().menus);
    std::string out = joined(r, Event::Stdout);
    EXPECT_NE(out.find("\n Tools_ui_mgr -> response=" + std::to_string(resp) + " "), std::string::npos);
    EXPECT_NE(out.find("\n ----------------------- End Tools_ui_mgr "), std::string::npos);
    EXPECT_TRUE(of_kind(r, Event::Message).empty());
}

INSTANTIATE_TEST_SUITE_P(EntryMenu, MenuResponse,
                         ::testing::Values(ResponseCase{1, 1}, ResponseCase{2, 1}, ResponseCase{19, 1},
                                           ResponseCase{3, 2}, ResponseCase{4, 2}, ResponseCase{11, 2},
                                           ResponseCase{12, 2}, ResponseCase{13, 2}, ResponseCase{14, 2},
                                           ResponseCase{15, 2}, ResponseCase{16, 2}, ResponseCase{17, 2},
                                           ResponseCase{18, 2}, ResponseCase{0, 2}, ResponseCase{-1, 2}),
                         [](const auto &p) -> std::string {
                             int v = p.param.response;
                             if (v == UF_UI_BACK) return "Back";
                             if (v == UF_UI_CANCEL) return "Cancel";
                             if (v == UF_UI_CANNOT_SHOW) return "CannotShow";
                             return v < 0 ? "Minus" + std::to_string(-v) : "Response" + std::to_string(v);
                         });

TEST(EntryMenu, FailedInitializeReportsAndShowsNoMenu) {
    TempDir dir;
    sim::RunResult r = run_json(std::string("{") + kPart + R"(,
        "fail_messages": {"949001": "Object not found"},
        "faults": [{"call": "UF_initialize", "code": 949001}]})");
    ASSERT_EQ(r.return_codes, std::vector<int>{0});
    EXPECT_TRUE(of_kind(r, Event::Menu).empty());
    EXPECT_TRUE(of_kind(r, Event::Message).empty());
    auto status = of_kind(r, Event::Status);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].texts[0], "Object not found");
    EXPECT_EQ(joined(r, Event::Stderr), "Object not found\n");
    // UF_terminate is not called after a failed open: the host saw no call
    // while the interface was closed.
    EXPECT_TRUE(r.error.empty()) << r.error;
}

TEST(EntryMenu, FailedTerminateIsReported) {
    TempDir dir;
    sim::RunResult r = run_json(session_with("[]", R"("fail_messages": {"77": "Cannot close"},
        "faults": [{"call": "UF_terminate", "code": 77}])"));
    EXPECT_EQ(of_kind(r, Event::Menu).size(), 1u);
    EXPECT_EQ(joined(r, Event::Stderr), "Cannot close\n");
    ASSERT_EQ(of_kind(r, Event::Status).size(), 1u);
    EXPECT_EQ(r.return_codes, std::vector<int>{0});
}

// A code for which the host has no text is named, never shown as an empty line.
TEST(EntryMenu, FailedTerminateWithoutHostTextReportsTheCode) {
    TempDir dir;
    sim::RunResult r = run_json(session_with("[]", R"("faults": [{"call": "UF_terminate", "code": -78}])"));
    EXPECT_EQ(utf8(joined(r, Event::Stderr)), "Ошибка -78 (нет текста для этого кода)\n");
    auto status = of_kind(r, Event::Status);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(utf8(status[0].texts[0]), "Ошибка -78 (нет текста для этого кода)");
}

TEST(EntryMenu, EveryRunStartsAfresh) {
    TempDir dir;
    sim::RunResult r = run_json(session_with(R"([{"menu": 2}, {"menu": 2}])", R"("runs": 2)"));
    EXPECT_EQ(r.return_codes, (std::vector<int>{0, 0}));
    EXPECT_EQ(r.unload_answers, (std::vector<int>{1, 1}));
    EXPECT_EQ(of_kind(r, Event::Load).size(), 2u);
    EXPECT_EQ(of_kind(r, Event::Menu).size(), 2u);
}

TEST(EntryMenu, AskUnloadAlwaysAnswersOne) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ufusr_ask_unload(), 1);
}

struct CheckCase {
    const char *name;
    int code;
    std::string messages;  // fail_messages JSON
    std::string expected;
};

class CallCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CallCheck, ReportsAndGivesTheCodeBack) {
    sim::Session s = sim::parse_session("{\"fail_messages\": " + GetParam().messages + "}", "check");
    sim::DirectRun host(s);
    int code = Tools_check("src\\tools_vericut.cpp", 42, "UF_SETUP_ask_setup(&setup_tag)", GetParam().code);
    sim::RunResult r = host.finish();
    EXPECT_EQ(code, GetParam().code);
    EXPECT_EQ(joined(r, Event::Stdout), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    EntryMenu, CallCheck,
    ::testing::Values(
        CheckCase{"Success", 0, R"({"0": "never shown"})", ""},
        CheckCase{"WithHostText", 949001, R"({"949001": "Object not found"})",
                  "src\\tools_vericut.cpp, line 42:  UF_SETUP_ask_setup(&setup_tag)\n"
                  "    returned error 949001:  Object not found\n"},
        CheckCase{"WithoutHostText", 15, R"({})",
                  "src\\tools_vericut.cpp, line 42:  UF_SETUP_ask_setup(&setup_tag)\n"
                  "    returned a 15\n"},
        CheckCase{"Negative", -7, R"({})",
                  "src\\tools_vericut.cpp, line 42:  UF_SETUP_ask_setup(&setup_tag)\n"
                  "    returned a -7\n"},
        CheckCase{"NegativeWithText", -7, R"({"-7": "Bad tag"})",
                  "src\\tools_vericut.cpp, line 42:  UF_SETUP_ask_setup(&setup_tag)\n"
                  "    returned error -7:  Bad tag\n"}),
    [](const auto &p) { return p.param.name; });

// The wrapper passes the build's file name, the line and the call's own text.
TEST(EntryMenu, CheckWrapperPassesCallText) {
    sim::Session s = sim::parse_session(R"({"part": {"name": "p"},
        "faults": [{"call": "UF_SETUP_ask_setup", "code": 5}]})", "wrapper");
    sim::DirectRun host(s);
    tag_t setup_tag = 0;
    int line = __LINE__ + 1;
    int code = TOOLS_CHECK(UF_SETUP_ask_setup(&setup_tag));
    sim::RunResult r = host.finish();
    EXPECT_EQ(code, 5);
    EXPECT_EQ(joined(r, Event::Stdout), std::string(__FILE__) + ", line " + std::to_string(line) +
                                            ":  UF_SETUP_ask_setup(&setup_tag)\n    returned a 5\n");
}

TEST(EntryMenu, ReportStatusSilentOnSuccess) {
    sim::Session s;
    sim::DirectRun host(s);
    Tools_report_status(0);
    sim::RunResult r = host.finish();
    EXPECT_TRUE(r.events.empty());
}

}  // namespace
