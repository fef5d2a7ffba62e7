// Loading the tool table from the simulated host: per-type reads, what a
// record keeps, member counts around the table's size, failed queries.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "src/table/tool_table.h"
#include "src/tls/tls_file.h"
#include "src/tls/tls_writer.h"
#include "tests/unit/test_support.h"

using namespace testing_support;
using sim::Event;

namespace {

sim::Param number(double v) {
    sim::Param p;
    p.number = v;
    return p;
}

sim::Param text(const std::string &t) {
    sim::Param p;
    p.is_text = true;
    p.text = t;
    return p;
}

// Every parameter the loader can read, each with its own value, so that a
// field filled from the wrong parameter shows.
sim::Member tool(const std::string &name, int type, int subtype) {
    sim::Member m;
    m.name = name;
    m.type = type;
    m.subtype = subtype;
    const char *fields[] = {"diameter", "length", "flute_length", "taper_angle", "tip_angle",
                            "r1", "r1_center_x", "r1_center_y", "r2", "r2_center_x",
                            "r2_center_y", "barrel_radius", "shank_dia", "lower_corner_radius",
                            "upper_corner_radius", "barrel_center_y", "point_angle", "z_offset"};
    for (const char *f : fields) {
        int n = sim::param_number_of(f);
        m.params[n] = number(n - 999);  // 1000 -> 1, 1001 -> 2, ...
    }
    m.params[1017] = number(4);
    m.params[1038] = number(12);
    m.params[1043] = text("CAT-" + name);
    m.params[1068] = text("DESC " + name);
    return m;
}

double value_of(int param) { return param - 999; }

sim::Session session_of(std::vector<sim::Member> members, bool none_member = true) {
    sim::Session s;
    s.part = sim::Part();
    s.part->name = "t.prt";
    s.part->none_member = none_member;
    s.part->members = std::move(members);
    return s;
}

// Every double field, with its parameter number.
struct DoubleField {
    const char *name;
    double ToolRecord::*field;
    int param;
};

const DoubleField kDoubles[] = {
    {"diameter", &ToolRecord::diameter, 1000},
    {"length", &ToolRecord::length, 1001},
    {"flute_length", &ToolRecord::flute_length, 1002},
    {"taper_angle", &ToolRecord::taper_angle, 1003},
    {"tip_angle", &ToolRecord::tip_angle, 1004},
    {"r1", &ToolRecord::r1, 1005},
    {"r1_center_x", &ToolRecord::r1_center_x, 1006},
    {"r1_center_y", &ToolRecord::r1_center_y, 1007},
    {"r2", &ToolRecord::r2, 1008},
    {"r2_center_x", &ToolRecord::r2_center_x, 1009},
    {"r2_center_y", &ToolRecord::r2_center_y, 1010},
    {"barrel_radius", &ToolRecord::barrel_radius, 1011},
    {"shank_dia", &ToolRecord::shank_dia, 1012},
    {"lower_corner_radius", &ToolRecord::lower_corner_radius, 1013},
    {"upper_corner_radius", &ToolRecord::upper_corner_radius, 1014},
    {"barrel_center_y", &ToolRecord::barrel_center_y, 1015},
    {"point_angle", &ToolRecord::point_angle, 1016},
    {"z_offset", &ToolRecord::z_offset, 1034},
};

const double kKept = -777.0;  // what a record held before the load

class ToolTable : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(uTool, 0, sizeof uTool);
        uToolCount = 0;
    }
    void TearDown() override {
        std::memset(uTool, 0, sizeof uTool);
        uToolCount = 0;
    }
    // Loads the session's table; result, and what the host recorded.
    int load(sim::Session &s, sim::RunResult *run = nullptr) {
        sim::begin_direct(s);
        int count = Tools_read_from_ugs();
        sim::RunResult r = sim::end_direct();
        EXPECT_EQ(r.outstanding_arrays, 0) << "member array not given back";
        EXPECT_TRUE(r.error.empty()) << r.error;
        if (run) *run = std::move(r);
        return count;
    }
};

struct TypeCase {
    const char *name;
    int type;
    int subtype;
    std::vector<int> own;  // parameters besides the shared ones
};

class PerType : public ToolTable, public ::testing::WithParamInterface<TypeCase> {};

// Each type reads the shared parameters and its own, and leaves every other
// numeric field as the record held it.
TEST_P(PerType, ReadsItsParametersAndKeepsTheRest) {
    const TypeCase &c = GetParam();
    for (const DoubleField &f : kDoubles) uTool[1].*f.field = kKept;
    std::strcpy(uTool[1].name, "OLD NAME THAT IS LONGER");
    sim::Session s = session_of({tool("T1", c.type, c.subtype)});
    ASSERT_EQ(load(s), 2);

    const ToolRecord &t = uTool[1];
    EXPECT_EQ(t.tls, s.part->members[0].tag);
    EXPECT_EQ(t.type, c.type);
    EXPECT_EQ(t.subtype, c.subtype);
    EXPECT_STREQ(t.name, "T1");
    EXPECT_EQ(t.flute_count, 4);
    EXPECT_EQ(t.tool_number, 12);
    EXPECT_STREQ(t.catalog_name, "CAT-T1");
    EXPECT_STREQ(t.cutter_description, "DESC T1");
    std::vector<int> read = {1000, 1001, 1002, 1034};
    read.insert(read.end(), c.own.begin(), c.own.end());
    for (const DoubleField &f : kDoubles) {
        bool is_read = std::find(read.begin(), read.end(), f.param) != read.end();
        EXPECT_EQ(t.*f.field, is_read ? value_of(f.param) : kKept) << f.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    ToolTable, PerType,
    ::testing::Values(TypeCase{"Mill5", 1, 1, {1003, 1004, 1005}},
                      TypeCase{"Mill7", 1, 2, {1003, 1004, 1005, 1006, 1007}},
                      TypeCase{"Mill10", 1, 3, {1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010}},
                      TypeCase{"MillBall", 1, 4, {1003, 1004, 1005}},
                      TypeCase{"Mill0", 1, 0, {1003, 1004, 1005}},
                      TypeCase{"Drill", 2, 0, {1004, 1005, 1016}},
                      TypeCase{"Type3", 3, 0, {}}, TypeCase{"Type4", 4, 0, {}},
                      TypeCase{"Type5", 5, 0, {}}, TypeCase{"Type6", 6, 0, {}},
                      TypeCase{"Barrel", 7, 0, {1011, 1012, 1013, 1014, 1015}},
                      TypeCase{"CutterT", 8, 0, {1012, 1013, 1014}},
                      TypeCase{"Type9", 9, 0, {}}),
    [](const auto &p) { return p.param.name; });

TEST_F(ToolTable, DrillNeverGetsShankDiameterAndEmptyTextsEmptyTheFields) {
    std::strcpy(uTool[1].catalog_name, "OLD CATALOG");
    std::strcpy(uTool[1].cutter_description, "OLD DESCRIPTION");
    sim::Member drill = tool("DR8", 2, 0);
    drill.params[1043] = text("");
    drill.params.erase(1068);  // absent: the host gives the empty text
    sim::Session s = session_of({drill});
    ASSERT_EQ(load(s), 2);
    EXPECT_EQ(uTool[1].shank_dia, 0.0);
    EXPECT_STREQ(uTool[1].catalog_name, "");
    EXPECT_STREQ(uTool[1].cutter_description, "");
    EXPECT_STREQ(uTool[0].name, "NONE");
}

struct CountCase {
    const char *name;
    int members;  // besides the host's NONE member
    int count;
    int filled;   // records read
};

class MemberCount : public ToolTable, public ::testing::WithParamInterface<CountCase> {};

TEST_P(MemberCount, FillsRecordsUpToTheTable) {
    const CountCase &c = GetParam();
    for (ToolRecord &t : uTool) std::strcpy(t.name, "UNTOUCHED");
    std::vector<sim::Member> members;
    for (int k = 0; k < c.members; ++k) members.push_back(tool("T" + std::to_string(k), 1, 1));
    sim::Session s = session_of(members);
    sim::RunResult r;
    EXPECT_EQ(load(s, &r), c.count);
    EXPECT_EQ(uToolCount, c.count);
    std::string out = joined(r, Event::Stdout);
    EXPECT_EQ(out.rfind("\n Tools_read_from_ugs -> uToolCount=" + std::to_string(c.count), 0), 0u) << out;
    for (int i = 0; i < TOOL_TABLE_SIZE; ++i) {
        std::string expected = i >= c.filled ? "UNTOUCHED" : i == 0 ? "NONE" : "T" + std::to_string(i - 1);
        ASSERT_EQ(uTool[i].name, expected) << "record " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(ToolTable, MemberCount,
                         ::testing::Values(CountCase{"One", 0, 1, 0}, CountCase{"Three", 2, 3, 3},
                                           CountCase{"Hundred", 99, 100, 100},
                                           CountCase{"HundredOne", 100, 101, 0},
                                           CountCase{"HundredFifty", 149, 150, 0}),
                         [](const auto &p) { return p.param.name; });

// After a member list longer than the table nothing of the old table may be
// written as a tool of this part.
TEST_F(ToolTable, AfterTooManyMembersTheWriterWritesNothing) {
    std::vector<sim::Member> members;
    for (int k = 0; k < 100; ++k) members.push_back(tool("T" + std::to_string(k), 1, 1));
    sim::Session s = session_of(members);
    std::strcpy(uTool[5].name, "STALE");
    uTool[5].type = 1;
    uTool[5].subtype = 1;
    ASSERT_EQ(load(s), 101);

    FILE *f = tmpfile();
    ASSERT_NE(f, nullptr);
    tls_file = f;
    sim::begin_direct(s);
    for (int i = 0; i < 101; ++i) EXPECT_EQ(Tools_write_tls(i, 0), 0);
    sim::end_direct();
    EXPECT_EQ(ftell(f), 0L) << "records written from a table the load did not fill";
    tls_file = nullptr;
    fclose(f);
}

struct FaultCase {
    const char *name;
    const char *call;
    int nth;
    std::function<void(const ToolRecord &)> check;
};

class FailedQuery : public ToolTable, public ::testing::WithParamInterface<FaultCase> {};

// A value the host did not give is zero or empty, never what the record held
// for an earlier tool.
TEST_P(FailedQuery, GivesDefinedValues) {
    for (const DoubleField &f : kDoubles) uTool[1].*f.field = kKept;
    uTool[1].type = 8;
    uTool[1].flute_count = 99;
    std::strcpy(uTool[1].name, "EARLIER");
    std::strcpy(uTool[1].catalog_name, "EARLIER");
    sim::Session s = session_of({tool("T1", 1, 3)});
    sim::Fault fault;
    fault.call = GetParam().call;
    fault.code = 949001;
    fault.nth = GetParam().nth;
    s.faults.push_back(fault);
    load(s);
    GetParam().check(uTool[1]);
}

INSTANTIATE_TEST_SUITE_P(
    ToolTable, FailedQuery,
    ::testing::Values(
        // A member that is no cutter is no tool: every command skips it.
        FaultCase{"Type", "UF_CUTTER_ask_type_and_subtype", 2,
                  [](const ToolRecord &e) {
                      EXPECT_EQ(e.type, -1);
                      EXPECT_EQ(e.subtype, -1);
                      EXPECT_TRUE(Tools_is_skipped(&e));
                      EXPECT_EQ(e.diameter, 1.0);
                  }},
        // A member the host cannot name identifies nothing: skipped too.
        FaultCase{"Name", "UF_OBJ_ask_name", 2,
                  [](const ToolRecord &e) {
                      EXPECT_STREQ(e.name, "");
                      EXPECT_EQ(e.type, -1);
                      EXPECT_EQ(e.subtype, -1);
                      EXPECT_TRUE(Tools_is_skipped(&e));
                  }},
        FaultCase{"Doubles", "UF_PARAM_ask_double_value", 0,
                  [](const ToolRecord &e) {
                      EXPECT_EQ(e.diameter, 0.0);
                      EXPECT_EQ(e.r2_center_y, 0.0);
                      EXPECT_EQ(e.shank_dia, kKept);  // not read for a mill at all
                      EXPECT_EQ(e.flute_count, 4);
                  }},
        FaultCase{"Ints", "UF_PARAM_ask_int_value", 0,
                  [](const ToolRecord &e) {
                      EXPECT_EQ(e.flute_count, 0);
                      EXPECT_EQ(e.tool_number, 0);
                  }},
        FaultCase{"Texts", "UF_PARAM_ask_str_value", 0,
                  [](const ToolRecord &e) {
                      EXPECT_STREQ(e.catalog_name, "");
                      EXPECT_STREQ(e.cutter_description, "");
                  }}),
    [](const auto &p) { return p.param.name; });

TEST_F(ToolTable, FailedMemberListReadsNothingAndCountsZero) {
    std::strcpy(uTool[0].name, "UNTOUCHED");
    sim::Session s = session_of({tool("T1", 1, 1)});
    s.fail_messages[949001] = "Object not found";
    s.faults.push_back({"UF_NCGROUP_ask_member_list", 949001, 0});
    sim::RunResult r;
    EXPECT_EQ(load(s, &r), 0);
    EXPECT_EQ(uToolCount, 0);
    EXPECT_STREQ(uTool[0].name, "UNTOUCHED");
    std::string out = joined(r, Event::Stdout);
    EXPECT_NE(out.find(", line "), std::string::npos);
    EXPECT_NE(out.find(":  UF_NCGROUP_ask_member_list(tool_grp, &count_t, &tool_list)\n"
                       "    returned error 949001:  Object not found\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\n Tools_read_from_ugs -> uToolCount=0"), std::string::npos);
}

TEST_F(ToolTable, FailedSetupQueriesAreReportedWithTheirCallTexts) {
    sim::Session s = session_of({tool("T1", 1, 1)});
    s.faults.push_back({"UF_SETUP_ask_setup", 7, 0});
    sim::RunResult r;
    load(s, &r);
    std::string out = joined(r, Event::Stdout);
    for (const char *call : {"UF_SETUP_ask_setup(&setup_tag)", "UF_SETUP_ask_mct_root(setup_tag, &tool_grp)",
                             "UF_NCGROUP_ask_member_list(tool_grp, &count_t, &tool_list)"})
        EXPECT_NE(out.find(std::string(":  ") + call + "\n"), std::string::npos) << call << "\n" << out;
}

// Host texts as long as the host's buffer: kept whole, and terminated.
TEST_F(ToolTable, LongHostTextsAreCopiedBounded) {
    sim::Member m = tool("N", 1, 1);
    m.name = std::string(400, 'n');
    m.params[1043] = text(std::string(400, 'c'));
    m.params[1068] = text(std::string(400, 'd'));
    std::memset(uTool[1].name, 'x', sizeof uTool[1].name);
    sim::Session s = session_of({m});
    load(s);
    EXPECT_EQ(std::string(uTool[1].name), std::string(UF_TEXT_BUFSIZE - 1, 'n'));
    EXPECT_EQ(std::string(uTool[1].catalog_name), std::string(UF_TEXT_BUFSIZE - 1, 'c'));
    EXPECT_EQ(std::string(uTool[1].cutter_description), std::string(UF_TEXT_BUFSIZE - 1, 'd'));
}

TEST(ToolTableSkip, NamesAndSigns) {
    struct {
        const char *name;
        int type, subtype, skipped;
    } cases[] = {{"NONE", 1, 1, 1}, {"none", 1, 1, 0}, {"NONE1", 1, 1, 0}, {"", 1, 1, 0},
                 {" NONE", 1, 1, 0}, {"EM10", -1, 1, 1}, {"EM10", 1, -1, 1}, {"EM10", 0, 0, 0}};
    for (const auto &c : cases) {
        ToolRecord t{};
        std::strcpy(t.name, c.name);
        t.type = c.type;
        t.subtype = c.subtype;
        EXPECT_EQ(Tools_is_skipped(&t), c.skipped) << '"' << c.name << "\" " << c.type << " " << c.subtype;
    }
}

}  // namespace
