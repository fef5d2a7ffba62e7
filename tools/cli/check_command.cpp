// kesto-tools-vericut check FILE.tls...: reads tool library files and
// reports every tool with its form and main dimensions, then every problem
// found with its line number; several files get one summary line each.
#include <cmath>
#include <fstream>
#include <string_view>

#include "host/common/cp1251.h"
#include "tools/cli/commands.h"
#include "tools/cli/library_merge.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tool_facts.h"

namespace kesto::cli {
namespace {

using json = nlohmann::ordered_json;

struct CheckArgs {
    std::vector<std::string> files;
    bool quiet = false;
    bool json = false;
};

// One file's report as a JSON object.
json file_object(const std::string &label, const tlsfile::CheckResult &r) {
    json tools = json::array(), problems = json::array();
    for (const tlsfile::Tool &t : r.library.tools) {
        const std::string holder = tlsfile::holder_summary(t);
        const tlsfile::ToolFacts f = tlsfile::tool_facts(t);
        auto number = [](double v) { return std::isfinite(v) ? json(v) : json(nullptr); };
        json sections = json::array();
        for (const tlsfile::HolderSection &s : f.holder)
            sections.push_back({{"from", s.from + 0.0}, {"to", s.to + 0.0}, {"bottom_diameter", s.bottom_diameter},
                                {"top_diameter", s.top_diameter}});
        tools.push_back({{"line", t.line},
                         {"toolid", cp1251_to_utf8(t.name)},
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
                            {"toolid", p.tool.empty() ? json(nullptr) : json(cp1251_to_utf8(p.tool))},
                            {"message", cp1251_to_utf8(p.message)}});
    return {{"file", label}, {"clean", r.problems.empty()}, {"tools", tools}, {"problems", problems},
            {"problems_beyond", r.problems_beyond}};
}

// "FILE: 12 tools, no problems", after the file's problem lines.
std::string summary(const std::string &label, const tlsfile::CheckResult &r) {
    std::string out;
    for (const tlsfile::Problem &p : r.problems) out += tlsfile::format_problem(p, label);
    const size_t tools = r.library.tools.size(), problems = r.problems.size() + r.problems_beyond;
    out += label + ": " + count(tools, "tool", "tools") + ", ";
    if (problems == 0) return out + "no problems\n";
    return out + count(problems, "problem", "problems") + "\n";
}

int run_check(const CheckArgs &args) {
    if (!standard_input_once(args.files)) return kExitUsage;
    const bool one = args.files.size() == 1;
    int code = kExitOk;
    json files = json::array();
    for (const std::string &file : args.files) {
        const std::string label = input_label(file);
        std::string text, report, error;
        bool clean = false;
        // One file is reported record by record, so that a large one takes
        // little memory; several and JSON take each file's whole result.
        if (one && !args.json && !is_standard_stream(file)) {
            // a part file is named as such; only a regular file is opened for
            // that (a pipe would wait for a writer), the reader judges the rest
            char head[64] = {};
            std::ifstream head_stream;
            if (tlsfile::entry_kind(tlsfile::fs_path(file), true) == tlsfile::EntryKind::file) {
                head_stream.open(tlsfile::fs_path(file), std::ios::binary);
                head_stream.read(head, sizeof head);
            }
            const std::string refused =
                part_file_refused("check", file, std::string_view(head, static_cast<size_t>(head_stream.gcount())));
            if (!refused.empty()) {
                complain(refused);
                return kExitUsage;
            }
            if (!tlsfile::report_file(file, label, report, clean, error)) {
                complain("cannot read " + error);
                return kExitUsage;
            }
        } else if (!read_input(file, tlsfile::kMaxLibraryBytes, text, error)) {
            complain("cannot read " + error);
            files.push_back({{"file", label}, {"error", error}});
            code = kExitUsage;
            continue;
        } else if (const std::string refused = part_file_refused("check", file, text); !refused.empty()) {
            complain(refused);
            files.push_back({{"file", label}, {"error", refused}});
            code = kExitUsage;
            continue;
        } else if (one && !args.json) {
            report = tlsfile::report_text(text, label, clean);
        } else {
            const tlsfile::CheckResult result = tlsfile::check_text(text);
            clean = result.problems.empty();
            if (args.json) files.push_back(file_object(label, result));
            else report = summary(label, result);
        }
        if (!clean && code == kExitOk) code = kExitProblems;
        if (!args.quiet && !args.json && !print(report)) return kExitUsage;
        if (stdout_closed()) return code;
    }
    if (args.json && !print_json({{"clean", code == kExitOk}, {"files", files}})) return kExitUsage;
    return code;
}

void add(CLI::App &app) {
    auto args = std::make_shared<CheckArgs>();
    CLI::App *cmd = app.add_subcommand("check");
    describe(cmd, "Check tool libraries (*.tls) for faults a simulator would trip on",
             "Checks a file the plug-in wrote or one made by hand: its syntax, the lines every record needs "
             "(TOOLTYPE, or a CUTTER block), the number of values of each cutter form, outlines that start and "
             "end on the axis, arcs that pass through the points beside them, holders that do not reach below "
             "their own start, TOOLIDs that are not empty and used once, cutters of positive diameter and "
             "length with flutes no longer, drill point angles between 0 and 180 degrees, no coordinate or "
             "radius beyond 10^6, holders that leave the axis and have no negative radius, no control byte in "
             "a TOOLID or quoted text, Windows-1251 text (not UTF-8), one kind of line end and one unit of "
             "length. Reads regular files of up to 64 MiB, or standard input (-).\n\n"
             "For one file it prints one line per tool (its form and main dimensions, its holder, units other "
             "than millimetres), then one line per problem (FILE:LINE: ..., at the line of the token at "
             "fault), then the count. For several files it prints each file's "
             "problem lines and one summary line. -q prints nothing; --json prints one object.\n\n"
             "Exit 0 when no file has problems, 1 when one has some, 2 when a file cannot be read or the "
             "report cannot be written.",
             {{"check SITE.tls", "the report of one library"},
              {"check -q NEW.tls && echo clean", "only the exit code"},
              {"check --json *.tls", "every library's tools and problems as one JSON object"}});
    cmd->add_option("files", args->files, "The *.tls files to check; - reads standard input")->required();
    cmd->add_flag("-q,--quiet", args->quiet, "Print nothing; the exit code tells");
    cmd->add_flag("--json", args->json, "Print one JSON object (see the README)");
    cmd->callback([args] {
        set_quiet(args->quiet);
        set_exit_code(run_check(*args));
    });
}

CommandRegistrar registrar(40, add);

}  // namespace
}  // namespace kesto::cli
