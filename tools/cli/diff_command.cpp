// kesto-tools-vericut diff OLD.tls NEW.tls: what changed between two tool
// libraries, tool by tool, records matched by TOOLID.
#include <algorithm>

#include <nlohmann/json.hpp>

#include "host/common/cp1251.h"
#include "tools/cli/commands.h"
#include "tools/cli/library_merge.h"
#include "tools/cli/terminal.h"
#include "tools/tlsfile/tls_diff.h"

namespace kesto::cli {
namespace {

struct DiffArgs {
    std::string old_file;
    std::string new_file;
    bool json = false;
    bool full = false;
    bool quiet = false;  // the exit code only
    bool stat = false;   // counts only
    bool colour = false;
};

// Colours of a report on a terminal: what only the old file holds, what
// only the new one holds, a changed tool's name.
constexpr const char *kRemoved = "31", *kAdded = "32", *kChanged = "33";

// The lines around a change shown with it.
constexpr size_t kContext = 1;

std::string tools(size_t n) { return count(n, "tool", "tools"); }

std::string side_text(const std::string &label, const tlsfile::DiffLine &d, const char *sgr, bool colour) {
    return "    " + painted(label + ":" + std::to_string(d.line) + ": " +
                                (d.present ? cp1251_shown(d.text) : std::string("(the record ends before this line)")),
                            sgr, colour) +
           "\n";
}

std::string padded(int line, size_t width) {
    std::string n = line ? std::to_string(line) : "";
    return std::string(width > n.size() ? width - n.size() : 0, ' ') + n;
}

// Every differing line of a changed tool, in hunks of unified form
// ("@@ -OLD,COUNT +NEW,COUNT @@"), each line with its line in both files.
std::string render_full(const std::vector<tlsfile::LineEdit> &lines, bool colour) {
    const size_t width = std::to_string(lines.empty() ? 0 : std::max(lines.back().old_line, lines.back().new_line)).size();
    std::string out;
    for (size_t at = 0; at < lines.size();) {
        size_t change = at;
        while (change < lines.size() && lines[change].op == ' ') ++change;
        if (change == lines.size()) break;
        size_t begin = change > kContext ? std::max(at, change - kContext) : at, end = change;
        // a hunk runs on while the next change is within twice the context
        for (size_t k = change; k < lines.size(); ++k)
            if (lines[k].op != ' ') end = k + 1;
            else if (k - end >= 2 * kContext) break;
        end = std::min(lines.size(), end + kContext);
        int old_start = 0, new_start = 0, old_count = 0, new_count = 0;
        for (size_t k = begin; k < end; ++k) {
            if (lines[k].old_line && !old_count++) old_start = lines[k].old_line;
            if (lines[k].new_line && !new_count++) new_start = lines[k].new_line;
        }
        out += "    @@ -" + std::to_string(old_start) + "," + std::to_string(old_count) + " +" +
               std::to_string(new_start) + "," + std::to_string(new_count) + " @@\n";
        for (size_t k = begin; k < end; ++k)
            out += "    " +
                   painted(std::string(1, lines[k].op) + " " + padded(lines[k].old_line, width) + " " +
                               padded(lines[k].new_line, width) + "  " + cp1251_shown(lines[k].text),
                           lines[k].op == '-' ? kRemoved : kAdded, colour && lines[k].op != ' ') +
                   "\n";
        at = end;
    }
    return out;
}

std::string render_text(const DiffArgs &args, const tlsfile::LibraryDiff &diff) {
    std::string out;
    auto listed = [&](const std::string &label, const std::vector<tlsfile::ListedTool> &list, const char *sgr) {
        out += "only in " + label + ": " + tools(list.size()) + "\n";
        for (const tlsfile::ListedTool &t : list)
            out += "  " + painted(quoted_toolid(t.name), sgr, args.colour) + " (line " + std::to_string(t.line) + ")\n";
    };
    listed(input_label(args.old_file), diff.only_old, kRemoved);
    listed(input_label(args.new_file), diff.only_new, kAdded);
    out += "changed: " + tools(diff.changed.size()) + "\n";
    for (const tlsfile::ChangedTool &c : diff.changed) {
        out += "  " + painted(quoted_toolid(c.name), kChanged, args.colour) + "\n";
        if (args.full)
            out += "    --- " + input_label(args.old_file) + "\n    +++ " + input_label(args.new_file) + "\n" +
                   render_full(c.lines, args.colour);
        else
            out += side_text(input_label(args.old_file), c.old_side, kRemoved, args.colour) +
                   side_text(input_label(args.new_file), c.new_side, kAdded, args.colour);
    }
    out += "unchanged: " + tools(diff.unchanged) + "\n";
    for (const tlsfile::RepeatedToolid &r : diff.repeated) {
        out += "note: " + input_label(r.in_old ? args.old_file : args.new_file) + " holds TOOLID " + quoted_toolid(r.name) +
               " " + std::to_string(r.lines.size()) + " times (lines";
        for (size_t i = 0; i < r.lines.size(); ++i) out += (i ? ", " : " ") + std::to_string(r.lines[i]);
        out += "); they are matched in order\n";
    }
    return out;
}

using json = nlohmann::ordered_json;

// The --json object's keys, empty until the libraries are compared.
json empty_object(const DiffArgs &args) {
    if (args.stat)
        return {{"old", input_label(args.old_file)}, {"new", input_label(args.new_file)}, {"same", nullptr},
                {"unchanged", nullptr}, {"changed", nullptr}, {"added", nullptr}, {"removed", nullptr}};
    return {{"old", input_label(args.old_file)}, {"new", input_label(args.new_file)},
            {"same", nullptr},                   {"only_in_old", json::array()},
            {"only_in_new", json::array()},      {"changed", json::array()},
            {"unchanged", nullptr},              {"repeated", json::array()}};
}

void fill_json(const DiffArgs &args, const tlsfile::LibraryDiff &diff, json &root) {
    auto listed = [](const std::vector<tlsfile::ListedTool> &list) {
        json a = json::array();
        for (const tlsfile::ListedTool &t : list) a.push_back({{"toolid", cp1251_to_utf8(t.name)}, {"line", t.line}});
        return a;
    };
    auto side = [](const tlsfile::DiffLine &d) {
        return json{{"line", d.line}, {"text", d.present ? json(cp1251_to_utf8(d.text)) : json(nullptr)}};
    };
    json changed = json::array(), repeated = json::array();
    for (const tlsfile::ChangedTool &c : diff.changed) {
        changed.push_back({{"toolid", cp1251_to_utf8(c.name)}, {"old_line", c.old_line}, {"new_line", c.new_line},
                           {"old", side(c.old_side)}, {"new", side(c.new_side)}});
        if (!args.full) continue;
        json lines = json::array();
        for (const tlsfile::LineEdit &e : c.lines)
            if (e.op != ' ')
                lines.push_back({{"op", std::string(1, e.op)},
                                 {"old_line", e.old_line ? json(e.old_line) : json(nullptr)},
                                 {"new_line", e.new_line ? json(e.new_line) : json(nullptr)},
                                 {"text", cp1251_to_utf8(e.text)}});
        changed.back()["lines"] = lines;
    }
    for (const tlsfile::RepeatedToolid &r : diff.repeated)
        repeated.push_back({{"file", input_label(r.in_old ? args.old_file : args.new_file)},
                            {"toolid", cp1251_to_utf8(r.name)}, {"lines", r.lines}});
    root["same"] = diff.same();
    root["only_in_old"] = listed(diff.only_old);
    root["only_in_new"] = listed(diff.only_new);
    root["changed"] = changed;
    root["unchanged"] = diff.unchanged;
    root["repeated"] = repeated;
}

// --stat: the counts alone, "OLD -> NEW: 12 the same, 1 changed, 2 added,
// 0 removed", or as the JSON object's keys.
std::string render_stat(const DiffArgs &args, const tlsfile::LibraryDiff &diff) {
    return input_label(args.old_file) + " -> " + input_label(args.new_file) + ": " + std::to_string(diff.unchanged) +
           " the same, " + painted(std::to_string(diff.changed.size()) + " changed", kChanged, args.colour) + ", " +
           painted(std::to_string(diff.only_new.size()) + " added", kAdded, args.colour) + ", " +
           painted(std::to_string(diff.only_old.size()) + " removed", kRemoved, args.colour) + "\n";
}

void fill_stat(const tlsfile::LibraryDiff &diff, json &root) {
    root["same"] = diff.same();
    root["unchanged"] = diff.unchanged;
    root["changed"] = diff.changed.size();
    root["added"] = diff.only_new.size();
    root["removed"] = diff.only_old.size();
}

int run_diff(DiffArgs args, json *object) {
    const std::string purpose = "diff compares tool libraries only";
    LibraryFile old_file, new_file;
    if (!standard_input_once({args.old_file, args.new_file})) return kExitUsage;
    if (!read_library(args.old_file, old_file, purpose) || !read_library(args.new_file, new_file, purpose))
        return kExitUsage;
    const tlsfile::LibraryDiff diff =
        tlsfile::diff_libraries(old_file.library, new_file.library, args.full && !args.stat && !args.quiet);
    if (args.quiet) return diff.same() ? kExitOk : kExitProblems;
    if (object) {
        args.stat ? fill_stat(diff, *object) : fill_json(args, diff, *object);
    } else {
        args.colour = colour_wanted(1);
        if (!print(args.stat ? render_stat(args, diff) : render_text(args, diff))) return kExitUsage;
    }
    return diff.same() ? kExitOk : kExitProblems;
}

void add(CLI::App &app) {
    auto args = std::make_shared<DiffArgs>();
    CLI::App *cmd = app.add_subcommand("diff");
    describe(cmd, "Compare two tool libraries tool by tool, records matched by TOOLID",
             "Lists the tools only in OLD, those only in NEW, those in both whose records differ (each with "
             "its first differing line from both files, line numbers included) and the count of unchanged "
             "tools. --full shows every differing line of each changed tool instead, in unified form with "
             "one line around each change, each line with its line numbers in OLD and in NEW. Line ends (CR "
             "LF against LF), blank lines after a record and the header do not count. A TOOLID a file holds "
             "more than once is matched in order (first with first) and noted. One of the files may be "
             "standard input (-). --stat gives the counts alone (the same, changed, added, removed), -q "
             "nothing but the exit code. On a terminal the report is in colour (removed red, added green, "
             "changed yellow), never when NO_COLOR is set.\n\n"
             "Exit 0 when the libraries hold the same tools, 1 when they differ, 2 when a file cannot be "
             "read or is no tool library, or the report cannot be written.",
             {{"diff SITE.tls NEW.tls", "what a merge of NEW.tls into SITE.tls would change"},
              {"diff --full SITE.tls NEW.tls", "every line that differs"},
              {"diff --stat SITE.tls NEW.tls", "how many tools are the same, changed, added and removed"},
              {"diff -q SITE.tls NEW.tls && echo same", "the exit code alone, for a script"},
              {"export PART.json -o - | kesto-tools-vericut diff SITE.tls -", "against an export not yet written"}});
    cmd->add_option("old", args->old_file, "The library in use (*.tls); - reads standard input")->required();
    cmd->add_option("new", args->new_file, "The library to compare with it (*.tls); - reads standard input")->required();
    cmd->add_flag("--full", args->full, "Every differing line of each changed tool");
    cmd->add_flag("--json", args->json, "The same as a JSON object");
    cmd->add_flag("--stat", args->stat, "Only the counts of tools the same, changed, added and removed");
    cmd->add_flag("-q,--quiet", args->quiet, "Nothing but the exit code");
    cmd->callback([args] {
        json object = empty_object(*args);
        const int code = run_diff(*args, args->json && !args->quiet ? &object : nullptr);
        set_exit_code(args->json && !args->quiet && !print_json(object) ? kExitUsage : code);
    });
}

CommandRegistrar registrar(33, add);

}  // namespace
}  // namespace kesto::cli
