// What cmd.exe leaves to a program: '*' and '?' in file names.  On Windows
// the file arguments of a subcommand (those its definition names FILE) are
// expanded against the file system, quoted or not, as cmd's own commands
// (dir, copy) expand them; TOOLIDs and option values never are.  Elsewhere
// the shell has expanded them already, and nothing is done.
#ifndef KESTO_TOOLS_CLI_WILDCARDS_H
#define KESTO_TOOLS_CLI_WILDCARDS_H

#include <string>
#include <vector>

#include "tools/cli/cli11_fwd.h"

#include "tools/cli/context.h"

namespace kesto::cli {

// False, after naming it, for a pattern that matches no file.
bool expand_file_patterns(Context &ctx, const CLI::App &app, std::vector<std::string> &args);

// Whether name matches a pattern of '*' (any run) and '?' (one character),
// letters of either case alike, as Windows compares file names.
bool file_name_matches(const std::wstring &pattern, const std::wstring &name);

}  // namespace kesto::cli

#endif
