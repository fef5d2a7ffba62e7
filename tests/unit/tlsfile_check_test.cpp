// The tool library checker: clean files stay clean, damaged copies are
// found at the right line.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/unit/test_support.h"
#include "tests/unit/tlsfile_fixture.h"
#include "tools/tlsfile/number_text.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tls_preview.h"
#include "tools/tlsfile/tool_facts.h"
#include "tools/tlsfile/tool_pages.h"

namespace {

using tlsfile::Form;
using Lines = std::vector<std::string>;

Lines split(const std::string &text) {
    Lines lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

std::string join(const Lines &lines) {
    std::string out;
    for (const std::string &l : lines) out += l + "\n";
    return out;
}

// Index of the n-th line (from 1) that contains text, after the line that
// contains after (from the start when after is empty).
size_t find_line(const Lines &lines, const std::string &text, int n = 1, const std::string &after = "") {
    size_t i = 0;
    if (!after.empty()) {
        while (i < lines.size() && lines[i].find(after) == std::string::npos) ++i;
        ++i;
    }
    for (; i < lines.size(); ++i)
        if (lines[i].find(text) != std::string::npos && --n == 0) return i;
    ADD_FAILURE() << "no line with " << text;
    return lines.size();
}

std::string problems_text(const tlsfile::CheckResult &r) {
    std::string s;
    for (const tlsfile::Problem &p : r.problems) s += std::to_string(p.line) + ": " + p.message + "\n";
    return s;
}

TEST(TlsfileCheck, PluginFilesAreCleanWithEitherLineEnd) {
    for (const std::string &text : {tlsfile_fixture::library(), tlsfile_fixture::crlf(tlsfile_fixture::library())}) {
        tlsfile::CheckResult r = tlsfile::check_text(text);
        EXPECT_TRUE(r.problems.empty()) << problems_text(r);
        EXPECT_EQ(tlsfile::exit_code(r), tlsfile::kExitClean);
        EXPECT_TRUE(r.library.header_ok);
        EXPECT_EQ(r.library.tools.size(), 13u);
    }
}

TEST(TlsfileCheck, FormsAndMainDimensions) {
    // the summary check prints, and the kind and sizes check --json, the
    // sheet and the catalogue give as numbers (NaN: not given)
    const double none = std::numeric_limits<double>::quiet_NaN();
    using tlsfile::Kind;
    struct Row {
        const char *name;
        Form form;
        const char *summary;
        Kind kind;
        double diameter, corner_radius, length, flute_length;
    };
    const Row rows[] = {
        {"EM10", Form::flat_end, "flat end: D 10, L 75, flute 50", Kind::flat_end, 10, 0, 75, 50},
        {"BN10", Form::bull_nose, "bull nose: D 10, R 1, L 75, flute 50", Kind::bull_nose, 10, 1, 75, 50},
        // the barrel is widest where its arc bulges, not at a written point
        {"BAR20", Form::sor, "SOR outline: D 20, L 60, flute 20, shank 10", Kind::barrel, 20, none, 60, 20},
        {"BAR20-SHARP", Form::sor, "SOR outline: D 20", Kind::barrel, 20, none, 60, 20},
        {"T30", Form::sor, "SOR outline: D 30, L 50", Kind::t_cutter, 30, none, 50, 6},
        {"T30-FULL", Form::sor, "SOR outline: D 30, L 50, flute 6, shank 10", Kind::t_cutter, 30, none, 50, 6},
        {"DR8.5", Form::drill, "drill: D 8.5, point 118 deg, L 90, flute 60", Kind::drill, 8.5, 0, 90, 60},
        {"BALL10", Form::ball_end, "ball end: D 10, R 5, L 75, flute 40", Kind::ball, 10, 5, 75, 40},
        {"M7-TAPER", Form::seven_value, "seven-value: D 12, R 1, E 5, F 1, tip 0 deg, taper 5.72958 deg, L 80",
         Kind::seven_value, 12, 1, 80, 30},
        {"M10", Form::apt10, "APT 10: D 16, R 2, E 6, F 2, tip 10 deg, taper 0 deg, L 90, R2 1, E2 7, F2 30",
         Kind::apt10, 16, 2, 90, 35},
        {"TURN-1", Form::turning, "turning", Kind::turning, none, none, none, none},
        {"T5", Form::turning, "turning", Kind::turning, none, none, none, none},
        {"EM|6|", Form::flat_end, "flat end: D 6, L 50, flute 20", Kind::flat_end, 6, 0, 50, 20},
    };
    auto same = [](double got, double want) { return std::isnan(want) ? std::isnan(got) : got == want; };
    tlsfile::CheckResult r = tlsfile::check_text(tlsfile_fixture::library());
    for (const Row &row : rows) {
        const tlsfile::Tool *tool = nullptr;
        for (const tlsfile::Tool &t : r.library.tools)
            if (t.name == row.name) tool = &t;
        ASSERT_NE(tool, nullptr) << row.name;
        EXPECT_EQ(tool->form, row.form) << row.name;
        EXPECT_EQ(tlsfile::tool_summary(*tool).rfind(row.summary, 0), 0u)
            << row.name << ": " << tlsfile::tool_summary(*tool);
        const tlsfile::ToolFacts f = tlsfile::tool_facts(*tool);
        EXPECT_STREQ(tlsfile::kind_word(f.kind), tlsfile::kind_word(row.kind)) << row.name;
        EXPECT_PRED2(same, f.diameter, row.diameter) << row.name;
        EXPECT_PRED2(same, f.corner_radius, row.corner_radius) << row.name;
        EXPECT_PRED2(same, f.length, row.length) << row.name;
        EXPECT_PRED2(same, f.flute_length, row.flute_length) << row.name;
    }
    const tlsfile::Tool &bar = r.library.tools[2];
    EXPECT_EQ(tlsfile::holder_summary(bar), "holder: D 20, from -25 to 5");
    EXPECT_EQ(bar.cutter_outline.items.size(), 11u);
    EXPECT_EQ(bar.cutter_outline.items[2].kind, tlsfile::OutlineItem::arc);
    EXPECT_EQ(bar.cutter_outline.items[2].line, 60);
    // holder sections: the corner arc belongs to the first, whose side is
    // straight from 2 up; the offset points on the axis are none
    EXPECT_EQ(tlsfile::holder_text(tlsfile::tool_facts(r.library.tools[1])), "D40 x 50; D30-34.01338 x 20");
    EXPECT_EQ(tlsfile::holder_text(tlsfile::tool_facts(bar)), "D20 x 30");
    // for people: rounded, bottom first; the stick-out from the tip to the
    // holder's lowest point, lowered by its offset on a stacked cutter
    EXPECT_EQ(tlsfile::holder_brief(tlsfile::tool_facts(r.library.tools[1])),
              (std::vector<std::string>{"\u00d840\u00d750", "\u00d830\u201334\u00d720"}));
    EXPECT_EQ(tlsfile::tool_facts(r.library.tools[1]).stick_out, 75);
    EXPECT_EQ(tlsfile::tool_facts(bar).stick_out, 35);
    EXPECT_TRUE(std::isnan(tlsfile::tool_facts(r.library.tools[0]).stick_out));  // no holder
}

struct Damage {
    const char *what;
    std::function<void(Lines &)> damage;
    // the line the problem belongs to, found in the damaged file
    std::function<size_t(const Lines &)> where;
    const char *message;
    size_t count;  // problems expected in all
    std::function<std::string(const std::string &)> saved_as = nullptr;  // the file's bytes, when not its text
};

// A text saved as Notepad saves "Unicode": UTF-16, little-endian, marked.
std::string as_utf16(const std::string &cp1251) {
    std::string out = "\xFF\xFE";
    for (char c : cp1251) out += std::string(1, c) + '\0';  // the fixture is ASCII
    return out;
}

TEST(TlsfileCheck, DamagedCopiesAreFoundAtTheRightLine) {
    auto at = [](const char *text, int n = 1, const char *after = "") {
        return [=](const Lines &l) { return find_line(l, text, n, after); };
    };
    auto last = [](const Lines &l) { return l.size() - 1; };
    auto replace = [](const char *text, const char *by, const char *after = "") {
        return [=](Lines &l) {
            size_t i = find_line(l, text, 1, after);
            if (i < l.size()) l[i].replace(l[i].find(text), std::string(text).size(), by);
        };
    };
    const Damage cases[] = {
        {"record brace deleted", [](Lines &l) { l.erase(l.begin() + static_cast<long>(find_line(l, "TOOLID \"BN10\"")) - 1); },
         at("TOOLID \"BN10\""), "is not closed before the next record", 1},
        {"SOR brace deleted",
         [](Lines &l) { l.erase(l.begin() + static_cast<long>(find_line(l, "      }", 1, "PTS { (0,60.00000) }"))); },
         at("  HOLDER {", 1, "TOOLID \"BAR20\""), "HOLDER is not allowed in the CUTTER block", 1},
        {"opening brace deleted", replace("    ASSEMBLY {", "    ASSEMBLY", "TOOLID \"T30\""),
         at("    ASSEMBLY", 1, "TOOLID \"T30\""), "expected '{' after ASSEMBLY", 1},
        {"point line truncated", replace("(9.30066,1.66667) } ", "(9.30066,1.6"), at("(9.30066,1.6"),
         "cut short", 1},
        {"STANDARD truncated", replace("31.00000,0.00000,90.00000)", "31.00000,0.0", "TOOLID \"DR8.5\""),
         at("STANDARD", 1, "TOOLID \"DR8.5\""), "cut short", 1},
        {"quoted text truncated", replace("\"D10.00 r5.00 H75.00\"", "\"D10.00 r5"), at("D10.00 r5"),
         "not closed on its line", 1},
        {"file cut in a record", [](Lines &l) { l.resize(find_line(l, "OPTIPATH_TEETH") + 1); }, last,
         "the file ends inside the TOOLID record", 1},
        {"garbage between records", [](Lines &l) { l.insert(l.begin() + 18, "PTS { (1,2) }"); }, at("PTS { (1,2) }"),
         "expected a TOOLID record", 1},
        {"header missing", [](Lines &l) { l.erase(l.begin()); }, at("Version-5.2"), "missing header", 1},
        {"nan in a barrel point", replace("(9.30066,18.33333)", "(nan,18.33333)"), at("(nan,18.33333)"),
         "non-finite number 'nan'", 1},
        {"-nan in STANDARD", replace("(8.50000,", "(-nan,"), at("(-nan,"), "non-finite number '-nan'", 1},
        {"Windows infinity in a holder", replace("(20.00000,50.00000)", "(1.#INF0,50.00000)"), at("1.#INF0"),
         "non-finite number '1.#INF0'", 1},
        {"overflowing number", replace(",12.50000)", ",1e999)"), at("1e999"), "non-finite number", 1},
        {"letter after a number", replace("(9.30066,1.66667)", "(9.30066x,1.66667)"), at("9.30066x"),
         "malformed number '9.30066x'", 1},
        {"two points in a number", replace("(9.30066,1.66667)", "(9.30.066,1.66667)"), at("9.30.066"),
         "malformed number '9.30.066'", 1},
        {"exponent without digits", replace("(9.30066,1.66667)", "(9.30066e,1.66667)"), at("9.30066e"),
         "malformed number '9.30066e'", 1},
        {"sign without digits", replace("(9.30066,1.66667)", "(-,1.66667)"), at("(-,1.66667)"),
         "malformed number '-,'", 1},
        // the point is now 0.1 off both arcs it joins
        {"arc off its circle", replace("(9.30066,1.66667)", "(9.30066,1.76667)"),
         at("ARC (7.32864,2.00000,2.00000)"), "is 0.0", 2},
        {"point between two arcs deleted",
         [](Lines &l) { l.erase(l.begin() + static_cast<long>(find_line(l, "(9.30066,1.66667)"))); },
         at("ARC (7.32864,2.00000,2.00000)"), "no point after it", 2},
        {"outline not ending on the axis", replace("(0,50.00000) } ", "(1.00000,50.00000) } ", "TOOLID \"T30\""),
         at("(1.00000,50.00000)"), "does not end on the axis", 1},
        {"outline not starting on the axis", replace("(0,0) (14.00000,0)", "(0.5,0) (14.00000,0)"), at("(0.5,0)"),
         "does not start on the axis", 1},
        {"holder below its start", replace("(15.00000,50.00000)", "(15.00000,-3.00000)"), at("(15.00000,-3.00000)"),
         "below its own start", 1},
        {"offset holder below its start", replace("(10.00000,5.00000)", "(10.00000,-26.00000)"),
         at("(10.00000,-26.00000)"), "below its own start (10,-25)", 1},
        {"unknown cutter type", replace("\"BULL NOSE\"", "\"BULL\""), at("\"BULL\""), "unknown CUTTER_TYPE", 1},
        {"STANDARD value missing", replace("(10.00000,1.00000,4.00000,", "(10.00000,1.00000,"),
         at("(10.00000,1.00000,1.00000"), "needs 7 values, found 6", 1},
        {"ten values expected", replace(",1.00000,7.00000,30.00000)", ")"), at("(16.00000"), "needs 10 values", 1},
        {"units cut", replace("UNITS MILLIMETER", "UNITS MILLI", "TOOLID \"T30-FULL\""),
         at("UNITS MILLI", 1, "T30-FULL"), "unknown UNITS MILLI", 1},
        {"tool type misspelt", replace("TYPE TURNING", "TYPE TURNIN"), at("TURNIN"), "unknown TOOLTYPE TURNIN", 1},
        {"one tool in inches", replace("UNITS MILLIMETER", "UNITS INCH", "\"DR8.5\""), at("UNITS INCH"),
         "mixed units: 12 records in MILLIMETER and 1 in INCH; this is the first in INCH", 1},
        {"no TOOLTYPE, no CUTTER (a mill of a subtype without a form)",
         [](Lines &l) { l.erase(l.begin() + static_cast<long>(find_line(l, "TOOLTYPE", 1, "TOOLID \"T5\""))); },
         at("TOOLID \"T5\""), "the record has neither TOOLTYPE nor a CUTTER block", 1},
        {"flute too long", replace("H 50.00000", "H 75.00001"), at("75.00001"), "longer than the cutter (L 75)", 1},
        // what a simulator or a terminal would take for something else
        {"escape in a TOOLID", replace("\"BN10\"", "\"BN\x1B[2J10\""), at("BN\x1B"), "byte \\x1B in the TOOLID", 1},
        {"DEL and tab in a description", replace("\"D10.00 r5.00 H75.00\"", "\"D10.00\x7Fr5.00\tH75.00\""),
         at("D10.00\x7F"), "control byte \\x7F in a quoted text (2 in all)", 1},
        {"a description in UTF-8", replace("\"D6.00 H50.00 END MILL\"", "\"D6.00 H50.00 ФРЕЗА\""),
         at("ФРЕЗА"), "the quoted text is UTF-8, not Windows-1251", 1},
        {"byte-order mark", [](Lines &l) { l[0] = "\xEF\xBB\xBF" + l[0]; }, at("CGTECH"), "not Windows-1251 (hint", 1},
        {"saved as UTF-16", [](Lines &) {}, at("CGTECH"), "it is UTF-16 (Notepad's \"Unicode\"), not Windows-1251 (hint",
         1, as_utf16},
        {"CR LF once", [](Lines &l) { l[find_line(l, "(0,60.00000)")] += "\r"; }, at("(0,60.00000)"), "mixed line", 1},
        {"cutter values deleted",
         [](Lines &l) { l.erase(l.begin() + static_cast<long>(find_line(l, "STANDARD", 1, "TOOLID \"EM|6|\""))); },
         at("  CUTTER {", 1, "TOOLID \"EM|6|\""), "neither STANDARD values nor a SOR outline", 1},
        // values a file may hold but no tool has
        {"empty TOOLID", replace("TOOLID \"EM10\"", "TOOLID \"\""), at("TOOLID \"\""), "empty TOOLID", 1},
        {"TOOLID used twice", replace("TOOLID \"BN10\"", "TOOLID \"EM10\""), at("TOOLID \"EM10\"", 2),
         "used twice: lines 4 and 19", 1},
        {"cutter diameter 0", replace("(10.00000,0.00000,0.00000,0.00000,0.00000,0.00000,75.00000)",
                                      "(0.00000,0.00000,0.00000,0.00000,0.00000,0.00000,75.00000)"),
         at("STANDARD (0.00000"), "cutter diameter 0 is not positive", 1},
        {"negative cutter length", replace(",0.00000,50.00000)", ",0.00000,-50.00000)", "TOOLID \"EM|6|\""),
         at("-50.00000)"), "cutter length -50 is not positive", 1},
        {"drill point of 6760 degrees", replace("31.00000,0.00000,90.00000)", "-3290.00000,0.00000,90.00000)"),
         at("-3290.00000"), "drill point angle 6760 deg is not between 0 and 180 deg", 1},
        {"flat drill point", replace("31.00000,0.00000,90.00000)", "0.00000,0.00000,90.00000)"),
         at("STANDARD", 1, "TOOLID \"DR8.5\""), "drill point angle 180 deg", 1},
        {"holder point far out", replace("(20.00000,50.00000)", "(160000000000000000.00000,50.00000)"),
         at("(160000000000000000.00000"), "PTS value 1.600000e+17 is beyond 10^6", 1},
        {"gauge point far off", replace(",12.50000)", ",1000000.00001)"), at("1000000.00001"),
         "GAGEPOINT_OFFSET value 1000000.00001 is beyond 10^6", 1},
        {"negative holder radius", replace("(15.00000,50.00000)", "(-15.00000,50.00000)"), at("(-15.00000"),
         "negative radius at point (-15,50)", 1},
        {"negative holder fillet", replace("ARC (18.00000,2.00000,2.00000)", "ARC (18.00000,2.00000,-2.00000)"),
         at("-2.00000)"), "ARC (18,2) in the holder outline has a negative radius -2", 1},
        {"holder that never leaves the axis",
         [](Lines &l) { l = split(tlsfile_fixture::library_with_axis_only_holder()); },
         at("SOR {", 1, "TOOLID \"T5\""), "the holder outline never leaves the axis", 1},
    };
    for (const Damage &c : cases) {
        Lines lines = split(tlsfile_fixture::library());
        c.damage(lines);
        tlsfile::CheckResult r = tlsfile::check_text(c.saved_as ? c.saved_as(join(lines)) : join(lines));
        const int line = static_cast<int>(c.where(lines)) + 1;
        bool found = false;
        for (const tlsfile::Problem &p : r.problems)
            found = found || (p.line == line && p.message.find(c.message) != std::string::npos);
        EXPECT_TRUE(found) << c.what << ": expected line " << line << " \"" << c.message << "\", got\n"
                           << problems_text(r);
        EXPECT_EQ(r.problems.size(), c.count) << c.what << "\n" << problems_text(r);
        EXPECT_EQ(tlsfile::exit_code(r), tlsfile::kExitProblems) << c.what;
    }
}

TEST(TlsfileCheck, ArcToleranceIsOneTenThousandth) {
    struct Row {
        const char *point;
        bool clean;
    };
    // (9.30066,18.33333) moved along x: by 0.00005 it stays on the barrel
    // arc and its corner arc; by 0.0002 it leaves both
    const Row rows[] = {{"(9.30071,18.33333)", true}, {"(9.30086,18.33333)", false}, {"(9.30046,18.33333)", false}};
    for (const Row &row : rows) {
        Lines lines = split(tlsfile_fixture::library());
        std::string &l = lines[find_line(lines, "(9.30066,18.33333)")];
        l.replace(l.find("(9.30066,18.33333)"), 18, row.point);
        tlsfile::CheckResult r = tlsfile::check_text(join(lines));
        EXPECT_EQ(r.problems.empty(), row.clean) << row.point << "\n" << problems_text(r);
    }
}

TEST(TlsfileCheck, ReadingGoesOnAfterADamagedRecord) {
    Lines lines = split(tlsfile_fixture::library());
    lines.erase(lines.begin() + static_cast<long>(find_line(lines, "  CUTTER {", 1, "TOOLID \"BN10\"")));
    std::string &l = lines[find_line(lines, "(6.00000,0.00000")];
    l = l.substr(0, l.size() - 10);
    tlsfile::CheckResult r = tlsfile::check_text(join(lines));
    ASSERT_EQ(r.problems.size(), 2u) << problems_text(r);
    EXPECT_EQ(r.problems[0].tool, "BN10");
    EXPECT_EQ(r.problems[1].tool, "EM|6|");
    ASSERT_EQ(r.library.tools.size(), 13u);
    EXPECT_NE(r.library.tools[1].damaged_line, 0);
    EXPECT_EQ(r.library.tools[2].damaged_line, 0);
    EXPECT_EQ(r.library.tools[2].form, Form::sor);
    EXPECT_EQ(r.library.tools[11].form, Form::turning);
}

TEST(TlsfileCheck, NumbersReadAsStrtodReadsThem) {
    // spellings the quick reading takes, and those it leaves to the general
    // one: exponents, long mantissas, more decimals than a power of ten holds
    const char *const spellings[] = {
        "12.5", "5.", ".5", "-.5", "+5", "-0.00000", "0", "00012.50000", "-31.41593", "1234567.12345",
        "9007199254740992", "9007199254740993", "123456789012345678901", "0.12345678901234567890123",
        "0.1000000000000000055511151231257827", "1e5", "1E-5", "-2.5e+3", "4.9e-324", "1.7976931348623157e308",
    };
    for (const char *spelling : spellings) {
        std::string text = tlsfile_fixture::library();
        text.replace(text.find(",12.50000)"), 10, "," + std::string(spelling) + ")");
        tlsfile::CheckResult r = tlsfile::check_text(text);
        ASSERT_EQ(r.library.tools[7].name, "BALL10");
        const tlsfile::Tool &t = r.library.tools[7];
        ASSERT_TRUE(t.has_gage) << spelling;
        const double want = std::strtod(spelling, nullptr);
        EXPECT_EQ(std::memcmp(&t.gage[2], &want, sizeof want), 0) << spelling << ": " << t.gage[2];
    }
}

TEST(TlsfileCheck, NumbersFormattedAsPrintf) {
    // what the reports and drawings printed with "%.Nf" (N = 4, 5, 6) into
    // buffers of 48 and 64 bytes, and format_number's "%.5f" / "%.6e"
    auto printf_fixed = [](double v, int decimals, size_t buffer) {
        std::vector<char> buf(buffer);
        std::snprintf(buf.data(), buf.size(), "%.*f", decimals, v);
        return std::string(buf.data());
    };
    auto printf_number = [](double v) {
        if (!std::isfinite(v)) return std::string(std::isnan(v) ? "nan" : v > 0 ? "inf" : "-inf");
        char buf[64];
        std::snprintf(buf, sizeof buf, std::fabs(v) < 1e15 ? "%.5f" : "%.6e", v);
        std::string s = buf;
        if (s.find('e') != std::string::npos) return s;
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
        return s == "-0" ? std::string("0") : s;
    };
    std::vector<double> values = {
        0.0, -0.0, 1.0, -1.0, 0.5, 2.5, -2.5, 1e-5, 5e-6, -5e-6, 4.9e-324, 1e-300, 0.015625, 0.03125, -0.046875,
        1.000005, 2.000015, 0.123455, 0.1234545, 99999.999995, 1e14, 1e15, 1e15 - 0.5, 1e16, 9007199254740993.0,
        17592186044415.9, 1.7976931348623157e308, -1.7976931348623157e308, 1e300,
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()};
    // exact ties at the last decimal kept (k / 2^m), and values of every size
    for (int m = 1; m <= 20; ++m)
        for (int k = -9; k <= 9; k += 2) values.push_back(std::ldexp(static_cast<double>(k), -m));
    std::mt19937_64 random(13);
    for (int i = 0; i < 50000; ++i) {
        double mantissa = std::uniform_real_distribution<double>(-10, 10)(random);
        values.push_back(std::ldexp(mantissa, std::uniform_int_distribution<int>(-40, 60)(random)));
        // a value the plug-in wrote, read back
        values.push_back(std::round(mantissa * 1e5) / 1e5 * std::pow(10, i % 7));
    }
    for (double v : values) {
        for (int decimals : {4, 5, 6}) {
            std::string s;
            tlsfile::append_fixed(s, v, decimals);
            ASSERT_EQ(s, printf_fixed(v, decimals, 400)) << v << " with " << decimals << " decimals";
        }
        std::string cut;
        tlsfile::append_fixed(cut, v, 4, 47);
        ASSERT_EQ(cut, printf_fixed(v, 4, 48)) << v;
        ASSERT_EQ(tlsfile::format_number(v), printf_number(v)) << v;
    }
}

TEST(TlsfileCheck, LastLineWithoutLineEndIsReported) {
    std::string text = tlsfile_fixture::library();
    text.pop_back();
    tlsfile::CheckResult r = tlsfile::check_text(text);
    ASSERT_EQ(r.problems.size(), 1u) << problems_text(r);
    EXPECT_EQ(r.problems[0].line, r.library.line_count);
    EXPECT_NE(r.problems[0].message.find("no line end"), std::string::npos);
}

TEST(TlsfileCheck, LimitsKeepTheModelOfADamagedFileSmall) {
    // past 500 000 records reading stops; past 100 000 problems they are counted
    std::string text = "CGTECH Tool Library File\nVersion-5.2\n\n";
    for (int i = 0; i <= 500000; ++i) text += "TOOLID \"\" {\n  TOOLTYPE TURNING\n}\n";
    tlsfile::CheckResult r = tlsfile::check_text(text);
    EXPECT_EQ(r.library.tools.size(), 500000u);
    ASSERT_EQ(r.problems.size(), 100000u);
    EXPECT_EQ(r.problems_beyond, 400001u);
    EXPECT_EQ(r.problems[0].message, "empty TOOLID: the record has no name");
    bool stop_listed = false;
    for (const tlsfile::Problem &p : r.problems)
        stop_listed = stop_listed || (p.line == 1500004 && p.message.find("more than 500000 TOOLID records") == 0);
    EXPECT_TRUE(stop_listed);
    std::string report = tlsfile::format_report(r, "big.tls");
    EXPECT_EQ(report.substr(report.rfind('\n', report.size() - 2) + 1), "500001 problems (the first 100000 are listed)\n");
    // made record by record, the report lists the same problems
    testing_support::TempDir dir;
    testing_support::write_file(dir.file("big.tls"), text);
    std::string by_record, error;
    bool clean = true;
    ASSERT_TRUE(tlsfile::report_file(dir.file("big.tls"), "big.tls", by_record, clean, error)) << error;
    EXPECT_EQ(by_record, report);
    EXPECT_FALSE(clean);

    // an outline longer than any tool's is not drawn
    std::string points = "CGTECH Tool Library File\nVersion-5.2\n\nTOOLID \"A\" {\n  TOOLTYPE MILLING\n  CUTTER {\n"
                         "    ASSEMBLY {\n      SOR {\n";
    for (int i = 0; i < 10000; ++i) points += "        PTS { (1,1) }\n";
    points += "        PTS { (0,2) }\n      }\n    }\n  }\n}\n";
    tlsfile::CheckResult drawn = tlsfile::check_text(points);
    std::string svg = tlsfile::render_preview(drawn.library, drawn.problems, "long.tls");
    EXPECT_NE(svg.find("cutter not drawn: more than 10000 points"), std::string::npos);
    EXPECT_EQ(svg.find("<path class=\"cutter\""), std::string::npos);
}

TEST(TlsfileCheck, FilesAndExitCodes) {
    testing_support::TempDir dir;
    testing_support::write_file(dir.file("good.tls"), tlsfile_fixture::crlf(tlsfile_fixture::library()));
    std::string bad = tlsfile_fixture::library();
    bad.replace(bad.find("(0,5.30000)"), 11, "(0,nan)");
    // a name in Windows-1251 (the plug-in's bytes) is shown in UTF-8
    bad.replace(bad.find("\"TURN-1\""), 8, "\"\xD0\xE5\xE7\xE5\xF6\"");
    testing_support::write_file(dir.file("bad.tls"), bad);

    tlsfile::CheckResult good = tlsfile::check_file(dir.file("good.tls"));
    EXPECT_EQ(tlsfile::exit_code(good), 0);
    EXPECT_NE(tlsfile::format_report(good, "good.tls").find("\nno problems\n"), std::string::npos);

    tlsfile::CheckResult damaged = tlsfile::check_file(dir.file("bad.tls"));
    EXPECT_EQ(tlsfile::exit_code(damaged), 1);
    std::string report = tlsfile::format_report(damaged, "bad.tls");
    const int line = static_cast<int>(find_line(split(bad), "(0,nan)")) + 1;
    EXPECT_NE(report.find("bad.tls:" + std::to_string(line) + ": tool \"Резец\": non-finite number 'nan'"),
              std::string::npos)
        << report;

    // Files are read in pieces of 1 MiB: lines across two pieces, a CR LF
    // split between them, a line longer than a piece and a last line without
    // line end read as the whole text does.
    std::string big = tlsfile_fixture::crlf(tlsfile_fixture::library());
    const std::string records = big.substr(big.find("TOOLID"));
    while (big.size() < (size_t(5) << 19)) big += records;
    big.replace((size_t(1) << 20) - 39, 40, std::string(38, ' ') + "\r\n");  // CR ends the first piece, LF starts the next
    std::string long_line = "COMMENTS \"" + std::string((size_t(3) << 19), 'x') + "\"\r\n";
    for (const std::string &text : {big, big + long_line, big + "TOOLID \"CUT\" {", big.substr(0, big.size() - 1)}) {
        testing_support::write_file(dir.file("pieces.tls"), text);
        tlsfile::CheckResult in_pieces = tlsfile::check_file(dir.file("pieces.tls"));
        tlsfile::CheckResult whole = tlsfile::check_text(text);
        const std::string whole_report = tlsfile::format_report(whole, "x.tls");
        EXPECT_EQ(tlsfile::format_report(in_pieces, "x.tls"), whole_report);
        EXPECT_EQ(in_pieces.library.line_count, whole.library.line_count);
        // check's own report, made record by record
        std::string by_record, error;
        bool clean = true;
        ASSERT_TRUE(tlsfile::report_file(dir.file("pieces.tls"), "x.tls", by_record, clean, error)) << error;
        EXPECT_EQ(by_record, whole_report);
        EXPECT_EQ(clean, whole.problems.empty());
    }

    for (const std::string &unreadable : {dir.file("missing.tls"), dir.path()}) {
        tlsfile::CheckResult r = tlsfile::check_file(unreadable);
        EXPECT_FALSE(r.readable) << unreadable;
        EXPECT_EQ(tlsfile::exit_code(r), tlsfile::kExitUnreadable) << unreadable;
        EXPECT_FALSE(r.read_error.empty());
    }
}

}  // namespace
