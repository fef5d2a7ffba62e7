#include "tools/cli/export_result.h"

#include <unordered_set>

#include "tools/cli/library_merge.h"
#include "tools/cli/part_input.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tls_merge.h"

namespace kesto::cli {
namespace {

int count_lines(const std::string &text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

// The header of the records an append adds, checked as a library of their
// own: the export's, in the line ends of the library appended to.
std::string header_for(const std::string &old) {
    if (old.empty() || tlsfile::crlf_file(old)) return kNewLibraryHeader;
    std::string lf;
    tlsfile::append_with_line_ends(lf, kNewLibraryHeader, false);
    return lf;
}

}  // namespace

int export_more_parts(Context &ctx, const std::vector<std::string> &parts, sim::Session &first, PluginExport &run,
                      const std::string &output) {
    std::vector<tlsfile::LibraryText> exports(1);
    exports[0].text = std::move(run.written);
    for (size_t i = 1; i < parts.size(); ++i) {
        sim::Session session;
        try {
            session = read_part_or_session(parts[i]);
        } catch (const sim::SessionError &e) {
            ctx.error(e.what());
            return kExitUsage;
        }
        PluginExport more = run;
        more.written.clear();
        more.notes = json::array();
        more.part = parts[i];
        if (int code = run_plugin(ctx, session, more)) return code;
        for (json &note : more.notes) run.notes.push_back(note);
        exports.push_back({std::move(more.written), {}});
        sim::Part &part = *first.part;
        for (const sim::Member &m : session.part->members) {
            bool known = false;
            for (const sim::Member &k : part.members) known = known || k.name == m.name;
            if (!known) part.members.push_back(m);
        }
    }
    std::vector<const tlsfile::LibraryText *> texts;
    for (tlsfile::LibraryText &e : exports) {
        e.library = tlsfile::parse_tls(e.text);
        texts.push_back(&e);
    }
    const tlsfile::JoinResult joined = tlsfile::join_libraries(texts);
    for (const tlsfile::JoinConflict &c : joined.conflicts)
        ctx.error("TOOLID " + quoted_toolid(c.name) + " is given by " + parts[c.first.source] + " and by " +
                  parts[c.second.source] + " with different records; rename the tool in one of the parts");
    if (!joined.conflicts.empty()) {
        ctx.error(count(joined.conflicts.size(), "tool differs", "tools differ") + " between the parts; " + run.left);
        return kExitProblems;
    }
    run.written = joined.text;
    run.records = static_cast<int>(joined.records);
    if (joined.repeated > 0 && !ctx.json)
        ctx.tell(count(joined.repeated, "tool", "tools") + " given by more than one part with the same record, " +
                     "written once\n",
                 is_standard_stream(output));
    return kExitOk;
}

bool read_library_to_append(Context &ctx, const std::string &output, std::string &old) {
    std::error_code ec;
    if (!std::filesystem::exists(tlsfile::fs_path(output), ec)) return true;
    LibraryFile file;
    if (!read_library(ctx, output, "export --append", file)) return false;
    if (file.source.encoding != tlsfile::Encoding::windows_1251 || file.source.byte_order_mark) {
        ctx.error(output + ": was saved as " + tlsfile::encoding_name(file.source.encoding) +
                  (file.source.byte_order_mark ? " with a byte-order mark" : "") +
                  "; --append adds Windows-1251 records only to a Windows-1251 library (fix " + output + " first)");
        return false;
    }
    old = std::move(file.library.text);
    if (!old.empty() && old.back() != '\n') {
        ctx.error(output + ": does not end with a line end (cut short?); --append would join its last line to the "
                           "first new record");
        return false;
    }
    return true;
}

std::string new_records(const std::string &old, const std::string &written) {
    return old.empty() ? written : header_for(old) + written.substr(old.size());
}

size_t check_export(Context &ctx, const std::string &output, const std::string &old, const std::string &written,
                    tlsfile::Library &added, json &problems, const tlsfile::Database *database,
                    const tlsfile::PreferResult *preferred) {
    const bool appended = !old.empty();
    tlsfile::CheckResult result = tlsfile::check_text(appended ? new_records(old, written) : written);
    const int shift = appended ? count_lines(old) - count_lines(kNewLibraryHeader) : 0;
    for (tlsfile::Problem p : result.problems) {
        std::string label = output;
        if (const tlsfile::PreferredRecord *taken = preferred ? preferred->taken_at(p.line) : nullptr) {
            const tlsfile::DatabaseRecord &rec = database->records()[taken->record];
            label = database->libraries()[rec.library].label;
            p.line = rec.line + (p.line - taken->output_line);
            p.tool = rec.name;
        } else {
            p.line += shift;
        }
        std::string line = tlsfile::format_problem(p, label);
        line.pop_back();
        ctx.policy.force ? ctx.warn(line) : ctx.error(line);
        problems.push_back(problem_object(p, label));
    }
    added = std::move(result.library);
    return result.problems.size() + result.problems_beyond;
}

std::vector<tlsfile::ListedTool> tools_held(const tlsfile::Library &library, const tlsfile::Library &others) {
    std::unordered_set<std::string> names;
    for (const tlsfile::Tool &t : others.tools) names.insert(t.name);
    std::vector<tlsfile::ListedTool> out;
    for (const tlsfile::Tool &t : library.tools)
        if (names.count(t.name) > 0) out.push_back({t.name, t.line});
    return out;
}

int judge_append(Context &ctx, const std::string &output, const std::string &old, const tlsfile::Library &added,
                 std::vector<std::pair<std::string, std::string>> &refused, int code) {
    if (old.empty()) return code;
    const std::vector<tlsfile::ListedTool> again = tools_held(tlsfile::parse_tls(old), added);
    if (again.empty()) return code;
    const std::string what = output + " already holds " + (again.size() == 1 ? "TOOLID " : "TOOLIDs ") +
                             listed_toolids(again);
    if (ctx.policy.dry_run && !ctx.policy.force) {
        for (const tlsfile::ListedTool &t : again)
            refused.emplace_back(t.name, "held already (--merge replaces it in its place, --force appends it again)");
        return code;
    }
    if (!ctx.policy.force) {
        ctx.error(what + "; nothing appended, " + left_as_it_was(output) +
                  "; --merge replaces those tools in their place, --force appends them all the same");
        return -kExitProblems;
    }
    ctx.warn(what + (again.size() == 1 ? "; it now holds it twice (--force)" : "; it now holds them twice (--force)"));
    return kExitProblems;
}

}  // namespace kesto::cli
