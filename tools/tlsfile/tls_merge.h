// Merge of tool libraries into a base library, records matched by TOOLID.
// A record of a new library takes the place of the base's record of the same
// TOOLID; a record of a TOOLID the base lacks is appended, in the new
// library's order; the base's header and every record not replaced stay
// byte for byte.  New libraries are merged one after another, so of two
// records of one TOOLID the later one stays.  The output is built from the
// inputs' bytes, never written again from the model; only the line ends of
// the new libraries' records become the base's (CR LF when its first line
// ends so, else LF), so that the output does not mix them.
#ifndef KESTO_TOOLS_TLSFILE_TLS_MERGE_H
#define KESTO_TOOLS_TLSFILE_TLS_MERGE_H

#include <string>
#include <utility>
#include <vector>

#include "tools/tlsfile/tls_records.h"

namespace tlsfile {

// A record of an input: source 0 is the base, source i the i-th new library.
struct SourceLine {
    size_t source = 0;
    int line = 0;
};

struct MergedTool {
    std::string name;
    int base_line = 0;  // the TOOLID line of the base record it replaced (0: added)
    SourceLine from;    // where its record comes from
    bool changed = false;  // replaced by a record that differs as diff compares them
};

struct SupersededRecord {
    std::string name;
    SourceLine record;  // a record that does not reach the output
    SourceLine by;      // the record that stands in its place
};

struct MergeResult {
    std::string text;
    std::vector<MergedTool> replaced;  // in the output's order
    std::vector<MergedTool> added;     // in the output's order
    size_t kept = 0;                   // base records carried over untouched
    // Records of a TOOLID a new library gives that do not reach the output:
    // a base's second record of it, a new library's earlier one.
    std::vector<SupersededRecord> superseded;
    // Records followed by another that ended without a line end: one was
    // added (the base's kind) so that the next record starts on a line of
    // its own.
    std::vector<SourceLine> line_end_added;

    // Whether the output holds this line of that input.
    bool carries(SourceLine at) const;

    std::vector<std::vector<std::pair<int, int>>> carried;  // per source: sorted line ranges
};

MergeResult merge_libraries(const LibraryText &base, const std::vector<const LibraryText *> &news);

// Libraries of several exports joined into one, in the order given: the
// first one's header, then each one's records byte for byte.  A TOOLID that
// an earlier library gives already is written once when the records are
// the same (as diff compares them) and is a conflict when they differ.
struct JoinConflict {
    std::string name;
    SourceLine first, second;  // source: the index of the library
};

struct JoinResult {
    std::string text;
    size_t records = 0;                   // written
    size_t repeated = 0;                  // the same record again, written once
    std::vector<JoinConflict> conflicts;  // nothing is written when there are any
};

JoinResult join_libraries(const std::vector<const LibraryText *> &parts);

}  // namespace tlsfile

#endif
