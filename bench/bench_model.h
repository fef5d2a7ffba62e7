// The benchmark's inputs, made the same way every time: a part of 99 tools
// of every cutter type, each with a holder, and tool library records in
// the plug-in's layout.  The floor program and the input generator share
// it, so that the floor writes the bytes the plug-in writes for that part.
#ifndef KESTO_BENCH_BENCH_MODEL_H
#define KESTO_BENCH_BENCH_MODEL_H

#include <cstdio>

#include "src/table/tool_table.h"

namespace bench {

constexpr int kPartTools = 99;      // with the host's NONE member: 100 members
constexpr int kHolderSections = 9;  // sections of each part tool's holder

struct BenchTool {
    ToolRecord rec;  // as the plug-in's table would hold it
    double holder_offset = 0;
    int sections = 0;
    HolderSection holder[kHolderSections];
};

// Tool number index (0-based) of a part or a library, with sections holder
// sections, named prefix, index + 1 in digits digits, '_' and its kind; the
// cutter type cycles through every kind the writer knows.
BenchTool make_tool(int index, int sections, char prefix, int digits);

// The part's tool at index: named "T%03d_<kind>", a 9-section holder.
BenchTool part_tool(int index);

// One TOOLID record, a line per fprintf, with CR LF line ends.  bad_units
// writes an unknown UNITS word, a problem check finds in the record.
void write_record(std::FILE *out, BenchTool &tool, bool bad_units);

// The lines the plug-in prints on standard output while it writes tool's
// record (holder sections).
void print_record_diagnostics(std::FILE *out, const BenchTool &tool);

}  // namespace bench

#endif
