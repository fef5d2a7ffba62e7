#include "tools/tlsfile/output_guard.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/source.h"
#include "tools/tlsfile/tls_records.h"

namespace fs = std::filesystem;

namespace tlsfile {

namespace {

// The first bytes of a file, where a page, table or drawing says who made it.
std::string head(const std::string &text) { return text.substr(0, 4096); }

bool has(const std::string &text, const char *what) { return text.find(what) != std::string::npos; }

// A drawing preview made: the mark, or (before it carried one) its title
// line and scale bar styles.
bool is_drawing(const std::string &text) {
    const std::string top = head(text);
    if (!has(top, "<svg")) return false;
    return has(top, kGeneratorMark) || (has(top, "<text class=\"head\"") && has(top, ".scalebar"));
}

// A table of ours: the mark at the start of its last line, or of its
// first line (after the byte-order mark) in one made before.
bool is_table(const std::string &text) {
    if (starts_as_library(text)) return false;
    const size_t bom = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    if (text.compare(bom, std::strlen(kTableMark), kTableMark) == 0) return true;
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) --end;
    const size_t last = text.find_last_of("\r\n", end == 0 ? 0 : end - 1);
    const size_t start = last == std::string::npos ? 0 : last + 1;
    return text.compare(start, std::strlen(kTableMark), kTableMark) == 0;
}

// A transcript starts with the plug-in's load, as text or as JSON.
bool is_transcript(const std::string &text) {
    if (text.rfind("load ", 0) == 0) return true;
    const std::string top = text.substr(0, 64);
    return top.rfind("[", 0) == 0 && has(top, "\"kind\": \"load\"");
}

// The first line whose bytes differ between two records that diff, which
// takes CR LF and LF alike, finds the same: their first line of other
// line ends.
ChangedTool byte_change(const std::string &old_text, const RecordSpan &o, const std::string &new_text,
                        const RecordSpan &n) {
    ChangedTool c;
    c.name = n.tool->name;
    c.old_line = o.line;
    c.new_line = n.line;
    size_t a = o.begin, b = n.begin;
    int line = 0;
    while (a < o.end && b < n.end) {
        const size_t ea = std::min(old_text.find('\n', a), o.end), eb = std::min(new_text.find('\n', b), n.end);
        if (old_text.compare(a, ea - a, new_text, b, eb - b) != 0) break;
        a = ea + 1;
        b = eb + 1;
        ++line;
    }
    auto side = [line](const std::string &text, const RecordSpan &r, size_t at) {
        DiffLine d;
        d.line = r.line + line;
        d.present = at < r.end;
        if (d.present) {
            const size_t end = std::min(text.find('\n', at), r.end);
            d.text = text.substr(at, end - at);
            if (!d.text.empty() && d.text.back() == '\r') d.text.pop_back();
            d.text += end < r.end ? " (its line end differs)" : "";
        }
        return d;
    };
    c.old_side = side(old_text, o, a);
    c.new_side = side(new_text, n, b);
    return c;
}

void plan_library(ReplacementPlan &plan, const std::string &label, const std::string &existing,
                  const std::string &content, const std::string &writer) {
    LibraryText old_file{existing, parse_tls(existing)}, new_file{content, parse_tls(content)};
    const LibrarySpans old_spans = record_spans(old_file.text, old_file.library);
    const LibrarySpans new_spans = record_spans(new_file.text, new_file.library);
    plan.header_changed = existing.compare(0, old_spans.header_end, content, 0, new_spans.header_end) != 0;

    std::unordered_set<std::string> kept;
    for (const RecordSpan &r : new_spans.records) kept.insert(r.tool->name);
    for (const RecordSpan &r : old_spans.records)
        if (!kept.count(r.tool->name)) plan.lost.push_back({r.tool->name, r.line});

    // Records are matched by TOOLID, a repeated one in order, as diff does.
    const LibraryDiff diff = diff_libraries(old_file, new_file);
    std::unordered_map<int, const ChangedTool *> changed_at;  // by the new record's line
    for (const ChangedTool &c : diff.changed) changed_at[c.new_line] = &c;
    std::unordered_map<std::string, std::vector<const RecordSpan *>> old_by_name;
    for (const RecordSpan &r : old_spans.records) old_by_name[r.tool->name].push_back(&r);
    std::unordered_map<std::string, size_t> taken;
    for (const RecordSpan &r : new_spans.records) {
        std::vector<const RecordSpan *> &olds = old_by_name[r.tool->name];
        size_t &k = taken[r.tool->name];
        if (k >= olds.size()) {
            plan.added.push_back({r.tool->name, r.line});
            continue;
        }
        const RecordSpan &o = *olds[k++];
        auto c = changed_at.find(r.line);
        if (c != changed_at.end()) plan.changed.push_back(*c->second);
        else if (existing.compare(o.begin, o.end - o.begin, content, r.begin, r.end - r.begin) != 0)
            plan.changed.push_back(byte_change(existing, o, content, r));
        else ++plan.same;
    }
    if (plan.lost.empty()) return;
    plan.refused = true;
    plan.why = label + " holds " +
               (plan.lost.size() == 1 ? std::string("a TOOLID") : std::to_string(plan.lost.size()) + " TOOLIDs") +
               " " + writer + " does not write";
}

}  // namespace

const char *kind_words(OutputKind kind) {
    switch (kind) {
    case OutputKind::library: return "a tool library";
    case OutputKind::picture: return "a drawing";
    case OutputKind::page: return "a page";
    case OutputKind::table: return "a table";
    case OutputKind::transcript: return "a transcript";
    }
    return "an output";
}

bool is_output_of_kind(OutputKind kind, const std::string &existing) {
    if (existing.empty()) return true;
    switch (kind) {
    case OutputKind::library: return source_of("", existing).kind == SourceKind::library;
    case OutputKind::picture: return is_drawing(existing);
    case OutputKind::page: return has(head(existing), kGeneratorMark) && !starts_as_library(existing);
    case OutputKind::table: return is_table(existing);
    case OutputKind::transcript: return is_transcript(existing);
    }
    return false;
}

ReplacementPlan plan_replacement(OutputKind kind, const std::string &label, const std::string *existing,
                                 const std::string &content, const std::string &writer) {
    ReplacementPlan plan;
    if (!existing) {
        // a new file: every record is added
        if (kind == OutputKind::library)
            for (const Tool &t : parse_tls(content).tools) plan.added.push_back({t.name, t.line});
        return plan;
    }
    plan.identical = *existing == content;
    // a library as the input layer reads it, in whatever encoding it was saved
    const Source old = source_of(label, *existing);
    const bool library = old.kind == SourceKind::library;
    if (!existing->empty() && (kind == OutputKind::library ? !library : !is_output_of_kind(kind, *existing))) {
        plan.refused = true;
        plan.why = label + " is not " + kind_words(kind) + " this program wrote" +
                   (library ? std::string(": it is a tool library") : std::string());
        return plan;
    }
    if (kind == OutputKind::library && !existing->empty()) plan_library(plan, label, old.text, content, writer);
    return plan;
}

}  // namespace tlsfile
