// What export does with what the plug-in wrote: several parts' exports
// joined, the library appended to read and judged, the new records checked
// as a library of their own.
#ifndef KESTO_TOOLS_CLI_EXPORT_RESULT_H
#define KESTO_TOOLS_CLI_EXPORT_RESULT_H

#include <string>
#include <utility>
#include <vector>

#include "host/sim/session.h"
#include "tools/cli/plugin_run.h"
#include "tools/tlsfile/tls_database.h"

namespace kesto::cli {

// The parts after the first (parts[0] was run into run): each exported as
// the first was, their tools joined to its export in the order given (the
// same record twice written once), their members added to the first part's
// for the summary and for --prefer's catalogue numbers.  0, or the exit
// code of the failure, said; a part's failure is named with the part.
int export_more_parts(Context &ctx, const std::vector<std::string> &parts, sim::Session &first, PluginExport &run,
                      const std::string &output);

// The library an --append adds to: it must be one (its header first) and
// end with a line end, or the first new record would join its last line.
// Empty when there is none yet.  False, after saying why, when it is
// refused.
bool read_library_to_append(Context &ctx, const std::string &output, std::string &old);

// What an export wrote as a library of its own: all of it, or after an
// append the new records under a header of the library's line ends.
std::string new_records(const std::string &old, const std::string &written);

// Checks the new records as a library of their own and reports their
// problems at the lines the output would have, or where a record --prefer
// took has them in the database: errors, or warnings with --force; into
// problems (JSON).  added gets the new records; the count of problems.
size_t check_export(Context &ctx, const std::string &output, const std::string &old, const std::string &written,
                    tlsfile::Library &added, json &problems, const tlsfile::Database *database = nullptr,
                    const tlsfile::PreferResult *preferred = nullptr);

// The TOOLIDs of added that an append to old (the library at output) would
// write again: refused (the negated exit code, said), or with --dry-run
// each one refused in refused, or with --force a warning and
// kExitProblems; else code.
int judge_append(Context &ctx, const std::string &output, const std::string &old, const tlsfile::Library &added,
                 std::vector<std::pair<std::string, std::string>> &refused, int code);

// The tools of library whose TOOLIDs are among those of others.
std::vector<tlsfile::ListedTool> tools_held(const tlsfile::Library &library, const tlsfile::Library &others);

}  // namespace kesto::cli

#endif
