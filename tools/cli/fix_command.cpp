// kesto-tools-vericut fix LIBRARY: the library made what the plug-in
// writes: Windows-1251, CR LF line ends, no byte-order mark, a line end at
// the end.  Every record stays otherwise byte for byte.
#include <CLI/CLI.hpp>

#include "tools/cli/library_edit.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/tls_edit.h"

namespace kesto::cli {
namespace {

Edit fix(Context &ctx, const EditInput &in) {
    Edit e;
    const tlsfile::FixResult r = tlsfile::fix_library(in.file.source, in.file.library.text);
    if (!r.error.empty()) {
        ctx.error(shown(in.label) + ": " + r.error + "; " + left_as_it_was(in.label));
        e.code = kExitUsage;
        return e;
    }
    e.text = r.text;
    if (r.byte_order_mark) e.done.push_back("byte-order mark removed");
    if (r.converted_from)
        e.done.push_back(std::string("encoding ") + r.converted_from + " made Windows-1251 (" +
                         count(r.converted_lines, "line", "lines") + ")");
    if (r.lf_ends) e.done.push_back(count(r.lf_ends, "LF line end", "LF line ends") + " made CR LF");
    if (r.cr_ends) e.done.push_back(count(r.cr_ends, "CR line end", "CR line ends") + " made CR LF");
    if (r.end_added) e.done.push_back("line end added after the last line");
    for (const std::string &d : e.done) e.would.push_back("would have: " + d);
    e.details = {{"byte_order_mark_removed", r.byte_order_mark},
                 {"from_utf8", r.converted_from && std::string(r.converted_from) == "UTF-8"},
                 {"converted_from", r.converted_from ? json(r.converted_from) : json(nullptr)},
                 {"converted_lines", r.converted_lines},
                 {"lf_ends", r.lf_ends},
                 {"cr_ends", r.cr_ends},
                 {"end_added", r.end_added}};
    return e;
}

}  // namespace

void add_fix_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<EditArgs>();
    CLI::App *cmd = app.add_subcommand("fix");
    describe(cmd, "Mend a library saved by another editor: encoding and line ends",
             "Writes the library in Windows-1251 with CR LF line ends, without a byte-order mark and ending in a "
             "line end: a library saved as UTF-8 or UTF-16 (Notepad's \"Unicode\") is converted, LF or CR line "
             "ends become CR LF. Every record stays otherwise byte for byte. A character that Windows-1251 "
             "cannot hold is refused, with its line, and nothing is changed. Says what it changed; with -o the "
             "result goes there and the library is left as it is.\n\n"
             "Exit 0 when the library was mended or needed nothing, 1 when it could not be written (another "
             "writer holds it), 2 when it cannot be read, is no tool library or holds a character Windows-1251 "
             "lacks; with --dry-run 0 when nothing would change, 1 when something would.",
             {{"fix SITE.tls", "mends the site library in place"},
              {"fix UTF8.tls -o SITE.tls --force", "a colleague's UTF-8 copy, mended into the site library"},
              {"fix --dry-run SITE.tls", "what would change"}});
    cmd->add_option("library", args->library, "The tool library (*.tls); - reads standard input (with -o)")
        ->required()
        ->type_name(kFileType);
    add_edit_options(cmd, *args);
    cmd->callback(reported(ctx, args->report, [args, &ctx] {
        return run_edit(ctx, "fix", *args, [&ctx](const EditInput &in) { return fix(ctx, in); });
    }));
}

}  // namespace kesto::cli
