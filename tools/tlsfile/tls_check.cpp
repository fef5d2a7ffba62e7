#include "tools/tlsfile/tls_check.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "host/common/cp1251.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/number_text.h"

namespace tlsfile {

std::string format_number(double value) {
    std::string s;
    append_number(s, value);
    return s;
}

namespace {

std::string point_text(double x, double y) { return "(" + format_number(x) + "," + format_number(y) + ")"; }

class Checker {
public:
    Checker(std::vector<Problem> &out, size_t &beyond) : out_(out), beyond_(beyond) {}
    void tool(const Tool &t);

private:
    void add(const Tool &t, int line, const std::string &message) {
        add_problem(out_, beyond_, {line, t.name, message});
    }
    void outline(const Tool &t, const Outline &o, const char *what, bool holder);
    void magnitudes(const Tool &t, int line, const char *what, std::initializer_list<double> values);
    void cutter_size(const Tool &t);
    std::vector<Problem> &out_;
    size_t &beyond_;
};

void Checker::tool(const Tool &t) {
    // A damaged record was cut off by its first fault; what is missing from
    // it is not a problem of its own.  Records may leave out their head lines
    // (a hand-made record often does); a cutter must have a shape.
    bool whole = t.damaged_line == 0;
    if (whole) {
        if (t.has_cutter && t.tooltype != "MILLING")
            add(t, t.cutter_line, "a CUTTER block needs TOOLTYPE MILLING in its record");
        if (t.tooltype == "MILLING" && !t.has_cutter)
            add(t, t.tooltype_line, "TOOLTYPE MILLING without a CUTTER block");
        // TOOLTYPE TURNING alone is the placeholder of a tool without a shape
        if (t.tooltype.empty() && !t.has_cutter)
            add(t, t.line, "the record has neither TOOLTYPE nor a CUTTER block: the simulator gets no cutter");
    }
    if (!t.units.empty() && t.units != kMillimeter && t.units != kInch)
        add(t, t.units_line, "unknown UNITS " + t.units);
    if (!t.tooltype.empty() && t.tooltype != "MILLING" && t.tooltype != "TURNING")
        add(t, t.tooltype_line, "unknown TOOLTYPE " + t.tooltype);
    if (!t.stack.empty() && t.stack != "YES" && t.stack != "NO")
        add(t, t.stack_line, "unknown STACK value " + t.stack);
    if (t.has_gage) magnitudes(t, t.gage_line, "GAGEPOINT_OFFSET", {t.gage[0], t.gage[1], t.gage[2]});
    if (t.has_flute_length) magnitudes(t, t.flute_length_line, "FLUTE_LENGTH", {t.flute_length});
    if (t.has_shank_diameter) magnitudes(t, t.shank_diameter_line, "SHANK_DIAMETER", {t.shank_diameter});
    for (double v : t.standard) magnitudes(t, t.standard_line, "STANDARD", {v});

    if (t.has_cutter) {
        if (whole && t.standard.empty() && !t.cutter_outline.present)
            add(t, t.cutter_line, "the CUTTER block has neither STANDARD values nor a SOR outline");
        if (!t.standard.empty() && t.cutter_outline.present)
            add(t, t.cutter_outline.line, "the CUTTER block has both STANDARD values and a SOR outline");
        if (t.form == Form::unknown && t.cutter_type_line)
            add(t, t.cutter_type_line, "unknown CUTTER_TYPE \"" + t.cutter_type + "\"");
        if (!t.standard.empty() && t.form != Form::unknown) {
            size_t want = t.form == Form::apt10 ? 10 : 7;
            if (t.standard.size() != want)
                add(t, t.standard_line,
                    std::string("STANDARD of the ") + form_name(t.form) + " form needs " + std::to_string(want) +
                        " values, found " + std::to_string(t.standard.size()));
        }
        outline(t, t.cutter_outline, "cutter", false);
        cutter_size(t);
    }
    if (t.has_holder) {
        if (whole && !t.holder_outline.present) add(t, t.holder_line, "the HOLDER block has no SOR outline");
        outline(t, t.holder_outline, "holder", true);
    }
}

// One problem per line: the first value whose size no tool has.
void Checker::magnitudes(const Tool &t, int line, const char *what, std::initializer_list<double> values) {
    for (double v : values) {
        if (std::isfinite(v) && std::fabs(v) > kMaxMagnitude) {
            add(t, line, std::string(what) + " value " + format_number(v) + " is beyond 10^6 in size");
            return;
        }
    }
}

// The cutter's diameter and length must be positive, a drill's point angle
// between 0 and 180 degrees.  Values cut short or not finite have been
// reported already.
void Checker::cutter_size(const Tool &t) {
    double d = 0, l = 0;
    int line = 0;
    const std::vector<double> &v = t.standard;
    if (t.form == Form::sor) {
        const Outline &o = t.cutter_outline;
        bool points = false;
        for (const OutlineItem &p : o.items) {
            if (p.kind != OutlineItem::point) continue;
            l = points ? std::max(l, p.y) : p.y;
            points = true;
        }
        if (!o.closed || !o.finite || !points) return;  // reported with the outline
        d = 2.0 * outline_max_radius(o);
        line = o.line;
    } else if (t.form != Form::none && t.form != Form::turning && t.form != Form::unknown) {
        if (!t.standard_finite || v.size() != (t.form == Form::apt10 ? 10u : 7u)) return;
        d = v[0];
        l = v[6];
        line = t.standard_line;
        double point = 180.0 - 2.0 * v[4];
        if (t.form == Form::drill && !(point > 0 && point < 180))
            add(t, line, "drill point angle " + format_number(point) + " deg is not between 0 and 180 deg");
    } else {
        return;
    }
    if (!(d > 0)) add(t, line, "cutter diameter " + format_number(d) + " is not positive");
    if (!(l > 0)) add(t, line, "cutter length " + format_number(l) + " is not positive");
    if (t.has_flute_length && t.flute_length > l && l > 0)
        add(t, t.flute_length_line,
            "FLUTE_LENGTH " + format_number(t.flute_length) + " is longer than the cutter (L " + format_number(l) +
                ")");
}

void Checker::outline(const Tool &t, const Outline &o, const char *what, bool holder) {
    // An outline cut short by a fault or holding non-finite numbers has been
    // reported already; measuring it would only repeat that.
    if (!o.present || !o.closed || !o.finite) return;
    const std::string name = what;
    std::vector<const OutlineItem *> points;
    for (const OutlineItem &item : o.items)
        if (item.kind == OutlineItem::point) points.push_back(&item);
    if (points.empty()) {
        add(t, o.line, "the " + name + " outline has no points");
        return;
    }
    for (const OutlineItem &item : o.items)
        magnitudes(t, item.line, item.kind == OutlineItem::arc ? "ARC" : "PTS", {item.x, item.y, item.r});
    const OutlineItem &first = *points.front();
    const OutlineItem &last = *points.back();
    if (std::fabs(first.x) > kAxisTolerance)
        add(t, first.line, "the " + name + " outline does not start on the axis: first point " +
                               point_text(first.x, first.y));
    if (std::fabs(last.x) > kAxisTolerance)
        add(t, last.line, "the " + name + " outline does not end on the axis: last point " +
                              point_text(last.x, last.y));

    for (size_t i = 0; i < o.items.size(); ++i) {
        const OutlineItem &arc = o.items[i];
        if (arc.kind != OutlineItem::arc) continue;
        const OutlineItem *before = i > 0 ? &o.items[i - 1] : nullptr;
        const OutlineItem *after = i + 1 < o.items.size() ? &o.items[i + 1] : nullptr;
        if (!before || before->kind != OutlineItem::point) {
            add(t, arc.line, "ARC in the " + name + " outline has no point before it");
            continue;
        }
        if (!after || after->kind != OutlineItem::point) {
            add(t, arc.line, "ARC in the " + name + " outline has no point after it");
            continue;
        }
        std::string off;
        for (const OutlineItem *p : {before, after}) {
            double miss = std::fabs(std::hypot(p->x - arc.x, p->y - arc.y) - std::fabs(arc.r));
            if (miss > kArcTolerance) {
                off += std::string(off.empty() ? "" : "; ") + (p == before ? "the point before " : "the point after ") +
                       point_text(p->x, p->y) + " (line " + std::to_string(p->line) + ") is ";
                append_fixed(off, miss, 6, 63);
                off += " off it";
            }
        }
        if (!off.empty())
            add(t, arc.line, "ARC " + point_text(arc.x, arc.y) + " radius " + format_number(arc.r) + " in the " +
                                 name + " outline: " + off);
    }

    if (holder) {
        // Radii of a holder are never negative: a point across the axis or
        // a fillet of negative radius comes from a section's bad values.
        const OutlineItem *across = nullptr;
        int more = 0;
        for (const OutlineItem &item : o.items) {
            if (item.kind == OutlineItem::arc && item.r < 0)
                add(t, item.line,
                    "ARC " + point_text(item.x, item.y) + " in the holder outline has a negative radius " +
                        format_number(item.r));
            if (item.kind == OutlineItem::point && item.x < -kAxisTolerance) {
                if (across) ++more;
                else across = &item;
            }
        }
        if (across)
            add(t, across->line,
                "the holder outline has a negative radius at point " + point_text(across->x, across->y) +
                    (more ? " and " + std::to_string(more) + " more" : std::string()));
        // The holder begins on the axis at its origin and, with an offset, at
        // the offset point; its own start is the first point off the axis.
        size_t start = 0;
        while (start < points.size() && std::fabs(points[start]->x) <= kAxisTolerance) ++start;
        if (start == points.size()) {
            add(t, o.line, "the holder outline never leaves the axis: it has no section to draw");
            return;
        }
        const double start_y = points[start]->y;
        const OutlineItem *lowest = nullptr;
        int below = 0;
        for (size_t k = start + 1; k < points.size(); ++k) {
            if (points[k]->y < start_y - kAxisTolerance) {
                ++below;
                if (!lowest) lowest = points[k];
            }
        }
        if (lowest)
            add(t, lowest->line, "the holder is drawn below its own start " + point_text(points[start]->x, start_y) +
                                     " (line " + std::to_string(points[start]->line) + "): point " +
                                     point_text(lowest->x, lowest->y) +
                                     (below > 1 ? " and " + std::to_string(below - 1) + " more" : std::string()));
    }
}

// Appends "label v unit" to s, after ", " unless s has grown no longer
// than start.
void append(std::string &s, size_t start, const char *label, double v, const char *unit = "") {
    if (s.size() > start) s += ", ";
    s += label;
    s += ' ';
    append_number(s, v);
    s += unit;
}

}  // namespace

namespace {

// What the records say together, in file order.  The simulator finds a tool
// by its TOOLID: an empty one names nothing, and of two records with one
// name only one is ever used.  A record cut off at its TOOLID line has no
// name to judge.  A library in millimetres and inches at once is named at
// the first record of the fewer kind, once all are seen.
class Across {
public:
    void tool(const Tool &t, std::vector<Problem> &out, size_t &beyond) {
        const bool inch = t.units == kInch, mm = !inch && t.units == kMillimeter;
        if (inch || mm) {
            Units &u = inch ? inch_ : mm_;
            if (u.records++ == 0) u.first = {t.units_line, t.name, ""};
        }
        if (t.damaged_line == t.line) return;
        if (t.name.empty()) {
            add_problem(out, beyond, {t.line, t.name, "empty TOOLID: the record has no name"});
            return;
        }
        auto [first, added] = first_line_.emplace(t.name, t.line);
        if (!added)
            add_problem(out, beyond,
                        {t.line, t.name,
                         "the TOOLID is used twice: lines " + std::to_string(first->second) + " and " +
                             std::to_string(t.line)});
    }
    void finish(std::vector<Problem> &out, size_t &beyond) {
        if (!mm_.records || !inch_.records) return;
        const bool inch_fewer =
            inch_.records < mm_.records || (inch_.records == mm_.records && inch_.first.line > mm_.first.line);
        Problem p = (inch_fewer ? inch_ : mm_).first;
        p.message = "mixed units: " + std::to_string(mm_.records) + (mm_.records == 1 ? " record" : " records") +
                    " in MILLIMETER and " + std::to_string(inch_.records) + " in INCH; this is the first in " +
                    (inch_fewer ? "INCH" : "MILLIMETER");
        add_problem(out, beyond, std::move(p));
    }

private:
    struct Units {
        size_t records = 0;
        Problem first;  // its first record's UNITS line and name
    };
    std::unordered_map<std::string, int> first_line_;
    Units mm_, inch_;
};

void sort_by_line(std::vector<Problem> &problems) {
    std::stable_sort(problems.begin(), problems.end(),
                     [](const Problem &a, const Problem &b) { return a.line < b.line; });
}

}  // namespace

std::vector<Problem> check_library(const Library &library, size_t *beyond_out) {
    std::vector<Problem> problems = library.problems;
    size_t beyond = library.problems_beyond;
    Checker checker(problems, beyond);
    for (const Tool &t : library.tools) checker.tool(t);
    Across across;
    for (const Tool &t : library.tools) across.tool(t, problems, beyond);
    across.finish(problems, beyond);
    sort_by_line(problems);
    if (beyond_out) *beyond_out = beyond;
    return problems;
}

CheckResult check_source(const Source &source) {
    CheckResult r;
    r.readable = true;
    r.library = parse_source(source);
    r.problems = check_library(r.library, &r.problems_beyond);
    return r;
}

CheckResult check_text(const std::string &text) { return check_source(source_of("", text)); }

CheckResult check_file(const std::string &path) {
    Source source;
    std::string error;
    if (!read_source(path, source, error, kMaxLibraryBytes)) {
        CheckResult r;
        r.read_error = error;
        return r;
    }
    return check_source(source);
}

int exit_code(const CheckResult &result) {
    if (!result.readable) return kExitUnreadable;
    return result.problems.empty() ? kExitClean : kExitProblems;
}

namespace {

// The summary of tool_summary, appended to out; with shown, a CUTTER_TYPE
// text in it as a report shows it (UTF-8, control bytes escaped).
void append_tool_summary(std::string &out, const Tool &t, bool shown = false) {
    out += form_name(t.form);
    out += ": ";
    // the dimensions, separated by ", "
    const size_t start = out.size();
    auto dim = [&](const char *label, double v, const char *unit = "") { append(out, start, label, v, unit); };
    const std::vector<double> &v = t.standard;
    auto flute = [&] {
        if (t.has_flute_length) dim("flute", t.flute_length);
    };
    switch (t.form) {
    case Form::flat_end:
    case Form::bull_nose:
    case Form::ball_end:
    case Form::seven_value:
    case Form::apt10:
    case Form::drill: {
        size_t want = t.form == Form::apt10 ? 10 : 7;
        if (v.size() != want) {
            out += std::to_string(v.size());
            out += " STANDARD values";
            break;
        }
        dim("D", v[0]);
        if (t.form == Form::drill) {
            dim("point", 180.0 - 2.0 * v[4], " deg");
        } else if (t.form == Form::bull_nose || t.form == Form::ball_end) {
            dim("R", v[1]);
        } else if (t.form == Form::seven_value || t.form == Form::apt10) {
            dim("R", v[1]);
            dim("E", v[2]);
            dim("F", v[3]);
            dim("tip", v[4], " deg");
            dim("taper", v[5], " deg");
        }
        dim("L", v[6]);
        if (t.form == Form::apt10) {
            dim("R2", v[7]);
            dim("E2", v[8]);
            dim("F2", v[9]);
        }
        flute();
        break;
    }
    case Form::sor: {
        double max_x = outline_max_radius(t.cutter_outline), max_y = 0;
        for (const OutlineItem &p : t.cutter_outline.items)
            if (p.kind == OutlineItem::point) max_y = std::max(max_y, p.y);
        dim("D", 2.0 * max_x);
        dim("L", max_y);
        flute();
        if (t.has_shank_diameter) dim("shank", t.shank_diameter);
        break;
    }
    case Form::turning: out += "no cutter geometry"; break;
    case Form::none: out += "no cutter block"; break;
    case Form::unknown:
        if (t.cutter_type_line) {
            out += "CUTTER_TYPE \"";
            if (shown) kesto::append_cp1251_as_shown(out, t.cutter_type);
            else out += t.cutter_type;
            out += '"';
        } else {
            out += "no STANDARD values";
        }
        break;
    }
}

// The summary of holder_summary after before, appended to out; nothing for
// a tool without holder outline.
void append_holder_summary(std::string &out, const Tool &t, const char *before) {
    // The origin and the offset point lie on the axis below the body; the
    // holder's extent is that of its points off the axis and its top point.
    const Outline &o = t.holder_outline;
    const OutlineItem *top = nullptr;
    for (const OutlineItem &p : o.items)
        if (p.kind == OutlineItem::point) top = &p;
    if (!top) return;
    double max_x = 0, low = top->y, high = top->y;
    for (const OutlineItem &p : o.items) {
        if (p.kind != OutlineItem::point || std::fabs(p.x) <= kAxisTolerance) continue;
        max_x = std::max(max_x, p.x);
        low = std::min(low, p.y);
        high = std::max(high, p.y);
    }
    out += before;
    out += "holder: D ";
    append_number(out, 2.0 * max_x);
    out += ", from ";
    append_number(out, low);
    out += " to ";
    append_number(out, high);
}

}  // namespace

std::string tool_summary(const Tool &t) {
    std::string out;
    append_tool_summary(out, t);
    return out;
}

std::string holder_summary(const Tool &t) {
    std::string out;
    append_holder_summary(out, t, "");
    return out;
}

namespace {

void append_problem(std::string &out, const Problem &p, const std::string &file_label) {
    out += kesto::utf8_shown(file_label);
    out += ':';
    out += std::to_string(p.line);
    out += ": ";
    if (!p.tool.empty()) {
        out += "tool \"";
        kesto::append_cp1251_as_shown(out, p.tool);
        out += "\": ";
    }
    kesto::append_cp1251_as_shown(out, p.message);
    out += '\n';
}

}  // namespace

std::string format_problem(const Problem &p, const std::string &file_label) {
    std::string out;
    append_problem(out, p, file_label);
    return out;
}

namespace {

// "  line 4: "EM10" flat end: D 10, L 75; holder: D 40, from 0 to 70"
void append_tool_line(std::string &out, const Tool &t) {
    out += "  line ";
    out += std::to_string(t.line);
    out += ": \"";
    kesto::append_cp1251_as_shown(out, t.name);
    out += "\" ";
    append_tool_summary(out, t, true);
    append_holder_summary(out, t, "; ");
    if (!t.units.empty() && t.units != kMillimeter) {
        out += "; units ";
        out += t.units;
    }
    if (t.damaged_line) {
        out += " (record damaged at line ";
        out += std::to_string(t.damaged_line);
        out += ')';
    }
    out += '\n';
}

std::string report_head(const std::string &file_label, size_t tools) {
    return kesto::utf8_shown(file_label) + ": " + std::to_string(tools) + (tools == 1 ? " tool" : " tools") + "\n";
}

void append_problems_and_count(std::string &out, const std::vector<Problem> &problems, size_t beyond,
                               const std::string &file_label) {
    for (const Problem &p : problems) append_problem(out, p, file_label);
    const size_t n = problems.size() + beyond;
    if (n == 0)
        out += "no problems\n";
    else
        out += std::to_string(n) + (n == 1 ? " problem" : " problems") +
               (beyond ? " (the first " + std::to_string(problems.size()) + " are listed)\n" : "\n");
}

}  // namespace

std::string format_report(const CheckResult &r, const std::string &file_label) {
    if (!r.readable) return kesto::utf8_shown(file_label) + ": cannot be read: " + kesto::utf8_shown(r.read_error) + "\n";
    const Library &lib = r.library;
    std::string out;
    out.reserve(128 * (lib.tools.size() + r.problems.size()));  // about a line each
    out += report_head(file_label, lib.tools.size());
    for (const Tool &t : lib.tools) append_tool_line(out, t);
    append_problems_and_count(out, r.problems, r.problems_beyond, file_label);
    return out;
}

namespace {

// The report of a library that read hands record by record to done; false
// when read fails.  Each record is checked and put in the report as soon as
// it is read, and not kept.  The problems come together as check_library
// has them: the reader's, then the records' own, then those of their names,
// so that the same ones are listed when there are too many to list.
bool make_report(const std::function<bool(Library &, const std::function<void(Tool &)> &)> &read,
                 const std::string &file_label, std::string &report, bool &clean) {
    std::vector<Problem> own, named;
    size_t own_beyond = 0, named_beyond = 0, tools = 0;
    Checker checker(own, own_beyond);
    Across across;
    std::string lines;
    Library lib;
    auto done = [&](Tool &t) {
        ++tools;
        checker.tool(t);
        across.tool(t, named, named_beyond);
        append_tool_line(lines, t);
    };
    if (!read(lib, done)) return false;
    across.finish(named, named_beyond);
    std::vector<Problem> problems = std::move(lib.problems);
    size_t beyond = lib.problems_beyond;
    for (std::vector<Problem> *list : {&own, &named})
        for (Problem &p : *list) add_problem(problems, beyond, std::move(p));
    beyond += own_beyond + named_beyond;
    sort_by_line(problems);
    lines.insert(0, report_head(file_label, tools));  // in place: a large report is not held twice
    report = std::move(lines);
    append_problems_and_count(report, problems, beyond, file_label);
    clean = problems.empty();
    return true;
}

}  // namespace

bool report_file(const std::string &path, const std::string &file_label, std::string &report, bool &clean,
                 std::string &error) {
    Source source;
    if (!read_source(path, source, error, kMaxLibraryBytes)) return false;
    report = report_source(source, file_label, clean);
    return true;
}

std::string report_source(const Source &source, const std::string &file_label, bool &clean) {
    std::string report;
    make_report([&](Library &lib, const std::function<void(Tool &)> &done) {
        Problem p;
        const bool encoded = encoding_problem(source, p);
        lib = parse_tls_records(source.text, [&](Tool &t) {
            if (encoded && t.line <= p.line) p.tool = t.name;  // the record whose lines hold it
            done(t);
        });
        if (encoded) add_encoding_problem(lib, std::move(p));
        return true;
    }, file_label, report, clean);
    return report;
}

std::string report_text(const std::string &text, const std::string &file_label, bool &clean) {
    return report_source(source_of("", text), file_label, clean);
}

}  // namespace tlsfile
