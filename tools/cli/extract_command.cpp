// kesto-tools-vericut extract LIBRARY TOOLID... -o NEW: some records of a
// library as a library of their own, under its header.
#include <CLI/CLI.hpp>

#include "tools/cli/library_edit.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/tls_edit.h"

namespace kesto::cli {
namespace {

struct ExtractArgs {
    EditArgs edit;
    std::vector<std::string> toolids;
    std::vector<int> lines;
};

}  // namespace

void add_extract_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<ExtractArgs>();
    CLI::App *cmd = app.add_subcommand("extract");
    describe(cmd, "Write some records of a tool library as a library of their own",
             "Writes the library's header and the records of the TOOLIDs given (names or patterns as remove "
             "takes them: * any text, ? one character, =NAME as it stands; a '\"' matches '|'), or of the "
             "lines --line names, in the library's order and byte for byte, to the output; the library is left "
             "as it is. Every record of a TOOLID held more than once goes. A TOOLID the library does not hold "
             "is refused. An existing output holding TOOLIDs this does not write is refused unless --force.\n\n"
             "Exit 0 when written, 1 when the output could not be written, 2 when a TOOLID is not held, the "
             "file is no library or the output may not be written; with --dry-run 0 when nothing would "
             "be written, 1 when something would.",
             {{"extract SITE.tls EM10 BN16_R2 -o CELL2.tls", "two tools for another cell"},
              {"extract SITE.tls 'DR*' -o - | kesto-tools-vericut check -", "the drills, checked"}});
    cmd->add_option("library", args->edit.library, "The tool library (*.tls); - reads standard input")
        ->required()
        ->type_name(kFileType);
    cmd->add_option("toolid", args->toolids, "TOOLIDs or patterns of the records to write")->type_name(kToolidType);
    add_line_option(cmd, args->lines, "The TOOLID line of a record to write");
    cmd->add_option("-o,--output", args->edit.output, "The new library; - writes standard output")
        ->required()
        ->type_name(kFileType);
    add_edit_options(cmd, args->edit, false);
    cmd->callback(reported(ctx, args->edit.report, [args, cmd, &ctx] {
        if (args->toolids.empty() && args->lines.empty()) {
            ctx.error(usage_failure(*cmd, "extract needs its argument \"toolid\": TOOLIDs or patterns of the records "
                                          "to write (or --line)."));
            return Result(kExitUsage);
        }
        if (args->edit.output == args->edit.library) {
            ctx.error("extract writes a new library; -o " + args->edit.output + " is the library itself (remove "
                      "takes records out of it)");
            return Result(kExitUsage);
        }
        return run_edit(ctx, "extract", args->edit, [args, &ctx](const EditInput &in) {
            Edit e;
            std::vector<size_t> picked;
            if (!pick_records(ctx, in, args->toolids, args->lines, true, picked)) {
                e.code = kExitUsage;
                return e;
            }
            e.text = tlsfile::only_records(in.file.library.text, in.spans, picked);
            e.details = {{"extracted", records_done(in, picked, "wrote", e)}};
            return e;
        });
    }));
}

}  // namespace kesto::cli
