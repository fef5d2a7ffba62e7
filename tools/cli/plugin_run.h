// Running the plug-in's export on a part: in a scratch folder beside the
// library it is for, its dialogs answered by a plan, its notes on tools
// heard through the host's note hook, what it wrote read back.  And the
// tools of an input that is a library, or a part exported so.
#ifndef KESTO_TOOLS_CLI_PLUGIN_RUN_H
#define KESTO_TOOLS_CLI_PLUGIN_RUN_H

#include <filesystem>
#include <string>
#include <vector>

#include "host/sim/sim_host.h"
#include "tools/cli/inputs.h"
#include "tools/cli/printer.h"

namespace kesto::cli {

// The first lines the plug-in writes into a new tool library, as its text
// stream writes them (CR LF).
extern const char *const kNewLibraryHeader;

// One run of the plug-in's export: where and on what it works, and what it
// wrote.
struct PluginExport {
    std::filesystem::path library;  // the library its scratch folder is a temporary of
    std::string label;              // what messages name for it
    std::string old;                // the library it appends to, or empty
    bool selective = false;
    std::string plugin;
    std::string left;               // what a failure leaves as it was
    std::string part;               // of several parts, the one run: it heads what goes wrong
    std::string written;
    int records = 0;
    json notes = json::array();     // the plug-in's notes on tools: {toolid, note}
};

// Runs the plug-in's export of the session's part into a scratch file and
// reads back what it wrote; the plug-in's notes on tools become warnings.
// 0, or the exit code of the failure, said.
int run_plugin(Context &ctx, sim::Session &session, PluginExport &run);

// A scratch library in the temporary folder has no lock whose taker would
// sweep what a killed run left of it: each run removes the scratch folders
// (library + ".~kesto-PROCESS-N.tmp") of processes that are gone.
void remove_dead_scratch(const std::filesystem::path &library);

// The tools of an input: a tool library as it is read, or a part or
// session file whose tools the plug-in's all-tools export writes (checked
// as export checks it).
struct ToolsInput {
    std::string label;   // the input as given, or "(standard input)"
    bool part = false;
    std::string part_json;                  // a part's JSON (UTF-8)
    LibraryFile library;                    // a part's export is labelled "the export"
    std::vector<tlsfile::Problem> problems;  // what check finds in a part's export
};

// Reads it; a part's export with problems is refused, unless keep_problems
// (sheet lists them in their rows).  0, or after saying why, 2 (unreadable,
// neither, not exported) or 3 (no plug-in).
int read_tools(Context &ctx, const std::string &path, const std::string &plugin, bool keep_problems, ToolsInput &out);

}  // namespace kesto::cli

#endif
