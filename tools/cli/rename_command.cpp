// kesto-tools-vericut rename LIBRARY OLD NEW: a record's TOOLID changed on
// its TOOLID line, nothing else.
#include <CLI/CLI.hpp>

#include "tools/cli/library_edit.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/tls_edit.h"
#include "tools/tlsfile/toolid_match.h"

namespace kesto::cli {
namespace {

struct RenameArgs {
    EditArgs edit;
    std::string old_name, new_name;
    std::vector<int> lines;
};

Edit rename(Context &ctx, const RenameArgs &args, const EditInput &in) {
    Edit e;
    e.code = kExitUsage;
    const std::string left = left_as_it_was(in.label);
    // the new name must pass what check asks of a TOOLID
    std::string new_name;
    const std::string fault = tlsfile::new_toolid_fault(args.new_name, new_name);
    if (!fault.empty()) {
        ctx.error("\"" + shown(args.new_name) + "\" cannot be a TOOLID: " + fault + "; " + left);
        return e;
    }
    for (const tlsfile::RecordSpan &r : in.spans.records)
        if (tlsfile::as_toolid(r.tool->name) == new_name) {
            ctx.error(shown(in.label) + " holds TOOLID " + quoted_toolid(new_name) + " already (line " +
                      std::to_string(r.line) + "); " + left);
            return e;
        }
    tlsfile::ToolidQuery old_query;
    std::string error;
    if (tlsfile::parse_toolid_query(args.old_name, old_query, error) && old_query.pattern && args.lines.empty()) {
        ctx.error("rename takes one TOOLID, not a pattern (=" + shown(args.old_name) + " names a TOOLID that holds "
                  "'*' or '?'; --line picks the record by its line); " + left);
        return e;
    }
    std::vector<size_t> picked;
    if (!pick_records(ctx, in, {args.old_name}, args.lines, false, picked)) return e;
    if (picked.size() != 1) {
        ctx.error("rename renames one record; --line " + std::to_string(args.lines.size()) + " times picks " +
                  std::to_string(picked.size()) + "; " + left);
        return e;
    }
    const tlsfile::RecordSpan &r = in.spans.records[picked.front()];
    e.code = kExitOk;
    e.text = tlsfile::renamed_record(in.file.library.text, in.spans, picked.front(), new_name);
    e.done.push_back("renamed " + record_named(r) + " to " + quoted_toolid(new_name));
    e.details = {{"renamed", toolid_json(r.tool->name)}, {"to", toolid_json(new_name)}, {"line", r.line}};
    return e;
}

}  // namespace

void add_rename_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<RenameArgs>();
    CLI::App *cmd = app.add_subcommand("rename");
    describe(cmd, "Rename a record's TOOLID in a tool library",
             "Changes the TOOLID on the record's TOOLID line and nothing else. The new name must be a TOOLID "
             "check takes (not empty, no control character, a character Windows-1251 has) without * or ?, and "
             "one the library does not hold already. An old name it does not hold is refused, with the nearest "
             "one it does; one it holds more than once is refused unless --line names the record (=NAME names a "
             "TOOLID that holds * or ?). A '\"' in a name is written, and matched, as '|'.\n\n"
             "Exit 0 when renamed, 1 when the library could not be written, 2 when the names are refused or "
             "the file is no library; with --dry-run 0 when nothing would change, 1 when something would.",
             {{"rename SITE.tls EM10 EM10_FLAT", "the site's EM10 is now EM10_FLAT"},
              {"rename SITE.tls EM10 EM10_OLD --line 31", "the second of two EM10 records"}});
    cmd->add_option("library", args->edit.library, "The tool library (*.tls)")->required()->type_name(kFileType);
    cmd->add_option("old", args->old_name, "The TOOLID to rename")->required()->type_name(kToolidType);
    cmd->add_option("new", args->new_name, "Its new TOOLID")->required()->type_name(kToolidType);
    add_line_option(cmd, args->lines, "The TOOLID line of the record, of a TOOLID held more than once");
    add_edit_options(cmd, args->edit);
    cmd->callback(reported(ctx, args->edit.report, [args, &ctx] {
        return run_edit(ctx, "rename", args->edit, [args, &ctx](const EditInput &in) { return rename(ctx, *args, in); });
    }));
}

}  // namespace kesto::cli
