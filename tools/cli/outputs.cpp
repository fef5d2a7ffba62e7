// The commands' file outputs: nothing a user made is replaced without a
// word.  What is at an output is judged before it is replaced, kept as a
// backup when asked, and named record by record when it changes; a dry run
// says all that and writes nothing.
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "host/common/cp1251.h"
#include "tools/cli/commands.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/output_guard.h"
#include "tools/tlsfile/tls_records.h"

namespace kesto::cli {
namespace {

using json = nlohmann::ordered_json;

OutputPolicy g_policy;
std::string g_note;
json g_replacement = nullptr;
std::vector<std::pair<std::string, std::string>> g_refused;  // dry run: TOOLID, why
std::unordered_set<std::string> g_refused_names;             // the same TOOLIDs, to look them up

bool exists(const std::string &path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(tlsfile::fs_path(path), ec));
}

// The bytes at an output, read to judge them.  False, with error, when they
// cannot be read (then only --force replaces them).
bool read_existing(const std::string &path, std::string &text, std::string &error) {
    if (tlsfile::read_input_file(path, tlsfile::kMaxLibraryBytes, true, text, error)) return true;
    error = "cannot read " + error + ", so it cannot be told what it holds";
    return false;
}

// "1 record changed ("BN16_R2"), 12 the same" and the like.
std::string plan_words(const tlsfile::ReplacementPlan &plan) {
    std::string changed;
    constexpr size_t kNamed = 10;
    for (size_t i = 0; i < plan.changed.size() && i < kNamed; ++i)
        changed += (i ? ", " : "") + quoted_toolid(plan.changed[i].name);
    if (plan.changed.size() > kNamed) changed += " and " + std::to_string(plan.changed.size() - kNamed) + " more";
    std::string out = plan.changed.empty() ? std::string("no record changed")
                                           : count(plan.changed.size(), "record changed", "records changed");
    if (!changed.empty()) out += " (" + changed + ")";
    if (!plan.added.empty()) out += ", " + count(plan.added.size(), "added", "added");
    out += ", " + std::to_string(plan.same) + " the same";
    if (plan.header_changed) out += ", its header changed";
    if (!plan.lost.empty()) out += ", " + count(plan.lost.size(), "record removed", "records removed") + " (--force)";
    return out;
}

json line_object(const tlsfile::DiffLine &d) {
    return {{"line", d.line}, {"text", d.present ? json(cp1251_to_utf8(d.text)) : json(nullptr)}};
}

json names_json(const std::vector<tlsfile::ListedTool> &tools) {
    json out = json::array();
    for (const tlsfile::ListedTool &t : tools) out.push_back(cp1251_to_utf8(t.name));
    return out;
}

bool refused_in_dry_run(const std::string &toolid) { return g_refused_names.count(toolid) > 0; }

// What a refusal says: why, that the file stays, and the ways on.
std::string refusal(const Output &out, const std::string &why) {
    return why + "; " + left_as_it_was(out.path) + "; --force replaces it all the same" +
           (out.ways.empty() ? "" : ", " + out.ways);
}

}  // namespace

std::string listed_toolids(const std::vector<tlsfile::ListedTool> &tools) {
    constexpr size_t kListed = 5;
    std::string out;
    for (size_t i = 0; i < tools.size() && i < kListed; ++i)
        out += (i ? ", " : "") + quoted_toolid(tools[i].name) + " (line " + std::to_string(tools[i].line) + ")";
    if (tools.size() > kListed) out += " and " + std::to_string(tools.size() - kListed) + " more";
    return out;
}

void set_output_policy(const OutputPolicy &policy) { g_policy = policy; }

bool set_output_policy(bool force, const std::string &backup, bool dry_run) {
    OutputPolicy policy;
    policy.force = force;
    policy.dry_run = dry_run;
    const bool ok = backup_mode(backup, policy.backup);
    g_policy = policy;
    return ok;
}
const OutputPolicy &output_policy() { return g_policy; }

void add_backup_option(CLI::App *cmd, std::string &text) {
    cmd->add_option("--backup", text,
                    "Before a tool library is replaced, keep its old bytes as NAME~ (--backup), or as NAME.~N~ "
                    "(--backup=numbered), under the same lock")
        ->expected(0, 1)
        ->default_str("simple");
}

void add_dry_run_option(CLI::App *cmd, bool &flag) {
    cmd->add_flag("--dry-run", flag,
                  "Write nothing: say per TOOLID what would be added, replaced, kept or refused (exit 0 when "
                  "nothing would change, 1 when something would)");
}

bool backup_mode(const std::string &text, OutputPolicy::Backup &mode) {
    if (text.empty()) mode = OutputPolicy::Backup::none;
    else if (text == "simple" || text == "existing") mode = OutputPolicy::Backup::simple;
    else if (text == "numbered" || text == "t") mode = OutputPolicy::Backup::numbered;
    else {
        complain("--backup takes simple or numbered, not \"" + text + "\"");
        return false;
    }
    return true;
}

bool check_output(const std::string &path, const std::vector<std::string> &inputs, std::string &error) {
    return is_standard_stream(path) || tlsfile::check_output_target(path, files_only(inputs), error);
}

int write_output(const Output &out, const std::string &content, std::string &error) {
    g_note.clear();
    g_replacement = nullptr;
    if (is_standard_stream(out.path)) {
        const int cause = write_stdout_bytes(content);
        if (cause != 0) error = std::string("standard output: cannot be written: ") + std::strerror(cause);
        return cause == 0 ? kExitOk : kExitProblems;
    }
    const std::vector<std::string> inputs = files_only(out.inputs);
    if (!tlsfile::check_output_target(out.path, inputs, error)) return kExitUsage;
    tlsfile::OutputLock own;
    const tlsfile::OutputLock *lock = out.lock;
    if (!lock) {
        if (!own.take(out.path, error)) return kExitProblems;
        lock = &own;
    }
    const bool there = exists(out.path);
    std::string existing;
    tlsfile::ReplacementPlan plan;
    if (there) {
        std::string cause;
        if (!read_existing(out.path, existing, cause)) {
            if (!g_policy.force) {
                error = refusal(out, out.path + ": " + cause);
                return kExitUsage;
            }
        } else {
            plan = tlsfile::plan_replacement(out.kind, out.path, existing, content, out.writer);
        }
        if (plan.refused && !g_policy.force) {
            std::string why = plan.why;
            if (!plan.lost.empty()) why += ": " + listed_toolids(plan.lost);
            error = refusal(out, why);
            return kExitUsage;
        }
    }
    const tlsfile::Backup backup_mode = g_policy.backup == OutputPolicy::Backup::none     ? tlsfile::Backup::none
                                        : g_policy.backup == OutputPolicy::Backup::numbered ? tlsfile::Backup::numbered
                                                                                            : tlsfile::Backup::simple;
    tlsfile::Written written;
    if (!tlsfile::write_output_file(out.path, content, error, inputs, lock, backup_mode, &written)) {
        error += "; " + left_as_it_was(out.path);
        return kExitProblems;
    }
    const std::string &backup = written.backup;
    if (written.unchanged) {
        g_note = out.path + " is unchanged: it holds these bytes already" +
                 (backup_mode != tlsfile::Backup::none ? std::string(", so no backup was made") : std::string()) + "\n";
        g_replacement = {{"file", out.path}, {"changed", json::array()}, {"added", json::array()}, {"same", nullptr},
                         {"removed", json::array()}, {"header_changed", false}, {"backup", nullptr}, {"unchanged", true}};
        return kExitOk;
    }
    if (!there) return kExitOk;
    if (out.kind == tlsfile::OutputKind::library && !existing.empty() && tlsfile::starts_as_library(existing)) {
        if (!plan.identical) g_note = "replaced " + out.path + ": " + plan_words(plan) + "\n";
        json changed = json::array();
        for (const tlsfile::ChangedTool &c : plan.changed) changed.push_back(cp1251_to_utf8(c.name));
        json added = json::array();
        for (const tlsfile::ListedTool &t : plan.added) added.push_back(cp1251_to_utf8(t.name));
        g_replacement = {{"file", out.path}, {"changed", changed}, {"added", added}, {"same", plan.same},
                         {"removed", names_json(plan.lost)}, {"header_changed", plan.header_changed},
                         {"backup", backup.empty() ? json(nullptr) : json(backup)}};
    } else {
        if (!plan.identical)
            g_note = "replaced " + out.path + (plan.refused ? ", which was not " : ", ") +
                     tlsfile::kind_words(out.kind) + " this program wrote" + (plan.refused ? " (--force)" : "") + "\n";
        g_replacement = {{"file", out.path}, {"changed", nullptr}, {"added", nullptr}, {"same", nullptr},
                         {"removed", nullptr}, {"header_changed", nullptr},
                         {"backup", backup.empty() ? json(nullptr) : json(backup)}};
    }
    if (!backup.empty()) g_note += "the old " + out.path + " is kept as " + backup + "\n";
    return kExitOk;
}

std::string replacement_note() {
    std::string note;
    note.swap(g_note);
    return note;
}

json replacement_object() { return g_replacement; }

void dry_run_refuse(const std::string &toolid, const std::string &why) {
    if (g_refused_names.insert(toolid).second) g_refused.emplace_back(toolid, why);
}

int dry_run(const Output &out, const std::string &content, json *object) {
    std::string existing, error;
    tlsfile::OutputLock own;
    const bool file = !is_standard_stream(out.path);
    if (file && !out.lock && !own.take(out.path, error)) {
        complain(error);
        return kExitUsage;
    }
    const bool there = file && exists(out.path);
    if (there && !read_existing(out.path, existing, error)) {
        complain(out.path + ": " + error);
        return kExitUsage;
    }
    const tlsfile::ReplacementPlan plan = tlsfile::plan_replacement(out.kind, out.path, existing, content, out.writer);
    const bool not_library = there && !tlsfile::is_output_of_kind(out.kind, existing);
    const std::string label = file ? out.path : "standard output";
    std::string text;
    json add = json::array(), replace = json::array(), keep = json::array(), remove = json::array(),
         refuse = json::array();
    size_t n_add = 0, n_replace = 0, n_keep = 0, n_remove = 0;
    const tlsfile::Library library = tlsfile::parse_tls(content);
    // every record of the new library, in its order, with what would happen to
    // it; a record is known by its TOOLID line
    std::unordered_map<int, const tlsfile::ChangedTool *> changed;
    for (const tlsfile::ChangedTool &x : plan.changed) changed[x.new_line] = &x;
    std::unordered_set<int> added;
    for (const tlsfile::ListedTool &a : plan.added) added.insert(a.line);
    for (const tlsfile::Tool &t : library.tools) {
        const auto found = changed.find(t.line);
        const tlsfile::ChangedTool *c = found == changed.end() ? nullptr : found->second;
        const bool is_added = added.count(t.line) > 0;
        if ((c || is_added || not_library) && refused_in_dry_run(t.name)) continue;
        if (not_library || is_added) {
            text += "  add " + quoted_toolid(t.name) + "\n";
            add.push_back({{"toolid", cp1251_to_utf8(t.name)}, {"line", t.line}});
            ++n_add;
        } else if (c) {
            text += "  replace " + quoted_toolid(t.name) + "\n    " + label + ":" + std::to_string(c->old_side.line) +
                    ": " + (c->old_side.present ? cp1251_to_utf8(c->old_side.text) : "(the record ends)") + "\n    new:" +
                    std::to_string(c->new_side.line) + ": " +
                    (c->new_side.present ? cp1251_to_utf8(c->new_side.text) : "(the record ends)") + "\n";
            replace.push_back({{"toolid", cp1251_to_utf8(t.name)}, {"old", line_object(c->old_side)},
                               {"new", line_object(c->new_side)}});
            ++n_replace;
        } else {
            text += "  keep " + quoted_toolid(t.name) + "\n";
            keep.push_back(cp1251_to_utf8(t.name));
            ++n_keep;
        }
    }
    for (const tlsfile::ListedTool &lost : plan.lost) {
        const std::string &name = lost.name;
        text += "  " + std::string(g_policy.force ? "remove " : "refuse ") + quoted_toolid(name) +
                (g_policy.force ? "" : ": the new library does not hold it (--force removes it)") + "\n";
        if (g_policy.force) remove.push_back(cp1251_to_utf8(name));
        else refuse.push_back({{"toolid", cp1251_to_utf8(name)}, {"reason", "the new library does not hold it"}});
        n_remove += g_policy.force;
    }
    for (const auto &[name, why] : g_refused) {
        text += "  refuse " + quoted_toolid(name) + ": " + why + "\n";
        refuse.push_back({{"toolid", cp1251_to_utf8(name)}, {"reason", why}});
    }
    const bool whole_refused = not_library && !g_policy.force;
    const bool refused = !refuse.empty() || whole_refused;
    const bool changes = !plan.identical && (n_add + n_replace + n_remove > 0 || plan.header_changed || !there);
    std::string head;
    if (whole_refused) head = "  refuse all: " + plan.why + " (--force replaces it)\n";
    text = head + text + "dry run, nothing written: " + label + " would get " + std::to_string(n_add) + " added, " +
           std::to_string(n_replace) + " replaced, " + std::to_string(n_keep) + " kept, " + std::to_string(n_remove) +
           " removed, " + std::to_string(refuse.size()) + " refused" +
           (plan.header_changed && there && !not_library ? "; its header would change" : "") + "\n";
    if (object) {
        (*object)["plan"] = {{"file", label},       {"exists", there},     {"add", add},
                             {"replace", replace},  {"keep", keep},        {"remove", remove},
                             {"refuse", refuse},    {"refused", whole_refused ? json(plan.why) : json(nullptr)},
                             {"header_changed", plan.header_changed && there}, {"would_change", changes || refused}};
    } else if (!tell(text, out.path)) {
        return kExitUsage;
    }
    return changes || refused ? kExitProblems : kExitOk;
}

std::string left_as_it_was(const std::string &path) {
    if (is_standard_stream(path)) return "nothing is written to standard output";
    if (exists(path)) return path + " is left as it was";
    return path + " is not written; no such file existed";
}

}  // namespace kesto::cli
