// kesto-tools-vericut diff OLD.tls NEW.tls: what changed between two tool
// libraries, tool by tool, records matched by TOOLID.
#include <nlohmann/json.hpp>

#include "host/common/cp1251.h"
#include "tools/cli/commands.h"
#include "tools/cli/library_merge.h"
#include "tools/tlsfile/tls_diff.h"

namespace kesto::cli {
namespace {

struct DiffArgs {
    std::string old_file;
    std::string new_file;
    bool json = false;
};

std::string tools(size_t n) { return std::to_string(n) + (n == 1 ? " tool" : " tools"); }

std::string side_text(const std::string &label, const tlsfile::DiffLine &d) {
    return "    " + label + ":" + std::to_string(d.line) + ": " +
           (d.present ? cp1251_shown(d.text) : std::string("(the record ends before this line)")) + "\n";
}

std::string render_text(const DiffArgs &args, const tlsfile::LibraryDiff &diff) {
    std::string out;
    auto listed = [&](const std::string &label, const std::vector<tlsfile::ListedTool> &list) {
        out += "only in " + label + ": " + tools(list.size()) + "\n";
        for (const tlsfile::ListedTool &t : list)
            out += "  " + quoted_toolid(t.name) + " (line " + std::to_string(t.line) + ")\n";
    };
    listed(args.old_file, diff.only_old);
    listed(args.new_file, diff.only_new);
    out += "changed: " + tools(diff.changed.size()) + "\n";
    for (const tlsfile::ChangedTool &c : diff.changed) {
        out += "  " + quoted_toolid(c.name) + "\n";
        out += side_text(args.old_file, c.old_side) + side_text(args.new_file, c.new_side);
    }
    out += "unchanged: " + tools(diff.unchanged) + "\n";
    for (const tlsfile::RepeatedToolid &r : diff.repeated) {
        out += "note: " + (r.in_old ? args.old_file : args.new_file) + " holds TOOLID " + quoted_toolid(r.name) +
               " " + std::to_string(r.lines.size()) + " times (lines";
        for (size_t i = 0; i < r.lines.size(); ++i) out += (i ? ", " : " ") + std::to_string(r.lines[i]);
        out += "); they are matched in order\n";
    }
    return out;
}

std::string render_json(const DiffArgs &args, const tlsfile::LibraryDiff &diff) {
    using json = nlohmann::ordered_json;
    auto listed = [](const std::vector<tlsfile::ListedTool> &list) {
        json a = json::array();
        for (const tlsfile::ListedTool &t : list) a.push_back({{"toolid", cp1251_to_utf8(t.name)}, {"line", t.line}});
        return a;
    };
    auto side = [](const tlsfile::DiffLine &d) {
        return json{{"line", d.line}, {"text", d.present ? json(cp1251_to_utf8(d.text)) : json(nullptr)}};
    };
    json changed = json::array(), repeated = json::array();
    for (const tlsfile::ChangedTool &c : diff.changed)
        changed.push_back({{"toolid", cp1251_to_utf8(c.name)}, {"old_line", c.old_line}, {"new_line", c.new_line},
                           {"old", side(c.old_side)}, {"new", side(c.new_side)}});
    for (const tlsfile::RepeatedToolid &r : diff.repeated)
        repeated.push_back({{"file", r.in_old ? args.old_file : args.new_file},
                            {"toolid", cp1251_to_utf8(r.name)}, {"lines", r.lines}});
    json root = {{"old", args.old_file},          {"new", args.new_file},
                 {"same", diff.same()},           {"only_in_old", listed(diff.only_old)},
                 {"only_in_new", listed(diff.only_new)}, {"changed", changed},
                 {"unchanged", diff.unchanged},   {"repeated", repeated}};
    return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

int run_diff(const DiffArgs &args) {
    const std::string purpose = "diff compares tool libraries only";
    LibraryFile old_file, new_file;
    if (!read_library(args.old_file, old_file, purpose) || !read_library(args.new_file, new_file, purpose))
        return kExitUsage;
    const tlsfile::LibraryDiff diff = tlsfile::diff_libraries(old_file.library, new_file.library);
    if (!print(args.json ? render_json(args, diff) : render_text(args, diff))) return kExitUsage;
    return diff.same() ? kExitOk : kExitProblems;
}

void add(CLI::App &app) {
    auto args = std::make_shared<DiffArgs>();
    CLI::App *cmd = app.add_subcommand(
        "diff", "Compare two tool libraries tool by tool, matching records by TOOLID. Lists the tools only in "
                "OLD, those only in NEW, those in both whose records differ (each with its first differing "
                "line from both files, line numbers included) and the count of unchanged tools. Line ends (CR "
                "LF against LF), blank lines after a record and the header do not count. A TOOLID a file "
                "holds more than once is matched in order (first with first) and noted. Exit 0 when the "
                "libraries hold the same tools, 1 when they differ, 2 when a file cannot be read or is no "
                "tool library, or the report cannot be written.");
    cmd->add_option("old", args->old_file, "The library in use (*.tls)")->required();
    cmd->add_option("new", args->new_file, "The library to compare with it (*.tls)")->required();
    cmd->add_flag("--json", args->json, "The same as a JSON object");
    cmd->callback([args] { set_exit_code(run_diff(*args)); });
}

CommandRegistrar registrar(33, add);

}  // namespace
}  // namespace kesto::cli
