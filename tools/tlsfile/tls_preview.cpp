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
// UTF-8, markup characters escaped, control characters (not allowed in XML)
// shown as '?'.
std::string xml_text(const std::string &raw) {
    std::string utf8 = kesto::cp1251_to_utf8(raw);
    std::string out;
    for (char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') out += '?';
            else out += c;
        }
    }
    return out;
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

// No tool's outline has this many points and arcs; a longer one is not
// drawn, so that a damaged file cannot make the drawing huge.
constexpr size_t kMaxDrawnItems = 10000;

void render_tool(std::string &out, const Tool &t, size_t index, int x, int y, int problem_count, int first_line) {
    Shape cutter;
    bool cutter_broken = false;
    const bool cutter_too_long = t.cutter_outline.items.size() > kMaxDrawnItems;
    const bool holder_too_long = t.holder_outline.items.size() > kMaxDrawnItems;
    if (t.has_cutter && !cutter_too_long) {
        if (t.form == Form::sor)
            cutter = outline_shape(t.cutter_outline, 0);
        else if (!t.standard.empty() && t.form != Form::unknown)
            cutter = standard_shape(t.standard);
        cutter_broken = discard_undrawable(cutter);
    }
    // With STACK YES the holder stands on the cutter: its origin is at the
    // cutter's top, and an offset lowers it over the cutter from there.
    double shift = 0;
    if (t.stack == "YES")
        for (const Vertex &v : cutter) shift = std::max(shift, v.p.y);
    Shape holder;
    bool holder_broken = false;
    if (t.holder_outline.present && !holder_too_long) {
        holder = outline_shape(t.holder_outline, shift);
        holder_broken = discard_undrawable(holder);
    }

    out += "<g class=\"tool\" id=\"tool-" + std::to_string(index + 1) + "\" transform=\"translate(" +
           std::to_string(x) + "," + std::to_string(y) + ")\">\n";
    out += std::string("<rect class=\"") + (problem_count ? "cell bad" : "cell") + "\" x=\"0\" y=\"0\" width=\"" +
           std::to_string(kCellWidth - 8) + "\" height=\"" + std::to_string(kCellHeight - 8) + "\"/>\n";
    int ty = 20;
    out += "<text class=\"name\" x=\"10\" y=\"" + std::to_string(ty) + "\">" + xml_text(t.name) + "</text>\n";
    struct Line {
        std::string text;
        bool warn;
    };
    std::vector<Line> lines;
    for (const std::string &l : wrap(tool_summary(t), 44)) lines.push_back({l, false});
    for (const std::string &l : wrap(holder_summary(t), 44)) lines.push_back({l, false});
    if (problem_count)
        lines.push_back({std::to_string(problem_count) + (problem_count == 1 ? " problem" : " problems") +
                             ", first at line " + std::to_string(first_line),
                         true});
    if (cutter_broken) lines.push_back({"cutter not drawn: its values make no outline", true});
    if (holder_broken) lines.push_back({"holder not drawn: its values make no outline", true});
    for (const char *part : {cutter_too_long ? "cutter" : nullptr, holder_too_long ? "holder" : nullptr})
        if (part)
            lines.push_back({std::string(part) + " not drawn: more than " + std::to_string(kMaxDrawnItems) + " points",
                             true});
    for (const Line &l : lines) {
        ty += 15;
        if (ty > kDrawTop - 4) break;
        out += std::string("<text class=\"") + (l.warn ? "dims warn" : "dims") + "\" x=\"10\" y=\"" +
               std::to_string(ty) + "\">" + xml_text(l.text) + "</text>\n";
    }

    Box box;
    add_extent(box, cutter);
    add_extent(box, holder);
    if (!box.any) {
        out += "<text class=\"dims\" x=\"10\" y=\"" + std::to_string(kDrawTop + 20) + "\">nothing to draw</text>\n";
        out += "</g>\n";
        return;
    }
    double w = std::max(box.x1 - box.x0, 1e-3), hgt = std::max(box.y1 - box.y0, 1e-3);
    double pad = 0.05 * std::max(w, hgt);
    // viewBox in SVG coordinates: heights negated
    std::string view = num(box.x0 - pad) + " " + num(-box.y1 - pad) + " " + num(w + 2 * pad) + " " +
                       num(hgt + 2 * pad);
    // line widths in the drawing's own units, so that every tool's lines
    // look alike whatever its size
    const double area_w = kCellWidth - 28, area_h = kCellHeight - kDrawTop - 18;
    const double unit = 1.0 / std::min(area_w / (w + 2 * pad), area_h / (hgt + 2 * pad));
    out += "<svg x=\"10\" y=\"" + std::to_string(kDrawTop) + "\" width=\"" + num(area_w) + "\" height=\"" +
           num(area_h) + "\" viewBox=\"" + view + "\" preserveAspectRatio=\"xMidYMax meet\">\n";
    const std::string width = "\" stroke-width=\"" + num(unit) + "\"";
    if (!holder.empty()) out += "<path class=\"holder\" d=\"" + path_data(holder) + width + "/>\n";
    if (!cutter.empty()) out += "<path class=\"cutter\" d=\"" + path_data(cutter) + width + "/>\n";
    out += "<line class=\"axis\" x1=\"0\" y1=\"" + num(-box.y1 - pad) + "\" x2=\"0\" y2=\"" + num(-box.y0 + pad) +
           width + " stroke-dasharray=\"" + num(6 * unit) + " " + num(3 * unit) + "\"/>\n";
    out += "</svg>\n</g>\n";
}

}  // namespace

std::string render_preview(const Library &library, const std::vector<Problem> &problems, const std::string &title) {
    const size_t n = library.tools.size();
    const int columns = n == 0 ? 1 : static_cast<int>(std::min<size_t>(n, kColumns));
    const int rows = static_cast<int>((n + kColumns - 1) / kColumns);
    const int width = columns * kCellWidth + 8;
    const int height = kTop + std::max(rows, 1) * kCellHeight;

    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) + "\" height=\"" +
           std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
           "\">\n";
    out += "<title>" + xml_text(title) + "</title>\n";
    out += "<style>\n"
           "text { font-family: sans-serif; font-size: 11px; fill: #222; }\n"
           "text.name { font-size: 13px; font-weight: bold; }\n"
           "text.head { font-size: 15px; font-weight: bold; }\n"
           "text.warn { fill: #b00; }\n"
           "rect.cell { fill: #fafafa; stroke: #ccc; }\n"
           "rect.bad { stroke: #d00; stroke-width: 2; }\n"
           ".cutter { fill: #f0a040; fill-opacity: 0.9; stroke: #8a4a00; }\n"
           ".holder { fill: #7094cc; fill-opacity: 0.9; stroke: #1f3f73; }\n"
           ".axis { stroke: #666; }\n"
           "</style>\n";
    out += "<rect x=\"0\" y=\"0\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) +
           "\" fill=\"#fff\"/>\n";
    out += "<text class=\"head\" x=\"12\" y=\"24\">" + xml_text(title) + "</text>\n";
    std::string count = std::to_string(n) + (n == 1 ? " tool" : " tools") + ", " +
                        (problems.empty() ? std::string("no problems")
                                          : std::to_string(problems.size()) +
                                                (problems.size() == 1 ? " problem" : " problems"));
    out += "<text class=\"dims\" x=\"12\" y=\"42\">" + count + "</text>\n";
    out += "<rect class=\"cutter\" x=\"" + std::to_string(width - 170) + "\" y=\"14\" width=\"14\" height=\"14\"/>"
           "<text class=\"dims\" x=\"" + std::to_string(width - 150) + "\" y=\"26\">cutter</text>\n";
    out += "<rect class=\"holder\" x=\"" + std::to_string(width - 100) + "\" y=\"14\" width=\"14\" height=\"14\"/>"
           "<text class=\"dims\" x=\"" + std::to_string(width - 80) + "\" y=\"26\">holder</text>\n";
    if (n == 0) out += "<text class=\"dims\" x=\"12\" y=\"80\">the file holds no tools</text>\n";

    // A problem belongs to the record whose lines it falls in.  Records and
    // problems both run in line order, so each record takes its problems
    // from where the one before it stopped.
    std::vector<Problem> sorted;
    const std::vector<Problem> *by_line = &problems;
    if (!std::is_sorted(problems.begin(), problems.end(),
                        [](const Problem &a, const Problem &b) { return a.line < b.line; })) {
        sorted = problems;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const Problem &a, const Problem &b) { return a.line < b.line; });
        by_line = &sorted;
    }
    size_t next_problem = 0;
    for (size_t i = 0; i < n; ++i) {
        const Tool &t = library.tools[i];
        int next_line = i + 1 < n ? library.tools[i + 1].line : library.line_count + 1;
        int count_here = 0, first_line = 0;
        while (next_problem < by_line->size() && (*by_line)[next_problem].line < t.line) ++next_problem;
        for (; next_problem < by_line->size() && (*by_line)[next_problem].line < next_line; ++next_problem) {
            if (!count_here) first_line = (*by_line)[next_problem].line;
            ++count_here;
        }
        int col = static_cast<int>(i % kColumns), row = static_cast<int>(i / kColumns);
        render_tool(out, t, i, 4 + col * kCellWidth, kTop + row * kCellHeight, count_here, first_line);
    }
    out += "</svg>\n";
    return out;
}

}  // namespace tlsfile
