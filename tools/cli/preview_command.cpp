// kesto-tools-vericut preview FILE.tls -o FILE.svg: draws every tool of a
// tool library file (cutter and holder outline, name, main dimensions) as
// one SVG document.  A file with problems is still drawn, its damaged tools
// framed; the output file appears whole or not at all.
#include "tools/cli/commands.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/output_file.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tls_preview.h"

namespace kesto::cli {
namespace {

struct PreviewArgs {
    std::string file;
    std::string output;
};

int run_preview(const PreviewArgs &args) {
    tlsfile::CheckResult result = tlsfile::check_file(args.file);
    if (!result.readable) {
        complain("cannot read " + result.read_error);
        return kExitUsage;
    }
    std::string output = args.output;
    if (output.empty()) output = tlsfile::utf8_path(tlsfile::fs_path(args.file).replace_extension(".svg"));
    std::string title = tlsfile::utf8_path(tlsfile::fs_path(args.file).filename());
    std::string svg = tlsfile::render_preview(result.library, result.problems, title);
    // The drawing never takes the place of the library it shows.
    std::string error;
    if (!tlsfile::write_output_file(output, svg, error, {args.file})) {
        complain(error);
        return kExitUsage;
    }
    size_t tools = result.library.tools.size();
    if (!print("wrote " + output + ": " + std::to_string(tools) + (tools == 1 ? " tool" : " tools") + "\n"))
        return kExitUsage;
    if (result.problems.empty()) return kExitOk;
    size_t n = result.problems.size() + result.problems_beyond;
    complain(args.file + " has " + std::to_string(n) + (n == 1 ? " problem" : " problems") +
             " (their tools are framed in red); run check " + args.file + " for the list");
    return kExitProblems;
}

void add(CLI::App &app) {
    auto args = std::make_shared<PreviewArgs>();
    CLI::App *cmd = app.add_subcommand(
        "preview", "Draw a *.tls tool library file as an SVG picture: one cell per tool with its "
                   "cutter (orange) and holder (blue) outline mirrored about the axis, its name and "
                   "main dimensions. A file with problems is drawn all the same: the tools with "
                   "problems are framed in red with their count, and the count is printed on "
                   "standard error. The SVG file is replaced only when it was written whole, and "
                   "only a new name or a regular file other than the input takes it. Reads regular "
                   "files of up to 64 MiB. Exit 0 when the drawing was written and the file has no "
                   "problems, 1 when it was written but the file has problems (see check), 2 when "
                   "nothing was written (bad arguments, unreadable input, an output that may not or "
                   "cannot be written).");
    cmd->add_option("file", args->file, "The *.tls file to draw")->required();
    cmd->add_option("-o,--output", args->output, "The SVG file (default: the input's name with .svg)");
    cmd->callback([args] { set_exit_code(run_preview(*args)); });
}

CommandRegistrar registrar(50, add);

}  // namespace
}  // namespace kesto::cli
