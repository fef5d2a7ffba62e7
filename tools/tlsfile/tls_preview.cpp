#include "tools/tlsfile/tls_preview.h"

#include <algorithm>
#include <cmath>

#include "host/common/cp1251.h"
#include "tools/tlsfile/number_text.h"
#include "tools/tlsfile/tls_check.h"

namespace tlsfile {

namespace {

// Degrees back to radians the way the file's angles were made (K = 180 / 3.1415926).
constexpr double kRadiansPerDegree = 3.1415926 / 180.0;
constexpr double kTwoPi = 2.0 * 3.14159265358979323846;

struct Vec {
    double x = 0, y = 0;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator*(double k, Vec a) { return {k * a.x, k * a.y}; }
double length(Vec a) { return std::hypot(a.x, a.y); }

// A vertex of the right half of an outline (radius, height) and how it is
// reached from the vertex before: a straight line or an arc about centre.
struct Vertex {
    Vec p;
    bool arc = false;
    Vec centre;
    double radius = 0;
    bool ccw = false;  // counter-clockwise with the height axis pointing up
};

using Shape = std::vector<Vertex>;

void add_point(Shape &s, Vec p) {
    Vertex v;
    v.p = p;
    s.push_back(v);
}

void add_arc_to(Shape &s, Vec centre, double radius, Vec to) {
    Vertex v;
    v.p = to;
    if (!s.empty()) {
        v.arc = true;
        v.centre = centre;
        v.radius = std::fabs(radius);
        v.ccw = arc_runs_ccw(s.back().p.x, s.back().p.y, to.x, to.y, centre.x, centre.y);
    }
    s.push_back(v);
}

// Clears a shape that cannot be drawn.  True when that is because its values
// make no outline (none at all, or not finite); an outline that never leaves
// the axis is simply empty.
bool discard_undrawable(Shape &s) {
    bool finite = !s.empty(), body = false;
    for (const Vertex &v : s) {
        finite = finite && std::isfinite(v.p.x) && std::isfinite(v.p.y) && std::isfinite(v.centre.x) &&
                 std::isfinite(v.centre.y) && std::isfinite(v.radius);
        body = body || v.p.x != 0;
    }
    if (finite && body) return false;
    s.clear();
    return !finite;
}

// The outline as the file gives it, raised by shift.  An arc without a point
// on both sides is drawn as a straight line.
Shape outline_shape(const Outline &o, double shift) {
    Shape s;
    const OutlineItem *arc = nullptr;
    for (const OutlineItem &item : o.items) {
        if (item.kind == OutlineItem::arc) {
            arc = s.empty() ? nullptr : &item;
            continue;
        }
        Vec p{item.x, item.y + shift};
        // a run of points on the axis before the body (a holder's origin and
        // offset point) encloses nothing: start from the last of them
        if (!arc && s.size() == 1 && s[0].p.x == 0 && p.x == 0) {
            s[0].p = p;
            continue;
        }
        if (arc)
            add_arc_to(s, {arc->x, arc->y + shift}, arc->r, p);
        else
            add_point(s, p);
        arc = nullptr;
    }
    return s;
}

// A standard cutter from its first seven values (D, R, E, F, A, B, H): a
// bottom line from the tip rising at A, a corner of radius R, a side leaning
// out by B, up to the height H.  The corner is the circle of radius R that
// touches both lines; for a consistent tool that is the circle about (E, F),
// and drawing it from the lines also serves tools whose E and F were left 0.
// The drill's fifth value is its tip angle too, so drills draw the same way.
Shape standard_shape(const std::vector<double> &v) {
    Shape s;
    if (v.size() < 7) return s;
    const double d = v[0], r = v[1], a = v[4] * kRadiansPerDegree, b = v[5] * kRadiansPerDegree, h = v[6];
    if (!(d > 0) || r < 0 || !(h > 0)) return s;
    const Vec tip{0, 0};
    const Vec bottom{std::cos(a), std::sin(a)};
    const Vec side{std::sin(b), std::cos(b)};
    const Vec corner{d * 0.5, d * 0.5 * std::tan(a)};
    add_point(s, tip);
    if (r > 0) {
        double angle = std::acos(std::clamp(-(bottom.x * side.x + bottom.y * side.y), -1.0, 1.0));
        double t = r / std::tan(angle * 0.5);
        Vec start = corner - t * bottom;
        Vec end = corner + t * side;
        Vec centre = start + r * Vec{-bottom.y, bottom.x};
        if (length(start - tip) > 1e-9) add_point(s, start);
        else s.back().p = start;
        add_arc_to(s, centre, r, end);
    } else if (length(corner - tip) > 1e-9) {
        add_point(s, corner);
    }
    Vec last = s.back().p;
    add_point(s, {last.x + (h - last.y) * std::tan(b), h});
    add_point(s, {0, h});
    return s;
}

// "%.4f", "-0.0000" as "0.0000"; at most 47 characters.
std::string num(double v) {
    std::string s;
    append_fixed(s, v, 4, 47);
    if (s == "-0.0000") s = "0.0000";
    return s;
}

// Path data of the outline and its mirror image, as one closed figure.  SVG's
// y axis points down, so heights are negated and a counter-clockwise arc has
// sweep flag 0.  Mirroring and running the half backwards both reverse the
// turning sense, so the mirrored arcs keep their flag.
std::string path_data(const Shape &s) {
    std::string d;
    auto arc = [&](const Vertex &v, double x, double y) {
        d += " A " + num(v.radius) + " " + num(v.radius) + " 0 0 " + (v.ccw ? "0 " : "1 ") + num(x) + " " + num(-y);
    };
    d = "M " + num(s[0].p.x) + " " + num(-s[0].p.y);
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i].arc)
            arc(s[i], s[i].p.x, s[i].p.y);
        else
            d += " L " + num(s[i].p.x) + " " + num(-s[i].p.y);
    }
    if (std::fabs(s.back().p.x) > 0) d += " L " + num(-s.back().p.x) + " " + num(-s.back().p.y);
    for (size_t i = s.size() - 1; i > 0; --i) {
        const Vec to = s[i - 1].p;
        if (s[i].arc)
            arc(s[i], -to.x, to.y);
        else
            d += " L " + num(-to.x) + " " + num(-to.y);
    }
    return d + " Z";
}

struct Box {
    bool any = false;
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    void add(Vec p) {
        if (!any) x0 = x1 = p.x, y0 = y1 = p.y;
        any = true;
        x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
    }
};

void add_extent(Box &box, const Shape &s) {
    for (size_t i = 0; i < s.size(); ++i) {
        box.add(s[i].p);
        box.add({-s[i].p.x, s[i].p.y});
        if (!s[i].arc || i == 0) continue;
        // the middle of the arc, where it bulges furthest from its chord
        Vec c = s[i].centre;
        double a0 = std::atan2(s[i - 1].p.y - c.y, s[i - 1].p.x - c.x);
        double a1 = std::atan2(s[i].p.y - c.y, s[i].p.x - c.x);
        if (s[i].ccw)
            while (a1 < a0) a1 += kTwoPi;
        else
            while (a1 > a0) a1 -= kTwoPi;
        double m = (a0 + a1) * 0.5;
        Vec mid{c.x + s[i].radius * std::cos(m), c.y + s[i].radius * std::sin(m)};
        box.add(mid);
        box.add({-mid.x, mid.y});
    }
}

// Text for XML content and attributes: the file's Windows-1251 bytes as
// UTF-8, markup characters escaped, control characters (most not allowed in
// XML) shown as "\xHH".
std::string xml_text(const std::string &raw) { return markup_text(kesto::cp1251_shown(raw)); }

// Millimetres in a unit of the tool's record: an inch tool is drawn in
// millimetres, so that one scale serves every tool.
double millimetres_per_unit(const Tool &t) { return t.units == kInch ? 25.4 : 1.0; }

void scale_shape(Shape &s, double k) {
    for (Vertex &v : s) {
        v.p = k * v.p;
        v.centre = k * v.centre;
        v.radius *= k;
    }
}

// Splits a summary at its commas into lines of about width characters.
std::vector<std::string> wrap(const std::string &text, size_t width) {
    std::vector<std::string> lines;
    std::string line;
    size_t at = 0;
    while (at < text.size()) {
        size_t comma = text.find(", ", at);
        std::string piece = text.substr(at, comma == std::string::npos ? std::string::npos : comma + 1 - at);
        at = comma == std::string::npos ? text.size() : comma + 2;
        if (!line.empty() && line.size() + 1 + piece.size() > width) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + piece;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

constexpr int kCellWidth = 280;
constexpr int kCellHeight = 460;
constexpr int kColumns = 4;
constexpr int kTop = 56;
constexpr int kDrawTop = 110;  // drawing area of a cell below its texts

// One scale: no tool is drawn larger than this (pixels), and no scale is
// larger than kMaxScale pixels per millimetre (a library of small tools).
constexpr double kMaxDrawing = 480;
constexpr double kMaxScale = 8;
constexpr double kPadding = 6;         // pixels round a drawing
constexpr int kScaledTop = 92;         // the header with the scale bar
constexpr int kRowWidth = kColumns * kCellWidth;

// No tool's outline has this many points and arcs; a longer one is not
// drawn, so that a damaged file cannot make the drawing huge.
constexpr size_t kMaxDrawnItems = 10000;

// A tool's outlines ready to draw, the lines that say what could not be
// drawn, and their extent.
struct ToolDrawing {
    Shape cutter, holder;  // in millimetres
    std::vector<std::string> warnings;
    Box box;
    double mm = 1;  // millimetres in a unit of the record
};

ToolDrawing prepare(const Tool &t) {
    ToolDrawing d;
    bool cutter_broken = false;
    const bool cutter_too_long = t.cutter_outline.items.size() > kMaxDrawnItems;
    const bool holder_too_long = t.holder_outline.items.size() > kMaxDrawnItems;
    if (t.has_cutter && !cutter_too_long) {
        if (t.form == Form::sor)
            d.cutter = outline_shape(t.cutter_outline, 0);
        else if (!t.standard.empty() && t.form != Form::unknown)
            d.cutter = standard_shape(t.standard);
        cutter_broken = discard_undrawable(d.cutter);
    }
    // With STACK YES the holder stands on the cutter: its origin is at the
    // cutter's top, and an offset lowers it over the cutter from there.
    double shift = 0;
    if (t.stack == "YES")
        for (const Vertex &v : d.cutter) shift = std::max(shift, v.p.y);
    bool holder_broken = false;
    if (t.holder_outline.present && !holder_too_long) {
        d.holder = outline_shape(t.holder_outline, shift);
        holder_broken = discard_undrawable(d.holder);
    }
    d.mm = millimetres_per_unit(t);
    scale_shape(d.cutter, d.mm);
    scale_shape(d.holder, d.mm);
    if (cutter_broken) d.warnings.push_back("cutter not drawn: its values make no outline");
    if (holder_broken) d.warnings.push_back("holder not drawn: its values make no outline");
    for (const char *part : {cutter_too_long ? "cutter" : nullptr, holder_too_long ? "holder" : nullptr})
        if (part)
            d.warnings.push_back(std::string(part) + " not drawn: more than " + std::to_string(kMaxDrawnItems) +
                                 " points");
    add_extent(d.box, d.cutter);
    add_extent(d.box, d.holder);
    return d;
}

// The second corner of an APT 10 cutter, (E2, F2) and R2, when it has one.
bool second_corner(const Tool &t, double &e2, double &f2, double &r2) {
    if (t.form != Form::apt10 || t.standard.size() != 10) return false;
    e2 = t.standard[8], f2 = t.standard[9], r2 = t.standard[7];
    return std::isfinite(e2) && std::isfinite(f2) && std::isfinite(r2) && r2 > 0;
}

// What a cell shows besides the tool: its problems and what a merge did.
struct CellMarks {
    int problems = 0;
    int first_line = 0;
    ToolMark mark = ToolMark::none;
};

const char *mark_name(ToolMark mark) {
    return mark == ToolMark::added ? "added" : mark == ToolMark::replaced ? "replaced" : "";
}

// Opens the tool's group: its frame, name and texts.
void open_cell(std::string &out, const Tool &t, size_t index, int x, int y, int width, int height,
               const CellMarks &marks, const std::vector<std::string> &warnings) {
    out += "<g class=\"tool\" id=\"tool-" + std::to_string(index + 1) + "\" transform=\"translate(" +
           std::to_string(x) + "," + std::to_string(y) + ")\">\n";
    std::string frame = marks.problems ? "cell bad" : "cell";
    if (marks.mark != ToolMark::none) frame = frame + " " + mark_name(marks.mark);
    out += "<rect class=\"" + frame + "\" x=\"0\" y=\"0\" width=\"" + std::to_string(width - 8) + "\" height=\"" +
           std::to_string(height - 8) + "\"/>\n";
    int ty = 20;
    // an inch tool's sizes are given in inches (and drawn in millimetres)
    out += "<text class=\"name\" x=\"10\" y=\"" + std::to_string(ty) + "\">" + xml_text(t.name) +
           (t.units == kInch ? "<tspan class=\"units\"> inch</tspan>" : "") + "</text>\n";
    if (marks.mark != ToolMark::none)
        out += std::string("<text class=\"mark ") + mark_name(marks.mark) + "\" x=\"" + std::to_string(width - 18) +
               "\" y=\"" + std::to_string(ty) + "\" text-anchor=\"end\">" + mark_name(marks.mark) + "</text>\n";
    struct Line {
        std::string text;
        bool warn;
    };
    std::vector<Line> lines;
    for (const std::string &l : wrap(tool_summary(t), 44)) lines.push_back({l, false});
    for (const std::string &l : wrap(holder_summary(t), 44)) lines.push_back({l, false});
    if (marks.problems)
        lines.push_back({std::to_string(marks.problems) + (marks.problems == 1 ? " problem" : " problems") +
                             ", first at line " + std::to_string(marks.first_line),
                         true});
    for (const std::string &w : warnings) lines.push_back({w, true});
    for (const Line &l : lines) {
        ty += 15;
        if (ty > kDrawTop - 4) break;
        out += std::string("<text class=\"") + (l.warn ? "dims warn" : "dims") + "\" x=\"10\" y=\"" +
               std::to_string(ty) + "\">" + xml_text(l.text) + "</text>\n";
    }
}

void nothing_to_draw(std::string &out) {
    out += "<text class=\"dims\" x=\"10\" y=\"" + std::to_string(kDrawTop + 20) + "\">nothing to draw</text>\n";
    out += "</g>\n";
}

// The marks that only a drawing to one scale carries: the flute length as
// a dashed line across the cutter, and an APT 10 cutter's second corner as
// its circle (mirrored).
void cutter_marks(std::string &out, const Tool &t, const ToolDrawing &d, double unit) {
    if (d.cutter.empty()) return;
    const std::string width = "\" stroke-width=\"" + num(unit) + "\" stroke-dasharray=\"" + num(4 * unit) + " " +
                              num(2 * unit) + "\"/>\n";
    if (t.has_flute_length && std::isfinite(t.flute_length) && t.flute_length > 0) {
        Box cutter;
        add_extent(cutter, d.cutter);
        const double half = std::max(cutter.x1, -cutter.x0) + 4 * unit, flute = t.flute_length * d.mm;
        out += "<line class=\"flute\" x1=\"" + num(-half) + "\" y1=\"" + num(-flute) + "\" x2=\"" + num(half) +
               "\" y2=\"" + num(-flute) + width;
    }
    double e2 = 0, f2 = 0, r2 = 0;
    if (second_corner(t, e2, f2, r2)) {
        e2 *= d.mm, f2 *= d.mm, r2 *= d.mm;
        for (double x : e2 == 0 ? std::vector<double>{0} : std::vector<double>{e2, -e2})
            out += "<circle class=\"radius2\" cx=\"" + num(x) + "\" cy=\"" + num(-f2) + "\" r=\"" + num(r2) + width;
    }
}

// The outlines in an SVG viewport: place gives its position and size, the
// view box is the extent (x0, y0 from the box, heights negated) plus pad,
// unit is the width of a pixel in the drawing's own units.
void draw_outlines(std::string &out, const ToolDrawing &d, const Box &box, double pad, const std::string &place,
                   double unit, const Tool *marked) {
    const double w = std::max(box.x1 - box.x0, 1e-3), hgt = std::max(box.y1 - box.y0, 1e-3);
    // viewBox in SVG coordinates: heights negated
    const std::string view = num(box.x0 - pad) + " " + num(-box.y1 - pad) + " " + num(w + 2 * pad) + " " +
                             num(hgt + 2 * pad);
    out += "<svg " + place + " viewBox=\"" + view + "\" preserveAspectRatio=\"xMidYMax meet\">\n";
    const std::string width = "\" stroke-width=\"" + num(unit) + "\"";
    if (!d.holder.empty()) out += "<path class=\"holder\" d=\"" + path_data(d.holder) + width + "/>\n";
    if (!d.cutter.empty()) out += "<path class=\"cutter\" d=\"" + path_data(d.cutter) + width + "/>\n";
    if (marked) cutter_marks(out, *marked, d, unit);
    out += "<line class=\"axis\" x1=\"0\" y1=\"" + num(-box.y1 - pad) + "\" x2=\"0\" y2=\"" + num(-box.y0 + pad) +
           width + " stroke-dasharray=\"" + num(6 * unit) + " " + num(3 * unit) + "\"/>\n";
    out += "</svg>\n</g>\n";
}

// Each tool drawn to fill its cell.
void render_tool(std::string &out, const Tool &t, size_t index, int x, int y, const CellMarks &marks) {
    const ToolDrawing d = prepare(t);
    open_cell(out, t, index, x, y, kCellWidth, kCellHeight, marks, d.warnings);
    if (!d.box.any) return nothing_to_draw(out);
    const Box &box = d.box;
    const double w = std::max(box.x1 - box.x0, 1e-3), hgt = std::max(box.y1 - box.y0, 1e-3);
    const double pad = 0.05 * std::max(w, hgt);
    // line widths in the drawing's own units, so that every tool's lines
    // look alike whatever its size
    const double area_w = kCellWidth - 28, area_h = kCellHeight - kDrawTop - 18;
    const double unit = 1.0 / std::min(area_w / (w + 2 * pad), area_h / (hgt + 2 * pad));
    draw_outlines(out, d, box, pad,
                  "x=\"10\" y=\"" + std::to_string(kDrawTop) + "\" width=\"" + num(area_w) + "\" height=\"" +
                      num(area_h) + "\"",
                  unit, nullptr);
}

// The problems of each record: those on its lines, up to the next record.
std::vector<CellMarks> problem_marks(const Library &library, const std::vector<Problem> &problems) {
    const std::vector<Tool> &tools = library.tools;
    std::vector<CellMarks> marks(tools.size());
    for (const Problem &p : problems) {
        auto after = std::upper_bound(tools.begin(), tools.end(), p.line,
                                      [](int line, const Tool &t) { return line < t.line; });
        if (after == tools.begin()) continue;
        CellMarks &m = marks[static_cast<size_t>(after - tools.begin()) - 1];
        if (!m.problems || p.line < m.first_line) m.first_line = p.line;
        ++m.problems;
    }
    return marks;
}

std::string style(bool one_scale, bool marked) {
    std::string s = "<style>\n"
                    "text { font-family: sans-serif; font-size: 11px; fill: #222; }\n"
                    "text.name { font-size: 13px; font-weight: bold; }\n"
                    "text.head { font-size: 15px; font-weight: bold; }\n"
                    "text.warn { fill: #b00; }\n"
                    "tspan.units { font-weight: normal; fill: #06c; }\n"
                    "rect.cell { fill: #fafafa; stroke: #ccc; }\n";
    if (marked)
        s += "rect.added { stroke: #1f8a3a; stroke-width: 3; }\n"
             "rect.replaced { stroke: #7b3fb3; stroke-width: 3; }\n"
             "text.mark { font-weight: bold; }\n"
             "text.added { fill: #1f8a3a; }\n"
             "text.replaced { fill: #7b3fb3; }\n";
    s += "rect.bad { stroke: #d00; stroke-width: 2; }\n"
         ".cutter { fill: #f0a040; fill-opacity: 0.9; stroke: #8a4a00; }\n"
         ".holder { fill: #7094cc; fill-opacity: 0.9; stroke: #1f3f73; }\n"
         ".axis { stroke: #666; }\n";
    if (one_scale)
        s += ".flute { stroke: #a01010; }\n"
             ".radius2 { fill: none; stroke: #a01010; }\n"
             ".scalebar { fill: #222; stroke: #222; }\n"
             ".scalebar rect.light { fill: #fff; }\n";
    return s + "</style>\n";
}

// The document's head: title, counts and legend.
void open_document(std::string &out, int width, int height, const std::string &title, const std::string &count,
                   bool one_scale, bool marked) {
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) + "\" height=\"" +
           std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
           "\">\n";
    out += "<title>" + xml_text(title) + "</title>\n";
    out += style(one_scale, marked);
    out += "<rect x=\"0\" y=\"0\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) +
           "\" fill=\"#fff\"/>\n";
    out += "<text class=\"head\" x=\"12\" y=\"24\">" + xml_text(title) + "</text>\n";
    out += "<text class=\"dims\" x=\"12\" y=\"42\">" + xml_text(count) + "</text>\n";
    out += "<rect class=\"cutter\" x=\"" + std::to_string(width - 170) + "\" y=\"14\" width=\"14\" height=\"14\"/>"
           "<text class=\"dims\" x=\"" + std::to_string(width - 150) + "\" y=\"26\">cutter</text>\n";
    out += "<rect class=\"holder\" x=\"" + std::to_string(width - 100) + "\" y=\"14\" width=\"14\" height=\"14\"/>"
           "<text class=\"dims\" x=\"" + std::to_string(width - 80) + "\" y=\"26\">holder</text>\n";
    if (one_scale)
        out += "<line class=\"flute\" x1=\"" + std::to_string(width - 170) + "\" y1=\"42\" x2=\"" +
               std::to_string(width - 156) + "\" y2=\"42\" stroke-dasharray=\"4 2\"/><text class=\"dims\" x=\"" +
               std::to_string(width - 150) + "\" y=\"46\">flute length, APT 10 R2</text>\n";
}

// A scale bar of a round length in millimetres, in five parts, with the
// scale spelled out beside it.
void scale_bar(std::string &out, double scale) {
    double length = 1;
    for (double decade = 1; decade * scale <= 1e9; decade *= 10)
        for (double step : {1.0, 2.0, 5.0})
            if (step * decade * scale <= 240) length = step * decade;
    const double part = length * scale / 5;
    out += "<g class=\"scalebar\" transform=\"translate(12,58)\">\n";
    for (int i = 0; i < 5; ++i)
        out += std::string("<rect") + (i % 2 ? " class=\"light\"" : "") + " x=\"" + num(i * part) +
               "\" y=\"0\" width=\"" + num(part) + "\" height=\"6\"/>\n";
    out += "<text x=\"0\" y=\"20\" stroke=\"none\">0</text>\n";
    out += "<text x=\"" + num(5 * part) + "\" y=\"20\" stroke=\"none\" text-anchor=\"middle\">" +
           format_number(length) + " mm</text>\n";
    out += "<text x=\"" + num(5 * part + 36) + "\" y=\"7\" stroke=\"none\">every tool to one scale: 1 mm = " +
           num(scale) + " px</text>\n";
    out += "</g>\n";
}

struct Placed {
    size_t tool = 0;
    ToolDrawing drawing;
    double scale = 0;       // pixels per millimetre
    bool to_scale = true;   // false: too large for the common scale, drawn smaller
    double width = 0, height = 0;  // of the drawing, padding included (pixels)
};

// Every tool to one scale: the largest tool without problems fills
// kMaxDrawing; a tool with problems larger than that is drawn smaller and
// says so.  Cells are as wide as their drawing needs (at least kCellWidth);
// they run in rows of kRowWidth, tallest first, each row as tall as its
// tallest drawing, so that a small drill does not get the room of a face
// mill.
std::string render_one_scale(const Library &library, const std::vector<CellMarks> &marks, const std::string &title,
                             const std::string &count, bool marked) {
    const size_t n = library.tools.size();
    std::vector<Placed> placed(n);
    double largest = 0, largest_clean = 0;
    for (size_t i = 0; i < n; ++i) {
        Placed &p = placed[i];
        p.tool = i;
        p.drawing = prepare(library.tools[i]);
        double e2 = 0, f2 = 0, r2 = 0;
        if (p.drawing.box.any && second_corner(library.tools[i], e2, f2, r2))
            for (double x : {e2 - r2, e2 + r2, -e2 - r2, r2 - e2})
                for (double y : {f2 - r2, f2 + r2}) p.drawing.box.add({x * p.drawing.mm, y * p.drawing.mm});
        if (!p.drawing.box.any) continue;
        const Box &b = p.drawing.box;
        const double size = std::max({b.x1 - b.x0, b.y1 - b.y0, 1e-3});
        largest = std::max(largest, size);
        if (!marks[i].problems) largest_clean = std::max(largest_clean, size);
    }
    const double reference = largest_clean > 0 ? largest_clean : largest;
    const double scale = reference > 0 ? std::min(kMaxScale, kMaxDrawing / reference) : kMaxScale;
    for (Placed &p : placed) {
        if (!p.drawing.box.any) continue;
        const Box &b = p.drawing.box;
        const double size = std::max({b.x1 - b.x0, b.y1 - b.y0, 1e-3});
        p.scale = scale;
        if (size * scale > kMaxDrawing * (1 + 1e-9)) {
            p.scale = kMaxDrawing / size;
            p.to_scale = false;
            p.drawing.warnings.push_back("drawn smaller than the others: not to scale");
        }
        p.width = std::max(b.x1 - b.x0, 1e-3) * p.scale + 2 * kPadding;
        p.height = std::max(b.y1 - b.y0, 1e-3) * p.scale + 2 * kPadding;
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const Placed &a, const Placed &b) { return a.height > b.height; });

    // rows: the cells' widths, each row's height
    struct Row {
        size_t first = 0, end = 0;
        int height = 0;
    };
    std::vector<Row> rows;
    std::vector<int> widths(n);
    int page_width = kCellWidth + 8, x = 0;
    for (size_t k = 0; k < n; ++k) {
        widths[k] = std::max(kCellWidth, static_cast<int>(std::ceil(placed[k].width)) + 20);
        if (rows.empty() || (x + widths[k] > kRowWidth && x > 0)) {
            rows.push_back({k, k, 0});
            x = 0;
        }
        x += widths[k];
        page_width = std::max(page_width, x + 8);
        rows.back().end = k + 1;
        rows.back().height = std::max({rows.back().height, kDrawTop + 40,
                                       kDrawTop + static_cast<int>(std::ceil(placed[k].height)) + 18});
    }
    int page_height = kScaledTop + (rows.empty() ? kCellHeight : 0);
    for (const Row &r : rows) page_height += r.height;

    std::string out;
    open_document(out, page_width, page_height, title, count, true, marked);
    scale_bar(out, scale);
    if (n == 0) out += "<text class=\"dims\" x=\"12\" y=\"110\">the file holds no tools</text>\n";
    int y = kScaledTop;
    for (const Row &r : rows) {
        x = 4;
        for (size_t k = r.first; k < r.end; ++k) {
            const Placed &p = placed[k];
            const Tool &t = library.tools[p.tool];
            open_cell(out, t, p.tool, x, y, widths[k], r.height, marks[p.tool], p.drawing.warnings);
            if (!p.drawing.box.any) {
                nothing_to_draw(out);
            } else {
                // centred in its cell, standing on the row's floor
                const double left = (widths[k] - 8 - p.width) / 2, top = r.height - 18 - p.height;
                draw_outlines(out, p.drawing, p.drawing.box, kPadding / p.scale,
                              "x=\"" + num(left) + "\" y=\"" + num(top) + "\" width=\"" + num(p.width) +
                                  "\" height=\"" + num(p.height) + "\"",
                              1.0 / p.scale, &t);
            }
            x += widths[k];
        }
        y += r.height;
    }
    out += "</svg>\n";
    return out;
}

// The shape as outline_texts writes it.
std::string shape_text(const Shape &s) {
    std::string out;
    auto add = [&out](double v) {
        if (!out.empty()) out += ' ';
        const size_t at = out.size();
        append_fixed(out, std::round(v * 1000) / 1000, 3);
        while (out.back() == '0') out.pop_back();
        if (out.back() == '.') out.pop_back();
        if (out.compare(at, std::string::npos, "-0") == 0) out.erase(at, 1);
    };
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i].arc && i > 0) {
            out += out.empty() ? "a" : " a";
            add(s[i].radius);
            add(s[i].ccw ? 1 : 0);
        }
        add(s[i].p.x);
        add(s[i].p.y);
    }
    return out;
}

}  // namespace

std::string markup_text(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

OutlineTexts outline_texts(const Tool &tool) {
    const ToolDrawing d = prepare(tool);
    return {shape_text(d.cutter), shape_text(d.holder)};
}

std::string render_preview(const Library &library, const std::vector<Problem> &problems, const std::string &title,
                           const PreviewOptions &options) {
    const size_t n = library.tools.size();
    std::vector<CellMarks> marks = problem_marks(library, problems);
    size_t added = 0, replaced = 0;
    for (size_t i = 0; i < n && i < options.marks.size(); ++i) {
        marks[i].mark = options.marks[i];
        added += options.marks[i] == ToolMark::added;
        replaced += options.marks[i] == ToolMark::replaced;
    }
    std::string count = std::to_string(n) + (n == 1 ? " tool" : " tools") + ", " +
                        (problems.empty() ? std::string("no problems")
                                          : std::to_string(problems.size()) +
                                                (problems.size() == 1 ? " problem" : " problems"));
    if (!options.against.empty())
        count += "; against " + options.against + ": " + std::to_string(replaced) + " replaced, " +
                 std::to_string(added) + " added";
    const bool marked = !options.against.empty();
    if (options.scale == PreviewScale::one) return render_one_scale(library, marks, title, count, marked);

    const int columns = n == 0 ? 1 : static_cast<int>(std::min<size_t>(n, kColumns));
    const int rows = static_cast<int>((n + kColumns - 1) / kColumns);
    const int width = columns * kCellWidth + 8;
    const int height = kTop + std::max(rows, 1) * kCellHeight;
    std::string out;
    open_document(out, width, height, title, count, false, marked);
    if (n == 0) out += "<text class=\"dims\" x=\"12\" y=\"80\">the file holds no tools</text>\n";
    for (size_t i = 0; i < n; ++i) {
        int col = static_cast<int>(i % kColumns), row = static_cast<int>(i / kColumns);
        render_tool(out, library.tools[i], i, 4 + col * kCellWidth, kTop + row * kCellHeight, marks[i]);
    }
    out += "</svg>\n";
    return out;
}

}  // namespace tlsfile
