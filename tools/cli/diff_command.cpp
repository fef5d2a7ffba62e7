// kesto-tools-vericut diff OLD.tls NEW.tls: what changed between two tool
// libraries, tool by tool, records matched by TOOLID.
#include <algorithm>

#include <CLI/CLI.hpp>

#include "host/common/cp1251.h"
#include "tools/cli/commands.h"
#include "tools/cli/diff_report.h"
#include "tools/cli/inputs.h"
#include "tools/cli/terminal.h"
#include "tools/cli/usage.h"

namespace kesto::cli {
namespace {

struct DiffArgs {
    std::string old_file;
    std::string new_file;
    bool full = false;
    bool stat = false;  // counts only
    bool git = false;   // git's seven arguments: path, old file, old hash, old mode, new file, ...
    std::vector<std::string> git_args;
    ReportOptions report;
};

// git's textconv: the library as UTF-8 text, line for line, so that git's
// own line diff (git log -p) shows it readable, each hunk headed by its
// record's TOOLID line.
Result textconv(const std::string &file, Context &ctx) {
    ctx.streams().set_utf8(true);
    Result result;
    LibraryFile library;
    if (file != "/dev/null" && !read_library(ctx, file, "diff --git", library)) return Result(kExitUsage);
    std::string text = kesto::cp1251_to_utf8(library.library.text);
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) text.erase(at, 1);
    ctx.write_bytes(text);
    return result;
}

Result run_diff(DiffArgs args, Context &ctx) {
    DiffView view;
    view.full = args.full && !args.stat;
    view.stat = args.stat;
    view.colour = !ctx.json && colour_wanted(1);
    if (args.git) {
        // git diff's external driver: PATH OLD-FILE OLD-HEX OLD-MODE NEW-FILE NEW-HEX NEW-MODE
        if (args.git_args.size() != 7) {
            ctx.error("diff --git takes the seven arguments git gives an external diff (path, old file, old hash, "
                      "old mode, new file, new hash, new mode), not " + std::to_string(args.git_args.size()));
            return Result(kExitUsage);
        }
        view.path = args.git_args[0];
        args.old_file = args.git_args[1];
        args.new_file = args.git_args[4];
        view.colour = false;
        // git reads what its drivers print as UTF-8, on every system
        ctx.streams().set_utf8(true);
    }
    view.old_label = args.git ? (args.old_file == "/dev/null" ? args.old_file : "a/" + view.path) : input_label(args.old_file);
    view.new_label = args.git ? (args.new_file == "/dev/null" ? args.new_file : "b/" + view.path) : input_label(args.new_file);
    Result result;
    result.object = empty_diff_object(view);
    LibraryFile old_file, new_file;
    if (!standard_input_once(ctx, {args.old_file, args.new_file})) return Result(kExitUsage, "", result.object);
    const bool absent_old = args.git && args.old_file == "/dev/null", absent_new = args.git && args.new_file == "/dev/null";
    if (absent_old) old_file = library_from_text(args.old_file, "");
    if (absent_new) new_file = library_from_text(args.new_file, "");
    if ((!absent_old && !read_library(ctx, args.old_file, "diff", old_file)) ||
        (!absent_new && !read_library(ctx, args.new_file, "diff", new_file))) {
        result.code = kExitUsage;
        return result;
    }
    const tlsfile::LibraryDiff diff =
        tlsfile::diff_libraries(old_file.library, new_file.library, view.full && !(ctx.quiet && !ctx.json));
    result.text = diff_text(view, diff);
    result.object = diff_object(view, diff);
    // git shows what a driver prints, and takes its exit code for a failure
    result.code = args.git ? kExitOk : diff.same() ? kExitOk : kExitProblems;
    return result;
}

}  // namespace

void add_diff_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<DiffArgs>();
    CLI::App *cmd = app.add_subcommand("diff");
    describe(cmd, "Compare two tool libraries tool by tool, records matched by TOOLID",
             "Lists the tools only in OLD, those only in NEW, those in both whose records differ (each with "
             "its first differing line from both files, line numbers included) and the count of unchanged "
             "tools. --full shows every differing line of each changed tool instead, in unified form with "
             "one line around each change, each line with its line numbers in OLD and in NEW. Line ends (CR "
             "LF against LF), blank lines after a record and the header do not count; a library saved as "
             "UTF-8 or UTF-16 is compared as the Windows-1251 library it stands for. A TOOLID a file holds "
             "more than once is matched in order (first with first) and noted. One of the files may be "
             "standard input (-). --stat gives the counts alone (the same, changed, added, removed), -q "
             "nothing but the exit code. On a terminal the report is in colour (removed red, added green, "
             "changed yellow), never when NO_COLOR is set.\n\n"
             "--git takes the seven arguments git hands an external diff program (set up by git-setup: "
             "diff.kesto-tls.command), /dev/null standing for a side that is not there, and prints the "
             "same report headed by the library's path in the repository, in UTF-8; git diff then shows a "
             "changed tool by its TOOLID. Given one file, --git prints it as UTF-8 text for git's own line "
             "diff (diff.kesto-tls.textconv, which git log -p uses).\n\n"
             "Exit 0 when the libraries hold the same tools, 1 when they differ (with --git: 0), 2 when a "
             "file cannot be read or is no tool library, or the report cannot be written.",
             {{"diff SITE.tls NEW.tls", "what a merge of NEW.tls into SITE.tls would change"},
              {"diff --full SITE.tls NEW.tls", "every line that differs"},
              {"diff --stat SITE.tls NEW.tls", "how many tools are the same, changed, added and removed"},
              {"diff -q SITE.tls NEW.tls && echo same", "the exit code alone, for a script"},
              {"export PART.json -o - | kesto-tools-vericut diff SITE.tls -", "against an export not yet written"}});
    cmd->add_option("old", args->old_file, "The library in use (*.tls); - reads standard input")
        ->required()
        ->type_name(kFileType);
    cmd->add_option("new", args->new_file, "The library to compare with it (*.tls); - reads standard input")
        ->type_name(kFileType);
    cmd->add_flag("--full", args->full, "Every differing line of each changed tool");
    cmd->add_flag("--stat", args->stat, "Only the counts of tools the same, changed, added and removed");
    cmd->add_flag("--git", args->git, "Take the seven arguments git gives an external diff program");
    // with --git the five arguments git hands over after the first two,
    // which the usage line of two libraries does not show
    cmd->allow_extras();
    add_report_options(cmd, args->report, "Nothing but the exit code");
    cmd->callback(reported(ctx, args->report, [args, cmd, &ctx] {
        DiffArgs given = *args;
        given.git_args = cmd->remaining();
        if (given.git && given.new_file.empty()) return textconv(given.old_file, ctx);
        if (given.new_file.empty()) {
            ctx.error(usage_failure(*cmd, "diff needs its argument \"new\": the library to compare with it (*.tls); - "
                                          "reads standard input."));
            return Result(kExitUsage);
        }
        if (given.git) {
            // git's seven arguments, in the order git gives them
            given.git_args.insert(given.git_args.begin(), {given.old_file, given.new_file});
        } else if (!given.git_args.empty()) {
            ctx.error(usage_failure(*cmd, "diff was given more arguments than it takes; \"" + given.git_args.front() +
                                              "\" is one too many."));
            return Result(kExitUsage);
        }
        return run_diff(given, ctx);
    }));
}

}  // namespace kesto::cli
