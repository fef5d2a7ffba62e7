// kesto-tools-vericut preview FILE.tls -o FILE.svg: draws every tool of a
// tool library file (cutter and holder outline, name, main dimensions) as
// one SVG document.  A file with problems is still drawn, its damaged tools
// framed; the output file appears whole or not at all.
#include <algorithm>

#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"
#include "tools/cli/inputs.h"
#include "tools/cli/outputs.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tls_diff.h"
#include "tools/tlsfile/tls_preview.h"

namespace kesto::cli {
namespace {

struct PreviewArgs {
    std::string file;
    std::string output;
    std::string scale = "one";
    std::string against;
    OutputOptions output_options;
    ReportOptions report;  // preview has neither -q nor --json
};

// What the merge that made library did to each of its tools, against base:
// added (a TOOLID base lacks) or replaced (a record that differs from
// base's).  A record the merge replaced by the same text cannot be told
// from one it kept, and is not marked.
std::vector<tlsfile::ToolMark> merge_marks(const tlsfile::LibraryText &base, const tlsfile::LibraryText &library) {
    const std::vector<tlsfile::Tool> &tools = library.library.tools;
    std::vector<tlsfile::ToolMark> marks(tools.size(), tlsfile::ToolMark::none);
    auto mark = [&](int line, tlsfile::ToolMark m) {
        auto at = std::lower_bound(tools.begin(), tools.end(), line,
                                   [](const tlsfile::Tool &t, int l) { return t.line < l; });
        if (at != tools.end() && at->line == line) marks[static_cast<size_t>(at - tools.begin())] = m;
    };
    const tlsfile::LibraryDiff diff = tlsfile::diff_libraries(base, library);
    for (const tlsfile::ListedTool &t : diff.only_new) mark(t.line, tlsfile::ToolMark::added);
    for (const tlsfile::ChangedTool &c : diff.changed) mark(c.new_line, tlsfile::ToolMark::replaced);
    return marks;
}

Result run_preview(const PreviewArgs &args, Context &ctx) {
    Result result;
    result.code = kExitUsage;
    if (!standard_input_once(ctx, {args.file, args.against})) return result;
    set_policy(ctx, args.output_options);
    // Standard input is drawn to standard output unless -o says otherwise.
    std::string output = args.output;
    if (output.empty() && is_standard_stream(args.file)) output = "-";
    if (output.empty()) output = tlsfile::utf8_path(tlsfile::fs_path(args.file).replace_extension(".svg"));
    // The drawing never takes the place of the libraries it shows.
    const Output out(output, tlsfile::OutputKind::picture, {args.file, args.against}, "the drawing", "preview");
    if (!check_output(ctx, out)) return result;
    tlsfile::Source source;
    if (!read_input(ctx, args.file, source)) return result;
    if (source.kind == tlsfile::SourceKind::part) {
        ctx.error(tlsfile::wrong_kind(source, "preview", tlsfile::Wanted::library));
        return result;
    }
    tlsfile::CheckResult checked = tlsfile::check_source(source);
    tlsfile::PreviewOptions options;
    options.scale = args.scale == "per-tool" ? tlsfile::PreviewScale::per_tool : tlsfile::PreviewScale::one;
    if (!args.against.empty()) {
        LibraryFile base;
        if (!read_library(ctx, args.against, "preview --against", base)) return result;
        tlsfile::LibraryText library{source.text, std::move(checked.library)};
        options.marks = merge_marks(base.library, library);
        options.against = input_label(args.against);
        checked.library = std::move(library.library);
    }
    const std::string label = input_label(args.file);
    const std::string title =
        is_standard_stream(args.file) ? label : tlsfile::utf8_path(tlsfile::fs_path(args.file).filename());
    const std::string svg = tlsfile::render_preview(checked.library, checked.problems, title, options);
    Written written;
    if (write_output(ctx, out, svg, written) != kExitOk) return result;
    const size_t tools = checked.library.tools.size();
    if (!is_standard_stream(output))
        result.text = "wrote " + shown(output) + ": " + count(tools, "tool", "tools") + "\n" + replacement_text(written);
    result.code = kExitOk;
    if (checked.problems.empty()) return result;
    const size_t n = checked.problems.size() + checked.problems_beyond;
    ctx.error(label + " has " + count(n, "problem", "problems") + " (their tools are framed in red); run check " +
              args.file + " for the list");
    result.code = kExitProblems;
    return result;
}

}  // namespace

void add_preview_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<PreviewArgs>();
    CLI::App *cmd = app.add_subcommand("preview");
    describe(cmd, "Draw a tool library as an SVG picture, every tool to one scale",
             "One cell per tool with its cutter (orange) and holder (blue) outline mirrored about the axis, "
             "its name and main dimensions. Every tool is drawn to one scale, shown by a scale bar in "
             "millimetres, the tallest first, with its flute length and an APT 10 cutter's second corner "
             "marked; --scale per-tool draws each tool to fill its cell, in the file's order. With --against "
             "BASE.tls the tools a merge into BASE added or replaced are marked. A file with problems is drawn "
             "all the same: the tools with problems are framed in red with their count, and the count is "
             "printed on standard error.\n\n"
             "The SVG file is replaced only when it was written whole, and only a new name, a drawing this "
             "program made or (with --force) another regular file other than the input takes it; its name "
             "ends in .svg. Without -o it goes beside the input with the extension .svg; standard input (-) is "
             "drawn to standard output. Reads regular files of up to 64 MiB.\n\n"
             "Exit 0 when the drawing was written and the file has no problems, 1 when it was written but the "
             "file has problems (see check), 2 when nothing was written (bad arguments, unreadable input, an "
             "output that may not or cannot be written).",
             {{"preview SITE.tls", "writes SITE.svg"},
              {"preview MERGED.tls --against SITE.tls -o MERGED.svg", "marks what a merge into SITE.tls changed"},
              {"preview - < NEW.tls > NEW.svg", "from standard input to standard output"}});
    cmd->add_option("file", args->file, "The *.tls file to draw; - reads standard input")->required()->type_name(kFileType);
    cmd->add_option("-o,--output", args->output, "The SVG file (default: the input's name with .svg); - writes standard output")
        ->type_name(kFileType);
    choices(cmd->add_option("--scale", args->scale,
                            "one (default): every tool to the same scale; per-tool: each to fill its cell"),
            {"one", "per-tool"});
    cmd->add_option("--against", args->against,
                    "The library this one was merged into: mark the tools the merge added or replaced")
        ->type_name(kFileType);
    add_force_option(cmd, args->output_options, "Replace an output that is not a drawing this program made");
    cmd->callback(reported(ctx, args->report, [args, &ctx] { return run_preview(*args, ctx); }));
}

}  // namespace kesto::cli
