// The preview drawing: well-formed SVG, one group per tool, outlines at the
// right place with their arcs bulging the intended way.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/common/cp1251.h"
#include "tests/unit/tlsfile_fixture.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tls_preview.h"
#include "tools/tlsfile/tool_pages.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;  // direct text content
    std::vector<Element> children;
};

// A small XML parser, enough to tell whether the document is well formed:
// nested tags, quoted attributes, known entities only.
class Xml {
public:
    explicit Xml(const std::string &s) : s_(s) {}
    bool parse(Element &root, std::string &error) {
        if (s_.compare(0, 5, "<?xml") == 0) i_ = s_.find("?>") + 2;
        skip_space();
        if (!element(root)) {
            error = error_ + " at offset " + std::to_string(i_);
            return false;
        }
        skip_space();
        if (i_ != s_.size()) {
            error = "content after the root element";
            return false;
        }
        return true;
    }

private:
    void skip_space() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    bool fail(const std::string &e) {
        error_ = e;
        return false;
    }
    std::string name() {
        size_t start = i_;
        while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '-' || s_[i_] == ':'))
            ++i_;
        return s_.substr(start, i_ - start);
    }
    bool chars(std::string &out, char stop) {
        while (i_ < s_.size() && s_[i_] != stop) {
            if (s_[i_] == '<' || (s_[i_] == '>' && stop == '"')) return fail("markup character in text");
            if (static_cast<unsigned char>(s_[i_]) < 0x20 && !std::isspace(static_cast<unsigned char>(s_[i_])))
                return fail("control character");
            if (s_[i_] == '&') {
                size_t end = s_.find(';', i_);
                if (end == std::string::npos) return fail("unterminated entity");
                std::string e = s_.substr(i_ + 1, end - i_ - 1);
                static const std::map<std::string, std::string> known = {
                    {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
                auto k = known.find(e);
                if (k == known.end()) return fail("unknown entity &" + e + ";");
                out += k->second;
                i_ = end + 1;
                continue;
            }
            out += s_[i_++];
        }
        return true;
    }
    bool element(Element &e) {
        if (i_ >= s_.size() || s_[i_] != '<') return fail("expected '<'");
        ++i_;
        e.name = name();
        if (e.name.empty()) return fail("empty tag name");
        for (;;) {
            skip_space();
            if (s_.compare(i_, 2, "/>") == 0) {
                i_ += 2;
                return true;
            }
            if (i_ < s_.size() && s_[i_] == '>') break;
            std::string a = name();
            if (a.empty() || s_.compare(i_, 2, "=\"") != 0) return fail("malformed attribute in <" + e.name + ">");
            i_ += 2;
            std::string v;
            if (!chars(v, '"')) return false;
            if (i_ >= s_.size()) return fail("unterminated attribute");
            ++i_;
            if (!e.attributes.emplace(a, v).second) return fail("repeated attribute " + a);
        }
        ++i_;
        for (;;) {
            if (!chars(e.text, '<')) return false;
            if (i_ >= s_.size()) return fail("<" + e.name + "> not closed");
            if (s_.compare(i_, 2, "</") == 0) {
                i_ += 2;
                if (name() != e.name || i_ >= s_.size() || s_[i_] != '>') return fail("</" + e.name + "> expected");
                ++i_;
                return true;
            }
            e.children.emplace_back();
            if (!element(e.children.back())) return false;
        }
    }
    const std::string &s_;
    size_t i_ = 0;
    std::string error_;
};

void collect(const Element &e, const std::string &name, std::vector<const Element *> &out) {
    if (e.name == name) out.push_back(&e);
    for (const Element &c : e.children) collect(c, name, out);
}

struct Pt {
    double x, y;
};

// The path's commands: the end point of every M, L and A, and the arcs.
struct Arc {
    Pt from, to;
    double r;
    int large, sweep;
};
struct Path {
    std::vector<Pt> points;
    std::vector<Arc> arcs;
};

Path parse_path(const std::string &d) {
    Path p;
    std::istringstream in(d);
    std::string cmd;
    while (in >> cmd) {
        if (cmd == "Z") break;
        Pt at{};
        if (cmd == "A") {
            Arc a{};
            double rx, ry, rot;
            in >> rx >> ry >> rot >> a.large >> a.sweep >> at.x >> at.y;
            EXPECT_EQ(rx, ry);
            a.r = rx;
            a.from = p.points.back();
            a.to = at;
            p.arcs.push_back(a);
        } else {
            EXPECT_TRUE(cmd == "M" || cmd == "L") << cmd;
            in >> at.x >> at.y;
        }
        p.points.push_back(at);
    }
    return p;
}

// Centre and middle point of an SVG arc of a circle (y pointing down).
void arc_geometry(const Arc &a, Pt &centre, Pt &middle) {
    double hx = (a.to.x - a.from.x) / 2, hy = (a.to.y - a.from.y) / 2;
    double half = std::hypot(hx, hy);
    double k = half > 0 ? std::sqrt(std::max(0.0, a.r * a.r - half * half)) / half : 0;
    double sign = a.large != a.sweep ? 1 : -1;
    centre = {a.from.x + hx + sign * k * -hy, a.from.y + hy + sign * k * hx};
    double t0 = std::atan2(a.from.y - centre.y, a.from.x - centre.x);
    double t1 = std::atan2(a.to.y - centre.y, a.to.x - centre.x);
    double dt = t1 - t0;
    if (a.sweep && dt < 0) dt += 2 * kPi;
    if (!a.sweep && dt > 0) dt -= 2 * kPi;
    double r = std::max(a.r, half);
    middle = {centre.x + r * std::cos(t0 + dt / 2), centre.y + r * std::sin(t0 + dt / 2)};
}

struct Drawing {
    Element root;
    std::map<std::string, const Element *> tools;  // by name
};

Drawing draw(const std::string &text, tlsfile::PreviewScale scale = tlsfile::PreviewScale::one) {
    tlsfile::CheckResult r = tlsfile::check_text(text);
    static std::string svg;
    tlsfile::PreviewOptions options;
    options.scale = scale;
    svg = tlsfile::render_preview(r.library, r.problems, "demo.tls", options);
    Drawing d;
    std::string error;
    EXPECT_TRUE(Xml(svg).parse(d.root, error)) << error;
    std::vector<const Element *> groups;
    collect(d.root, "g", groups);
    for (const Element *g : groups) {
        if (g->attributes.count("class") == 0 || g->attributes.at("class") != "tool") continue;
        std::vector<const Element *> texts;
        collect(*g, "text", texts);
        if (!texts.empty()) d.tools[texts[0]->text] = g;
    }
    return d;
}

// The d attribute of the tool's path of one class, or empty.
std::string path_of(const Element &tool, const std::string &cls) {
    std::vector<const Element *> paths;
    collect(tool, "path", paths);
    for (const Element *p : paths)
        if (p->attributes.at("class") == cls) return p->attributes.at("d");
    return "";
}

TEST(TlsfilePreview, WellFormedWithOneGroupPerTool) {
    for (tlsfile::PreviewScale scale : {tlsfile::PreviewScale::one, tlsfile::PreviewScale::per_tool}) {
        Drawing d = draw(tlsfile_fixture::library_with_axis_only_holder(), scale);
        EXPECT_EQ(d.root.name, "svg");
        EXPECT_EQ(d.root.attributes["xmlns"], "http://www.w3.org/2000/svg");
        EXPECT_EQ(d.tools.size(), 13u);
        for (const char *name : {"EM10", "BAR20", "T30", "DR8.5", "M10", "EM|6|"})
            EXPECT_FALSE(path_of(*d.tools[name], "cutter").empty()) << name;
        for (const char *name : {"BN10", "BAR20", "TURN-1"})
            EXPECT_FALSE(path_of(*d.tools[name], "holder").empty()) << name;
        // a holder that never leaves the axis and a turning tool's missing cutter
        EXPECT_TRUE(path_of(*d.tools["T5"], "holder").empty());
        EXPECT_TRUE(path_of(*d.tools["TURN-1"], "cutter").empty());
    }
}

TEST(TlsfilePreview, ArcsRunThroughTheIntendedSide) {
    // The centres the file gives, mirrored too, in SVG coordinates.
    const std::map<std::string, std::vector<Pt>> centres = {
        {"BAR20", {{7.32864, -2}, {-40, -10}, {7.32864, -18}}},
        {"BAR20-SHARP", {{-40, -10}}},
        {"T30", {{14, -1}, {14.5, -5.5}}},
    };
    Drawing d = draw(tlsfile_fixture::library());
    for (const auto &[name, list] : centres) {
        Path p = parse_path(path_of(*d.tools[name], "cutter"));
        ASSERT_EQ(p.arcs.size(), 2 * list.size()) << name;
        for (const Arc &a : p.arcs) {
            Pt c{}, m{};
            arc_geometry(a, c, m);
            // right-half arcs about the file's centres, left-half ones about their mirror images
            double side = a.from.x + a.to.x > 0 ? 1 : -1;
            bool known = false;
            for (const Pt &k : list)
                known = known || (std::fabs(c.x - side * k.x) < 1e-3 && std::fabs(c.y - k.y) < 1e-3);
            EXPECT_TRUE(known) << name << ": arc centre (" << c.x << "," << c.y << ")";
            EXPECT_EQ(a.large, 0);
        }
    }
    // Half circles have no shorter side: the full-radius edge bulges outward.
    Path full = parse_path(path_of(*d.tools["T30-FULL"], "cutter"));
    ASSERT_EQ(full.arcs.size(), 2u);
    for (const Arc &a : full.arcs) {
        Pt c{}, m{};
        arc_geometry(a, c, m);
        EXPECT_NEAR(std::fabs(m.x), 15.0, 1e-3);
        EXPECT_NEAR(m.y, -3.0, 1e-3);
    }
    // The barrel is widest at the height of its arc's centre.
    Path barrel = parse_path(path_of(*d.tools["BAR20-SHARP"], "cutter"));
    Pt c{}, m{};
    arc_geometry(barrel.arcs[0], c, m);
    EXPECT_NEAR(m.x, 10.0, 0.05);
}

bool has_point(const Path &p, double x, double y) {
    for (const Pt &q : p.points)
        if (std::fabs(q.x - x) < 1e-3 && std::fabs(q.y - y) < 1e-3) return true;
    return false;
}

TEST(TlsfilePreview, StandardFormsDrawnFromTheirValues) {
    struct Row {
        const char *name;
        std::vector<Pt> corners;  // right half, SVG coordinates
        size_t arcs;
    };
    const Row rows[] = {
        {"EM10", {{0, 0}, {5, 0}, {5, -75}, {0, -75}}, 0},
        {"BN10", {{4, 0}, {5, -1}, {5, -75}}, 2},
        {"BALL10", {{0, 0}, {5, -5}, {5, -75}}, 2},
        // 118 degree point: the lip meets the side 4.25 * tan 31 degrees up
        {"DR8.5", {{0, 0}, {4.25, -2.55366}, {4.25, -90}}, 0},
        // taper 0.1 rad: the side leans out from the corner (6, 0)
        {"M7-TAPER", {{6 + 80 * std::tan(0.1), -80}}, 2},
    };
    Drawing d = draw(tlsfile_fixture::library());
    for (const Row &row : rows) {
        Path p = parse_path(path_of(*d.tools[row.name], "cutter"));
        for (const Pt &c : row.corners) {
            EXPECT_TRUE(has_point(p, c.x, c.y)) << row.name << " (" << c.x << "," << c.y << ")";
            EXPECT_TRUE(has_point(p, -c.x, c.y)) << row.name << " mirrored (" << -c.x << "," << c.y << ")";
        }
        EXPECT_EQ(p.arcs.size(), row.arcs) << row.name;
    }
}

TEST(TlsfilePreview, HolderStandsOnTheCutterLessItsOffset) {
    struct Row {
        const char *name;
        double low, high;  // heights of the holder's body
    };
    const Row rows[] = {
        {"BN10", 75, 145},     // no offset: on the 75 long cutter
        {"BAR20", 35, 65},     // offset 25 over the 60 long barrel
        {"TURN-1", -4.7, 5.3}, // no stacking for a turning tool
    };
    Drawing d = draw(tlsfile_fixture::library());
    for (const Row &row : rows) {
        Path p = parse_path(path_of(*d.tools[row.name], "holder"));
        double low = 1e9, high = -1e9;
        for (const Pt &q : p.points) low = std::min(low, -q.y), high = std::max(high, -q.y);
        EXPECT_NEAR(low, row.low, 1e-3) << row.name;
        EXPECT_NEAR(high, row.high, 1e-3) << row.name;
    }
}

TEST(TlsfilePreview, DamagedToolsAndNamesAreShownSafely) {
    std::string text = tlsfile_fixture::library();
    text.replace(text.find("(20.00000,50.00000)"), 19, "(nan,50.00000)");
    text.replace(text.find("\"EM10\""), 6, "\"A&B<\xD4>\"");
    text.replace(text.find("\"BALL10\""), 8, "\"BALL\x1B\x7F\"");
    tlsfile::CheckResult r = tlsfile::check_text(text);
    std::string svg = tlsfile::render_preview(r.library, r.problems, "x & y.tls");
    Element root;
    std::string error;
    ASSERT_TRUE(Xml(svg).parse(root, error)) << error;
    EXPECT_NE(svg.find(">A&amp;B&lt;Ф&gt;</text>"), std::string::npos);
    EXPECT_NE(svg.find(">BALL\\x1B\\x7F</text>"), std::string::npos);
    EXPECT_NE(svg.find("<title>x &amp; y.tls</title>"), std::string::npos);

    Drawing d = draw(text);
    const Element &bn = *d.tools["BN10"];
    EXPECT_TRUE(path_of(bn, "holder").empty());
    EXPECT_FALSE(path_of(bn, "cutter").empty());
    std::vector<const Element *> rects, texts;
    collect(bn, "rect", rects);
    collect(bn, "text", texts);
    EXPECT_EQ(rects[0]->attributes.at("class"), "cell bad");
    std::string all;
    for (const Element *t : texts) all += t->text + "\n";
    EXPECT_NE(all.find("1 problem, first at line 40"), std::string::npos) << all;
    EXPECT_NE(all.find("holder not drawn"), std::string::npos) << all;
}

double number(const Element &e, const char *attribute) { return std::stod(e.attributes.at(attribute)); }

// Pixels per millimetre of a tool's drawing: its viewport against its view box.
double pixels_per_mm(const Element &tool) {
    std::vector<const Element *> svg;
    collect(tool, "svg", svg);
    if (svg.empty()) return 0;
    std::istringstream view(svg[0]->attributes.at("viewBox"));
    double x, y, w, h;
    view >> x >> y >> w >> h;
    EXPECT_NEAR(number(*svg[0], "height") / h, number(*svg[0], "width") / w, 1e-3);
    return number(*svg[0], "width") / w;
}

TEST(TlsfilePreview, OneScaleForEveryTool) {
    // TURN-1's holder, damaged to reach 5 km up, must not shrink the rest.
    std::string text = tlsfile_fixture::library();
    text.replace(text.find("(12.97290,5.30000)"), 18, "(12.97290,5300000.00000)");
    Drawing d = draw(text);
    double scale = 0, last_height = 1e9;
    std::vector<const Element *> groups, bars, labels;
    collect(d.root, "g", groups);
    for (const Element *g : groups) {
        if (g->attributes.at("class") != "tool") continue;
        std::vector<const Element *> svg, texts, frame;
        collect(*g, "svg", svg);
        collect(*g, "text", texts);
        collect(*g, "rect", frame);
        std::string all;
        for (const Element *t : texts) all += t->text + "\n";
        if (texts[0]->text == "T5") {  // a record without cutter or holder
            EXPECT_TRUE(svg.empty());
            continue;
        }
        ASSERT_EQ(svg.size(), 1u) << all;
        // cells run tallest drawing first, each drawing inside its frame
        EXPECT_LE(number(*svg[0], "height"), last_height) << all;
        last_height = number(*svg[0], "height");
        EXPECT_LE(number(*svg[0], "x") + number(*svg[0], "width"), number(*frame[0], "width")) << all;
        EXPECT_LE(number(*svg[0], "y") + number(*svg[0], "height"), number(*frame[0], "height")) << all;
        if (texts[0]->text == "TURN-1") {
            EXPECT_NE(all.find("drawn smaller than the others: not to scale"), std::string::npos) << all;
            EXPECT_LT(pixels_per_mm(*g), 1e-3);
            continue;
        }
        if (scale == 0) scale = pixels_per_mm(*g);
        EXPECT_NEAR(pixels_per_mm(*g), scale, 1e-3 * scale) << all;
        EXPECT_EQ(all.find("not to scale"), std::string::npos) << all;
    }
    // the tallest sound tool, BN10 with its holder (145 mm and a margin),
    // fills the largest drawing
    EXPECT_NEAR(scale, 480 / 145.0, 0.05);
    // the scale bar: five parts making a round number of millimetres
    for (const Element *g : groups)
        if (g->attributes.at("class") == "scalebar") collect(*g, "rect", bars), collect(*g, "text", labels);
    ASSERT_EQ(bars.size(), 5u);
    double bar = 0;
    for (const Element *r : bars) bar += number(*r, "width");
    ASSERT_GE(labels.size(), 2u);
    EXPECT_EQ(labels[1]->text, "50 mm");
    EXPECT_NEAR(bar, 50 * scale, 1e-2);
}

TEST(TlsfilePreview, FluteLengthAndSecondCornerMarked) {
    // by tool: the cutter's radius, the flute line across it just beyond
    // that, the second corner's circles
    const std::map<std::string, std::pair<double, std::string>> marks = {
        {"EM10", {5, "flute 50; "}}, {"BAR20", {10, "flute 20; "}},
        {"M10", {8, "flute 35; circle (7,-30) r 1; circle (-7,-30) r 1; "}}, {"TURN-1", {0, ""}}};
    Drawing d = draw(tlsfile_fixture::library());
    for (const auto &[name, expected] : marks) {
        std::vector<const Element *> lines, circles;
        collect(*d.tools[name], "line", lines);
        collect(*d.tools[name], "circle", circles);
        std::ostringstream seen;
        for (const Element *l : lines) {
            if (l->attributes.at("class") != "flute" || l->attributes.at("y1") != l->attributes.at("y2")) continue;
            const double reach = number(*l, "x2") - expected.first;
            seen << "flute " << -number(*l, "y1") << (reach > 0 && reach < 2 ? "; " : " short; ");
        }
        for (const Element *c : circles)
            seen << "circle (" << number(*c, "cx") << "," << number(*c, "cy") << ") r " << number(*c, "r") << "; ";
        EXPECT_EQ(seen.str(), expected.second) << name;
    }
}

TEST(TlsfilePreview, InchToolsDrawnInMillimetres) {
    // a flat end of 1 by 2 inches, flute 1: drawn 25.4 by 50.8 mm, flute at 25.4, labelled "inch"
    Drawing d = draw("CGTECH Tool Library File\nVersion-5.2\n\nTOOLID \"IN\" {\nUNITS INCH\nTOOLTYPE MILLING\nCUTTER {"
                     "\nFLUTE_LENGTH 1\nASSEMBLY {\nCUTTER_TYPE \"FLAT END\"\nSTANDARD (1,0,0,0,0,0,2)\n}\n}\n}\n");
    EXPECT_TRUE(has_point(parse_path(path_of(*d.tools.at("IN"), "cutter")), 12.7, -50.8));
    std::vector<const Element *> lines, labels;
    collect(*d.tools.at("IN"), "line", lines);
    collect(*d.tools.at("IN"), "tspan", labels);
    EXPECT_EQ(number(*lines.at(0), "y1"), -25.4);
    EXPECT_EQ(labels.at(0)->text, " inch");
}

TEST(TlsfilePreview, ProblemsCountedForTheRecordTheyFallIn) {
    // two before the first record, two in BN10, one in the last record
    std::string text = tlsfile_fixture::library();
    text.replace(0, 24, "CGTECH Tool Library");
    text.replace(text.find("(20.00000,50.00000)"), 19, "(nan,50.00000)");
    text.replace(text.find("UNITS MILLIMETER", text.find("TOOLID \"BN10\"")), 16, "UNITS FURLONG");
    text.replace(text.find("UNITS MILLIMETER", text.find("TOOLID \"EM|6|\"")), 16, "UNITS FURLONG");
    tlsfile::CheckResult r = tlsfile::check_text(text);
    ASSERT_EQ(r.problems.size(), 5u) << tlsfile::format_report(r, "x");
    Drawing d = draw(text);
    const std::vector<tlsfile::Tool> &tools = r.library.tools;
    int framed = 0;
    for (size_t i = 0; i < tools.size(); ++i) {
        const int next = i + 1 < tools.size() ? tools[i + 1].line : r.library.line_count + 1;
        int count = 0, first = 0;
        for (const tlsfile::Problem &p : r.problems)
            if (p.line >= tools[i].line && p.line < next && !count++) first = p.line;
        ASSERT_EQ(d.tools.count(tools[i].name), 1u) << tools[i].name;
        const Element &cell = *d.tools.at(tools[i].name);
        std::vector<const Element *> rects, texts;
        collect(cell, "rect", rects);
        collect(cell, "text", texts);
        std::string all;
        for (const Element *t : texts) all += t->text + "\n";
        EXPECT_EQ(rects[0]->attributes.at("class"), count ? "cell bad" : "cell") << tools[i].name;
        if (count) {
            EXPECT_NE(all.find(std::to_string(count) + (count == 1 ? " problem" : " problems") + ", first at line " +
                               std::to_string(first)),
                      std::string::npos)
                << tools[i].name << "\n" << all;
        }
        framed += count > 0;
    }
    EXPECT_EQ(framed, 2);
}

TEST(TlsfilePreview, EmptyLibraryIsStillADrawing) {
    tlsfile::CheckResult r = tlsfile::check_text("CGTECH Tool Library File\nVersion-5.2\n\n");
    std::string svg = tlsfile::render_preview(r.library, r.problems, "empty.tls");
    Element root;
    std::string error;
    ASSERT_TRUE(Xml(svg).parse(root, error)) << error;
    EXPECT_NE(svg.find("no tools"), std::string::npos);
}

// The half outlines the pages draw from: the preview's shapes, in
// millimetres to 0.001, arcs with their radius and sense.
TEST(TlsfilePreview, OutlineTextsForThePages) {
    struct Row {
        const char *name;
        const char *cutter;  // the start of it
        const char *holder;
    };
    const Row rows[] = {
        {"EM10", "0 0 5 0 5 75 0 75", ""},
        // stacked: the holder stands on the cutter's top, 75 up
        {"BN10", "0 0 4 0 a 1 1 5 1 5 75 0 75", "0 75 18 75 a 2 1 20 77 20 125 15 125 17.007 145 0 145"},
        // not stacked: the holder as written, below its origin first
        {"TURN-1", "", "0 -4.7 11.331 -4.7 a 3 1 14.271 -1.104 12.973 5.3 0 5.3"},
    };
    tlsfile::CheckResult r = tlsfile::check_text(tlsfile_fixture::library());
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        auto t = std::find_if(r.library.tools.begin(), r.library.tools.end(),
                              [&](const tlsfile::Tool &x) { return x.name == row.name; });
        ASSERT_NE(t, r.library.tools.end());
        const tlsfile::OutlineTexts o = tlsfile::outline_texts(*t);
        EXPECT_EQ(o.cutter, row.cutter);
        EXPECT_EQ(o.holder, row.holder);
    }
}

// The sheet's CSV: numbers with decimal commas, texts quoted where they
// hold a separator, a text a spreadsheet would take for a number, a date
// or a formula written as a formula of the text; and the page's data,
// which no text can break out of.
TEST(TlsfilePreview, SheetCsvAndPageData) {
    struct Row {
        const char *name;         // TOOLID in the library
        const char *description;  // its DESCRIPTION (Windows-1251)
        const char *number;       // the part's tool number
        const char *csv;          // its line of the CSV
    };
    const Row rows[] = {
        {"EM10", "D10.00 H75.00", "12", "1;12;EM10;end mill;flat end;mm;10;0;75;;50;;;;D10.00 H75.00;\r\n"},
        {"DR8.5", "D8.50 H90.00", "", "1;;DR8.5;drill;drill;mm;8,5;0;90;;60;;;;D8.50 H90.00;\r\n"},
        {"=HYPERLINK(1)", "a; b", "", "1;;=\"=HYPERLINK(1)\";end mill;flat end;mm;10;0;75;;50;;;;\"a; b\";\r\n"},
        {"-X", "@SUM(1)", "T1", "1;T1;=\"-X\";end mill;flat end;mm;10;0;75;;50;;;;=\"@SUM(1)\";\r\n"},
        {"</script><b>x", "</script>", "", "1;;=\"</script><b>x\";end mill;flat end;mm;10;0;75;;50;;;;=\"</script>\";\r\n"},
        // numbers, dates and truth values as spreadsheets read them, kept texts
        {"0105", "1-2", "0105", "1;=\"0105\";=\"0105\";end mill;flat end;mm;10;0;75;;50;;;;=\"1-2\";\r\n"},
        {"3/4", "12E3", "", "1;;=\"3/4\";end mill;flat end;mm;10;0;75;;50;;;;=\"12E3\";\r\n"},
        {"Mar-5", "TRUE", "", "1;;=\"Mar-5\";end mill;flat end;mm;10;0;75;;50;;;;=\"TRUE\";\r\n"},
        {"MARKER", "\xDF\xED\xE2 5, \xF4\xF0\xE5\xE7\xE0", "", "1;;MARKER;end mill;flat end;mm;10;0;75;;50;;;;"
                                                          "=\"Янв 5, фреза\";\r\n"},
        // a quote at the start of a part's text, and a separator
        {"EM1", "D1", "\"Q\"; 1", "1;\"=\"\"\"\"\"\"Q\"\"\"\"; 1\"\"\";EM1;end mill;flat end;mm;10;0;75;;50;;;;D1;\r\n"},
    };
    auto record = [](const Row &row) {
        const bool drill = std::string(row.name) == "DR8.5";
        return std::string("TOOLID \"") + row.name + "\" {\n  UNITS MILLIMETER\n  DESCRIPTION \"" +
               row.description +
               "\"\n  TOOLTYPE MILLING\n  CUTTER {\n    FLUTE_LENGTH " + (drill ? "60" : "50") +
               "\n    ASSEMBLY {\n      CUTTER_TYPE \"" + (drill ? "DRILL" : "FLAT END") + "\"\n      STANDARD (" +
               (drill ? "8.5,0,0,0,31,0,90" : "10,0,0,0,0,0,75") + ")\n    }\n  }\n}\n";
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        tlsfile::LibraryText lib;
        lib.text = std::string("CGTECH Tool Library File\nVersion-5.2\n\n") + record(row);
        lib.library = tlsfile::parse_tls(lib.text);
        ASSERT_EQ(lib.library.tools.size(), 1u);
        tlsfile::PageHead head{"lib", "lib.tls", "today", {}};
        std::vector<tlsfile::SheetRow> sheet = tlsfile::sheet_rows(lib.library, {}, head);
        sheet[0].number = row.number;
        const std::string csv = tlsfile::sheet_csv(head, sheet, false);
        EXPECT_EQ(csv.rfind("\xEF\xBB\xBFPosition;Tool number;TOOLID;Kind;Simulator's kind;Units;Diameter;", 0), 0u)
            << csv;
        const size_t first = csv.find("\r\n") + 2, last = csv.find("\r\nkesto-tools-vericut tool sheet;") + 2;
        EXPECT_EQ(csv.substr(first, last - first), row.csv);
        EXPECT_EQ(csv.substr(last), "kesto-tools-vericut tool sheet;lib;today;lib.tls;1 tool;lengths in millimetres\r\n");
        // the data comes back whole from the page, and only one script element closes
        const std::string html = tlsfile::sheet_html(head, sheet, false);
        EXPECT_LT(html.find(tlsfile::kGeneratorMeta), 200u);
        const std::string open = "<script type=\"application/json\" id=\"data\">";
        const size_t at = html.find(open) + open.size();
        ASSERT_NE(at, std::string::npos + open.size());
        const nlohmann::json data = nlohmann::json::parse(html.substr(at, html.find("</script>", at) - at));
        EXPECT_EQ(data["t"][0]["id"], row.name);
        EXPECT_EQ(data["t"][0]["desc"], kesto::cp1251_shown(row.description));
        EXPECT_EQ(html.find("</script><b>"), std::string::npos);
    }
}

}  // namespace
