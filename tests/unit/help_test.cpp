// The Help report in the simulated host: its lines in order, the settings
// it shows, the tool dump and the wait menu.
#include <gtest/gtest.h>

#include <regex>

#include "host/common/cp1251.h"
#include "src/help/help.h"
#include "src/table/tool_table.h"
#include "tests/unit/test_support.h"

using namespace testing_support;
using sim::Event;

namespace {

const std::string kSeparator = "\n#============================================================";
const char *kWaitTitle = "Краткое Руководство пользователя и об авторах ..";

std::vector<std::string> listing(const sim::RunResult &r) {
    std::vector<std::string> out;
    for (const Event &e : of_kind(r, Event::Listing)) out.push_back(e.texts.at(0));
    return out;
}

sim::RunResult run_session_file(const std::string &name) {
    sim::Session s = sim::load_session(std::string(KESTO_SOURCE_DIR) + "/tests/sessions/" + name);
    return run(s);
}

size_t index_of(const std::vector<std::string> &lines, const std::string &line, size_t from = 0) {
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i] == line) return i;
    return lines.size();
}

// The report up to the tool count: the head, the settings lines (UTF-8,
// passed in), the guide and the contact line.
void expect_report_head(const std::vector<std::string> &l, const std::vector<std::string> &settings) {
    ASSERT_GE(l.size(), 57u);
    EXPECT_EQ(utf8(l[0]), "\n Релиз Unigraphics - V18.0.2.1 \n");
    EXPECT_TRUE(std::regex_match(utf8(l[1]), std::regex(R"(\n Дата: [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4}\n )")))
        << utf8(l[1]);
    EXPECT_EQ(utf8(l[2]), "\n Библиотека построения файла Инструмента (*.tls) для системы Vericut.");
    EXPECT_EQ(utf8(l[3]), "\n Авторы:");
    EXPECT_EQ(l[4].rfind("\n\t", 0), 0u);
    EXPECT_NE(l[4].find(" - 2026"), std::string::npos);
    EXPECT_EQ(l[5], "\n\t \n");
    EXPECT_EQ(l[6], kSeparator);
    EXPECT_EQ(utf8(l[7]), "\n Ini настройки:");
    for (size_t i = 0; i < settings.size(); ++i) EXPECT_EQ(utf8(l[8 + i]), settings[i]);
    EXPECT_EQ(l[15], kSeparator);
    EXPECT_EQ(l[16], "\n");

    // The guide: 37 lines; items with a middle dot, types with a bullet, as
    // Windows-1251 bytes B7 and 95.
    std::vector<std::string> guide(l.begin() + 17, l.begin() + 17 + 37);
    EXPECT_EQ(utf8(guide[0]), "\n  Инструкция по использованию:");
    EXPECT_EQ(guide[2], "\n \xB7  'Create File TLS Vericut (All Tools)'");
    EXPECT_EQ(guide[5], "\n      :\x95 UF_CUTTER_TYPE_MILL");
    EXPECT_EQ(guide[10], "\n      :\x95 UF_CUTTER_TYPE_DRILL :");
    EXPECT_EQ(guide[21], "\n      :    UF_CUTTER_SUBTYPE_DRILL_STEP");
    EXPECT_EQ(guide[23], "\n      :\x95 UF_CUTTER_TYPE_T");
    for (int item : {2, 24, 26, 29, 31, 33, 35}) EXPECT_EQ(guide[item].rfind("\n \xB7  '", 0), 0u) << item;
    EXPECT_EQ(utf8(guide[25]),
              "\n      : тоже что и первый пункт меню, только выбор инструмента проводиться пользователем");
    EXPECT_EQ(guide[28].rfind("\n      : ", 0), 0u);
    EXPECT_NE(guide[28].find("Vericut ("), std::string::npos);
    EXPECT_EQ(utf8(guide[36]), "\n      : краткое руководство по действию, и список загруженного инструмента;");
    EXPECT_EQ(l[54], "\n");
    EXPECT_EQ(l[55].rfind("\n ", 0), 0u);
    EXPECT_EQ(l[55].substr(l[55].size() - 2), " :");
    EXPECT_EQ(l[56], kSeparator);
}

std::vector<std::string> defaults_lines(const std::vector<std::string> &l) {
    std::vector<std::string> s;
    for (size_t i = 8; i < 15 && i < l.size(); ++i) s.push_back(utf8(l[i]));
    return s;
}

TEST(Help, FirstCommandOfARunWithoutSettings) {
    TempDir dir;
    sim::RunResult r = run_session_file("help_first.json");
    ASSERT_TRUE(r.error.empty()) << r.error;
    std::vector<std::string> l = listing(r);
    std::vector<std::string> settings = defaults_lines(l);
    ASSERT_EQ(settings.size(), 7u);
    EXPECT_EQ(settings[0], "\n\t Ini active: 0 ");
    EXPECT_EQ(settings[1], "\n\t Ini Файл: kesto_tools_vericut.ini ");
    EXPECT_EQ(settings[2], "\n\t Ini (Run) Файл:  ");
    EXPECT_EQ(settings[3], "\n\t Ini Version: 5.2 ");
    EXPECT_TRUE(std::regex_match(settings[4], std::regex(R"(\n\t Ini Tools: \\\\[^\\]+\\vericut\\Tools )"))) << settings[4];
    EXPECT_TRUE(std::regex_match(settings[5], std::regex(R"(\n\t Ini Usr: \\\\[^\\]+\\vericut )"))) << settings[5];
    EXPECT_EQ(settings[6], "\n\t Ini number find: 0 ");
    expect_report_head(l, settings);
    ASSERT_EQ(l.size(), 59u);
    EXPECT_EQ(utf8(l[57]), "\n Количество инструментов = 0 \n");
    EXPECT_EQ(l[58], kSeparator + "\n$$");

    // Window open, the report, the wait menu, then the window closed.
    std::vector<std::string> order;
    for (const Event &e : r.events) {
        if (e.kind == Event::ListingOpen) order.push_back("open");
        if (e.kind == Event::ListingClose) order.push_back("close");
        if (e.kind == Event::Menu) order.push_back(utf8(e.title));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Select menu ", "open", kWaitTitle, "close", "Select menu "}));
    auto menus = of_kind(r, Event::Menu);
    EXPECT_EQ(menus[1].default_item, 1);
    EXPECT_EQ(menus[1].items, std::vector<std::string>{""});
}

TEST(Help, SettingsFromTheFile) {
    TempDir dir;
    sim::RunResult r = run_session_file("help_with_settings.json");
    ASSERT_TRUE(r.error.empty()) << r.error;
    std::vector<std::string> l = listing(r);
    std::vector<std::string> settings = {
        "\n\t Ini active: 1 ",
        "\n\t Ini Файл: kesto_tools_vericut.ini ",
        "\n\t Ini (Run) Файл: site\\application\\kesto_tools_vericut.ini ",
        "\n\t Ini Version: 6.0 ",
        "\n\t Ini Tools: \\\\cam-srv\\vericut\\Tools\\mill ",
        "\n\t Ini Usr: \\\\cam-srv\\vericut\\usr ",
        "\n\t Ini number find: 2 ",
    };
    expect_report_head(l, settings);
    // The part has no tool, but no command loaded the table: count 0.
    EXPECT_EQ(utf8(l.at(57)), "\n Количество инструментов = 0 \n");
}

TEST(Help, DumpAfterAnExport) {
    TempDir dir;
    sim::RunResult r = run_session_file("help_after_export.json");
    ASSERT_TRUE(r.error.empty()) << r.error;
    std::vector<std::string> l = listing(r);
    size_t count = index_of(l, kesto::utf8_to_cp1251("\n Количество инструментов = 9 \n"));
    ASSERT_LT(count, l.size()) << "no count line";
    std::vector<std::string> dump(l.begin() + count + 1, l.end());
    std::vector<std::string> want = {
        "0 | 9 ) name=NONE  type=0  subtype=0 \n",
        "\t\t D=0.000 L=0.000 FL=0.000 FLn=0 z_ofsset=0.000 ToolNumber=0\n",
        "\t\t catalog_name= cutter_description=\n",
        "\t\t NONE ( - )\n",
        // The writer turned the quotes into bars, the tab into a blank and the
        // mill into a ball end.
        "1 | 9 ) name=BALL|10|  type=1  subtype=4 \n",
        "\t\t D=10.000 L=75.000 FL=50.000 FLn=2 z_ofsset=1.500 ToolNumber=7\n",
        "\t\t catalog_name=CAT |A| cutter_description=ball mill\n",
        "\t\t MILL ( TAPER_ANG=0.00000 TIP_ANG=0.00000 r1=5.000 )\n",
        // A tip angle makes it the seven-value mill.
        "2 | 9 ) name=TIP8  type=1  subtype=2 \n",
        "\t\t D=8.000 L=60.000 FL=25.000 FLn=0 z_ofsset=0.000 ToolNumber=0\n",
        "\t\t catalog_name= cutter_description=\n",
        "\t\t MILL ( TAPER_ANG=0.00000 TIP_ANG=0.10000 r1=0.000 )\n",
        "\t\t MILL7 ( r1_radius=0.000 r1_center_x=0.000 r1_center_y=0.000 )\n",
        "3 | 9 ) name=APT12  type=1  subtype=3 \n",
        "\t\t D=12.000 L=70.000 FL=30.000 FLn=0 z_ofsset=0.000 ToolNumber=0\n",
        "\t\t catalog_name= cutter_description=\n",
        "\t\t MILL ( TAPER_ANG=0.00000 TIP_ANG=0.00000 r1=1.000 )\n",
        "\t\t MILL10 ( r2=0.500 r2_center_x=5.500 r2_center_y=2.000 r1_center_x=5.000 r1_center_y=1.000 )\n",
        "4 | 9 ) name=DR5  type=2  subtype=1 \n",
        "\t\t D=5.000 L=40.000 FL=20.000 FLn=0 z_ofsset=0.000 ToolNumber=0\n",
        "\t\t catalog_name= cutter_description=\n",
        "\t\t DRILL ( TIP_ANG=0.20000 R1=0.100 POINT_ANG=2.05949 )\n",
        "5 | 9 ) name=BAR20  type=7  subtype=0 \n",
        "\t\t D=20.000 L=60.000 FL=20.000 FLn=0 z_ofsset=0.000 ToolNumber=0\n",
        "\t\t catalog_name= cutter_description=\n",
        "\t\t BARREL ( R=50.000 SHANK_DIA=10.000 lower_corner_radius=2.000 upper_corner_radius=2.000 "
        "barrel_center_y=10.000)\n",
        "6 | 9 ) name=T30  type=8  subtype=0 \n",
        "\t\t D=30.000 L=50.000 FL=6.000 FLn=0 z_ofsset=0.000 ToolNumber=0\n",
        "\t\t catalog_name= cutter_description=\n",
        "\t\t CUTTER_T ( SHANK_DIA=10.000 lower_corner_radius=1.000 upper_corner_radius=0.500 )\n",
        "7 | 9 ) name=TURN5  type=5  subtype=0 \n",
        "\t\t D=16.000 L=100.000 FL=0.000 FLn=0 z_ofsset=0.000 ToolNumber=0\n",
        "\t\t catalog_name= cutter_description=\n",
        "\t\t NONE ( - )\n",
        // A group of the root is no cutter.
        "8 | 9 ) name=POCKET  type=-1  subtype=-1 \n",
        "\t\t D=0.000 L=0.000 FL=0.000 FLn=0 z_ofsset=0.000 ToolNumber=0\n",
        "\t\t catalog_name= cutter_description=\n",
        "\t\t NONE ( - )\n",
        kSeparator + "\n$$",
    };
    EXPECT_EQ(dump, want);

    // The dump opens the window once more, through its call check.
    EXPECT_EQ(of_kind(r, Event::ListingOpen).size(), 2u);
    // 3 and 4 show the wait menu again; the window closes after the last.
    size_t waits = 0;
    bool closed_after_last_wait = false;
    for (const Event &e : r.events) {
        if (e.kind == Event::Menu && utf8(e.title) == kWaitTitle) {
            ++waits;
            closed_after_last_wait = false;
        }
        if (e.kind == Event::ListingClose) closed_after_last_wait = waits == 3;
    }
    EXPECT_EQ(waits, 3u);
    EXPECT_TRUE(closed_after_last_wait);
}

// A member list too long to load: the count is shown, no record is.
TEST(Help, NoDumpOfATableThatWasNotLoaded) {
    TempDir dir;
    sim::RunResult r = run_session_file("too_many_tools.json");
    ASSERT_TRUE(r.error.empty()) << r.error;
    std::vector<std::string> l = listing(r);
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(utf8(l[l.size() - 3]), "\n Количество инструментов = 121 \n");
    EXPECT_EQ(utf8(l[l.size() - 2]),
              "\n В Cam-части 120 инструмент(-ов), загружается не более 99: таблица не загружена, список не "
              "выводится.\n");
    EXPECT_EQ(l.back(), kSeparator + "\n$$");
}

struct ListCase {
    const char *name;
    int n;
    size_t opens;
    size_t lines;
};
void PrintTo(const ListCase &c, std::ostream *os) { *os << c.name; }

class ListCount : public ::testing::TestWithParam<ListCase> {};

// Tools_list called directly on a table of three entries.
TEST_P(ListCount, WritesOnlyWhatTheTableHolds) {
    sim::Session s = sim::parse_session(R"({"part": {"name": "p.prt", "members": [
        {"name": "A", "type": 1, "subtype": 1}, {"name": "B", "type": 2, "subtype": 1}]}})", "list");
    sim::DirectRun host(s);
    ASSERT_EQ(Tools_read_from_ugs(), 3);
    EXPECT_EQ(Tools_list(GetParam().n), 0);
    sim::RunResult r = host.finish();
    EXPECT_EQ(of_kind(r, Event::ListingOpen).size(), GetParam().opens);
    EXPECT_EQ(of_kind(r, Event::Listing).size(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Help, ListCount,
                         ::testing::Values(ListCase{"Negative", -3, 0, 0}, ListCase{"Zero", 0, 0, 0},
                                           ListCase{"One", 1, 0, 0}, ListCase{"Two", 2, 1, 8},
                                           ListCase{"Three", 3, 1, 12}, ListCase{"Hundred", 100, 1, 400},
                                           ListCase{"TableSize", TOOL_TABLE_SIZE, 1, 1},
                                           ListCase{"FarBeyond", 5000, 1, 1}),
                         [](const auto &p) { return p.param.name; });

TEST(Help, FailedListingOpenIsReportedAndTheDumpGoesOn) {
    sim::Session s = sim::parse_session(R"({"part": {"name": "p.prt", "members": [{"name": "A", "type": 1}]},
        "faults": [{"call": "UF_UI_open_listing_window", "code": 55, "nth": 1}]})", "open fault");
    sim::DirectRun host(s);
    Tools_read_from_ugs();
    Tools_list(uToolCount);
    sim::RunResult r = host.finish();
    EXPECT_NE(joined(r, Event::Stdout).find("UF_UI_open_listing_window()\n    returned a 55\n"), std::string::npos);
    EXPECT_EQ(of_kind(r, Event::Listing).size(), 8u);
}

}  // namespace
