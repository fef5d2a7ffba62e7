// What an output may replace.  An existing file takes a command's output
// only when it is of the output's kind and holds nothing the output would
// not hold again: an earlier drawing for a drawing, and for a tool library
// a library every TOOLID of which the new one still has.  Otherwise the
// command refuses, unless forced.  A library that may be replaced is
// compared record by record, so that the command can name each record
// whose bytes change.
#ifndef KESTO_TOOLS_TLSFILE_OUTPUT_GUARD_H
#define KESTO_TOOLS_TLSFILE_OUTPUT_GUARD_H

#include <string>
#include <vector>

#include "tools/tlsfile/tls_diff.h"

namespace tlsfile {

enum class OutputKind {
    library,     // a *.tls tool library
    picture,     // an SVG drawing of preview
    page,        // an HTML page this program writes
    table,       // a CSV table this program writes
    transcript,  // a run's transcript, text or JSON
};

// "a tool library", "an SVG drawing", ...: what an output of kind is.
const char *kind_words(OutputKind kind);

// What this program puts near the top of every page and table it writes,
// so that an earlier one can be told from a file someone else made.
inline constexpr char kGeneratorMark[] = "kesto-tools-vericut";
// A table (the sheet's CSV) starts its last line with this, after the
// rows; tables made before the column names came first started their
// first line with it.
inline constexpr char kTableMark[] = "kesto-tools-vericut tool sheet;";

// Whether existing (a file's bytes) is an output of kind: a library by its
// header line, the others by what this program writes at their top.  An
// empty file is of every kind.
bool is_output_of_kind(OutputKind kind, const std::string &existing);

struct ReplacementPlan {
    bool refused = false;
    std::string why;                        // when refused: what the file holds that would go
    std::vector<ListedTool> lost;           // a library's records whose TOOLID the new one lacks
    std::vector<ChangedTool> changed;       // a library's records whose bytes change, in the new order
    std::vector<ListedTool> added;          // TOOLIDs new to the library
    size_t same = 0;                        // records kept byte for byte
    bool header_changed = false;            // the bytes before the first record differ
    bool identical = false;                 // the same bytes: nothing changes
};

// Judges replacing existing (the bytes of the file at the output, or null
// when there is none: then every record is added) by content, an output of
// kind.  An existing library is compared as the input layer reads it,
// whatever its encoding.  label names the file in why, writer what makes
// the new content ("this export").
ReplacementPlan plan_replacement(OutputKind kind, const std::string &label, const std::string *existing,
                                 const std::string &content, const std::string &writer = "the new library");

}  // namespace tlsfile

#endif
