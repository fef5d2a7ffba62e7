// TOOLID records byte for byte: every cutter form, the outlines, the
// description text, the table after writing, and write errors.
#include <gtest/gtest.h>

#include <sys/types.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "host/platform/platform.h"
#include "src/table/tool_table.h"
#include "src/tls/cutter_profile.h"
#include "src/tls/tls_file.h"
#include "src/tls/tls_writer.h"
#include "tests/unit/test_support.h"

using namespace testing_support;
using sim::Event;

namespace {

struct Tool {
    ToolRecord rec;
    std::vector<HolderSection> holder;
    double holder_offset = 0;
};

struct Written {
    std::vector<int> results;
    std::string file;
    std::string out;
    sim::RunResult run;
    std::vector<ToolRecord> table;  // the entries as the writer left them
};

// Puts the tools into uTool[0..] with a host that knows them (and their
// holders), then writes every entry `passes` times to `stream`, or to a
// CR LF text file when none is given.
Written write_all(const std::vector<Tool> &tools, int with_optipath, int passes = 1,
                  FILE *stream = nullptr) {
    sim::Session s;
    s.part = sim::Part();
    s.part->none_member = false;
    for (const Tool &t : tools) {
        sim::Member m;
        m.name = t.rec.name;
        m.type = t.rec.type;
        m.subtype = t.rec.subtype;
        m.holder = t.holder;
        m.params[UF_PARAM_TL_HOLDER_OFFSET].number = t.holder_offset;
        s.part->members.push_back(m);
    }
    std::unique_ptr<TempDir> dir;
    std::string path;
    if (!stream) {
        dir = std::make_unique<TempDir>();
        path = dir->file("out.tls");
    }
    Written w;
    sim::begin_direct(s);
    for (size_t k = 0; k < tools.size(); ++k) {
        uTool[k] = tools[k].rec;
        uTool[k].tls = s.part->members[k].tag;
    }
    uToolCount = static_cast<int>(tools.size());
    tls_file = stream ? stream : plat_open_text(path.c_str(), "w");
    EXPECT_NE(tls_file, nullptr);
    for (int p = 0; p < passes; ++p)
        for (size_t k = 0; k < tools.size(); ++k)
            w.results.push_back(Tools_write_tls(static_cast<int>(k), with_optipath));
    if (!stream) fclose(tls_file);
    tls_file = nullptr;
    w.run = sim::end_direct();
    EXPECT_EQ(w.run.outstanding_arrays, 0);
    EXPECT_TRUE(w.run.error.empty()) << w.run.error;
    w.out = joined(w.run, Event::Stdout);
    if (!stream) w.file = read_file(path);
    w.table.assign(uTool, uTool + tools.size());
    std::memset(uTool, 0, sizeof uTool);
    uToolCount = 0;
    return w;
}

ToolRecord em10() {
    ToolRecord t{};
    std::strcpy(t.name, "EM10");
    t.type = 1;
    t.subtype = 1;
    t.diameter = 10;
    t.length = 75;
    t.flute_length = 50;
    return t;
}

ToolRecord barrel() {
    ToolRecord t{};
    std::strcpy(t.name, "BR20");
    t.type = 7;
    t.diameter = 20;
    t.barrel_radius = 50;
    t.barrel_center_y = 10;
    t.lower_corner_radius = 2;
    t.upper_corner_radius = 2;
    t.flute_length = 20;
    t.length = 60;
    t.shank_dia = 10;
    return t;
}

ToolRecord t_cutter() {
    ToolRecord t{};
    std::strcpy(t.name, "TC30");
    t.type = 8;
    t.diameter = 30;
    t.lower_corner_radius = 1;
    t.upper_corner_radius = 0.5;
    t.flute_length = 6;
    t.length = 50;
    t.shank_dia = 10;
    return t;
}

std::string head(const std::string &name, const std::string &desc) {
    return "TOOLID \"" + name + "\" {\n  UNITS MILLIMETER\n  DESCRIPTION \"" + desc +
           "\"\n  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)\n";
}

const char *kMillOpen50 =
    "  TOOLTYPE MILLING\n  STACK YES\n  CUTTER {\n    FLUTE_LENGTH 50.00000 \n"
    "    SHANK_DIAMETER 0.00000 \n    ASSEMBLY {\n";
const char *kClose = "    }\n  }\n";

struct RecordCase {
    const char *name;
    std::function<ToolRecord()> tool;
    std::string expected;  // with "\n" line ends
    std::string out = "";  // standard output; empty: not looked at
};

class Record : public ::testing::TestWithParam<RecordCase> {};

TEST_P(Record, IsWrittenByteForByte) {
    Written w = write_all({{GetParam().tool(), {}, 0}}, 0);
    EXPECT_EQ(w.results, std::vector<int>{0});
    EXPECT_EQ(w.file, crlf(GetParam().expected));
    if (!GetParam().out.empty()) {
        EXPECT_EQ(w.out, GetParam().out);
    }
    EXPECT_EQ(w.file.find("inf"), std::string::npos);
    EXPECT_EQ(w.file.find("nan"), std::string::npos);
}

// The flat end a tool without finite cutter numbers is written as.
std::string flat_end_block(const std::string &fl, const std::string &d, const std::string &l) {
    return "  TOOLTYPE MILLING\n  STACK YES\n  CUTTER {\n    FLUTE_LENGTH " + fl +
           " \n    SHANK_DIAMETER 0.00000 \n    ASSEMBLY {\n      CUTTER_TYPE \"FLAT END\"\n"
           "      STANDARD (" + d + ",0.00000,0.00000,0.00000,0.00000,0.00000," + l + ")\n    }\n  }\n";
}

INSTANTIATE_TEST_SUITE_P(
    TlsWriter, Record,
    ::testing::Values(
        RecordCase{"FlatEndEM10", em10,
                   "TOOLID \"EM10\" {\n"
                   "  UNITS MILLIMETER\n"
                   "  DESCRIPTION \"D10.00 H75.00\"\n"
                   "  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)\n"
                   "  TOOLTYPE MILLING\n"
                   "  STACK YES\n"
                   "  CUTTER {\n"
                   "    FLUTE_LENGTH 50.00000 \n"
                   "    SHANK_DIAMETER 0.00000 \n"
                   "    ASSEMBLY {\n"
                   "      CUTTER_TYPE \"FLAT END\"\n"
                   "      STANDARD (10.00000,0.00000,0.00000,0.00000,0.00000,0.00000,75.00000)\n"
                   "    }\n"
                   "  }\n"
                   "}\n"},
        RecordCase{"BullNose",
                   [] {
                       ToolRecord e = em10();
                       e.r1 = 1;
                       return e;
                   },
                   head("EM10", "D10.00 r1.00 H75.00") + kMillOpen50 +
                       "      CUTTER_TYPE \"BULL NOSE\"\n"
                       "      STANDARD (10.00000,1.00000,4.00000,1.00000,0.00000,0.00000,75.00000)\n" +
                       kClose + "}\n"},
        RecordCase{"BallEndFromHalfDiameter",
                   [] {
                       ToolRecord e = em10();
                       e.r1 = 5;
                       return e;
                   },
                   head("EM10", "D10.00 r5.00 H75.00") + kMillOpen50 +
                       "      CUTTER_TYPE \"BALL END\"\n"
                       "      STANDARD (10.00000,5.00000,0.00000,5.00000,0.00000,0.00000,75.00000)\n" +
                       kClose + "}\n"},
        RecordCase{"JustBelowHalfDiameterIsBullNose",
                   [] {
                       ToolRecord e = em10();
                       e.r1 = 4.99999;
                       return e;
                   },
                   head("EM10", "D10.00 r5.00 H75.00") + kMillOpen50 +
                       "      CUTTER_TYPE \"BULL NOSE\"\n"
                       "      STANDARD (10.00000,4.99999,0.00001,4.99999,0.00000,0.00000,75.00000)\n" +
                       kClose + "}\n"},
        RecordCase{"TipAngleGivesPlainSevenValues",
                   [] {
                       ToolRecord e = em10();
                       e.tip_angle = 0.1;
                       e.r1 = 0.5;
                       e.r1_center_x = 2.5;
                       e.r1_center_y = 1.5;
                       return e;
                   },
                   head("EM10", "D10.00 r0.50 H75.00") + kMillOpen50 +
                       "      STANDARD (10.00000,0.50000,2.50000,1.50000,5.72958,0.00000,75.00000)\n" +
                       kClose + "}\n"},
        RecordCase{"TaperedBallGivesPlainSevenValues",
                   [] {
                       ToolRecord e = em10();
                       e.subtype = 4;
                       e.r1 = 5;
                       e.taper_angle = 0.05;
                       e.tip_angle = 0.2;
                       return e;
                   },
                   head("EM10", "D10.00 r5.00 H75.00") + kMillOpen50 +
                       "      STANDARD (10.00000,5.00000,0.00000,0.00000,11.45916,2.86479,75.00000)\n" +
                       kClose + "}\n"},
        RecordCase{"BallSubtypeIgnoresTipAngle",
                   [] {
                       ToolRecord e = em10();
                       e.subtype = 4;
                       e.r1 = 3;
                       e.tip_angle = 0.2;
                       return e;
                   },
                   head("EM10", "D10.00 r3.00 H75.00") + kMillOpen50 +
                       "      CUTTER_TYPE \"BALL END\"\n"
                       "      STANDARD (10.00000,3.00000,0.00000,3.00000,0.00000,0.00000,75.00000)\n" +
                       kClose + "}\n"},
        RecordCase{"Apt10",
                   [] {
                       ToolRecord e = em10();
                       e.subtype = 3;
                       e.r1 = 1;
                       e.r1_center_x = 4;
                       e.r1_center_y = 1;
                       e.taper_angle = 0.1;
                       e.r2 = 0.5;
                       e.r2_center_x = 4.5;
                       e.r2_center_y = 0.25;
                       return e;
                   },
                   head("EM10", "D10.00 r1.00 H75.00") + kMillOpen50 +
                       "      CUTTER_TYPE \"APT 10\"\n"
                       "       STANDARD (10.00000,1.00000,4.00000,1.00000,0.00000,5.72958,75.00000,"
                       "0.50000,4.50000,0.25000)\n" +
                       kClose + "}\n"},
        RecordCase{"MillSubtypeFiveHasNoCutterBlock",
                   [] {
                       ToolRecord e = em10();
                       e.subtype = 5;
                       return e;
                   },
                   head("EM10", "D10.00 H75.00") + "}\n"},
        RecordCase{"MillSubtypeZeroHasNoCutterBlock",
                   [] {
                       ToolRecord e = em10();
                       e.subtype = 0;
                       return e;
                   },
                   head("EM10", "D10.00 H75.00") + "}\n"},
        RecordCase{"Drill118",
                   [] {
                       ToolRecord e{};
                       std::strcpy(e.name, "DR8");
                       e.type = 2;
                       e.subtype = 7;
                       e.diameter = 8;
                       e.length = 40;
                       e.flute_length = 30;
                       e.point_angle = 2.0594885;
                       e.tip_angle = 0.3;
                       e.r1 = 0.2;
                       return e;
                   },
                   head("DR8", "D8.00 r0.20 H40.00") +
                       "  TOOLTYPE MILLING\n  STACK YES\n  CUTTER {\n    FLUTE_LENGTH 30.00000 \n"
                       "    SHANK_DIAMETER 0.00000 \n    ASSEMBLY {\n"
                       "      CUTTER_TYPE \"DRILL\"\n"
                       "      STANDARD (8.00000,0.00000,0.00000,0.00000,31.00000,0.00000,40.00000)\n" +
                       kClose + "}\n"},
        RecordCase{"TurningPlaceholder",
                   [] {
                       ToolRecord e = em10();
                       e.type = 3;
                       return e;
                   },
                   head("EM10", "D10.00 H75.00") + "  TOOLTYPE TURNING\n  STACK NO\n}\n"},
        RecordCase{"TypeZeroIsTurning",
                   [] {
                       ToolRecord e = em10();
                       e.type = 0;
                       return e;
                   },
                   head("EM10", "D10.00 H75.00") + "  TOOLTYPE TURNING\n  STACK NO\n}\n"},
        RecordCase{"BarrelWithCorners", barrel,
                   head("BR20", "D20.00 H60.00") +
                       "  TOOLTYPE MILLING\n  STACK YES\n  CUTTER {\n    FLUTE_LENGTH 20.00000 \n"
                       "    SHANK_DIAMETER 10.00000 \n    ASSEMBLY {\n"
                       "          SOR {\n"
                       "        PTS { (0,0) (7.32864,0) } \n"
                       "        ARC (7.32864,2.00000,2.00000) \n"
                       "        PTS { (9.30066,1.66667) } \n"
                       "        ARC (-40.00000,10.00000,50.00000) \n"
                       "        PTS { (9.30066,18.33333) } \n"
                       "        ARC (7.32864,18.00000,2.00000) \n"
                       "        PTS { (7.32864,20.00000) } \n"
                       "        PTS { (5.00000,20.00000) (5.00000,60.00000) } \n"
                       "        PTS { (0,60.00000) } \n"
                       "      }\n    }\n  }\n"
                       "}\n"},
        RecordCase{"BarrelSharpWithoutShank",
                   [] {
                       ToolRecord e = barrel();
                       e.lower_corner_radius = 0;
                       e.upper_corner_radius = 0;
                       e.shank_dia = 0;
                       return e;
                   },
                   head("BR20", "D20.00 H60.00") +
                       "  TOOLTYPE MILLING\n  STACK YES\n  CUTTER {\n    FLUTE_LENGTH 20.00000 \n"
                       "    SHANK_DIAMETER 0.00000 \n    ASSEMBLY {\n"
                       "          SOR {\n"
                       "        PTS { (0,0) (8.98979,0) } \n"
                       "        ARC (-40.00000,10.00000,50.00000) \n"
                       "        PTS { (8.98979,20.00000) } \n"
                       "        PTS { (0,60.00000) } \n"
                       "      }\n    }\n  }\n"
                       "}\n"},
        RecordCase{"TCutterWithCorners", t_cutter,
                   head("TC30", "D30.00 H50.00") +
                       "  TOOLTYPE MILLING\n  STACK YES\n  CUTTER {\n    FLUTE_LENGTH 6.00000 \n"
                       "    SHANK_DIAMETER 10.00000 \n    ASSEMBLY {\n"
                       "          SOR {\n"
                       "        PTS { (0,0) (14.00000,0) } \n"
                       "        ARC (14.00000,1.00000,1.00000) \n"
                       "        PTS { (15.00000,1.00000) } \n"
                       "        PTS { (15.00000,5.50000) } \n"
                       "        ARC (14.50000,5.50000,0.50000) \n"
                       "        PTS { (14.50000,6.00000) } \n"
                       "        PTS { (5.00000,6.00000) (5.00000,50.00000) (0,50.00000) } \n"
                       "      }\n    }\n  }\n"
                       "}\n"},
        RecordCase{"TCutterFullRadius",
                   [] {
                       ToolRecord e = t_cutter();
                       e.lower_corner_radius = 3;
                       e.upper_corner_radius = 3;
                       return e;
                   },
                   head("TC30", "D30.00 H50.00") +
                       "  TOOLTYPE MILLING\n  STACK YES\n  CUTTER {\n    FLUTE_LENGTH 6.00000 \n"
                       "    SHANK_DIAMETER 10.00000 \n    ASSEMBLY {\n"
                       "          SOR {\n"
                       "        PTS { (0,0) (12.00000,0) } \n"
                       "        ARC (12.00000,3.00000,3.00000) \n"
                       "        PTS { (12.00000,6.00000) } \n"
                       "        PTS { (5.00000,6.00000) (5.00000,50.00000) (0,50.00000) } \n"
                       "      }\n    }\n  }\n"
                       "}\n"},
        RecordCase{"TCutterSharpWithoutShank",
                   [] {
                       ToolRecord e = t_cutter();
                       e.lower_corner_radius = 0;
                       e.upper_corner_radius = 0;
                       e.shank_dia = 0;
                       return e;
                   },
                   head("TC30", "D30.00 H50.00") +
                       "  TOOLTYPE MILLING\n  STACK YES\n  CUTTER {\n    FLUTE_LENGTH 6.00000 \n"
                       "    SHANK_DIAMETER 0.00000 \n    ASSEMBLY {\n"
                       "          SOR {\n"
                       "        PTS { (0,0) (15.00000,0) } \n"
                       "        PTS { (15.00000,6.00000) } \n"
                       "        PTS { (0.00000,6.00000) (0.00000,50.00000) (0,50.00000) } \n"
                       "      }\n    }\n  }\n"
                       "}\n"},
        // Numbers that are not finite never reach the file: cutter values
        // give the flat end of the tool's diameter and length, or no cutter
        // shape when those are not finite either; the tool is named.
        RecordCase{"TipAngleOverflowIsFlatEnd",
                   [] {
                       ToolRecord e = em10();
                       e.subtype = 2;
                       e.tip_angle = 1e308;
                       return e;
                   },
                   head("EM10", "D10.00 H75.00") + flat_end_block("50.00000", "10.00000", "75.00000") + "}\n",
                   "\n Tools_write_tls -> \"EM10\": STANDARD values not finite, written as FLAT END "
                   "\nNumber of holder stacks defined is 0 "},
        RecordCase{"Apt10NanRadiusIsFlatEnd",
                   [] {
                       ToolRecord e = em10();
                       e.subtype = 3;
                       e.r2 = NAN;
                       return e;
                   },
                   head("EM10", "D10.00 H75.00") + flat_end_block("50.00000", "10.00000", "75.00000") + "}\n"},
        RecordCase{"DrillPointAngleOverflowIsFlatEnd",
                   [] {
                       ToolRecord e = em10();
                       e.type = 2;
                       e.point_angle = -1e308;
                       return e;
                   },
                   head("EM10", "D10.00 H75.00") + flat_end_block("50.00000", "10.00000", "75.00000") + "}\n"},
        RecordCase{"InfiniteFluteLengthHasNoCutterShape",
                   [] {
                       ToolRecord e = em10();
                       e.flute_length = INFINITY;
                       return e;
                   },
                   head("EM10", "D10.00 H75.00") + "  TOOLTYPE TURNING\n  STACK NO\n}\n",
                   "\n Tools_write_tls -> \"EM10\": STANDARD values not finite, written as TURNING "
                   "\nNumber of holder stacks defined is 0 "},
        RecordCase{"TCutterInfiniteDiameterHasNoCutterShape",
                   [] {
                       ToolRecord e = t_cutter();
                       e.diameter = INFINITY;
                       return e;
                   },
                   head("TC30", "H50.00") + "  TOOLTYPE TURNING\n  STACK NO\n}\n",
                   "\n Tools_write_tls -> \"TC30\": D not finite, left out of the description "
                   "\n Tools_write_tls -> \"TC30\": CUTTER_T outline not finite, written as TURNING "
                   "\nNumber of holder stacks defined is 0 "},
        RecordCase{"NanZOffsetIsNoOffset",
                   [] {
                       ToolRecord e = em10();
                       e.z_offset = NAN;
                       e.subtype = 5;
                       return e;
                   },
                   head("EM10", "D10.00 H75.00") + "}\n",
                   "\n Tools_write_tls -> \"EM10\": z_offset not finite, written as 0 "
                   "\nNumber of holder stacks defined is 0 "},
        RecordCase{"ControlCharactersInTexts",
                   [] {
                       ToolRecord e = em10();
                       std::strcpy(e.name, "EM\r\n10\x1f");
                       std::strcpy(e.cutter_description, "\tEND\nMILL");
                       std::strcpy(e.catalog_name, "\"C\x01\"\x7f");
                       return e;
                   },
                   "TOOLID \"EM  10 \" {\n  UNITS MILLIMETER\n  DESCRIPTION \"D10.00 H75.00  END MILL |C |\x7f\"\n"
                   "  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)\n" +
                       flat_end_block("50.00000", "10.00000", "75.00000") + "}\n"},
        // Outlines that have no finite numbers: the flat end of the tool's
        // diameter and length instead.
        RecordCase{"BarrelRadiusZero",
                   [] {
                       ToolRecord e = barrel();
                       e.barrel_radius = 0;
                       return e;
                   },
                   head("BR20", "D20.00 H60.00") +
                       "  TOOLTYPE MILLING\n  STACK YES\n  CUTTER {\n    FLUTE_LENGTH 20.00000 \n"
                       "    SHANK_DIAMETER 0.00000 \n    ASSEMBLY {\n"
                       "      CUTTER_TYPE \"FLAT END\"\n"
                       "      STANDARD (20.00000,0.00000,0.00000,0.00000,0.00000,0.00000,60.00000)\n" +
                       kClose + "}\n"}),
    [](const auto &p) { return p.param.name; });

// What the table holds, so that the right number of a wrong form is caught.
struct FormCase {
    const char *name;
    int subtype;
    double diameter, r1, taper, tip;
    CutterForm form;
    int new_subtype;
};

class MillForm : public ::testing::TestWithParam<FormCase> {};

TEST_P(MillForm, ChoosesFormAndSubtype) {
    const FormCase &c = GetParam();
    ToolRecord t{};
    t.type = 1;
    t.subtype = c.subtype;
    t.diameter = c.diameter;
    t.r1 = c.r1;
    t.taper_angle = c.taper;
    t.tip_angle = c.tip;
    int subtype = c.subtype;
    EXPECT_EQ(cutter_mill_form(&t, &subtype), c.form);
    EXPECT_EQ(subtype, c.new_subtype);
}

INSTANTIATE_TEST_SUITE_P(
    TlsWriter, MillForm,
    ::testing::Values(FormCase{"Flat", 1, 10, 0, 0, 0, CUTTER_FORM_FLAT_END, 1},
                      FormCase{"Bull", 1, 10, 1, 0, 0, CUTTER_FORM_BULL_NOSE, 1},
                      FormCase{"NegativeR1Bull", 1, 10, -1, 0, 0, CUTTER_FORM_BULL_NOSE, 1},
                      FormCase{"Ball", 1, 10, 5, 0, 0, CUTTER_FORM_BALL_END, 4},
                      FormCase{"AlmostBall", 1, 10, 4.99999, 0, 0, CUTTER_FORM_BULL_NOSE, 1},
                      FormCase{"TipOnFlat", 1, 10, 0, 0, 0.1, CUTTER_FORM_MILL_7, 2},
                      FormCase{"TaperOnFlat", 1, 10, 0, -0.1, 0, CUTTER_FORM_MILL_7, 2},
                      FormCase{"TaperOnBall", 4, 10, 5, 0.1, 0, CUTTER_FORM_MILL_7, 2},
                      FormCase{"TipOnBall", 4, 10, 5, 0, 0.1, CUTTER_FORM_BALL_END, 4},
                      FormCase{"Seven", 2, 10, 1, 0, 0, CUTTER_FORM_MILL_7, 2},
                      FormCase{"Ten", 3, 10, 1, 0, 0, CUTTER_FORM_APT_10, 3},
                      FormCase{"Zero", 0, 10, 0, 0, 0, CUTTER_FORM_NONE, 0},
                      FormCase{"Five", 5, 10, 0, 0, 0, CUTTER_FORM_NONE, 5}),
    [](const auto &p) { return p.param.name; });

struct OutlineCase {
    const char *name;
    std::function<void(ToolRecord &)> change;
};

class NonFiniteBarrel : public ::testing::TestWithParam<OutlineCase> {};

// No "nan" or "inf" reaches the file; the tool is named on standard output
// and written as a flat end of its size.
TEST_P(NonFiniteBarrel, IsWrittenAsFlatEndAndNamed) {
    ToolRecord t = barrel();
    GetParam().change(t);
    CutterProfile p;
    cutter_barrel_profile(&t, &p);
    EXPECT_FALSE(cutter_profile_is_finite(&p));

    Written w = write_all({{t, {}, 0}}, 0);
    EXPECT_EQ(w.results, std::vector<int>{0});
    EXPECT_EQ(w.file.find("nan"), std::string::npos) << w.file;
    EXPECT_EQ(w.file.find("inf"), std::string::npos) << w.file;
    EXPECT_NE(w.file.find("      CUTTER_TYPE \"FLAT END\"\r\n"
                          "      STANDARD (20.00000,0.00000,0.00000,0.00000,0.00000,0.00000,60.00000)\r\n"),
              std::string::npos)
        << w.file;
    EXPECT_NE(w.out.find("\n Tools_write_tls -> \"BR20\": BARREL outline not finite, written as FLAT END "),
              std::string::npos)
        << w.out;
}

INSTANTIATE_TEST_SUITE_P(
    TlsWriter, NonFiniteBarrel,
    ::testing::Values(OutlineCase{"LowerRootNegative", [](ToolRecord &e) { e.barrel_center_y = 100; }},
                      OutlineCase{"UpperRootNegative", [](ToolRecord &e) { e.flute_length = 200; }},
                      OutlineCase{"RadiusEqualsLowerCorner",
                                  [](ToolRecord &e) {
                                      e.barrel_radius = 2;
                                      e.barrel_center_y = 2;
                                      e.upper_corner_radius = 0;
                                      e.flute_length = 2;
                                  }},
                      OutlineCase{"RadiusEqualsUpperCorner",
                                  [](ToolRecord &e) {
                                      e.barrel_radius = 2;
                                      e.lower_corner_radius = 0;
                                      e.barrel_center_y = 2;
                                      e.flute_length = 4;
                                  }},
                      OutlineCase{"SharpWithRadiusZero",
                                  [](ToolRecord &e) {
                                      e.barrel_radius = 0;
                                      e.lower_corner_radius = 0;
                                      e.upper_corner_radius = 0;
                                  }},
                      OutlineCase{"SharpRootNegative",
                                  [](ToolRecord &e) {
                                      e.lower_corner_radius = 0;
                                      e.upper_corner_radius = 0;
                                      e.barrel_center_y = 60;
                                  }},
                      // A square beyond the largest double: 80-bit intermediates
                      // would keep these finite.
                      OutlineCase{"CornerSquareOverflows",
                                  [](ToolRecord &e) {
                                      e.barrel_radius = 1e300;
                                      e.barrel_center_y = 1e10;
                                  }},
                      OutlineCase{"SharpSquareOverflows",
                                  [](ToolRecord &e) {
                                      e.barrel_radius = 1e200;
                                      e.lower_corner_radius = 0;
                                      e.upper_corner_radius = 0;
                                  }}),
    [](const auto &p) { return p.param.name; });

TEST(TlsWriterOutline, WorkedOutlinesAreFinite) {
    ToolRecord b = barrel(), t = t_cutter();
    CutterProfile p;
    cutter_barrel_profile(&b, &p);
    EXPECT_TRUE(cutter_profile_is_finite(&p));
    EXPECT_EQ(p.count, 9);
    cutter_t_profile(&t, &p);
    EXPECT_TRUE(cutter_profile_is_finite(&p));
    EXPECT_EQ(p.count, 7);
}

struct DescriptionCase {
    const char *name;
    std::function<void(ToolRecord &)> change;
    std::string description;
};

class Description : public ::testing::TestWithParam<DescriptionCase> {};

TEST_P(Description, IsBuiltFromItsPieces) {
    ToolRecord t = em10();
    GetParam().change(t);
    Written w = write_all({{t, {}, 0}}, 1);
    std::string d = GetParam().description;
    EXPECT_NE(w.file.find("\r\n  DESCRIPTION \"" + d + "\"\r\n"), std::string::npos) << w.file;
    EXPECT_NE(w.file.find("\r\n  OPTIPATH_DESCRIPTION \"" + d + "\"\r\n"), std::string::npos) << w.file;
    EXPECT_NE(w.file.find("\r\n  COMMENTS \"" + d + "\"\r\n}\r\n"), std::string::npos) << w.file;
}

INSTANTIATE_TEST_SUITE_P(
    TlsWriter, Description,
    ::testing::Values(
        DescriptionCase{"Plain", [](ToolRecord &) {}, "D10.00 H75.00"},
        DescriptionCase{"NegativeR1", [](ToolRecord &e) { e.r1 = -1; }, "D10.00 r-1.00 H75.00"},
        DescriptionCase{"WithDescription",
                        [](ToolRecord &e) {
                            e.r1 = 0.5;
                            std::strcpy(e.cutter_description, "END MILL");
                        },
                        "D10.00 r0.50 H75.00 END MILL"},
        DescriptionCase{"TwoCharactersLeftOut",
                        [](ToolRecord &e) {
                            std::strcpy(e.cutter_description, "EM");
                            std::strcpy(e.catalog_name, "C1");
                        },
                        "D10.00 H75.00"},
        DescriptionCase{"ThreeCharactersAppended",
                        [](ToolRecord &e) {
                            std::strcpy(e.cutter_description, "EM1");
                            std::strcpy(e.catalog_name, "C12");
                        },
                        "D10.00 H75.00 EM1 C12"},
        DescriptionCase{"CutAt79Characters",
                        [](ToolRecord &e) {
                            std::memset(e.cutter_description, 'd', 135);
                            std::memset(e.catalog_name, 'c', 151);
                        },
                        ("D10.00 H75.00 " + std::string(135, 'd')).substr(0, 79)},
        DescriptionCase{"NonFiniteNumbersLeftOut",
                        [](ToolRecord &e) {
                            e.diameter = -INFINITY;
                            e.r1 = NAN;
                            std::strcpy(e.cutter_description, "END MILL");
                        },
                        "H75.00 END MILL"},
        DescriptionCase{"OnlyTextsLeft",
                        [](ToolRecord &e) {
                            e.diameter = NAN;
                            e.length = INFINITY;
                            std::strcpy(e.catalog_name, "CAT-1");
                        },
                        "CAT-1"},
        DescriptionCase{"CatalogAfterDescriptionCut",
                        [](ToolRecord &e) {
                            std::memset(e.cutter_description, 'd', 50);
                            std::strcpy(e.catalog_name, "CATALOG-NUMBER-1234");
                        },
                        ("D10.00 H75.00 " + std::string(50, 'd') + " CATALOG-NUMBER-1234").substr(0, 79)}),
    [](const auto &p) { return p.param.name; });

TEST(TlsWriterSelection, SkippedEntriesWriteNothing) {
    struct {
        const char *name;
        int type, subtype;
        bool written;
    } cases[] = {{"NONE", 1, 1, false}, {"none", 1, 1, true}, {"NONE1", 1, 1, true},
                 {"", 1, 1, true},      {"EM10", -1, 1, false}, {"EM10", 1, -3, false}};
    for (const auto &c : cases) {
        ToolRecord t = em10();
        std::strcpy(t.name, c.name);
        t.type = c.type;
        t.subtype = c.subtype;
        uTool[0] = t;
        uToolCount = 1;
        EXPECT_EQ(tls_entry_has_record(0), c.written ? 1 : 0) << c.name;  // what the export counts
        Written w = write_all({{t, {}, 0}}, 0);
        EXPECT_EQ(w.results, std::vector<int>{0}) << c.name;
        if (c.written)
            EXPECT_EQ(w.file.rfind("TOOLID \"" + std::string(c.name) + "\" {\r\n", 0), 0u) << c.name;
        else
            EXPECT_EQ(w.file, "") << c.name;
    }
}

TEST(TlsWriterSelection, IndexOutsideTheTableWritesNothing) {
    FILE *f = tmpfile();
    ASSERT_NE(f, nullptr);
    tls_file = f;
    EXPECT_EQ(Tools_write_tls(-1, 0), 0);
    EXPECT_EQ(Tools_write_tls(TOOL_TABLE_SIZE, 0), 0);
    EXPECT_EQ(ftell(f), 0L);
    tls_file = nullptr;
    fclose(f);
}

// Quotes become bars (and control characters blanks) in the table itself
// and subtypes are rewritten there;
// a second pass over the same entries writes the same records.
TEST(TlsWriterTable, ChangesStayAndSecondPassIsIdentical) {
    ToolRecord quoted = em10();
    std::strcpy(quoted.name, "\"EM\"10\"");
    std::strcpy(quoted.cutter_description, "\"END\" MILL\"");
    std::strcpy(quoted.catalog_name, "\"CA\nT\"");
    ToolRecord ball = em10();
    ball.r1 = 5;
    ToolRecord tipped = em10();
    tipped.tip_angle = 0.1;
    ToolRecord tapered_ball = em10();
    tapered_ball.subtype = 4;
    tapered_ball.taper_angle = 0.1;

    Written w = write_all({{quoted, {}, 0}, {ball, {}, 0}, {tipped, {}, 0}, {tapered_ball, {}, 0}}, 0, 2);
    EXPECT_EQ(w.results, std::vector<int>(8, 0));
    EXPECT_STREQ(w.table[0].name, "|EM|10|");
    EXPECT_STREQ(w.table[0].cutter_description, "|END| MILL|");
    EXPECT_STREQ(w.table[0].catalog_name, "|CA T|");
    EXPECT_EQ(w.table[0].subtype, 1);
    EXPECT_EQ(w.table[1].subtype, 4);
    EXPECT_EQ(w.table[2].subtype, 2);
    EXPECT_EQ(w.table[3].subtype, 2);

    ASSERT_EQ(w.file.size() % 2, 0u);
    std::string first = w.file.substr(0, w.file.size() / 2);
    EXPECT_EQ(first, w.file.substr(w.file.size() / 2));
    EXPECT_EQ(first.rfind("TOOLID \"|EM|10|\" {\r\n  UNITS MILLIMETER\r\n"
                          "  DESCRIPTION \"D10.00 H75.00 |END| MILL| |CA T|\"\r\n",
                          0),
              0u)
        << first;
}

TEST(TlsWriterOptipath, LinesStandAroundTheCutterAndHolder) {
    ToolRecord t = em10();
    t.flute_count = 4;
    t.type = 3;  // a turning tool still gets its holder
    Written w = write_all({{t, {{20, 30, 0, 0}}, 0}}, 1);
    EXPECT_EQ(w.file, crlf("TOOLID \"EM10\" {\n  UNITS MILLIMETER\n  DESCRIPTION \"D10.00 H75.00\"\n"
                           "  GAGEPOINT_OFFSET (0.00000,0.00000,0.00000)\n"
                           "  OPTIPATH_DESCRIPTION \"D10.00 H75.00\"\n  OPTIPATH_TEETH 4\n"
                           "  TOOLTYPE TURNING\n  STACK NO\n"
                           "  HOLDER {\n    ASSEMBLY {\n      SOR {\n"
                           "        PTS { (0,0) }\n"
                           "        PTS { (10.00000,-0.00000) } \n"
                           "        PTS { (10.00000,30.00000) } \n"
                           "        PTS { (0,30.00000) } \n"
                           "      }\n    }\n  }\n"
                           "  COMMENTS \"D10.00 H75.00\"\n}\n"));
}

TEST(TlsWriterOptipath, ZOffsetIsTheGaugePoint) {
    ToolRecord t = em10();
    t.z_offset = -12.345678;
    Written w = write_all({{t, {}, 0}}, 0);
    EXPECT_NE(w.file.find("\r\n  GAGEPOINT_OFFSET (0.00000,0.00000,-12.34568)\r\n"), std::string::npos);
}

// A stream that takes `limit` bytes and refuses the write that would pass
// them, unbuffered, so that every single write of the record can fail.
struct LimitedSink {
    size_t limit;
    std::string taken;
};

ssize_t sink_write(void *cookie, const char *buf, size_t size) {
    auto *sink = static_cast<LimitedSink *>(cookie);
    if (sink->taken.size() + size > sink->limit) {
        errno = ENOSPC;
        return -1;
    }
    sink->taken.append(buf, size);
    return static_cast<ssize_t>(size);
}

FILE *limited_stream(LimitedSink *sink) {
    cookie_io_functions_t io = {nullptr, sink_write, nullptr, nullptr};
    FILE *f = fopencookie(sink, "w", io);
    if (f) setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

// Every write of a record, the holder block's included, reports a refused
// write as -1.
TEST(TlsWriterErrors, EveryRefusedWriteIsReported) {
    ToolRecord t = em10();
    std::vector<HolderSection> holder = {{40, 50, 0, 2}, {30, 20, 0.1, 0}};
    LimitedSink whole{1 << 20, ""};
    FILE *f = limited_stream(&whole);
    ASSERT_NE(f, nullptr);
    Written w = write_all({{t, holder, 5}}, 1, 1, f);
    fclose(f);
    ASSERT_EQ(w.results, std::vector<int>{0});
    const size_t size = whole.taken.size();
    ASSERT_GT(whole.taken.find("  HOLDER {"), 0u);

    for (size_t limit = 0; limit < size; ++limit) {
        LimitedSink sink{limit, ""};
        f = limited_stream(&sink);
        ASSERT_NE(f, nullptr);
        w = write_all({{t, holder, 5}}, 1, 1, f);
        fclose(f);
        ASSERT_EQ(w.results, std::vector<int>{-1}) << "a write failing after " << limit << " bytes";
    }
}

// Buffered lines that a full disk refuses fail only at the end of the record.
TEST(TlsWriterErrors, FullDiskIsReported) {
    FILE *f = plat_open_text("/dev/full", "w");
    ASSERT_NE(f, nullptr);
    Written w = write_all({{em10(), {{40, 50, 0, 2}}, 0}}, 0, 1, f);
    fclose(f);
    EXPECT_EQ(w.results, std::vector<int>{-1});
}

TEST(TlsWriterErrors, NoOpenStreamIsAFailedWrite) {
    ToolRecord saved = uTool[0];
    uTool[0] = em10();
    tls_file = nullptr;
    EXPECT_EQ(Tools_write_tls(0, 0), -1);
    uTool[0] = saved;
}

}  // namespace
