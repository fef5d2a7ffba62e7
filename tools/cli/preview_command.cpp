// kesto-tools-vericut preview FILE.tls -o FILE.svg: draws every tool of a
// tool library file (cutter and holder outline, name, main dimensions) as
// one SVG document.  A file with problems is still drawn, its damaged tools
// framed; the output file appears whole or not at all.
#include <filesystem>
#include <iostream>
#include <system_error>

#include "tools/cli/commands.h"
#include "tools/tlsfile/output_file.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tls_preview.h"

namespace fs = std::filesystem;

namespace kesto::cli {
namespace {

struct PreviewArgs {
    std::string file;
    std::string output;
};

bool same_file(const fs::path &a, const fs::path &b) {
    std::error_code ec;
    bool same = fs::equivalent(a, b, ec);
    return !ec && same;
}

int run_preview(const PreviewArgs &args) {
    fs::path input(args.file);
    tlsfile::CheckResult result = tlsfile::check_file(args.file);
    if (!result.readable) {
        complain("cannot read " + result.read_error);
        return kExitUsage;
    }
    fs::path output = args.output.empty() ? fs::path(input).replace_extension(".svg") : fs::path(args.output);
    // The drawing must never take the place of the library it shows.
    if (output == input || same_file(input, output)) {
        complain(output.string() + ": is the input file; give another output with -o");
        return kExitUsage;
    }
    if (fs::is_directory(output)) {
        complain(output.string() + ": is a folder; give a file name with -o");
        return kExitUsage;
    }
    if (output.has_parent_path() && !fs::is_directory(output.parent_path())) {
        complain(output.parent_path().string() + ": no such folder");
        return kExitUsage;
    }

    std::string svg = tlsfile::render_preview(result.library, result.problems, input.filename().string());
    std::string error;
    if (!tlsfile::write_output_file(output.string(), svg, error)) {
        complain(error);
        return kExitUsage;
    }
    size_t tools = result.library.tools.size();
    std::cout << "wrote " << output.string() << ": " << tools << (tools == 1 ? " tool" : " tools") << "\n";
    if (result.problems.empty()) return kExitOk;
    size_t n = result.problems.size();
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
                   "standard error. The SVG file is replaced only when it was written whole. Exit 0 "
                   "when the drawing was written and the file has no problems, 1 when it was "
                   "written but the file has problems (see check), 2 when nothing was written "
                   "(bad arguments, unreadable input, output not writable).");
    cmd->add_option("file", args->file, "The *.tls file to draw")->required();
    cmd->add_option("-o,--output", args->output, "The SVG file (default: the input's name with .svg)");
    cmd->callback([args] { set_exit_code(run_preview(*args)); });
}

CommandRegistrar registrar(50, add);

}  // namespace
}  // namespace kesto::cli
