// What fix, remove, rename and extract share: a library read whole under
// its output's lock, its new text made by the command, then written whole
// or not at all (or, with --dry-run, only said).
#ifndef KESTO_TOOLS_CLI_LIBRARY_EDIT_H
#define KESTO_TOOLS_CLI_LIBRARY_EDIT_H

#include <functional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "tools/tlsfile/tls_records.h"

namespace kesto::cli {

struct EditArgs {
    std::string library;
    std::string output;  // empty: the library itself
    bool dry_run = false;
    std::string backup;  // --backup[=numbered]
    bool force = false;  // replace an output holding TOOLIDs the edit does not write
    bool quiet = false;
    bool json = false;
};

// What an edit made: the new text and what to say of it, a line each
// ("removed \"EM10\" (line 4)"); --dry-run says would instead when given,
// else the output's plan record by record.  code is 0, or the exit code of
// a refusal already said.
struct Edit {
    int code = 0;
    std::string text;
    std::vector<std::string> done;        // for the report
    std::vector<std::string> would;       // the same for --dry-run
    nlohmann::ordered_json details = nlohmann::ordered_json::object();  // for --json
};

// The library's text with its parsed model and record slices.
struct EditInput {
    std::string label;
    tlsfile::LibraryText library;
    tlsfile::LibrarySpans spans;
};

// Runs an edit: the output checked and locked, the library read (a part
// file refused; one without the library's header too unless raw, for
// fix), edit called, the result written by write_output (an output other
// than the library guarded, --backup kept).  Exit 0 when written (or
// nothing was to change), 1 when the output could not be written, 2 for bad
// input or a refused output; --dry-run: 0 when nothing would change, 1
// when something would.
int run_edit(const char *command, const EditArgs &args, bool raw, const std::function<Edit(const EditInput &)> &edit,
             nlohmann::ordered_json *object);

// A command's callback: run_edit (raw for fix) and the --json object
// printed, the exit code set.
void finish_edit(const char *command, const EditArgs &args, const std::function<Edit(const EditInput &)> &edit);

// A record as reports name it: "EM10" (line 4).
std::string record_named(const tlsfile::RecordSpan &record);

// For each record at picked: "VERB \"EM10\" (line 4)" among edit's done
// lines; their TOOLIDs and lines as a --json list.
nlohmann::ordered_json records_done(const EditInput &in, const std::vector<size_t> &picked, const char *verb,
                                    Edit &edit);

// The records toolids (UTF-8 names or patterns) and lines (TOOLID lines) pick, in
// file order; a name held by several records is refused (naming their
// lines) unless all is set or one of its lines is given.  False after
// saying why (a name held by none included).
bool pick_records(const EditInput &in, const std::vector<std::string> &toolids, const std::vector<int> &lines,
                  bool all, std::vector<size_t> &picked);

// The options every edit takes: -o (unless the command adds its own),
// --dry-run, --force, -q, --json.
void add_edit_options(CLI::App *cmd, EditArgs &args, bool output_option = true);

}  // namespace kesto::cli

#endif
