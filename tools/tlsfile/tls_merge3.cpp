#include "tools/tlsfile/tls_merge3.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <unordered_map>
#include <unordered_set>

namespace tlsfile {

namespace {

constexpr int kInputs = 3;
constexpr int kBase = 0, kOurs = 1, kTheirs = 2;

using Records = std::vector<const RecordSpan *>;

// One TOOLID: its records in each input, in file order, and what the
// merge makes of them.
struct Name {
    std::string name;
    Records in[kInputs];
    Outcome outcome = Outcome::kept;
    int pick = kOurs;       // whose records the output holds: OURS' or THEIRS'
    int conflict = -1;      // its conflict, by index, while they are collected
    bool listed = false;    // its outcome is in the result's list
};

bool same(const std::string &a_text, const Records &a, const std::string &b_text, const Records &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (record_lines(a_text, *a[i]) != record_lines(b_text, *b[i])) return false;
    return true;
}

// The first line where two records differ, on each side: the line after a
// record's last one when it ends there.
void first_difference(const std::string &a_text, const RecordSpan &a, const std::string &b_text,
                      const RecordSpan &b, DiffLine &on_a, DiffLine &on_b) {
    const std::vector<std::string_view> la = record_lines(a_text, a), lb = record_lines(b_text, b);
    size_t k = 0;
    while (k < la.size() && k < lb.size() && la[k] == lb[k]) ++k;
    auto side = [k](const std::vector<std::string_view> &lines, const RecordSpan &r, DiffLine &d) {
        d.line = r.line + static_cast<int>(k);
        d.present = k < lines.size();
        d.text = d.present ? std::string(lines[k]) : std::string();
    };
    side(la, a, on_a);
    side(lb, b, on_b);
}

// Sets what becomes of a TOOLID, and its conflict when it is one.
void decide(Name &n, const LibraryText *const in[], const TakeChoices &take, std::vector<MergeConflict> &conflicts) {
    const Records &b = n.in[kBase], &o = n.in[kOurs], &t = n.in[kTheirs];
    const std::string &bt = in[kBase]->text, &ot = in[kOurs]->text, &tt = in[kTheirs]->text;
    if (same(ot, o, tt, t)) {
        n.outcome = o.empty()                ? Outcome::removed_by_both
                    : b.empty()              ? Outcome::added_by_both
                    : same(ot, o, bt, b)     ? Outcome::kept
                                             : Outcome::same_on_both;
        return;
    }
    if (same(tt, t, bt, b)) {
        n.outcome = o.empty() ? Outcome::removed_by_ours : b.empty() ? Outcome::added_by_ours : Outcome::taken_from_ours;
        return;
    }
    if (same(ot, o, bt, b)) {
        n.pick = kTheirs;
        n.outcome =
            t.empty() ? Outcome::removed_by_theirs : b.empty() ? Outcome::added_by_theirs : Outcome::taken_from_theirs;
        return;
    }
    MergeConflict c;
    c.name = n.name;
    auto compare = [&](int x, int y) {
        c.first.input = static_cast<Input>(x);
        c.second.input = static_cast<Input>(y);
        first_difference(in[x]->text, *n.in[x][0], in[y]->text, *n.in[y][0], c.first.at, c.second.at);
    };
    if (b.size() > 1 || o.size() > 1 || t.size() > 1) {
        c.kind = ConflictKind::held_more_than_once;
        for (int i = 0; i < kInputs; ++i)
            for (const RecordSpan *r : n.in[i]) c.lines.push_back({static_cast<Input>(i), r->line});
    } else if (b.empty()) {
        c.kind = ConflictKind::added_on_both;
        compare(kOurs, kTheirs);
    } else if (o.empty()) {
        c.kind = ConflictKind::removed_ours_changed_theirs;
        compare(kBase, kTheirs);
    } else if (t.empty()) {
        c.kind = ConflictKind::changed_ours_removed_theirs;
        compare(kBase, kOurs);
    } else {
        c.kind = ConflictKind::changed_on_both;
        compare(kOurs, kTheirs);
    }
    c.settled = take.for_toolid(n.name);
    n.pick = c.settled == Take::theirs ? kTheirs : kOurs;
    n.outcome = c.settled == Take::ours     ? Outcome::settled_ours
                : c.settled == Take::theirs ? Outcome::settled_theirs
                                            : Outcome::conflict;
    n.conflict = static_cast<int>(conflicts.size());
    conflicts.push_back(std::move(c));
}

// A record in the output: which input and which of its records.
struct Entry {
    int input;
    const RecordSpan *span;
    Name *name;
};

// Writes the output from the inputs' bytes, noting where each line came from.
class Writer {
  public:
    Writer(MergeResult3 &result, const LibraryText *const in[], const LibrarySpans &ours)
        : result_(result), in_(in), crlf_(crlf_file(in[kOurs]->text)) {
        result_.text.assign(in[kOurs]->text, 0, ours.header_end);
        if (ours.header_lines > 0) carry(kOurs, 1, ours.header_lines);
        next_ = ours.header_lines + 1;
        last_ = {Input::ours, ours.header_lines};
    }

    void record(const Entry &e) {
        std::string &out = result_.text;
        if (!out.empty() && out.back() != '\n') {
            // OURS' kind of line end; a CR cut from its LF gets it back
            if (out.back() == '\r') out.pop_back();
            out += crlf_ ? "\r\n" : "\n";
            result_.line_end_added.push_back(last_);
        }
        const RecordSpan &r = *e.span;
        const std::string_view bytes(in_[e.input]->text.data() + r.begin, r.end - r.begin);
        if (e.input == kOurs) out += bytes;
        else append_with_line_ends(out, bytes, crlf_);
        if (!e.name->listed) {
            e.name->listed = true;
            result_.records.push_back(listing(*e.name, next_));
        }
        carry(e.input, r.line, r.last_line);
        last_ = {static_cast<Input>(e.input), r.last_line};
    }

    static MergedRecord3 listing(const Name &n, int line) {
        auto first = [&](int i) { return n.in[i].empty() ? 0 : n.in[i][0]->line; };
        return {n.name, n.outcome, first(kBase), first(kOurs), first(kTheirs), line};
    }

  private:
    void carry(int input, int first, int last) {
        const InputLine from{static_cast<Input>(input), first};
        result_.carried.push_back({next_, from, last - first + 1});
        result_.ranges[input].push_back({first, last});
        next_ += last - first + 1;
    }

    MergeResult3 &result_;
    const LibraryText *const *in_;
    bool crlf_;
    int next_ = 1;  // the output line the next record starts on
    InputLine last_;
};

}  // namespace

const char *input_name(Input input) {
    switch (input) {
    case Input::base: return "BASE";
    case Input::ours: return "OURS";
    case Input::theirs: return "THEIRS";
    }
    return "?";
}

Take TakeChoices::for_toolid(const std::string &name) const {
    for (const auto &[toolid, side] : per_toolid)
        if (toolid == name) return side;
    return all;
}

std::string add_take(TakeChoices &choices, std::string_view argument) {
    const size_t eq = argument.rfind('=');
    const std::string_view side_text = eq == std::string_view::npos ? argument : argument.substr(eq + 1);
    const Take side = side_text == "ours" ? Take::ours : side_text == "theirs" ? Take::theirs : Take::none;
    if (side == Take::none) return "takes ours, theirs, TOOLID=ours or TOOLID=theirs";
    const std::string contradicts = "contradicts an earlier --take";
    if (eq == std::string_view::npos) {
        if (choices.all != Take::none && choices.all != side) return contradicts;
        choices.all = side;
        return {};
    }
    const std::string name(argument.substr(0, eq));
    for (const auto &[toolid, earlier] : choices.per_toolid)
        if (toolid == name) return earlier == side ? std::string() : contradicts;
    choices.per_toolid.emplace_back(name, side);
    return {};
}

const char *outcome_name(Outcome outcome) {
    switch (outcome) {
    case Outcome::kept: return "kept";
    case Outcome::taken_from_ours: return "taken from ours";
    case Outcome::taken_from_theirs: return "taken from theirs";
    case Outcome::same_on_both: return "changed the same on both";
    case Outcome::added_by_ours: return "added by ours";
    case Outcome::added_by_theirs: return "added by theirs";
    case Outcome::added_by_both: return "added by both";
    case Outcome::removed_by_ours: return "removed by ours";
    case Outcome::removed_by_theirs: return "removed by theirs";
    case Outcome::removed_by_both: return "removed by both";
    case Outcome::settled_ours: return "conflict, ours taken";
    case Outcome::settled_theirs: return "conflict, theirs taken";
    case Outcome::conflict: return "conflict";
    }
    return "?";
}

const char *conflict_kind_name(ConflictKind kind) {
    switch (kind) {
    case ConflictKind::changed_on_both: return "changed differently on both sides";
    case ConflictKind::removed_ours_changed_theirs: return "removed by ours, changed by theirs";
    case ConflictKind::changed_ours_removed_theirs: return "changed by ours, removed by theirs";
    case ConflictKind::added_on_both: return "added on both sides with different records";
    case ConflictKind::held_more_than_once: return "held more than once";
    }
    return "?";
}

InputLine MergeResult3::origin(int output_line) const {
    auto after = std::upper_bound(carried.begin(), carried.end(), output_line,
                                  [](int line, const CarriedLines &c) { return line < c.output_line; });
    if (after == carried.begin()) return {};
    const CarriedLines &c = *std::prev(after);
    if (output_line >= c.output_line + c.count) return {};
    return {c.from.input, c.from.line + (output_line - c.output_line)};
}

bool MergeResult3::carries(InputLine at) const {
    const std::vector<std::pair<int, int>> &in = ranges[static_cast<int>(at.input)];
    auto after = std::upper_bound(in.begin(), in.end(), std::make_pair(at.line, std::numeric_limits<int>::max()));
    return after != in.begin() && std::prev(after)->second >= at.line;
}

MergeResult3 merge_three_way(const LibraryText &base, const LibraryText &ours, const LibraryText &theirs,
                             const TakeChoices &take) {
    const LibraryText *const in[kInputs] = {&base, &ours, &theirs};
    LibrarySpans spans[kInputs];
    std::vector<Name> names;  // in order of first appearance: BASE's, then OURS' new ones, then THEIRS'
    std::unordered_map<std::string, size_t> index;
    for (int i = 0; i < kInputs; ++i) {
        spans[i] = record_spans(in[i]->text, in[i]->library);
        for (const RecordSpan &r : spans[i].records) {
            auto [at, fresh] = index.emplace(r.tool->name, names.size());
            if (fresh) names.push_back({r.tool->name, {}, Outcome::kept, kOurs, -1, false});
            names[at->second].in[i].push_back(&r);
        }
    }
    MergeResult3 result;
    std::vector<MergeConflict> conflicts;
    for (Name &n : names) decide(n, in, take, conflicts);
    auto name_of = [&](const RecordSpan &r) -> Name & { return names[index.at(r.tool->name)]; };

    // OURS' order: each record OURS' side keeps, THEIRS' records of a
    // TOOLID in the place of OURS' first record of it.
    std::vector<Entry> entries;
    std::unordered_map<const Name *, size_t> entry_of;  // the output's last entry of a TOOLID OURS holds
    for (const RecordSpan &r : spans[kOurs].records) {
        Name &n = name_of(r);
        if (n.pick == kOurs) {
            entries.push_back({kOurs, &r, &n});
        } else if (n.in[kOurs][0] == &r) {
            for (const RecordSpan *t : n.in[kTheirs]) entries.push_back({kTheirs, t, &n});
        }
        if (!entries.empty() && entries.back().name == &n) entry_of[&n] = entries.size() - 1;
    }
    // THEIRS' records of TOOLIDs OURS does not hold, after their neighbours.
    std::vector<std::vector<Entry>> after(entries.size());
    std::vector<Entry> leading;
    std::vector<Entry> *at = &leading;
    for (const RecordSpan &r : spans[kTheirs].records) {
        Name &n = name_of(r);
        if (auto held = entry_of.find(&n); held != entry_of.end()) at = &after[held->second];
        else if (n.pick == kTheirs && n.in[kOurs].empty()) at->push_back({kTheirs, &r, &n});
    }
    size_t leading_at = entries.size();
    for (size_t i = 0; i < entries.size(); ++i)
        if (!entries[i].name->in[kTheirs].empty()) {
            leading_at = i;
            break;
        }

    Writer out(result, in, spans[kOurs]);
    for (size_t i = 0; i <= entries.size(); ++i) {
        if (i == leading_at)
            for (const Entry &e : leading) out.record(e);
        if (i == entries.size()) break;
        out.record(entries[i]);
        for (const Entry &e : after[i]) out.record(e);
    }
    for (const Name &n : names)
        if (!n.listed) result.records.push_back(Writer::listing(n, 0));
    for (std::vector<std::pair<int, int>> &r : result.ranges) std::sort(r.begin(), r.end());

    std::unordered_set<std::string> conflicting;
    for (const MergedRecord3 &m : result.records) {
        const Name &n = names[index.at(m.name)];
        if (n.conflict < 0) continue;
        result.conflicts.push_back(std::move(conflicts[static_cast<size_t>(n.conflict)]));
        result.unsettled += result.conflicts.back().settled == Take::none;
        conflicting.insert(n.name);
    }
    for (const auto &[toolid, side] : take.per_toolid)
        if (!conflicting.count(toolid)) result.takes_unused.push_back(toolid);

    // The header as records are compared: its lines without line ends and
    // the blank lines after it.
    auto header = [&](int i) {
        RecordSpan h;
        h.end = spans[i].header_end;
        return record_lines(in[i]->text, h);
    };
    const auto theirs_header = header(kTheirs);
    result.theirs_header_lost = theirs_header != header(kBase) && theirs_header != header(kOurs);
    return result;
}

}  // namespace tlsfile
