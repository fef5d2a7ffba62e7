#include "tools/tlsfile/tls_diff.h"

#include <algorithm>
#include <unordered_map>

namespace tlsfile {

namespace {

// The records of one file by TOOLID, each name's records in file order.
using ByName = std::unordered_map<std::string, std::vector<size_t>>;

ByName by_name(const LibrarySpans &spans) {
    ByName out;
    for (size_t i = 0; i < spans.records.size(); ++i) out[spans.records[i].tool->name].push_back(i);
    return out;
}

void note_repeated(const LibrarySpans &spans, const ByName &names, bool in_old, std::vector<RepeatedToolid> &out) {
    for (const RecordSpan &r : spans.records) {
        const std::vector<size_t> &all = names.at(r.tool->name);
        if (all.size() < 2 || spans.records[all[0]].line != r.line) continue;
        RepeatedToolid rep;
        rep.in_old = in_old;
        rep.name = r.tool->name;
        for (size_t i : all) rep.lines.push_back(spans.records[i].line);
        out.push_back(rep);
    }
}

DiffLine side(const std::vector<std::string_view> &lines, size_t k, const RecordSpan &r) {
    DiffLine d;
    d.line = r.line + static_cast<int>(k);
    d.present = k < lines.size();
    if (d.present) d.text = std::string(lines[k]);
    return d;
}

// Records are compared line against line only up to this many pairs of
// their differing middles (some MiB of table).
constexpr size_t kMaxComparedPairs = size_t(1) << 22;

// Every line of two records in order, the lines they share (a longest
// common subsequence of them) kept once.
std::vector<LineEdit> line_edits(const std::vector<std::string_view> &a, const RecordSpan &ra,
                                 const std::vector<std::string_view> &b, const RecordSpan &rb) {
    size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) ++tail;
    const size_t n = a.size() - head - tail, m = b.size() - head - tail;
    // common[i][j]: the longest common subsequence of the middles from i and j on
    std::vector<std::vector<unsigned>> common;
    if (n * m <= kMaxComparedPairs) {
        common.assign(n + 1, std::vector<unsigned>(m + 1, 0));
        for (size_t i = n; i-- > 0;)
            for (size_t j = m; j-- > 0;)
                common[i][j] = a[head + i] == b[head + j] ? common[i + 1][j + 1] + 1
                                                          : std::max(common[i + 1][j], common[i][j + 1]);
    }
    std::vector<LineEdit> out;
    size_t i = 0, j = 0;
    auto put = [&](char op) {
        LineEdit e;
        e.op = op;
        if (op != '+') e.old_line = ra.line + static_cast<int>(i);
        if (op != '-') e.new_line = rb.line + static_cast<int>(j);
        e.text = std::string(op == '+' ? b[j] : a[i]);
        out.push_back(std::move(e));
        i += op != '+';
        j += op != '-';
    };
    while (i < head) put(' ');
    while (i < head + n || j < head + m) {
        const size_t x = i - head, y = j - head;
        if (x < n && y < m && a[i] == b[j] && !common.empty()) put(' ');
        else if (x < n && (y == m || common.empty() || common[x + 1][y] >= common[x][y + 1])) put('-');
        else put('+');
    }
    while (i < a.size()) put(' ');
    return out;
}

}  // namespace

LibraryDiff diff_libraries(const LibraryText &old_file, const LibraryText &new_file, bool full) {
    LibraryDiff diff;
    const LibrarySpans a = record_spans(old_file.text, old_file.library);
    const LibrarySpans b = record_spans(new_file.text, new_file.library);
    const ByName a_names = by_name(a), b_names = by_name(b);
    note_repeated(a, a_names, true, diff.repeated);
    note_repeated(b, b_names, false, diff.repeated);

    std::vector<bool> matched(a.records.size(), false);
    std::unordered_map<std::string, size_t> seen;  // records of each name met so far in the new file
    for (const RecordSpan &r : b.records) {
        const std::string &name = r.tool->name;
        const size_t k = seen[name]++;
        auto in_old = a_names.find(name);
        if (in_old == a_names.end() || k >= in_old->second.size()) {
            diff.only_new.push_back({name, r.line});
            continue;
        }
        const RecordSpan &o = a.records[in_old->second[k]];
        matched[in_old->second[k]] = true;
        const std::vector<std::string_view> lo = record_lines(old_file.text, o), ln = record_lines(new_file.text, r);
        size_t first = 0;
        while (first < lo.size() && first < ln.size() && lo[first] == ln[first]) ++first;
        if (first == lo.size() && first == ln.size()) {
            ++diff.unchanged;
            continue;
        }
        diff.changed.push_back({name, o.line, r.line, side(lo, first, o), side(ln, first, r), {}});
        if (full) diff.changed.back().lines = line_edits(lo, o, ln, r);
    }
    for (size_t i = 0; i < a.records.size(); ++i)
        if (!matched[i]) diff.only_old.push_back({a.records[i].tool->name, a.records[i].line});
    return diff;
}

}  // namespace tlsfile
