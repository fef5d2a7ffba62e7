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
};

int run_merge(const MergeArgs &args) {
    // the output may replace the base, never a library merged into it
    std::string error;
    if (!tlsfile::check_output_target(args.output, args.news, error)) {
        complain(error);
        return kExitUsage;
    }
    // no other writer from before the base is read until the output has its name
    tlsfile::OutputLock lock;
    if (!lock.take(args.output, error)) {
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
    request.lock = &lock;
    return merge_and_write(request);
}

void add(CLI::App &app) {
    auto args = std::make_shared<MergeArgs>();
    CLI::App *cmd = app.add_subcommand(
        "merge", "Merge tool libraries into a base library, matching records by TOOLID: a record of a new "
                 "library replaces the base's record of the same TOOLID in its place, a tool new to the base "
                 "is appended (in the new library's order); the base's header and every record not replaced "
                 "are kept byte for byte, the new records take the base's line ends. Libraries are merged in "
                 "the order given, so a later one wins. A new library with problems (see check), or one "
                 "holding a TOOLID twice, is refused unless --force is given. The result is checked, then "
                 "written whole or not at all; the output may be the base itself. Prints how many tools were "
                 "replaced, added and kept, and their names. Exit 0 when the output was written, 1 when the "
                 "merge was refused, the output could not be written, or (with --force) it was written with "
                 "problems, 2 when the arguments are bad, an input cannot be read or is no tool library, or "
                 "the output may not be written.");
    cmd->add_option("base", args->base, "The base library (*.tls)")->required();
    cmd->add_option("new", args->news, "The libraries to merge into it, in order")->required();
    cmd->add_option("-o,--output", args->output, "The merged library (may be the base)")->required();
    cmd->add_flag("--force", args->force, "Merge libraries with problems all the same");
    cmd->callback([args] { set_exit_code(run_merge(*args)); });
}

CommandRegistrar registrar(36, add);

}  // namespace
}  // namespace kesto::cli
