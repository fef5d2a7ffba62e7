#include "tools/tlsfile/tool_facts.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/tlsfile/tls_check.h"

namespace tlsfile {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

struct KindNames {
    Kind kind;
    const char *word, *label;
};
constexpr KindNames kKindNames[] = {
    {Kind::flat_end, "flat-end", "flat end"},     {Kind::bull_nose, "bull-nose", "bull nose"},
    {Kind::ball, "ball", "ball"},                 {Kind::drill, "drill", "drill"},
    {Kind::apt10, "apt10", "APT 10"},             {Kind::seven_value, "seven-value", "seven-value"},
    {Kind::barrel, "barrel", "barrel"},           {Kind::t_cutter, "t-cutter", "T-cutter"},
    {Kind::profile, "profile", "profile"},        {Kind::turning, "turning", "turning"},
    {Kind::none, "none", "no cutter"},            {Kind::unknown, "unknown", "unknown"},
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

}  // namespace

const char *kind_word(Kind kind) { return names(kind).word; }
const char *kind_label(Kind kind) { return names(kind).label; }

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
    ToolFacts f{tool_kind(t), t.units == kInch, kNone, kNone, kNone, kNone, kNone, {}};
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
    return f;
}

}  // namespace tlsfile
