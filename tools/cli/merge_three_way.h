// merge --three-way BASE OURS THEIRS and merge --git (git's merge driver):
// two copies of a library edited apart merged record by record with the
// version they share.
#ifndef KESTO_TOOLS_CLI_MERGE_THREE_WAY_H
#define KESTO_TOOLS_CLI_MERGE_THREE_WAY_H

#include <string>
#include <vector>

#include "tools/cli/printer.h"

namespace kesto::cli {

struct ThreeWayArgs {
    std::string base, ours, theirs;
    std::string output;             // -o; with git, OURS itself
    std::vector<std::string> take;  // --take ours|theirs|TOOLID=ours|TOOLID=theirs
    bool git = false;
    std::string git_path;           // git's %P: the library's path in the repository
};

// The merge as its result: written (clean, or settled by --take) or the
// conflicts listed, nothing written; for git OURS always holds a whole
// library, our side of each conflict, and the code is 1 on a conflict.
Result run_three_way(Context &ctx, const ThreeWayArgs &args);

}  // namespace kesto::cli

#endif
