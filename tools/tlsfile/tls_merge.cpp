#include "tools/tlsfile/tls_merge.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <string_view>
#include <unordered_map>

namespace tlsfile {

namespace {

// A record's place in the output and what fills it now.
struct Slot {
    size_t source = 0;
    const RecordSpan *span = nullptr;
    const RecordSpan *base = nullptr;  // the base record first in this place (none: appended)
    bool dropped = false;  // a base record whose TOOLID took an earlier place
};

}  // namespace

bool MergeResult::carries(SourceLine at) const {
    if (at.source >= carried.size()) return false;
    const std::vector<std::pair<int, int>> &ranges = carried[at.source];
    auto after =
        std::upper_bound(ranges.begin(), ranges.end(), std::make_pair(at.line, std::numeric_limits<int>::max()));
    return after != ranges.begin() && std::prev(after)->second >= at.line;
}

MergeResult merge_libraries(const LibraryText &base, const std::vector<const LibraryText *> &news) {
    std::vector<const LibraryText *> sources = {&base};
    sources.insert(sources.end(), news.begin(), news.end());
    std::vector<LibrarySpans> spans;
    for (const LibraryText *s : sources) spans.push_back(record_spans(s->text, s->library));

    MergeResult result;
    std::vector<Slot> slots;
    std::unordered_map<std::string, size_t> place;  // TOOLID -> its slot
    std::unordered_map<std::string, std::vector<size_t>> base_repeats;  // later base slots of a TOOLID
    for (const RecordSpan &r : spans[0].records) {
        auto [first, fresh] = place.emplace(r.tool->name, slots.size());
        if (!fresh) base_repeats[r.tool->name].push_back(slots.size());
        slots.push_back({0, &r, &r, false});
    }
    for (size_t s = 1; s < sources.size(); ++s) {
        for (const RecordSpan &r : spans[s].records) {
            const std::string &name = r.tool->name;
            auto [at, fresh] = place.emplace(name, slots.size());
            if (fresh) {
                slots.push_back({s, &r, nullptr, false});
                continue;
            }
            Slot &slot = slots[at->second];
            const SourceLine by{s, r.line};
            if (slot.source != 0) {
                result.superseded.push_back({name, {slot.source, slot.span->line}, by});
            } else if (auto repeats = base_repeats.find(name); repeats != base_repeats.end()) {
                for (size_t k : repeats->second) {
                    slots[k].dropped = true;
                    result.superseded.push_back({name, {0, slots[k].span->line}, by});
                }
                base_repeats.erase(repeats);
            }
            slot.source = s;
            slot.span = &r;
        }
    }

    result.carried.resize(sources.size());
    const bool crlf = crlf_file(base.text);
    std::string &out = result.text;
    SourceLine last{0, spans[0].header_lines};
    out.assign(base.text, 0, spans[0].header_end);
    if (spans[0].header_lines > 0) result.carried[0].push_back({1, spans[0].header_lines});
    for (const Slot &slot : slots) {
        if (slot.dropped) continue;
        if (!out.empty() && out.back() != '\n') {
            // the base's kind of line end; a CR cut from its LF gets it back
            if (out.back() == '\r') out.pop_back();
            out += crlf ? "\r\n" : "\n";
            result.line_end_added.push_back(last);
        }
        const std::string &text = sources[slot.source]->text;
        const std::string_view record(text.data() + slot.span->begin, slot.span->end - slot.span->begin);
        if (slot.source == 0) out += record;
        else append_with_line_ends(out, record, crlf);
        result.carried[slot.source].push_back({slot.span->line, slot.span->last_line});
        last = {slot.source, slot.span->last_line};
        MergedTool tool{slot.span->tool->name, slot.base ? slot.base->line : 0, {slot.source, slot.span->line}};
        if (slot.source == 0) {
            ++result.kept;
        } else if (slot.base) {
            tool.changed = record_lines(base.text, *slot.base) != record_lines(text, *slot.span);
            result.replaced.push_back(tool);
        } else {
            result.added.push_back(tool);
        }
    }
    for (std::vector<std::pair<int, int>> &ranges : result.carried) std::sort(ranges.begin(), ranges.end());
    return result;
}

JoinResult join_libraries(const std::vector<const LibraryText *> &parts) {
    JoinResult out;
    if (parts.empty()) return out;
    struct Given {
        size_t part;
        const RecordSpan *span;
    };
    std::unordered_map<std::string, Given> first;  // by TOOLID: where it was first given
    std::vector<LibrarySpans> spans;
    spans.reserve(parts.size());
    for (const LibraryText *part : parts) spans.push_back(record_spans(part->text, part->library));
    out.text = parts[0]->text.substr(0, spans[0].header_end);
    for (size_t i = 0; i < parts.size(); ++i) {
        for (const RecordSpan &r : spans[i].records) {
            const std::string &name = r.tool->name;
            auto at = first.find(name);
            if (at != first.end() && at->second.part != i) {
                const Given &g = at->second;
                if (record_lines(parts[g.part]->text, *g.span) == record_lines(parts[i]->text, r)) ++out.repeated;
                else out.conflicts.push_back({name, {g.part, g.span->line}, {i, r.line}});
                continue;
            }
            if (at == first.end()) first.emplace(name, Given{i, &r});
            std::string_view bytes(parts[i]->text.data() + r.begin, r.end - r.begin);
            if (!out.text.empty() && out.text.back() != '\n') out.text += crlf_file(parts[0]->text) ? "\r\n" : "\n";
            out.text += bytes;
            ++out.records;
        }
    }
    if (!out.conflicts.empty()) out.text.clear();
    return out;
}

}  // namespace tlsfile
