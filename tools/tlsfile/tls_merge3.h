// Three-way merge of tool libraries by TOOLID: two libraries edited apart
// from the version they share (BASE), OURS and THEIRS, merged record by
// record.  Records are compared as diff compares them (line ends and blank
// lines after a record do not count) and carried over as their file holds
// them; THEIRS' records take OURS' line ends.  Per TOOLID:
// - unchanged on both sides: kept;
// - changed on one side only: that side's record; the same way on both:
//   that record, once;
// - removed on one side and unchanged on the other, or on both: removed;
// - added on one side: added; on both with the same record: once;
// - changed differently on both, removed on one side and changed on the
//   other, added on both with different records: a conflict.
// A TOOLID some input holds more than once is merged as a whole: the
// sequence of its records on each side is compared as one, so that when
// only one side changed it that side's records are taken as they are, and
// otherwise it is a conflict naming every TOOLID line of it; it is never
// matched record by record, which could splice two tools.
//
// The output is OURS' header byte for byte and OURS' records in OURS'
// order, a record taken from THEIRS in the place of OURS' first record of
// its TOOLID.  A record of THEIRS whose TOOLID OURS does not hold goes after
// its nearest preceding neighbour in THEIRS that the output holds, several
// in THEIRS' order; those before any such neighbour go before the output's
// first record whose TOOLID THEIRS holds, or at the end when there is none.
//
// A conflict is settled by a choice of side (all of them, or per TOOLID; a
// TOOLID's own choice wins).  An unsettled one keeps OURS' side in the
// output (OURS' records, or none when OURS removed it), so that the text is
// always a whole library without conflict markers: what git's merge driver
// leaves behind.
#ifndef KESTO_TOOLS_TLSFILE_TLS_MERGE3_H
#define KESTO_TOOLS_TLSFILE_TLS_MERGE3_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/tlsfile/tls_diff.h"
#include "tools/tlsfile/tls_records.h"

namespace tlsfile {

enum class Input { base, ours, theirs };

// "BASE", "OURS", "THEIRS".
const char *input_name(Input input);

struct InputLine {
    Input input = Input::base;
    int line = 0;
};

// The side that settles a conflict; none leaves it a conflict.
enum class Take { none, ours, theirs };

struct TakeChoices {
    Take all = Take::none;
    std::vector<std::pair<std::string, Take>> per_toolid;  // raw TOOLID bytes, in the order given

    // The TOOLID's own choice, else the one for all.
    Take for_toolid(const std::string &name) const;
};

// Adds one --take argument: "ours", "theirs", "TOOLID=ours" or
// "TOOLID=theirs" (the TOOLID is all before the last '=', as raw bytes of
// the libraries).  Returns the empty string, or why it is refused: it names
// no side, or another side than an earlier argument for the same records.
std::string add_take(TakeChoices &choices, std::string_view argument);

enum class Outcome {
    kept,               // unchanged on both sides
    taken_from_ours,    // changed on OURS only
    taken_from_theirs,  // changed on THEIRS only
    same_on_both,       // changed the same way on both
    added_by_ours,
    added_by_theirs,
    added_by_both,      // the same record on both
    removed_by_ours,    // and unchanged on THEIRS
    removed_by_theirs,  // and unchanged on OURS
    removed_by_both,
    settled_ours,       // a conflict settled by the choice of OURS
    settled_theirs,     // a conflict settled by the choice of THEIRS
    conflict,           // unsettled: OURS' side is in the output
};

// "kept", "taken from ours", ..., "conflict, ours taken", "conflict".
const char *outcome_name(Outcome outcome);

enum class ConflictKind {
    changed_on_both,          // changed differently on both sides
    removed_ours_changed_theirs,
    changed_ours_removed_theirs,
    added_on_both,            // added on both sides with different records
    held_more_than_once,      // some input holds the TOOLID more than once
};

// "changed differently on both sides", "removed by ours, changed by theirs", ...
const char *conflict_kind_name(ConflictKind kind);

// One side of a conflict: its first line that differs from the other side.
struct ConflictSide {
    Input input = Input::base;
    DiffLine at;
};

struct MergeConflict {
    std::string name;
    ConflictKind kind = ConflictKind::changed_on_both;
    // The two records compared, in the order BASE, OURS, THEIRS: OURS
    // against THEIRS, or for a removal against a change the changed side
    // against BASE.  Unset (line 0) for a TOOLID held more than once.
    ConflictSide first, second;
    std::vector<InputLine> lines;  // held more than once: every TOOLID line of it, per input in order
    Take settled = Take::none;     // the side taken, none when unsettled
};

// What became of one TOOLID.
struct MergedRecord3 {
    std::string name;
    Outcome outcome = Outcome::kept;
    int base_line = 0, ours_line = 0, theirs_line = 0;  // its first TOOLID line in each input, 0: none
    int line = 0;                                       // its first TOOLID line in the output, 0: none
};

// A run of output lines carried over from one input, line for line.
struct CarriedLines {
    int output_line = 0;  // the first one
    InputLine from;       // its line in the input
    int count = 0;
};

struct MergeResult3 {
    // The merged library; with unsettled conflicts it holds OURS' side of
    // each of them.
    std::string text;
    std::vector<MergedRecord3> records;  // in the output's order, then those not in it, in BASE's order
    std::vector<MergeConflict> conflicts;  // settled ones too, in the order of records
    size_t unsettled = 0;                  // conflicts without a side taken
    // Per-TOOLID choices whose TOOLID is no conflict, in the order given.
    std::vector<std::string> takes_unused;
    // THEIRS' header (as records are compared) differs from both BASE's and
    // OURS': the output keeps OURS', so THEIRS' change of it is not merged.
    bool theirs_header_lost = false;
    // Records followed by another that ended without a line end: one was
    // added (OURS' kind) after this line of theirs.
    std::vector<InputLine> line_end_added;
    std::vector<CarriedLines> carried;  // in the output's order, covering every output line
    std::vector<std::pair<int, int>> ranges[3];  // per input: the sorted line ranges the output holds

    bool clean() const { return unsettled == 0; }
    // The input line an output line was carried from (line 0: past the end).
    InputLine origin(int output_line) const;
    // Whether the output holds this line of that input.
    bool carries(InputLine at) const;
};

MergeResult3 merge_three_way(const LibraryText &base, const LibraryText &ours, const LibraryText &theirs,
                             const TakeChoices &take = {});

}  // namespace tlsfile

#endif
