// What merge and export --merge share: new libraries merged into a base one
// by TOOLID, the result checked and written whole, or with --dry-run only
// planned.
#ifndef KESTO_TOOLS_CLI_LIBRARY_MERGE_H
#define KESTO_TOOLS_CLI_LIBRARY_MERGE_H

#include <string>
#include <utility>
#include <vector>

#include "tools/cli/inputs.h"
#include "tools/cli/outputs.h"
#include "tools/tlsfile/tls_check.h"

namespace kesto::cli {

struct MergeRequest {
    const LibraryFile *base = nullptr;
    std::vector<const LibraryFile *> news;
    Output out;  // may be the base itself; its lock taken before the base was read
};

// The keys merge's --json object has from the start.
void empty_merge_object(json &object, const std::string &output);

// Merges the new libraries into the base, checks the result and writes it
// (whole or not at all; "-" is standard output), then tells what was
// replaced, added and kept.  A new library with problems, or a result that
// would have problems, is refused unless --force; what is wrong is named
// with its file and line.  The exit code: 0 written; 1 refused, not
// written, or written with problems (--force); 2 an output that may not be
// written.  result gets the report and the object's keys; written says
// whether the output was written.
int merge_and_write(Context &ctx, const MergeRequest &request, Result &result, bool &written);

// A problem as the --json objects give it: file, line, toolid, message.
json problem_object(const tlsfile::Problem &problem, const std::string &label);

// Says each problem, "FILE:LINE: ...", as an error, or as a warning when
// forced; keeps it in the object's "problems"; and for a dry run, notes the
// record as refused.
void report_problems(Context &ctx, const std::vector<tlsfile::Problem> &problems, const std::string &label,
                     Result &result, std::vector<std::pair<std::string, std::string>> *refused);

}  // namespace kesto::cli

#endif
