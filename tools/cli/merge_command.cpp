// kesto-tools-vericut merge: BASE.tls NEW.tls... -o OUT.tls, the new
// libraries' records in place of the base's of the same TOOLID or
// appended; --three-way BASE OURS THEIRS -o OUT, two edited copies merged
// record by record with the version they share; --git, that as git's merge
// driver.  The output is checked and then written whole, or not at all.
#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"
#include "tools/cli/library_merge.h"
#include "tools/cli/merge_three_way.h"
#include "tools/cli/usage.h"

namespace kesto::cli {
namespace {

struct MergeArgs {
    std::vector<std::string> files;  // BASE NEW..., or BASE OURS THEIRS (PATH)
    std::string output;
    bool three_way = false;
    bool git = false;
    std::vector<std::string> take;
    OutputOptions output_options;
    ReportOptions report;
};

Result run_two_way(const MergeArgs &args, Context &ctx) {
    const std::string &base_path = args.files.front();
    const std::vector<std::string> news(args.files.begin() + 1, args.files.end());
    Result result;
    result.object = {{"base", input_label(base_path)}, {"new", json::array()}};
    for (const std::string &n : news) result.object["new"].push_back(input_label(n));
    empty_merge_object(result.object, args.output);
    if (ctx.policy.dry_run) result.object["plan"] = nullptr;
    result.code = kExitUsage;
    if (!standard_input_once(ctx, args.files)) return result;
    if (ctx.json && is_standard_stream(args.output)) {
        ctx.error("--json needs a file, not standard output (-)");
        return result;
    }
    MergeRequest request;
    // the output may replace the base, never a library merged into it
    request.out.path = args.output;
    request.out.inputs = news;
    request.out.writer = "this merge";
    request.out.command = "merge";
    request.out.ways = "or give it as the base to merge into it";
    if (!check_output(ctx, request.out)) return result;
    // no other writer from before the base is read until the output has its name
    tlsfile::OutputLock lock;
    std::string error;
    if (!is_standard_stream(args.output) && !lock.take(args.output, error)) {
        ctx.error(error);
        result.code = kExitProblems;
        return result;
    }
    request.out.lock = is_standard_stream(args.output) ? nullptr : &lock;
    LibraryFile base;
    if (!read_library(ctx, base_path, "merge", base)) return result;
    std::vector<LibraryFile> files(news.size());
    request.base = &base;
    for (size_t i = 0; i < news.size(); ++i) {
        if (!read_library(ctx, news[i], "merge", files[i])) return result;
        request.news.push_back(&files[i]);
    }
    bool written = false;
    result.code = merge_and_write(ctx, request, result, written);
    return result;
}

Result run_merge(const MergeArgs &args, const CLI::App &cmd, Context &ctx) {
    if (!set_policy(ctx, args.output_options)) return Result(kExitUsage);
    const size_t wanted = args.git ? 4 : 3;
    if ((args.three_way || args.git) && args.files.size() != wanted) {
        ctx.error(usage_failure(cmd, std::string(args.git ? "merge --git takes BASE OURS THEIRS PATH, as git gives them"
                                                          : "merge --three-way takes BASE OURS THEIRS") +
                                         ", not " + count(args.files.size(), "file", "files") + "."));
        return Result(kExitUsage);
    }
    if (!args.three_way && !args.git && !args.take.empty()) {
        ctx.error(usage_failure(cmd, "--take settles the conflicts of a three-way merge: give --three-way."));
        return Result(kExitUsage);
    }
    if (!args.git && args.output.empty()) {
        ctx.error(usage_failure(cmd, "merge needs the option --output: the merged library."));
        return Result(kExitUsage);
    }
    if (!args.three_way && !args.git) {
        if (args.files.size() < 2) {
            ctx.error(usage_failure(cmd, "merge needs its argument \"new\": the libraries to merge into the base."));
            return Result(kExitUsage);
        }
        return run_two_way(args, ctx);
    }
    ThreeWayArgs three;
    three.base = args.files[0];
    three.ours = args.files[1];
    three.theirs = args.files[2];
    three.output = args.output;
    three.take = args.take;
    three.git = args.git;
    if (args.git) {
        three.git_path = args.files[3];
        // git hands over its own temporaries: OURS takes the merge whatever it
        // held; what git shows of a driver is its conflicts, on standard error
        ctx.policy.force = true;
        ctx.quiet = true;
        ctx.policy.backup = tlsfile::Backup::none;
    }
    return run_three_way(ctx, three);
}

}  // namespace

void add_merge_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<MergeArgs>();
    CLI::App *cmd = app.add_subcommand("merge");
    describe(cmd, "Merge tool libraries record by record, also with a common base",
             "merge BASE NEW... -o OUT: a record of a new library replaces the base's record of the same TOOLID "
             "in its place; a tool new to the base is appended, in the new library's order. The base's header "
             "and every record not replaced are kept byte for byte; the new records take the base's line ends. "
             "Libraries are merged in the order given, so a later one wins. A new library with problems (see "
             "check), or one holding a TOOLID twice, is refused unless --force is given. A library saved as "
             "UTF-8 or UTF-16 is merged as the Windows-1251 library it stands for.\n\n"
             "merge --three-way BASE OURS THEIRS -o OUT: two copies of a library edited apart, merged with the "
             "version both started from, TOOLID by TOOLID. A tool changed on one side only takes that side's "
             "record; changed the same way on both, that record; removed on one side and left alone on the "
             "other, it is removed; added on one side, or on both with the same record, it is added once. A "
             "tool changed differently on both sides, removed on one and changed on the other, or added on both "
             "with different records is a conflict: nothing is written and each is listed with the first line "
             "that differs on each side. --take ours or --take theirs settles every conflict one way, --take "
             "TOOLID=ours|theirs one tool. The result follows OURS' order, THEIRS' new tools after their "
             "neighbours.\n\n"
             "merge --git BASE OURS THEIRS PATH is git's merge driver (set up by git-setup): the merge goes into "
             "OURS, a whole library holding our side of each conflict, never conflict markers; each conflict is "
             "named with PATH on standard error.\n\n"
             "The result is checked, then written whole or not at all; the output may be the base itself, or "
             "standard output (-o -). An existing output other than the base is replaced only when it is a "
             "tool library whose every TOOLID the result holds, unless --force is given; the summary names "
             "each record whose bytes changed. --backup keeps the old output as OUT~ (--backup=numbered: "
             "OUT.~N~) first, unless nothing changes; --dry-run writes nothing and lists what would be added, "
             "replaced, kept or refused. -q prints only errors, --json one object.\n\n"
             "Exit 0 when the output was written (or nothing would change, with --dry-run), 1 when the merge "
             "was refused or has conflicts, the output could not be written, or (with --force) it was written "
             "with problems, 2 when the arguments are bad, an input cannot be read or is no tool library, or "
             "the output may not be written.",
             {{"merge SITE.tls NEW.tls -o SITE.tls", "brings the tools of NEW.tls into the site library"},
              {"merge SITE.tls A.tls B.tls -o MERGED.tls", "B.tls wins where both give a TOOLID"},
              {"merge --three-way BASE.tls MINE.tls YOURS.tls -o SITE.tls", "two keepers' copies, with their base"},
              {"merge --three-way BASE.tls MINE.tls YOURS.tls -o SITE.tls --take EM10=theirs",
               "the same, EM10's conflict settled their way"},
              {"export PART.json -o - | kesto-tools-vericut merge SITE.tls - -o MERGED.tls",
               "merges an export without a file between"}});
    cmd->add_option("files", args->files,
                    "BASE NEW...: the base library and the libraries to merge into it, in order (- reads standard "
                    "input); with --three-way BASE OURS THEIRS; with --git BASE OURS THEIRS PATH")
        ->required()
        ->type_name(kFileType);
    cmd->add_option("-o,--output", args->output, "The merged library (may be the base); - writes standard output")
        ->type_name(kFileType);
    cmd->add_flag("--three-way", args->three_way, "Merge OURS and THEIRS with the BASE they started from");
    cmd->add_flag("--git", args->git, "Be git's merge driver: BASE OURS THEIRS PATH, the merge into OURS");
    // its type name the words a completion offers; TOOLID=ours is typed whole
    add_list_option(cmd, "--take", args->take, "Settle conflicts: ours, theirs, or TOOLID=ours|theirs for one tool")
        ->type_name("ours|theirs");
    add_force_option(cmd, args->output_options,
                     "Merge libraries with problems all the same (exit 1), or replace an output that holds TOOLIDs "
                     "the merge does not give, or is no tool library");
    add_backup_option(cmd, args->output_options);
    add_dry_run_option(cmd, args->output_options);
    add_report_options(cmd, args->report);
    cmd->callback(reported(ctx, args->report, [args, cmd, &ctx] { return run_merge(*args, *cmd, ctx); }));
}

}  // namespace kesto::cli
