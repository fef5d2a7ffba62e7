// kesto-tools-vericut check FILE.tls...: reads tool library files and
// reports every tool with its form and main dimensions, then every problem
// found with its line number; several files get one summary line each.
#include <cmath>

#include <CLI/CLI.hpp>

#include "host/common/cp1251.h"
#include "tools/cli/commands.h"
#include "tools/cli/inputs.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tool_facts.h"

namespace kesto::cli {
namespace {

struct CheckArgs {
    std::vector<std::string> files;
    ReportOptions report;
};

json number(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }

// One file's report as a JSON object.
json file_object(const std::string &label, const tlsfile::CheckResult &r) {
    json tools = json::array(), problems = json::array();
    for (const tlsfile::Tool &t : r.library.tools) {
        const std::string holder = tlsfile::holder_summary(t);
        const tlsfile::ToolFacts f = tlsfile::tool_facts(t);
        json sections = json::array();
        for (const tlsfile::HolderSection &s : f.holder)
            sections.push_back({{"from", s.from + 0.0}, {"to", s.to + 0.0}, {"bottom_diameter", s.bottom_diameter},
                                {"top_diameter", s.top_diameter}});
        tools.push_back({{"line", t.line},
                         {"toolid", toolid_json(t.name)},
                         {"summary", tlsfile::tool_summary(t)},
                         {"holder", holder.empty() ? json(nullptr) : json(holder)},
                         {"damaged_line", t.damaged_line ? json(t.damaged_line) : json(nullptr)},
                         {"units", t.units.empty() ? json(nullptr) : json(t.units)},
                         {"kind", tlsfile::kind_word(f.kind)},
                         {"diameter", number(f.diameter)},
                         {"corner_radius", number(f.corner_radius)},
                         {"length", number(f.length)},
                         {"flute_length", number(f.flute_length)},
                         {"shank_diameter", number(f.shank_diameter)},
                         {"holder_sections", t.holder_outline.present ? sections : json(nullptr)}});
    }
    for (const tlsfile::Problem &p : r.problems)
        problems.push_back({{"line", p.line},
                            {"toolid", p.tool.empty() ? json(nullptr) : json(toolid_json(p.tool))},
                            {"message", kesto::cp1251_to_utf8(p.message)}});
    return {{"file", label}, {"clean", r.problems.empty()}, {"tools", tools}, {"problems", problems},
            {"problems_beyond", r.problems_beyond}};
}

// "FILE: 12 tools, no problems", after the file's problem lines.
std::string summary(const std::string &label, const tlsfile::CheckResult &r) {
    std::string out;
    for (const tlsfile::Problem &p : r.problems) out += tlsfile::format_problem(p, label);
    const size_t tools = r.library.tools.size(), problems = r.problems.size() + r.problems_beyond;
    out += shown(label) + ": " + count(tools, "tool", "tools") + ", ";
    if (problems == 0) return out + "no problems\n";
    return out + count(problems, "problem", "problems") + "\n";
}

Result run_check(const CheckArgs &args, Context &ctx) {
    Result result;
    result.object = {{"clean", false}, {"files", json::array()}};
    if (!standard_input_once(ctx, args.files)) {
        result.code = kExitUsage;
        return result;
    }
    const bool one = args.files.size() == 1;
    for (const std::string &file : args.files) {
        const std::string label = input_label(file);
        tlsfile::Source source;
        const size_t said = ctx.errors().size();
        // a part is named as such; anything else is read as a library, to say what is wrong with it
        if (!read_input(ctx, file, source) || source.kind == tlsfile::SourceKind::part) {
            if (ctx.errors().size() == said) ctx.error(tlsfile::wrong_kind(source, "check", tlsfile::Wanted::library));
            std::string error = ctx.errors().back();
            if (error.rfind("cannot read ", 0) == 0) error.erase(0, 12);
            result.object["files"].push_back({{"file", label}, {"error", error}});
            result.code = kExitUsage;
            continue;
        }
        bool clean = false;
        if (one && !ctx.json) {
            // one file's report record by record: a large file takes little more memory than itself
            result.text += tlsfile::report_source(source, label, clean);
        } else {
            const tlsfile::CheckResult checked = tlsfile::check_source(source);
            clean = checked.problems.empty();
            result.object["files"].push_back(file_object(label, checked));
            result.text += summary(label, checked);
        }
        if (!clean && result.code == kExitOk) result.code = kExitProblems;
    }
    result.object["clean"] = result.code == kExitOk;
    return result;
}

}  // namespace

void add_check_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<CheckArgs>();
    CLI::App *cmd = app.add_subcommand("check");
    describe(cmd, "Check tool libraries (*.tls) for faults a simulator would trip on",
             "Checks a file the plug-in wrote or one made by hand: its syntax, the lines every record needs "
             "(TOOLTYPE, or a CUTTER block), the number of values of each cutter form, outlines that start and "
             "end on the axis, arcs that pass through the points beside them, holders that do not reach below "
             "their own start, TOOLIDs that are not empty and used once, cutters of positive diameter and "
             "length with flutes no longer, drill point angles between 0 and 180 degrees, no coordinate or "
             "radius beyond 10^6, holders that leave the axis and have no negative radius, no control byte in "
             "a TOOLID or quoted text, Windows-1251 text (a library saved as UTF-8 or UTF-16 is read all the "
             "same, and its encoding is a problem: fix mends it), one kind of line end and one unit of length. "
             "Reads regular files of up to 64 MiB, or standard input (-).\n\n"
             "For one file it prints one line per tool (its form and main dimensions, its holder, units other "
             "than millimetres), then one line per problem (FILE:LINE: ..., at the line of the token at "
             "fault), then the count. For several files it prints each file's problem lines and one summary "
             "line. -q prints nothing; --json prints one object.\n\n"
             "Exit 0 when no file has problems, 1 when one has some, 2 when a file cannot be read or the "
             "report cannot be written.",
             {{"check SITE.tls", "the report of one library"},
              {"check -q NEW.tls && echo clean", "only the exit code"},
              {"check --json *.tls", "every library's tools and problems as one JSON object"}});
    cmd->add_option("files", args->files, "The *.tls files to check; - reads standard input")
        ->required()
        ->type_name(kFileType);
    add_report_options(cmd, args->report, "Print nothing; the exit code tells");
    cmd->callback(reported(ctx, args->report, [args, &ctx] { return run_check(*args, ctx); }));
}

}  // namespace kesto::cli
