// What a record says of its tool in numbers: its kind, diameter, corner
// radius, length, flute length, shank diameter and the holder's sections,
// read from the cutter block and holder outline as the reader models them.
// check --json, sheet and catalog show these.
#ifndef KESTO_TOOLS_TLSFILE_TOOL_FACTS_H
#define KESTO_TOOLS_TLSFILE_TOOL_FACTS_H

#include <string>
#include <vector>

#include "tools/tlsfile/tls_reader.h"

namespace tlsfile {

enum class Kind {
    flat_end,
    bull_nose,
    ball,
    drill,
    apt10,
    seven_value,
    barrel,
    t_cutter,
    profile,  // a SOR outline that is neither barrel nor T-cutter
    turning,
    none,     // no cutter block
    unknown,  // a cutter block that names no usable form
};

// The kinds in the order of the enumeration, for lists and filters.
inline constexpr Kind kAllKinds[] = {Kind::flat_end, Kind::bull_nose, Kind::ball,    Kind::drill,
                                     Kind::apt10,    Kind::seven_value, Kind::barrel, Kind::t_cutter,
                                     Kind::profile,  Kind::turning,   Kind::none,    Kind::unknown};

// The word a kind is filtered and reported by ("flat-end", "ball", "t-cutter").
const char *kind_word(Kind kind);
// The kind in the simulator's words, as its record gives it ("flat end",
// "APT 10", "seven-value", "SOR outline, barrel").
const char *kind_label(Kind kind);
// The kind in a machine shop's words, which the sheet and the catalogue
// show ("end mill", "ball-nose mill", "T-slot cutter").
const char *kind_shop_word(Kind kind);

// A stretch of the holder between two of its steps: from and to are
// heights in the holder's own coordinates, the diameters those of its
// straight side at the bottom and at the top (corners not counted).
struct HolderSection {
    double from = 0, to = 0;
    double bottom_diameter = 0, top_diameter = 0;
};

// A value the record does not give is NaN.  The stick-out is how far the
// cutter stands out of its holder: from its tip to the holder's lowest
// point, the holder placed as the drawing places it (on the cutter's top
// with STACK YES, lowered by its offset).
struct ToolFacts {
    Kind kind = Kind::none;
    bool inch = false;  // UNITS INCH; else millimetres
    double diameter, corner_radius, length, flute_length, shank_diameter, stick_out;
    std::vector<HolderSection> holder;
};

Kind tool_kind(const Tool &tool);
ToolFacts tool_facts(const Tool &tool);

// The holder's sections as the drawing shows them, for people: diameter
// (at the bottom and top when they differ) by height, rounded to 0.1 mm
// or 0.01 inch, bottom first: "Ø40×50", "Ø30–34×20".  Empty without a holder.
std::vector<std::string> holder_brief(const ToolFacts &facts);

// Millimetres in one unit of the record.
inline double millimetres(const ToolFacts &facts) { return facts.inch ? 25.4 : 1.0; }

}  // namespace tlsfile

#endif
