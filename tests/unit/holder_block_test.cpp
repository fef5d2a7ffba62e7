// The HOLDER entry against the simulated host: section outlines byte for
// byte, the diagnostic lines, and failed host queries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/platform/platform.h"
#include "src/table/tool_table.h"
#include "src/tls/holder_block.h"
#include "src/tls/tls_file.h"
#include "tests/unit/test_support.h"

using namespace testing_support;
using sim::Event;

namespace {

struct HolderRun {
    int rc = 0;
    std::string file;
    std::string out;
    sim::RunResult run;
};

// Leaves a recognisable pattern where the routine under test will find its
// stack, so that a working value it reads without setting is not 0 by luck.
__attribute__((noinline)) void poison_stack() {
    volatile unsigned char area[16384];
    for (size_t k = 0; k < sizeof area; ++k) area[k] = 0x55;
}

// Writes the holder entry of one tool that carries these sections.
HolderRun write_holder(const std::vector<HolderSection> &sections, double offset,
                       const std::vector<sim::Fault> &faults = {}) {
    sim::Session s;
    s.part = sim::Part();
    s.part->none_member = false;
    sim::Member m;
    m.name = "EM10";
    m.type = 1;
    m.subtype = 1;
    m.holder = sections;
    m.params[UF_PARAM_TL_HOLDER_OFFSET].number = offset;
    s.part->members.push_back(m);
    s.faults = faults;
    s.fail_messages[949001] = "Object not found";

    TempDir dir;
    HolderRun h;
    sim::begin_direct(s);
    uTool[3] = ToolRecord{};
    uTool[3].tls = s.part->members[0].tag;
    std::strcpy(uTool[3].name, "EM10");
    tls_file = plat_open_text(dir.file("h.tls").c_str(), "w");
    EXPECT_NE(tls_file, nullptr);
    poison_stack();
    h.rc = Tools_write_holder(3);
    fclose(tls_file);
    tls_file = nullptr;
    uTool[3] = ToolRecord{};
    h.run = sim::end_direct();
    EXPECT_EQ(h.run.outstanding_arrays, 0) << "holder array not given back";
    EXPECT_TRUE(h.run.error.empty()) << h.run.error;
    h.out = joined(h.run, Event::Stdout);
    h.file = read_file(dir.file("h.tls"));
    return h;
}

std::string fixed5(double v) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.5f", v);
    return buf;
}

const char *kOpen = "  HOLDER {\n    ASSEMBLY {\n      SOR {\n        PTS { (0,0) }\n";
const char *kClose = "      }\n    }\n  }\n";
const double H = 1.5707963;

struct EntryCase {
    const char *name;
    double offset;
    std::vector<HolderSection> sections;
    std::string expected;  // "\n" line ends
};

class HolderEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(HolderEntry, IsWrittenByteForByte) {
    HolderRun h = write_holder(GetParam().sections, GetParam().offset);
    EXPECT_EQ(h.rc, 0);
    EXPECT_EQ(h.file, crlf(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    HolderBlock, HolderEntry,
    ::testing::Values(
        EntryCase{"TwoSections", 0, {{40, 50, 0, 2}, {30, 20, 0.1, 0}},
                  std::string(kOpen) +
                      "        PTS { (18.00000,-0.00000) }\n"
                      "        ARC (18.00000,2.00000,2.00000) \n"
                      "        PTS { (20.00000,2.00000) } \n"
                      "        PTS { (20.00000,50.00000) } \n"
                      "        PTS { (15.00000,50.00000) }\n"
                      "        PTS { (17.00669,70.00000) } \n"
                      "        PTS { (0,70.00000) } \n" +
                      kClose},
        EntryCase{"Offset25", 25, {{20, 30, 0, 0}},
                  std::string(kOpen) +
                      "        PTS { (0,-25.00000) }\n"
                      "        PTS { (10.00000,-25.00000) } \n"
                      "        PTS { (10.00000,5.00000) } \n"
                      "        PTS { (0,5.00000) } \n" +
                      kClose},
        EntryCase{"NegativeOffset", -2.5, {{20, 30, 0, 0}},
                  std::string(kOpen) +
                      "        PTS { (0,2.50000) }\n"
                      "        PTS { (10.00000,2.50000) } \n"
                      "        PTS { (10.00000,32.50000) } \n"
                      "        PTS { (0,32.50000) } \n" +
                      kClose},
        EntryCase{"NarrowingWithFillet", 4.7, {{30, 10, -0.2, 3}},
                  std::string(kOpen) +
                      "        PTS { (0,-4.70000) }\n"
                      "        PTS { (11.33085,-4.70000) }\n"
                      "        ARC (11.33085,-1.70000,3.00000) \n"
                      "        PTS { (14.27105,-1.10399) } \n"
                      "        PTS { (12.97290,5.30000) } \n"
                      "        PTS { (0,5.30000) } \n" +
                      kClose},
        EntryCase{"NegativeFilletDrawnTheSameWay", 0, {{20, 10, 0, -1}},
                  std::string(kOpen) +
                      "        PTS { (11.00000,-0.00000) }\n"
                      "        ARC (11.00000,-1.00000,-1.00000) \n"
                      "        PTS { (10.00000,-1.00000) } \n"
                      "        PTS { (10.00000,10.00000) } \n"
                      "        PTS { (0,10.00000) } \n" +
                      kClose},
        EntryCase{"StraightWithoutFilletHasBothPointsSpaced", 0, {{20, 30, 0, 0}},
                  std::string(kOpen) +
                      "        PTS { (10.00000,-0.00000) } \n"
                      "        PTS { (10.00000,30.00000) } \n"
                      "        PTS { (0,30.00000) } \n" +
                      kClose},
        EntryCase{"NarrowingWithoutFillet", 0, {{30, 10, -0.1, 0}},
                  std::string(kOpen) +
                      "        PTS { (15.00000,-0.00000) }\n"
                      "        PTS { (13.99665,10.00000) } \n"
                      "        PTS { (0,10.00000) } \n" +
                      kClose},
        EntryCase{"QuarterTurnsAreLeftOut", 0,
                  {{20, 10, 0, 0}, {30, 5, H, 0}, {25, 5, -H, 1}, {16, 10, 0, 0}},
                  std::string(kOpen) +
                      "        PTS { (10.00000,-0.00000) } \n"
                      "        PTS { (10.00000,10.00000) } \n"
                      "        PTS { (8.00000,10.00000) } \n"
                      "        PTS { (8.00000,20.00000) } \n"
                      "        PTS { (0,20.00000) } \n" +
                      kClose},
        EntryCase{"NothingDrawable", 3, {{30, 5, H, 0}},
                  std::string(kOpen) +
                      "        PTS { (0,-3.00000) }\n"
                      "        PTS { (0,-3.00000) } \n" +
                      kClose},
        EntryCase{"NoSections", 25, {}, ""},
        // A section with a number that is not finite ends the holder below it.
        EntryCase{"SumPastTheLargestDoubleStops", 0,
                  {{40, 50, 0, 0}, {30, 1e308, 0, 0}, {30, 1e308, 0, 0}, {20, 10, 0, 0}},
                  std::string(kOpen) +
                      "        PTS { (20.00000,-0.00000) } \n"
                      "        PTS { (20.00000,50.00000) } \n"
                      "        PTS { (15.00000,50.00000) } \n"
                      "        PTS { (15.00000," + fixed5(50 + 1e308) + ") } \n"
                      "        PTS { (0," + fixed5(50 + 1e308) + ") } \n" +
                      kClose},
        EntryCase{"FilletOfNanStops", 0, {{20, 10, 0, NAN}, {20, 10, 0, 0}},
                  std::string(kOpen) + "        PTS { (0,-0.00000) } \n" + kClose},
        EntryCase{"InfiniteDiameterStops", 2, {{20, 10, 0, 0}, {INFINITY, 10, 0, 0}},
                  std::string(kOpen) +
                      "        PTS { (0,-2.00000) }\n"
                      "        PTS { (10.00000,-2.00000) } \n"
                      "        PTS { (10.00000,8.00000) } \n"
                      "        PTS { (0,8.00000) } \n" +
                      kClose},
        EntryCase{"InfiniteOffsetIsNone", INFINITY, {{20, 30, 0, 0}},
                  std::string(kOpen) +
                      "        PTS { (10.00000,-0.00000) } \n"
                      "        PTS { (10.00000,30.00000) } \n"
                      "        PTS { (0,30.00000) } \n" +
                      kClose}),
    [](const auto &p) { return p.param.name; });

TEST(HolderBlock, DiagnosticLines) {
    HolderRun h = write_holder({{40, 50, 0, 2}, {30, 5, -H, 0}, {30, 20, 0.1, 0}}, 0);
    EXPECT_EQ(h.out,
              "\nNumber of holder stacks defined is 3 "
              "\n holder(0) D=40.00 L=50.00 B=0.0000 R1=2.00"
              "\n\t constant x=0.00 y=2.00"
              "\n holder(1) D=30.00 L=5.00 B=-1.5708 R1=0.00"
              "\n holder(2) D=30.00 L=20.00 B=0.1000 R1=0.00"
              "\n\t constant x=2.01 y=0.00");
    HolderRun none = write_holder({}, 0);
    EXPECT_EQ(none.out, "\nNumber of holder stacks defined is 0 ");
    // The tool is named where a number that is not finite ends the holder.
    HolderRun stopped = write_holder({{40, 50, 0, 2}, {30, 5, -H, 0}, {30, INFINITY, 0, 0}, {20, 10, 0, 0}}, NAN);
    EXPECT_EQ(stopped.out,
              "\nNumber of holder stacks defined is 4 "
              "\n Tools_write_holder -> \"EM10\": holder offset not finite, written as 0 "
              "\n holder(0) D=40.00 L=50.00 B=0.0000 R1=2.00"
              "\n\t constant x=0.00 y=2.00"
              "\n holder(1) D=30.00 L=5.00 B=-1.5708 R1=0.00"
              "\n holder(2) D=30.00 L=inf B=0.0000 R1=0.00"
              "\n Tools_write_holder -> \"EM10\": holder(2) not finite, the holder ends below it "
              "\n holder(3) D=20.00 L=10.00 B=0.0000 R1=0.00");
}

// Only exactly +-1.5707963 is left out; the full-precision quarter turn is
// drawn (with its very large radius growth).
TEST(HolderBlock, FullPrecisionQuarterTurnIsDrawn) {
    for (double b : {M_PI / 2, -M_PI / 2, std::nextafter(H, 2.0), std::nextafter(-H, -2.0)}) {
        HolderRun h = write_holder({{20, 10, b, 0}}, 0);
        size_t points = 0;
        for (size_t at = h.file.find("PTS {"); at != std::string::npos; at = h.file.find("PTS {", at + 1))
            ++points;
        EXPECT_EQ(points, 4u) << b;  // origin, lower end, upper end, top
        EXPECT_NE(h.file.find("        PTS { (0,10.00000) } \r\n"), std::string::npos) << b;
        EXPECT_NE(h.out.find("\n\t constant x="), std::string::npos) << b;
        EXPECT_EQ(h.file.find("nan"), std::string::npos);
        EXPECT_EQ(h.file.find("inf"), std::string::npos);
    }
}

struct FaultCase {
    const char *name;
    const char *call;
    const char *call_text;
    std::string expected;
    const char *count_line;
};

class HolderFault : public ::testing::TestWithParam<FaultCase> {};

// A failed query is reported with its call text; nothing it did not set is
// used.
TEST_P(HolderFault, IsReportedAndUsesNoUnsetValue) {
    const FaultCase &c = GetParam();
    HolderRun h = write_holder({{20, 30, 0, 0}}, 25, {{c.call, 949001, 0}});
    EXPECT_EQ(h.rc, 0);
    EXPECT_EQ(h.file, crlf(c.expected));
    EXPECT_NE(h.out.find(std::string("src/tls/holder_block.cpp, line ")), std::string::npos) << h.out;
    EXPECT_NE(h.out.find(std::string(":  ") + c.call_text + "\n    returned error 949001:  Object not found\n"),
              std::string::npos)
        << h.out;
    EXPECT_NE(h.out.find(c.count_line), std::string::npos) << h.out;
}

INSTANTIATE_TEST_SUITE_P(
    HolderBlock, HolderFault,
    ::testing::Values(
        FaultCase{"SectionCount", "UF_CUTTER_ask_section_count",
                  "UF_CUTTER_ask_section_count(uTool[i].tls, &knt )", "",
                  "\nNumber of holder stacks defined is 0 "},
        FaultCase{"Offset", "UF_PARAM_ask_double_value",
                  "UF_PARAM_ask_double_value(uTool[i].tls, UF_PARAM_TL_HOLDER_OFFSET, &offset )",
                  std::string(kOpen) +
                      "        PTS { (10.00000,-0.00000) } \n"
                      "        PTS { (10.00000,30.00000) } \n"
                      "        PTS { (0,30.00000) } \n" +
                      kClose,
                  "\nNumber of holder stacks defined is 1 "},
        // Sections the host cannot give are no holder: no empty outline.
        FaultCase{"HolderData", "UF_CUTTER_ask_holder_data",
                  "UF_CUTTER_ask_holder_data(uTool[i].tls,&cnt_holder,&dhlder)", "",
                  "\nNumber of holder stacks defined is 1 "}),
    [](const auto &p) { return p.param.name; });

}  // namespace
