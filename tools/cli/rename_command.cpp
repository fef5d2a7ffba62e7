// kesto-tools-vericut rename LIBRARY OLD NEW: a record's TOOLID changed on
// its TOOLID line, nothing else.
#include "host/common/cp1251.h"
#include "tools/cli/commands.h"
#include "tools/cli/library_edit.h"
#include "tools/tlsfile/tls_edit.h"
#include "tools/tlsfile/toolid_pattern.h"

namespace kesto::cli {
namespace {

struct RenameArgs {
    EditArgs edit;
    std::string old_name, new_name;
    std::vector<int> lines;
};

Edit rename(const RenameArgs &args, const EditInput &in) {
    Edit e;
    e.code = kExitUsage;
    const std::string new_name = tlsfile::as_toolid(utf8_to_cp1251(args.new_name));
    if (new_name.empty() || tlsfile::is_pattern(new_name) ||
        new_name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        complain("\"" + args.new_name + "\" cannot be a TOOLID (empty, a pattern or a line break); " +
                 left_as_it_was(in.label));
        return e;
    }
    for (const tlsfile::RecordSpan &r : in.spans.records)
        if (tlsfile::as_toolid(r.tool->name) == new_name) {
            complain(in.label + " holds TOOLID " + quoted_toolid(new_name) + " already (line " +
                     std::to_string(r.line) + "); " + left_as_it_was(in.label));
            return e;
        }
    std::vector<size_t> picked;
    if (tlsfile::is_pattern(args.old_name)) {
        complain("rename takes one TOOLID, not a pattern; " + left_as_it_was(in.label));
        return e;
    }
    if (!pick_records(in, {args.old_name}, args.lines, false, picked)) return e;
    const tlsfile::RecordSpan &r = in.spans.records[picked.front()];
    e.code = kExitOk;
    e.text = tlsfile::renamed_record(in.library.text, in.spans, picked.front(), new_name);
    e.done.push_back("renamed " + record_named(r) + " to " + quoted_toolid(new_name));
    e.details = {{"renamed", cp1251_to_utf8(r.tool->name)}, {"to", cp1251_to_utf8(new_name)}, {"line", r.line}};
    return e;
}

void add(CLI::App &app) {
    auto args = std::make_shared<RenameArgs>();
    CLI::App *cmd = app.add_subcommand("rename");
    describe(cmd, "Rename a record's TOOLID in a tool library",
             "Changes the TOOLID on the record's TOOLID line and nothing else. A new name the library holds "
             "already is refused, as is an old one it does not hold; one it holds more than once is refused "
             "unless --line names the record. A '\"' in a name is written, and matched, as '|'.\n\n"
             "Exit 0 when renamed, 1 when the library could not be written, 2 when the names are refused or "
             "the file is no library; with --dry-run 0 when nothing would change, 1 when something would.",
             {{"rename SITE.tls EM10 EM10_FLAT", "the site's EM10 is now EM10_FLAT"},
              {"rename SITE.tls EM10 EM10_OLD --line 31", "the second of two EM10 records"}});
    cmd->add_option("library", args->edit.library, "The tool library (*.tls)")->required();
    cmd->add_option("old", args->old_name, "The TOOLID to rename")->required();
    cmd->add_option("new", args->new_name, "Its new TOOLID")->required();
    cmd->add_option("--line", args->lines, "The TOOLID line of the record, of a TOOLID held more than once")
        ->allow_extra_args(false);
    add_edit_options(cmd, args->edit);
    cmd->callback([args] { finish_edit("rename", args->edit, [args](const EditInput &in) { return rename(*args, in); }); });
}

CommandRegistrar registrar(42, add);

}  // namespace
}  // namespace kesto::cli
