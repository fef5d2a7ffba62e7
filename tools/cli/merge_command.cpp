// kesto-tools-vericut merge BASE.tls NEW.tls... -o OUT.tls: the new
// libraries' records replace the base's records of the same TOOLID in place
// or are appended; the base's header and untouched records stay byte for
// byte.  The output, which may be the base itself, is checked and then
// written whole, or not at all.
#include "tools/cli/commands.h"
#include "tools/cli/library_merge.h"

namespace kesto::cli {
namespace {

struct MergeArgs {
    std::string base;
    std::vector<std::string> news;
    std::string output;
    bool force = false;
    bool quiet = false;
    bool json = false;
    std::string backup;
    bool dry_run = false;
};

int run_merge(const MergeArgs &args, nlohmann::ordered_json *object) {
    std::vector<std::string> inputs = args.news;
    inputs.push_back(args.base);
    if (!standard_input_once(inputs)) return kExitUsage;
    if (args.json && is_standard_stream(args.output)) {
        complain("--json needs a file, not standard output (-)");
        return kExitUsage;
    }
    // the output may replace the base, never a library merged into it
    std::string error;
    if (!check_output(args.output, args.news, error)) {
        complain(error);
        return kExitUsage;
    }
    // no other writer from before the base is read until the output has its name
    tlsfile::OutputLock lock;
    if (!is_standard_stream(args.output) && !lock.take(args.output, error)) {
        complain(error);
        return kExitProblems;
    }
    const std::string purpose = "merge takes tool libraries only";
    LibraryFile base;
    if (!read_library(args.base, base, purpose)) return kExitUsage;
    std::vector<LibraryFile> files(args.news.size());
    MergeRequest request;
    request.base = &base;
    for (size_t i = 0; i < args.news.size(); ++i) {
        if (!read_library(args.news[i], files[i], purpose)) return kExitUsage;
        request.news.push_back(&files[i]);
    }
    request.output = args.output;
    request.inputs = args.news;
    request.force = args.force;
    request.json = object;
    request.lock = &lock;
    return merge_and_write(request);
}

void add(CLI::App &app) {
    auto args = std::make_shared<MergeArgs>();
    CLI::App *cmd = app.add_subcommand("merge");
    describe(cmd, "Merge tool libraries into a base library, records matched by TOOLID",
             "A record of a new library replaces the base's record of the same TOOLID in its place; a tool "
             "new to the base is appended, in the new library's order. The base's header and every record not "
             "replaced are kept byte for byte; the new records take the base's line ends. Libraries are merged "
             "in the order given, so a later one wins. A new library with problems (see check), or one holding "
             "a TOOLID twice, is refused unless --force is given.\n\n"
             "The result is checked, then written whole or not at all; the output may be the base itself, or "
             "standard output (-o -). An existing output other than the base is replaced only when it is a "
             "tool library whose every TOOLID the result holds, unless --force is given; the summary names "
             "each record whose bytes changed. --backup keeps the old output as OUT~ (--backup=numbered: "
             "OUT.~N~) first; --dry-run writes nothing and lists what would be added, replaced, kept or "
             "refused, with exit 0 when nothing would change and 1 when something would. A new library may be standard input (-). Prints how many tools were "
             "replaced, added and kept, and their names (on standard error when the output is standard "
             "output); -q prints only errors, --json one object.\n\n"
             "Exit 0 when the output was written, 1 when the merge was refused, the output could not be "
             "written, or (with --force) it was written with problems, 2 when the arguments are bad, an input "
             "cannot be read or is no tool library, or the output may not be written.",
             {{"merge SITE.tls NEW.tls -o SITE.tls", "brings the tools of NEW.tls into the site library"},
              {"merge SITE.tls A.tls B.tls -o MERGED.tls", "B.tls wins where both give a TOOLID"},
              {"export PART.json -o - | kesto-tools-vericut merge SITE.tls - -o MERGED.tls",
               "merges an export without a file between"}});
    cmd->add_option("base", args->base, "The base library (*.tls)")->required();
    cmd->add_option("new", args->news, "The libraries to merge into it, in order; - reads standard input")
        ->required();
    cmd->add_option("-o,--output", args->output, "The merged library (may be the base); - writes standard output")
        ->required();
    cmd->add_flag("--force", args->force,
                  "Merge libraries with problems all the same (exit 1), or replace an output that holds TOOLIDs "
                  "the merge does not give, or is no tool library");
    add_backup_option(cmd, args->backup);
    add_dry_run_option(cmd, args->dry_run);
    cmd->add_flag("-q,--quiet", args->quiet, "Print only errors");
    cmd->add_flag("--json", args->json, "Print one JSON object (see the README)");
    cmd->callback([args] {
        set_quiet(args->quiet);
        const bool backup_ok = set_output_policy(args->force, args->backup, args->dry_run);
        using json = nlohmann::ordered_json;
        json object = {{"base", input_label(args->base)}, {"new", json::array()}, {"output", args->output},
                       {"written", false}, {"problems", json::array()}, {"replaced", json::array()},
                       {"added", json::array()}, {"kept", nullptr}, {"notes", json::array()},
                       {"replacement", nullptr}};
        if (args->dry_run) object["plan"] = nullptr;
        for (const std::string &n : args->news) object["new"].push_back(input_label(n));
        const int code = backup_ok ? run_merge(*args, args->json ? &object : nullptr) : kExitUsage;
        set_exit_code(args->json && !print_json(object) ? kExitUsage : code);
    });
}

CommandRegistrar registrar(36, add);

}  // namespace
}  // namespace kesto::cli
