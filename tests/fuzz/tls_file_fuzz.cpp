// libFuzzer target: the *.tls reader with the checker, the report (also as
// check makes it, record by record) and the preview (both scales), as check
// and preview run them on a file; and diff and merge, with the input cut in
// two as base and new library; the three-way merge; and the tool database of find and export
// --prefer, made of the input itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "tools/tlsfile/source.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tls_database.h"
#include "tools/tlsfile/tls_diff.h"
#include "tools/tlsfile/tls_merge.h"
#include "tools/tlsfile/tls_merge3.h"
#include "tools/tlsfile/tls_preview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    // as every command reads a file: told apart and decoded first
    const tlsfile::Source source = tlsfile::source_of("fuzz.tls", bytes);
    const std::string &text = source.text;
    tlsfile::CheckResult result = tlsfile::check_text(bytes);
    std::string report = tlsfile::format_report(result, "fuzz.tls");
    tlsfile::PreviewOptions options;
    options.against = "base.tls";
    for (tlsfile::PreviewScale scale : {tlsfile::PreviewScale::one, tlsfile::PreviewScale::per_tool}) {
        options.scale = scale;
        options.marks.assign(result.library.tools.size() / 2, tlsfile::ToolMark::added);
        std::string svg = tlsfile::render_preview(result.library, result.problems, "fuzz.tls", options);
        // every problem is in the report, and the drawing is one whole document
        if (report.empty() || svg.compare(svg.size() - 7, 7, "</svg>\n") != 0) __builtin_trap();
    }
    // check's report, made record by record, is the same
    bool clean = false;
    if (tlsfile::report_text(bytes, "fuzz.tls", clean) != report || clean != result.problems.empty()) __builtin_trap();

    // A file is the same as itself; merged into a base, every record of a
    // new library whose TOOLIDs are all its own is in the output as it was.
    const size_t cut = text.size() / 2;
    const tlsfile::LibraryText whole{text, std::move(result.library)};
    const tlsfile::LibraryText base{text.substr(0, cut), tlsfile::parse_tls(text.substr(0, cut))};
    const tlsfile::LibraryText fresh{text.substr(cut), tlsfile::parse_tls(text.substr(cut))};
    if (!tlsfile::diff_libraries(whole, whole).same()) __builtin_trap();
    const tlsfile::MergeResult merged = tlsfile::merge_libraries(base, {&fresh});
    const tlsfile::LibraryText out{merged.text, tlsfile::parse_tls(merged.text)};
    const tlsfile::LibraryDiff diff = tlsfile::diff_libraries(out, fresh);
    std::set<std::string> names;
    bool repeated = false;
    for (const tlsfile::Tool &t : fresh.library.tools) repeated = repeated || !names.insert(t.name).second;
    if (!repeated && (!diff.only_new.empty() || !diff.changed.empty())) __builtin_trap();
    // a changed tool's full comparison shows a change, each side's lines in order
    for (const tlsfile::ChangedTool &c : tlsfile::diff_libraries(base, fresh, true).changed) {
        int old_line = 0, new_line = 0;
        bool changed = false;
        for (const tlsfile::LineEdit &e : c.lines) {
            if ((e.old_line && e.old_line <= old_line) || (e.new_line && e.new_line <= new_line)) __builtin_trap();
            old_line = e.old_line ? e.old_line : old_line;
            new_line = e.new_line ? e.new_line : new_line;
            changed = changed || e.op != ' ';
        }
        if (!changed) __builtin_trap();
    }

    // Three-way: a library merged with itself on every side comes back byte
    // for byte; with BASE as OURS nothing conflicts and THEIRS' records are
    // all in the output as they were.
    const tlsfile::MergeResult3 itself = tlsfile::merge_three_way(whole, whole, whole);
    if (itself.text != text || !itself.conflicts.empty()) __builtin_trap();
    const tlsfile::MergeResult3 three = tlsfile::merge_three_way(base, base, fresh);
    const tlsfile::LibraryDiff diff3 = tlsfile::diff_libraries({three.text, tlsfile::parse_tls(three.text)}, fresh);
    if (!three.conflicts.empty() || (!repeated && (!diff3.only_new.empty() || !diff3.changed.empty())))
        __builtin_trap();

    // Found in a database of itself, every record of a sound library is the
    // same; taken from there by name, the library comes back byte for byte.
    tlsfile::Database db;
    db.add_library(source);
    if (db.libraries()[0].skipped) return 0;
    for (const tlsfile::ToolFinding &f : tlsfile::find_tools(db, whole).tools)
        if (f.verdict != tlsfile::Verdict::same) __builtin_trap();
    names.clear();
    repeated = false;
    for (const tlsfile::Tool &t : whole.library.tools) repeated = repeated || !names.insert(t.name).second;
    // A record taken gets the file's first line end throughout, so a file of
    // mixed line ends comes back with its line ends made one.
    auto none = [](const std::string &) { return std::string(); };
    auto lf_only = [](std::string s) {
        for (size_t at = 0; (at = s.find("\r\n", at)) != std::string::npos;) s.erase(at, 1);
        return s;
    };
    const std::string preferred = tlsfile::prefer_records(db, whole, none).text;
    const bool mixed = lf_only(text).size() != text.size() && lf_only(text).size() + std::count(text.begin(), text.end(), '\n') != text.size();
    if (!repeated && (mixed ? lf_only(preferred) != lf_only(text) : preferred != text)) __builtin_trap();
    return 0;
}
