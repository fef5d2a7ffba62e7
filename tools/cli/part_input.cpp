#include "tools/cli/part_input.h"

#include <algorithm>
#include <functional>

#include "host/common/cp1251.h"
#include "src/shared_facts.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/source.h"
#include "tools/tlsfile/toolid_match.h"

namespace kesto::cli {
namespace {

// Why a member of the machine-tool root gets no record, as a reason and as
// the summary line counts it.
struct SkipReason {
    std::string why;
    std::string counted;  // "not selected", "not a tool", ...
};

SkipReason skip_reason(const sim::Member &m, const std::vector<std::string> &selected) {
    if (m.name == "NONE") return {"the host's NONE member, no tool", "the host's NONE member"};
    if (m.object_type != UF_machining_tool_type)
        return {"not a tool (object type " + std::to_string(m.object_type) + ")", "not a tool"};
    if (kesto_member_skipped(m.type, m.subtype, m.name.c_str()))
        return {"negative cutter type or subtype", "of a negative cutter type"};
    if (!selected.empty() && std::find(selected.begin(), selected.end(), m.name) == selected.end())
        return {"not selected", "not selected"};
    return {};
}

}  // namespace

sim::Session read_part_or_session(const std::string &path) {
    if (path.empty()) return sim::parse_part_or_session(kDemoPart, "the embedded demo part");
    tlsfile::Source source;
    std::string error;
    if (!tlsfile::read_source(path, source, error, tlsfile::kMaxSessionBytes)) throw sim::SessionError(error);
    if (source.kind == tlsfile::SourceKind::library)
        throw sim::SessionError(tlsfile::wrong_kind(source, "", tlsfile::Wanted::part));
    // anything else is for the session reader to say what is wrong with it
    return sim::parse_part_or_session(source.text, path);
}

std::string part_stem(const std::string &raw_name) {
    std::string name = kesto::cp1251_to_utf8(raw_name);
    size_t slash = name.find_last_of("/\\:");
    std::string stem = slash == std::string::npos ? name : name.substr(slash + 1);
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) stem.erase(dot);
    return stem.empty() || stem == "." || stem == ".." ? std::string("tools") : stem;
}

bool select_members(Context &ctx, sim::Part &part, const std::vector<std::string> &names) {
    part.selected.clear();
    std::vector<std::string> members;  // UTF-8, for a slip's nearest name
    for (const std::vector<sim::Member> *list : {&part.members, &part.others})
        for (const sim::Member &m : *list) members.push_back(kesto::cp1251_to_utf8(m.name));
    for (const std::string &name : names) {
        tlsfile::ToolidQuery q;
        std::string error;
        if (!tlsfile::parse_toolid_query(name, q, error)) {
            ctx.error("--select " + error);
            return false;
        }
        std::vector<std::string> found;
        auto each = [&](const std::function<bool(const sim::Member &)> &match) {
            for (const std::vector<sim::Member> *list : {&part.members, &part.others})
                for (const sim::Member &m : *list)
                    if (match(m) && std::find(found.begin(), found.end(), m.name) == found.end()) found.push_back(m.name);
        };
        if (q.pattern) {
            each([&](const sim::Member &m) {
                return tlsfile::pattern_matches(q.raw, m.name) || tlsfile::query_matches(q, tlsfile::as_toolid(m.name));
            });
        } else {
            each([&](const sim::Member &m) { return m.name == q.raw; });
            if (found.empty()) each([&](const sim::Member &m) { return tlsfile::query_matches(q, m.name); });
        }
        if (found.empty()) {
            const std::string guess = q.pattern ? "" : tlsfile::nearest(name, members);
            ctx.error("--select " + name + (q.pattern ? ": no tool of the part matches it" : ": the part has no such tool") +
                      (guess.empty() ? "" : "; did you mean \"" + guess + "\"?"));
            return false;
        }
        for (const std::string &f : found)
            if (std::find(part.selected.begin(), part.selected.end(), f) == part.selected.end()) part.selected.push_back(f);
    }
    return true;
}

std::string skipped_members(Context &ctx, const sim::Part &part, int records, json &skipped) {
    std::vector<std::pair<std::string, int>> counts;  // in the order first met
    int expected = 0, total = 0;
    skipped = json::array();
    auto skip = [&](const std::string &name, const SkipReason &r) {
        ++total;
        skipped.push_back({{"name", kesto::cp1251_to_utf8(name)}, {"reason", r.why}});
        auto it = std::find_if(counts.begin(), counts.end(), [&](const auto &c) { return c.first == r.counted; });
        if (it == counts.end()) counts.emplace_back(r.counted, 1);
        else ++it->second;
    };
    sim::Member none;
    none.name = "NONE";
    auto judge = [&](const sim::Member &m) {
        SkipReason r = skip_reason(m, part.selected);
        if (r.why.empty()) ++expected;
        else skip(m.name, r);
    };
    if (part.none_member) judge(none);
    for (const sim::Member &m : part.members) judge(m);
    for (const sim::Member &m : part.others)
        for (const std::string &s : part.selected)
            if (s == m.name) skip(m.name, {"not in the machine-tool root", "outside the machine-tool root"});
    if (expected != records)
        ctx.warn(std::to_string(expected) + " tools were expected, " + std::to_string(records) + " written");
    std::string out;
    for (const auto &[counted, n] : counts)
        out += (out.empty() ? "" : ", ") + (counted == "the host's NONE member" ? counted : std::to_string(n) + " " + counted);
    return total == 0 ? "" : "skipped " + std::to_string(total) + ": " + out + "\n";
}

}  // namespace kesto::cli
