// --dry-run: what writing an output would do, record by record, said and
// written nothing.  The plan is the one write_output follows.
#include <unordered_map>
#include <unordered_set>

#include "tools/cli/outputs.h"

namespace kesto::cli {

int dry_run(Context &ctx, const Output &out, const std::string &content,
            const std::vector<std::pair<std::string, std::string>> &refused_records, Result &result) {
    tlsfile::OutputLock own;
    OutputPlan plan;
    if (!plan_output(ctx, out, content, own, plan)) return kExitUsage;
    plan.refused_records = refused_records;
    const bool force = ctx.policy.force;
    const tlsfile::ReplacementPlan &r = plan.replacement;
    const tlsfile::Library library = tlsfile::parse_tls(content);
    const bool not_of_kind = plan.exists && (plan.unreadable || (r.refused && r.lost.empty()));
    json add = json::array(), replace = json::array(), keep = json::array(), remove = json::array(),
         refuse = json::array();
    std::unordered_set<std::string> refused_names;
    for (const auto &refused : plan.refused_records) refused_names.insert(refused.first);
    std::unordered_map<int, const tlsfile::ChangedTool *> changed;
    for (const tlsfile::ChangedTool &c : r.changed) changed[c.new_line] = &c;
    std::unordered_set<int> added;
    for (const tlsfile::ListedTool &a : r.added) added.insert(a.line);
    std::string text;
    size_t n_add = 0, n_replace = 0, n_keep = 0, n_remove = 0;
    // every record of the new content, in its order, with what would happen to it
    for (const tlsfile::Tool &t : library.tools) {
        const auto found = changed.find(t.line);
        const tlsfile::ChangedTool *c = found == changed.end() ? nullptr : found->second;
        const bool is_added = not_of_kind || added.count(t.line) > 0;
        if ((c || is_added) && refused_names.count(t.name)) continue;
        if (is_added) {
            text += "  add " + quoted_toolid(t.name) + "\n";
            add.push_back({{"toolid", toolid_json(t.name)}, {"line", t.line}});
            ++n_add;
        } else if (c) {
            text += "  replace " + quoted_toolid(t.name) + "\n" + side_line(plan.label, c->old_side) +
                    side_line("new", c->new_side);
            replace.push_back({{"toolid", toolid_json(t.name)}, {"old", side_json(c->old_side)},
                               {"new", side_json(c->new_side)}});
            ++n_replace;
        } else {
            text += "  keep " + quoted_toolid(t.name) + "\n";
            keep.push_back(toolid_json(t.name));
            ++n_keep;
        }
    }
    const bool dropping = force || plan.replaces_itself;
    for (const tlsfile::ListedTool &lost : r.lost) {
        text += "  " + std::string(dropping ? "remove " : "refuse ") + quoted_toolid(lost.name) +
                (dropping ? "" : ": the new library does not hold it (--force removes it)") + "\n";
        if (dropping) remove.push_back(toolid_json(lost.name));
        else refuse.push_back({{"toolid", toolid_json(lost.name)}, {"reason", "the new library does not hold it"}});
        n_remove += dropping;
    }
    for (const auto &[name, why] : plan.refused_records) {
        text += "  refuse " + quoted_toolid(name) + ": " + why + "\n";
        refuse.push_back({{"toolid", toolid_json(name)}, {"reason", why}});
    }
    const bool whole_refused = not_of_kind && !force;
    const bool refused = !refuse.empty() || whole_refused;
    const bool changes = !r.identical && (n_add + n_replace + n_remove > 0 || r.header_changed || !plan.exists);
    const std::string head = whole_refused ? "  refuse all: " + plan.refusal() + " (--force replaces it)\n" : "";
    result.text += head + text + "dry run, nothing written: " + shown(plan.label) + " would get " +
                   std::to_string(n_add) + " added, " + std::to_string(n_replace) + " replaced, " +
                   std::to_string(n_keep) + " kept, " + std::to_string(n_remove) + " removed, " +
                   std::to_string(refuse.size()) + " refused" +
                   (r.header_changed && plan.exists && !not_of_kind ? "; its header would change" : "") +
                   (r.identical ? "; it holds these bytes already, so nothing would be written" : "") + "\n";
    result.object["plan"] = {{"file", plan.label},
                             {"exists", plan.exists},
                             {"add", add},
                             {"replace", replace},
                             {"keep", keep},
                             {"remove", remove},
                             {"refuse", refuse},
                             {"refused", whole_refused ? json(plan.refusal()) : json(nullptr)},
                             {"header_changed", r.header_changed && plan.exists},
                             {"would_change", changes || refused}};
    result.output_is_stdout = plan.to_stdout;
    return changes || refused ? kExitProblems : kExitOk;
}

}  // namespace kesto::cli
