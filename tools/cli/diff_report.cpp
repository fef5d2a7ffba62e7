#include "tools/cli/diff_report.h"

#include <algorithm>

#include "host/common/cp1251.h"
#include "tools/cli/terminal.h"

namespace kesto::cli {
namespace {

// Colours of a report on a terminal: what only the old file holds, what
// only the new one holds, a changed tool's name.
constexpr const char *kRemoved = "31", *kAdded = "32", *kChanged = "33";

// The lines around a change shown with it.
constexpr size_t kContext = 1;

std::string tools(size_t n) { return count(n, "tool", "tools"); }

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
                               padded(lines[k].new_line, width) + "  " + kesto::cp1251_shown(lines[k].text),
                           lines[k].op == '-' ? kRemoved : kAdded, colour && lines[k].op != ' ') +
                   "\n";
        at = end;
    }
    return out;
}

}  // namespace

json empty_diff_object(const DiffView &view) {
    if (view.stat)
        return {{"old", view.old_label}, {"new", view.new_label}, {"same", nullptr},  {"unchanged", nullptr},
                {"changed", nullptr},    {"added", nullptr},      {"removed", nullptr}};
    return {{"old", view.old_label},      {"new", view.new_label},      {"same", nullptr},
            {"only_in_old", json::array()}, {"only_in_new", json::array()}, {"changed", json::array()},
            {"unchanged", nullptr},       {"repeated", json::array()}};
}

json diff_object(const DiffView &view, const tlsfile::LibraryDiff &diff) {
    json root = empty_diff_object(view);
    if (!view.path.empty()) root["path"] = view.path;
    root["same"] = diff.same();
    root["unchanged"] = diff.unchanged;
    if (view.stat) {
        root["changed"] = diff.changed.size();
        root["added"] = diff.only_new.size();
        root["removed"] = diff.only_old.size();
        return root;
    }
    auto listed = [](const std::vector<tlsfile::ListedTool> &list) {
        json a = json::array();
        for (const tlsfile::ListedTool &t : list) a.push_back({{"toolid", toolid_json(t.name)}, {"line", t.line}});
        return a;
    };
    json changed = json::array(), repeated = json::array();
    for (const tlsfile::ChangedTool &c : diff.changed) {
        changed.push_back({{"toolid", toolid_json(c.name)}, {"old_line", c.old_line}, {"new_line", c.new_line},
                           {"old", side_json(c.old_side)}, {"new", side_json(c.new_side)}});
        if (!view.full) continue;
        json lines = json::array();
        for (const tlsfile::LineEdit &e : c.lines)
            if (e.op != ' ')
                lines.push_back({{"op", std::string(1, e.op)},
                                 {"old_line", e.old_line ? json(e.old_line) : json(nullptr)},
                                 {"new_line", e.new_line ? json(e.new_line) : json(nullptr)},
                                 {"text", kesto::cp1251_to_utf8(e.text)}});
        changed.back()["lines"] = lines;
    }
    for (const tlsfile::RepeatedToolid &r : diff.repeated)
        repeated.push_back({{"file", r.in_old ? view.old_label : view.new_label}, {"toolid", toolid_json(r.name)},
                            {"lines", r.lines}});
    root["only_in_old"] = listed(diff.only_old);
    root["only_in_new"] = listed(diff.only_new);
    root["changed"] = changed;
    root["repeated"] = repeated;
    return root;
}

std::string diff_text(const DiffView &view, const tlsfile::LibraryDiff &diff) {
    const bool colour = view.colour;
    std::string out = view.path.empty() ? "" : "tool library " + shown(view.path) + "\n";
    if (view.stat)
        return out + shown(view.old_label) + " -> " + shown(view.new_label) + ": " + std::to_string(diff.unchanged) +
               " the same, " + painted(std::to_string(diff.changed.size()) + " changed", kChanged, colour) + ", " +
               painted(std::to_string(diff.only_new.size()) + " added", kAdded, colour) + ", " +
               painted(std::to_string(diff.only_old.size()) + " removed", kRemoved, colour) + "\n";
    auto listed = [&](const std::string &label, const std::vector<tlsfile::ListedTool> &list, const char *sgr) {
        out += "only in " + shown(label) + ": " + tools(list.size()) + "\n";
        for (const tlsfile::ListedTool &t : list)
            out += "  " + painted(quoted_toolid(t.name), sgr, colour) + " (line " + std::to_string(t.line) + ")\n";
    };
    listed(view.old_label, diff.only_old, kRemoved);
    listed(view.new_label, diff.only_new, kAdded);
    out += "changed: " + tools(diff.changed.size()) + "\n";
    for (const tlsfile::ChangedTool &c : diff.changed) {
        out += "  " + painted(quoted_toolid(c.name), kChanged, colour) + "\n";
        if (view.full)
            out += "    --- " + shown(view.old_label) + "\n    +++ " + shown(view.new_label) + "\n" +
                   render_full(c.lines, colour);
        else
            out += side_line(view.old_label, c.old_side, kRemoved, colour) +
                   side_line(view.new_label, c.new_side, kAdded, colour);
    }
    out += "unchanged: " + tools(diff.unchanged) + "\n";
    for (const tlsfile::RepeatedToolid &r : diff.repeated) {
        out += "note: " + shown(r.in_old ? view.old_label : view.new_label) + " holds TOOLID " + quoted_toolid(r.name) +
               " " + std::to_string(r.lines.size()) + " times (lines";
        for (size_t i = 0; i < r.lines.size(); ++i) out += (i ? ", " : " ") + std::to_string(r.lines[i]);
        out += "); they are matched in order\n";
    }
    return out;
}

}  // namespace kesto::cli
