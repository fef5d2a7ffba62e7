// kesto-tools-vericut check FILE.tls: reads a tool library file and reports
// every tool with its form and main dimensions, then every problem found in
// the file with its line number.
#include "tools/cli/commands.h"
#include "tools/tlsfile/tls_check.h"

namespace kesto::cli {
namespace {

struct CheckArgs {
    std::string file;
};

int run_check(const CheckArgs &args) {
    std::string report, error;
    bool clean = false;
    if (!tlsfile::report_file(args.file, args.file, report, clean, error)) {
        complain("cannot read " + error);
        return kExitUsage;
    }
    if (!print(report)) return kExitUsage;
    return clean ? kExitOk : kExitProblems;
}

void add(CLI::App &app) {
    auto args = std::make_shared<CheckArgs>();
    CLI::App *cmd = app.add_subcommand(
        "check", "Check a *.tls tool library file (one the plug-in wrote, or one made by hand): its "
                 "syntax, the lines every record needs (TOOLTYPE, or a CUTTER block), the number of "
                 "values of each cutter form, outlines that start and end on the axis, arcs that pass "
                 "through the points beside them, holders that do not reach below their own start, "
                 "TOOLIDs that are not empty and used once, cutters of positive diameter and length "
                 "with flutes no longer, drill point angles between 0 and 180 degrees, no coordinate "
                 "or radius beyond 10^6, holders that leave the axis and have no negative radius, no "
                 "control byte in a TOOLID or quoted text, Windows-1251 text (not UTF-8), one kind of "
                 "line end and one unit of length. Prints one line per tool (its form and main "
                 "dimensions, its holder, units other than millimetres), then one line per problem "
                 "(FILE:LINE: ..., at the line of the token at fault), then the count. Reads regular "
                 "files of up to 64 MiB. Exit 0 when the file has no problems, 1 when it has some, 2 "
                 "when it cannot be read or the report cannot be written.");
    cmd->add_option("file", args->file, "The *.tls file to check")->required();
    cmd->callback([args] { set_exit_code(run_check(*args)); });
}

CommandRegistrar registrar(40, add);

}  // namespace
}  // namespace kesto::cli
