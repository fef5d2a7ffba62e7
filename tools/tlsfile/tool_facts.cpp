#include "tools/tlsfile/tool_facts.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/tlsfile/number_text.h"
#include "tools/tlsfile/tls_check.h"

namespace tlsfile {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

struct KindNames {
    Kind kind;
    const char *word, *label, *shop;
};
constexpr KindNames kKindNames[] = {
    {Kind::flat_end, "flat-end", "flat end", "end mill"},
    {Kind::bull_nose, "bull-nose", "bull nose", "bull-nose mill"},
    {Kind::ball, "ball", "ball end", "ball-nose mill"},
    {Kind::drill, "drill", "drill", "drill"},
    {Kind::apt10, "apt10", "APT 10", "form mill"},
    {Kind::seven_value, "seven-value", "seven-value", "form mill"},
    {Kind::barrel, "barrel", "SOR outline, barrel", "barrel mill"},
    {Kind::t_cutter, "t-cutter", "SOR outline, T-cutter", "T-slot cutter"},
    {Kind::profile, "profile", "SOR outline", "form cutter"},
    {Kind::turning, "turning", "turning", "turning tool"},
    {Kind::none, "none", "no cutter", "no cutter"},
    {Kind::unknown, "unknown", "unknown cutter type", "unknown cutter"},
};

const KindNames &names(Kind kind) {
    for (const KindNames &n : kKindNames)
        if (n.kind == kind) return n;
    return kKindNames[std::size(kKindNames) - 1];
}

// A barrel's side is an arc wider than the cutter itself; a T-cutter's
// head stands out over a narrower neck: somewhere below the top the
// outline steps inwards.
Kind outline_kind(const Outline &o) {
    const double widest = outline_max_radius(o);
    double top = 0;
    for (const OutlineItem &p : o.items)
        if (p.kind == OutlineItem::point) top = std::max(top, p.y);
    for (const OutlineItem &p : o.items)
        if (p.kind == OutlineItem::arc && std::fabs(p.r) >= widest && widest > 0) return Kind::barrel;
    const OutlineItem *before = nullptr;
    for (const OutlineItem &p : o.items) {
        if (p.kind != OutlineItem::point) {
            before = nullptr;
            continue;
        }
        if (before && p.y == before->y && p.y < top && p.x < before->x && p.x > kAxisTolerance)
            return Kind::t_cutter;
        before = &p;
    }
    return Kind::profile;
}

bool standard_form(Form form) {
    switch (form) {
    case Form::flat_end:
    case Form::bull_nose:
    case Form::ball_end:
    case Form::seven_value:
    case Form::apt10:
    case Form::drill: return true;
    default: return false;
    }
}

// The sections of a holder outline: a run of rising pieces (straight or
// arcs) between two level or falling ones.  Pieces on the axis (the
// origin and offset points) are left out.
std::vector<HolderSection> holder_sections(const Outline &o) {
    std::vector<HolderSection> out;
    bool open = false, sided = false;
    HolderSection s;
    auto close = [&] {
        if (open && s.to > s.from) out.push_back(s);
        open = sided = false;
    };
    const OutlineItem *p = nullptr;
    bool arc = false;
    for (const OutlineItem &q : o.items) {
        if (q.kind == OutlineItem::arc) {
            arc = true;
            continue;
        }
        if (p && !(std::fabs(p->x) <= kAxisTolerance && std::fabs(q.x) <= kAxisTolerance)) {
            if (q.y > p->y) {
                if (!open) s = HolderSection{p->y, q.y, 2 * std::max(p->x, q.x), 2 * std::max(p->x, q.x)};
                open = true;
                s.to = q.y;
                if (!arc) {
                    if (!sided) s.bottom_diameter = 2 * p->x;
                    s.top_diameter = 2 * q.x;
                    sided = true;
                }
            } else {
                close();
            }
        }
        p = &q;
        arc = false;
    }
    close();
    return out;
}

// From the tip to the holder's lowest point off the axis (the points on
// the axis are its origin and offset, not its body), the holder raised
// onto the cutter's top with STACK YES.  NaN without a holder or a length.
double stick_out(const Tool &t, double length) {
    if (!t.holder_outline.present || !std::isfinite(length)) return kNone;
    double lowest = std::numeric_limits<double>::infinity();
    for (const OutlineItem &p : t.holder_outline.items)
        if (p.kind == OutlineItem::point && std::fabs(p.x) > kAxisTolerance) lowest = std::min(lowest, p.y);
    if (!std::isfinite(lowest)) return kNone;
    return (t.stack == "YES" ? length : 0) + lowest;
}

}  // namespace

const char *kind_word(Kind kind) { return names(kind).word; }
const char *kind_label(Kind kind) { return names(kind).label; }
const char *kind_shop_word(Kind kind) { return names(kind).shop; }

Kind tool_kind(const Tool &t) {
    switch (t.form) {
    case Form::flat_end: return Kind::flat_end;
    case Form::bull_nose: return Kind::bull_nose;
    case Form::ball_end: return Kind::ball;
    case Form::drill: return Kind::drill;
    case Form::apt10: return Kind::apt10;
    case Form::seven_value: return Kind::seven_value;
    case Form::sor: return outline_kind(t.cutter_outline);
    case Form::turning: return Kind::turning;
    case Form::none: return Kind::none;
    case Form::unknown: break;
    }
    return Kind::unknown;
}

ToolFacts tool_facts(const Tool &t) {
    ToolFacts f{tool_kind(t), t.units == kInch, kNone, kNone, kNone, kNone, kNone, kNone, {}};
    const std::vector<double> &v = t.standard;
    if (standard_form(t.form) && v.size() == (t.form == Form::apt10 ? 10u : 7u)) {
        f.diameter = v[0];
        f.corner_radius = v[1];
        f.length = v[6];
    } else if (t.form == Form::sor && !t.cutter_outline.items.empty()) {
        f.diameter = 2 * outline_max_radius(t.cutter_outline);
        double top = 0;
        for (const OutlineItem &p : t.cutter_outline.items)
            if (p.kind == OutlineItem::point) top = std::max(top, p.y);
        f.length = top;
    }
    if (t.has_flute_length) f.flute_length = t.flute_length;
    if (t.has_shank_diameter) f.shank_diameter = t.shank_diameter;
    if (t.holder_outline.present) f.holder = holder_sections(t.holder_outline);
    f.stick_out = stick_out(t, f.length);
    return f;
}

std::vector<std::string> holder_brief(const ToolFacts &f) {
    const int decimals = f.inch ? 2 : 1;
    auto rounded = [decimals](std::string &out, double v) {
        const size_t at = out.size();
        append_fixed(out, v, decimals);
        while (out.back() == '0') out.pop_back();
        if (out.back() == '.') out.pop_back();
        if (out.compare(at, std::string::npos, "-0") == 0) out.erase(at, 1);
    };
    std::vector<std::string> out;
    for (const HolderSection &s : f.holder) {
        std::string bottom, top;
        rounded(bottom, s.bottom_diameter);
        rounded(top, s.top_diameter);
        // the diameter sign, an en dash between two diameters, the multiplication sign
        std::string text = "\xC3\x98" + bottom + (top != bottom ? "\xE2\x80\x93" + top : "") + "\xC3\x97";
        rounded(text, s.to - s.from);
        out.push_back(std::move(text));
    }
    return out;
}

}  // namespace tlsfile
