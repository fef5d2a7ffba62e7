// kesto-tools-vericut remove LIBRARY TOOLID...: records taken out of a
// library, the rest byte for byte.
#include <CLI/CLI.hpp>

#include "tools/cli/library_edit.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/tls_edit.h"

namespace kesto::cli {
namespace {

struct RemoveArgs {
    EditArgs edit;
    std::vector<std::string> toolids;
    bool all = false;
    std::vector<int> lines;
};

Edit remove(Context &ctx, const RemoveArgs &args, const EditInput &in) {
    Edit e;
    std::vector<size_t> picked;
    if (!pick_records(ctx, in, args.toolids, args.lines, args.all, picked)) {
        e.code = kExitUsage;
        return e;
    }
    e.text = tlsfile::without_records(in.file.library.text, in.spans, picked);
    const json removed = records_done(in, picked, "removed", e);
    e.done.push_back(count(in.spans.records.size() - picked.size(), "record", "records") + " kept");
    e.details = {{"removed", removed}, {"kept", in.spans.records.size() - picked.size()}};
    return e;
}

}  // namespace

void add_remove_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<RemoveArgs>();
    CLI::App *cmd = app.add_subcommand("remove");
    describe(cmd, "Remove records from a tool library by TOOLID",
             "Takes the records of the TOOLIDs given out of the library; its header and every other record stay "
             "byte for byte. A TOOLID is a name, or a pattern when it holds * (any text) or ? (one character); "
             "=NAME is NAME as it stands, * and ? included; a '\"' matches the '|' a library writes for it. A "
             "TOOLID the library holds more than once is refused, naming its lines, unless --all removes every "
             "one or --line names the record to remove: --line picks the record that starts there, whatever its "
             "TOOLID holds. A TOOLID it does not hold is refused, with the nearest one it does.\n\n"
             "Exit 0 when the records were removed, 2 when a TOOLID is not held or is held twice, or the file "
             "is no library, 1 when the library could not be written; with --dry-run 0 when nothing would "
             "change, 1 when something would.",
             {{"remove SITE.tls EM10", "takes the record of EM10 out of the site library"},
              {"remove SITE.tls 'OLD_*' --dry-run", "which records a pattern would take out"},
              {"remove SITE.tls --line 31", "the record at line 31 (of two EM10 records, say)"},
              {"remove SITE.tls '=T*1'", "the record whose TOOLID is T*1 itself"}});
    cmd->add_option("library", args->edit.library, "The tool library (*.tls)")->required()->type_name(kFileType);
    cmd->add_option("toolid", args->toolids, "TOOLIDs or patterns of the records to remove")->type_name(kToolidType);
    cmd->add_flag("--all", args->all, "Remove every record of a TOOLID held more than once");
    add_line_option(cmd, args->lines, "The TOOLID line of a record to remove");
    add_edit_options(cmd, args->edit);
    cmd->callback(reported(ctx, args->edit.report, [args, cmd, &ctx] {
        if (args->toolids.empty() && args->lines.empty()) {
            ctx.error(usage_failure(*cmd, "remove needs its argument \"toolid\": TOOLIDs or patterns of the records to "
                                          "remove (or --line)."));
            return Result(kExitUsage);
        }
        return run_edit(ctx, "remove", args->edit, [args, &ctx](const EditInput &in) { return remove(ctx, *args, in); });
    }));
}

}  // namespace kesto::cli
