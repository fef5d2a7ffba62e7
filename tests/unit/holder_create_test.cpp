// Template holders in the simulated host: which tools get one, the nine
// sections of each row, and how an export draws them afterwards.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "host/common/cp1251.h"
#include "src/holder/holder_create.h"
#include "tests/unit/test_support.h"

using namespace testing_support;
using sim::Event;

namespace {

const double kCone = 0.052359876666666666;
const double kFlank = 1.0471975333333332;

const sim::Member &member(const sim::Session &s, const std::string &name) {
    for (const sim::Member &m : s.part->members)
        if (m.name == name) return m;
    throw std::runtime_error("no member " + name);
}

struct Row {
    double cone_length, cone_diameter, flange_diameter, top_diameter;
    double d5;  // groove bottom, as worked out by hand
};
const Row kSmall = {68.4, 44.45, 63.55, 50.0, 57.4300873};
const Row kLarge = {101.75, 69.85, 97.5, 80.0, 91.3800873};

// The nine sections a tool gets: the first from the tool, the rest from the
// row; g, g3 and the top length are the same for both rows.
void expect_stack(const std::vector<HolderSection> &h, const Row &row, double d1, double l1) {
    ASSERT_EQ(h.size(), 9u);
    const double g = 5.3, g3 = 1.7666667;
    struct Expected {
        double diameter, length, taper;
    } want[9] = {
        {d1, l1, 0.0},
        {row.cone_diameter, row.cone_length, kCone},
        {row.cone_diameter - 4.0, 3.2, 0.0},
        {row.flange_diameter, g, 0.0},
        {row.flange_diameter, g3, -kFlank},
        {row.d5, g3, 0.0},
        {row.d5, g3, kFlank},
        {row.flange_diameter, g, 0.0},
        {row.top_diameter, 15.9, 0.0},
    };
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE("section " + std::to_string(i + 1));
        EXPECT_NEAR(h[i].diameter, want[i].diameter, 1e-7);
        EXPECT_NEAR(h[i].length, want[i].length, 1e-7);
        EXPECT_EQ(h[i].taper_angle, want[i].taper);
        EXPECT_EQ(h[i].corner_radius, 0.0);
    }
    // The groove closes at the flange diameter: a 60 degree flank over g3
    // takes back what the 30 degree depth took over g (to the precision of
    // the angle constants).
    EXPECT_NEAR(h[6].diameter * 0.5 + std::tan(h[6].taper_angle) * h[6].length, row.flange_diameter * 0.5, 1e-6);
}

struct RowCase {
    const char *name;
    std::string tool;  // member JSON
    Row row;
    double d1, l1;
};
void PrintTo(const RowCase &c, std::ostream *os) { *os << c.name; }

// Runs the holder command on the session (whose tools get the holders); its
// result in result.
sim::RunResult run_holders(sim::Session &s, int &result) {
    sim::DirectRun host(s);
    result = Tools_create_holders();
    return host.finish();
}

class HolderRow : public ::testing::TestWithParam<RowCase> {};

TEST_P(HolderRow, FirstSectionAndRow) {
    const RowCase &c = GetParam();
    sim::Session s = sim::parse_session(
        R"({"part": {"name": "p.prt", "members": [)" + c.tool + R"(]}, "answers": [{"question": 1}]})", c.name);
    int result;
    sim::RunResult r = run_holders(s, result);
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(result, 2);
    expect_stack(s.part->members[0].holder, c.row, c.d1, c.l1);
    auto messages = of_kind(r, Event::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].texts[0], " Create 1 holders of 2 \n Operation finished.");
}

INSTANTIATE_TEST_SUITE_P(
    Holder, HolderRow,
    ::testing::Values(
        RowCase{"Mill20", R"({"name": "M", "type": 1, "subtype": 1,
                 "params": {"diameter": 20, "length": 75, "flute_length": 35}})", kSmall, 20, 40},
        RowCase{"MillExactly32", R"({"name": "M", "type": 1, "subtype": 1,
                 "params": {"diameter": 32.0, "length": 90, "flute_length": 40}})", kSmall, 32, 50},
        RowCase{"Mill32_5", R"({"name": "M", "type": 1, "subtype": 1,
                 "params": {"diameter": 32.5, "length": 90, "flute_length": 40}})", kLarge, 32.5, 50},
        RowCase{"Drill50", R"({"name": "D", "type": 2, "subtype": 1,
                 "params": {"diameter": 50, "length": 120, "flute_length": 80}})", kSmall, 50, 0.0},
        RowCase{"TCutter40", R"({"name": "T", "type": 8, "subtype": 0,
                 "params": {"diameter": 40, "length": 50, "flute_length": 6, "shank_dia": 25}})", kLarge, 25, 44},
        RowCase{"TCutterSmallHeadLargeShank", R"({"name": "T", "type": 8, "subtype": 0,
                 "params": {"diameter": 30, "length": 50, "flute_length": 6, "shank_dia": 40}})", kSmall, 40, 44},
        RowCase{"Barrel40", R"({"name": "B", "type": 7, "subtype": 0,
                 "params": {"diameter": 40, "length": 100, "flute_length": 20, "shank_dia": 32}})", kLarge, 32, 80},
        RowCase{"Type5", R"({"name": "X", "type": 5, "subtype": 0,
                 "params": {"diameter": 40, "length": 100, "flute_length": 30}})", kSmall, 40, 70}),
    [](const auto &p) { return p.param.name; });

// Commands that stop before the pass, or pass without building.
struct StopCase {
    const char *name;
    std::string session;
    int result;
    size_t questions;
    std::vector<std::string> messages;  // UTF-8
    size_t refreshes;
};
void PrintTo(const StopCase &c, std::ostream *os) { *os << c.name; }

class HolderStop : public ::testing::TestWithParam<StopCase> {};

TEST_P(HolderStop, NothingBuilt) {
    const StopCase &c = GetParam();
    sim::Session s = sim::parse_session(c.session, c.name);
    int result;
    sim::RunResult r = run_holders(s, result);
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(of_kind(r, Event::Question).size(), c.questions);
    std::vector<std::string> messages;
    for (const Event &e : of_kind(r, Event::Message)) messages.push_back(utf8(e.texts[0]));
    EXPECT_EQ(messages, c.messages);
    EXPECT_TRUE(of_kind(r, Event::HolderAdded).empty());
    EXPECT_EQ(of_kind(r, Event::Refresh).size(), c.refreshes);
    if (s.part) {
        for (const sim::Member &m : s.part->members) EXPECT_TRUE(m.holder.empty()) << m.name;
    }
}

const char *kMill = R"({"name": "M", "type": 1, "subtype": 1, "params": {"diameter": 20, "length": 75}})";

std::string many_members(int n) {
    std::string members;
    for (int i = 0; i < n; ++i) members += std::string(i ? "," : "") + R"({"name": "T)" + std::to_string(i) + R"(", "type": 1, "subtype": 1})";
    return R"({"part": {"name": "big.prt", "members": [)" + members + R"(]}, "answers": [{"question": 1}]})";
}

INSTANTIATE_TEST_SUITE_P(
    Holder, HolderStop,
    ::testing::Values(
        StopCase{"OnlyNone", R"({"part": {"name": "p.prt"}, "answers": [{"question": 1}]})", 0, 0,
                 {"В Cam-части - Нет инструмента.....\n Операция прервана."}, 0},
        StopCase{"AnsweredNo",
                 std::string(R"({"part": {"name": "p.prt", "members": [)") + kMill + R"(]}, "answers": [{"question": 2}]})",
                 0, 1, {}, 0},
        StopCase{"QuestionClosed",
                 std::string(R"({"part": {"name": "p.prt", "members": [)") + kMill + R"(]}, "answers": [{"question": 0}]})",
                 0, 1, {}, 0},
        StopCase{"SkippedRecords",
                 R"({"part": {"name": "p.prt", "members": [
                     {"name": "NEG", "type": -1, "subtype": 1, "params": {"diameter": 20, "length": 75}},
                     {"name": "NEGSUB", "type": 1, "subtype": -3, "params": {"diameter": 20, "length": 75}}]},
                     "answers": [{"question": 1}]})",
                 3, 1, {" Create 0 holders of 3 \n Operation finished."}, 1},
        // The largest load builds; one more member and the table is not this part's.  The
        // user is told the tools without the host's NONE member: 100 of them, 99 at most.
        StopCase{"TooManyMembers", many_members(100), 0, 0,
                 {"В Cam-части - 100 инструмент(-ов), загружается не более 99.....\n Таблица не загружена.\n "
                  "Операция прервана."}, 0}),
    [](const auto &p) { return p.param.name; });

TEST(Holder, HundredMembersAreAllBuilt) {
    sim::Session s = sim::parse_session(many_members(99), "hundred");
    sim::DirectRun host(s);
    EXPECT_EQ(Tools_create_holders(), 100);
    sim::RunResult r = host.finish();
    EXPECT_EQ(of_kind(r, Event::HolderAdded).size(), 99u * 9u);
    EXPECT_EQ(of_kind(r, Event::Message).back().texts[0], " Create 99 holders of 100 \n Operation finished.");
}

// Host failures: a tool whose count is unknown keeps what it has; a failed
// append does not stop the rest of the stack.
TEST(Holder, FailedHostCalls) {
    sim::Session s = sim::parse_session(
        R"({"part": {"name": "p.prt", "members": [
              {"name": "A", "type": 1, "subtype": 1, "params": {"diameter": 10, "length": 75}},
              {"name": "B", "type": 1, "subtype": 1, "params": {"diameter": 12, "length": 75}}]},
            "fail_messages": {"41": "No sections"},
            "faults": [{"call": "UF_CUTTER_ask_section_count", "code": 41, "nth": 1},
                       {"call": "UF_CUTTER_create_holder_section", "code": 42, "nth": 3}],
            "answers": [{"question": 1}]})",
        "faults");
    sim::RunResult r;
    {
        sim::DirectRun host(s);
        EXPECT_EQ(Tools_create_holders(), 3);
        r = host.finish();
    }
    EXPECT_TRUE(member(s, "A").holder.empty());
    EXPECT_EQ(member(s, "B").holder.size(), 8u);
    EXPECT_EQ(of_kind(r, Event::Message).back().texts[0], " Create 1 holders of 3 \n Operation finished.");
    std::string out = joined(r, Event::Stdout);
    EXPECT_NE(out.find("UF_CUTTER_ask_section_count(tls, &knt )\n    returned error 41:  No sections\n"),
              std::string::npos);
    EXPECT_NE(out.find("UF_CUTTER_create_holder_section(tls, &stack_data)\n    returned a 42\n"), std::string::npos);
}

// The holder block of an export draws the template stack of M20: row 0,
// first section {20, 40}, no offset.
const std::string kM20Holder =
    "  HOLDER {\r\n    ASSEMBLY {\r\n      SOR {\r\n"
    "        PTS { (0,0) }\r\n"
    "        PTS { (10.00000,-0.00000) } \r\n"
    "        PTS { (10.00000,40.00000) } \r\n"
    "        PTS { (22.22500,40.00000) }\r\n"
    "        PTS { (25.80969,108.40000) } \r\n"
    "        PTS { (20.22500,108.40000) } \r\n"
    "        PTS { (20.22500,111.60000) } \r\n"
    "        PTS { (31.77500,111.60000) } \r\n"
    "        PTS { (31.77500,116.90000) } \r\n"
    "        PTS { (31.77500,116.90000) }\r\n"
    "        PTS { (28.71504,118.66667) } \r\n"
    "        PTS { (28.71504,118.66667) } \r\n"
    "        PTS { (28.71504,120.43333) } \r\n"
    "        PTS { (28.71504,120.43333) }\r\n"
    "        PTS { (31.77500,122.20000) } \r\n"
    "        PTS { (31.77500,122.20000) } \r\n"
    "        PTS { (31.77500,127.50000) } \r\n"
    "        PTS { (25.00000,127.50000) } \r\n"
    "        PTS { (25.00000,143.40000) } \r\n"
    "        PTS { (0,143.40000) } \r\n"
    "      }\r\n    }\r\n  }\r\n";

TEST(Holder, CreatedStacksAreExported) {
    TempDir dir;
    sim::Session s =
        sim::load_session(std::string(KESTO_SOURCE_DIR) + "/tests/sessions/holder_create_then_export.json");
    sim::RunResult r = run(s);
    ASSERT_TRUE(r.error.empty()) << r.error;

    auto questions = of_kind(r, Event::Question);
    ASSERT_FALSE(questions.empty());
    EXPECT_EQ(questions[0].title, "Create Holder");
    EXPECT_EQ(utf8(questions[0].texts[0]), "Файл содержит 4 инструмент(-ов).\n Строить Holder для каждого из них?");
    EXPECT_EQ(questions[0].items, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(questions[0].values, (std::vector<int>{1, 2}));

    // The host's part keeps the appended sections.
    expect_stack(member(s, "M20").holder, kSmall, 20, 40);
    expect_stack(member(s, "B40").holder, kLarge, 32, 80);
    ASSERT_EQ(member(s, "EM10").holder.size(), 1u);
    EXPECT_EQ(member(s, "EM10").holder[0].diameter, 40.0);

    std::vector<std::string> finals;
    for (const Event &e : of_kind(r, Event::Message)) finals.push_back(e.texts[0]);
    EXPECT_EQ(finals, (std::vector<std::string>{" Create 2 holders of 4 \n Operation finished.",
                                                " Create 0 holders of 4 \n Operation finished."}));
    EXPECT_EQ(of_kind(r, Event::Refresh).size(), 2u);

    std::string tls = read_file("holders.tls");
    size_t m20 = tls.find("TOOLID \"M20\" {");
    ASSERT_NE(m20, std::string::npos);
    EXPECT_EQ(tls.find(kM20Holder, m20), tls.find("  HOLDER {", m20));
    EXPECT_NE(tls.find(kM20Holder), std::string::npos);
    size_t holders = 0;
    for (size_t at = tls.find("  HOLDER {"); at != std::string::npos; at = tls.find("  HOLDER {", at + 1)) ++holders;
    EXPECT_EQ(holders, 3u);

    std::string out = joined(r, Event::Stdout);
    EXPECT_NE(out.find("\nNumber of holder stacks defined is 1 "), std::string::npos);
}

}  // namespace
