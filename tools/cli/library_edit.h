// What fix, remove, rename and extract share: a library read whole under
// its output's lock, its new text made by the command, then written whole
// or not at all (or, with --dry-run, only said); and the one way they pick
// records by TOOLID or line.
#ifndef KESTO_TOOLS_CLI_LIBRARY_EDIT_H
#define KESTO_TOOLS_CLI_LIBRARY_EDIT_H

#include <functional>
#include <string>
#include <vector>

#include "tools/cli/cli11_fwd.h"

#include "tools/cli/commands.h"
#include "tools/cli/inputs.h"
#include "tools/cli/outputs.h"
#include "tools/tlsfile/tls_records.h"

namespace kesto::cli {

struct EditArgs {
    std::string library;
    std::string output;  // empty: the library itself
    OutputOptions output_options;
    ReportOptions report;
};

// What an edit made: the new text and what to say of it, a line each
// ("removed \"EM10\" (line 4)"); --dry-run says would instead when given,
// else the output's plan record by record.  code is 0, or the exit code of
// a refusal already said.
struct Edit {
    int code = 0;
    std::string text;
    std::vector<std::string> done;   // for the report
    std::vector<std::string> would;  // the same for --dry-run
    json details = json::object();   // for --json
};

// The library with its record slices, as an edit works on it.
struct EditInput {
    std::string label;
    LibraryFile file;
    tlsfile::LibrarySpans spans;
};

using EditFunction = std::function<Edit(const EditInput &)>;

// Runs an edit: the output checked and locked, the library read (in any
// encoding; one holding a character Windows-1251 lacks is refused, since
// the edit is written in Windows-1251), edit called, the result written by
// write_output (an output other than the library guarded, --backup kept).
// Exit 0 when written (or nothing was to change), 1 when the output could
// not be written, 2 for bad input or a refused output; --dry-run: 0 when
// nothing would change, 1 when something would.
Result run_edit(Context &ctx, const char *command, const EditArgs &args, const EditFunction &edit);

// A record as reports name it: "EM10" (line 4).
std::string record_named(const tlsfile::RecordSpan &record);

// For each record at picked: "VERB \"EM10\" (line 4)" among edit's done
// lines; their TOOLIDs and lines as a --json list.
json records_done(const EditInput &in, const std::vector<size_t> &picked, const char *verb, Edit &edit);

// The records that toolids (what the user typed: names, patterns, "=NAME")
// and lines (TOOLID lines) pick, in file order.  A line picks its record
// whatever its TOOLID holds; TOOLIDs given with lines must each name one of
// those records.  Without lines, a TOOLID picks every record it names, but
// a name held by several records is refused (naming their lines) unless
// all is set.  False after saying why (a name held by none with the
// nearest the library holds).
bool pick_records(Context &ctx, const EditInput &in, const std::vector<std::string> &toolids,
                  const std::vector<int> &lines, bool all, std::vector<size_t> &picked);

// The options every edit takes: -o (unless the command adds its own),
// --dry-run, --backup, --force, -q, --json.
void add_edit_options(CLI::App *cmd, EditArgs &args, bool output_option = true);
// --line N, given again for more records.
void add_line_option(CLI::App *cmd, std::vector<int> &lines, const std::string &description);

}  // namespace kesto::cli

#endif
