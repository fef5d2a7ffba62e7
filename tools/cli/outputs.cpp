// The commands' file outputs: nothing a user made is replaced without a
// word.  What is at an output is judged before it is replaced, kept as a
// backup when asked, and named record by record when it changes; a dry run
// says all that and writes nothing.
#include "tools/cli/outputs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include <CLI/CLI.hpp>

#include "tools/cli/inputs.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/source.h"

namespace kesto::cli {
namespace {

bool exists(const std::string &path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(tlsfile::fs_path(path), ec));
}

std::string lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string extension(const std::string &path) {
    return lower(tlsfile::utf8_path(tlsfile::fs_path(path).extension()));
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

json names_json(const std::vector<tlsfile::ListedTool> &tools) {
    json out = json::array();
    for (const tlsfile::ListedTool &t : tools) out.push_back(toolid_json(t.name));
    return out;
}

// The file's old bytes, to judge them; empty when there is none.
bool read_existing(const std::string &path, std::string &text, std::string &cause) {
    if (tlsfile::read_input_file(path, tlsfile::kMaxLibraryBytes, true, text, cause)) return true;
    cause = "cannot read " + cause + ", so it cannot be told what it holds";
    return false;
}

}  // namespace

const std::vector<std::string> &extensions_of(tlsfile::OutputKind kind) {
    static const std::vector<std::string> library = {".tls"}, picture = {".svg"}, page = {".html", ".htm"},
                                          table = {".csv"}, transcript = {".txt", ".log", ".json", ""};
    switch (kind) {
    case tlsfile::OutputKind::library: return library;
    case tlsfile::OutputKind::picture: return picture;
    case tlsfile::OutputKind::page: return page;
    case tlsfile::OutputKind::table: return table;
    case tlsfile::OutputKind::transcript: return transcript;
    }
    return library;
}

bool has_extension(const std::string &path, const std::vector<std::string> &exts) {
    return std::find(exts.begin(), exts.end(), extension(path)) != exts.end();
}

bool check_output(Context &ctx, const Output &out) {
    if (is_standard_stream(out.path)) return true;
    std::string error;
    if (!tlsfile::check_output_target(out.path, files_only(out.inputs), error)) {
        ctx.error(error);
        return false;
    }
    const std::vector<std::string> &exts = extensions_of(out.kind);
    if (out.any_name || has_extension(out.path, exts)) return true;
    // a library already there is what it is, whatever its name
    std::string there, cause;
    if (out.kind == tlsfile::OutputKind::library && exists(out.path) &&
        tlsfile::read_input_file(out.path, tlsfile::kMaxLibraryBytes, true, there, cause) &&
        tlsfile::source_of(out.path, std::move(there)).kind == tlsfile::SourceKind::library)
        return true;
    std::string names;
    for (const std::string &e : exts)
        if (!e.empty()) names += (names.empty() ? "" : " or ") + e;
    const std::string ext = extension(out.path);
    const std::string formats =
        out.formats.empty() ? std::string(tlsfile::kind_words(out.kind)) + " (" + names + ")" : out.formats;
    ctx.error(out.path + ": " + (out.command.empty() ? std::string("this command") : out.command) + " writes " +
              formats + ", not " + (ext.empty() ? std::string("a file without an extension") : ext));
    return false;
}

std::string OutputPlan::refusal() const {
    if (unreadable) return label + ": " + replacement.why;
    if (!replacement.refused || (replaces_itself && !replacement.lost.empty())) return "";
    return replacement.why + (replacement.lost.empty() ? "" : ": " + listed_toolids(replacement.lost));
}

bool OutputPlan::records() const {
    return kind == tlsfile::OutputKind::library && exists && !unreadable &&
           (!replacement.refused || !replacement.lost.empty());
}

bool plan_output(Context &ctx, const Output &out, const std::string &content, tlsfile::OutputLock &own,
                 OutputPlan &plan) {
    plan = OutputPlan();
    plan.kind = out.kind;
    plan.to_stdout = is_standard_stream(out.path);
    plan.label = output_label(out.path);
    plan.replaces_itself = out.replaces_itself;
    plan.content = &content;
    std::string existing, error;
    if (!plan.to_stdout) {
        if (!out.lock && !own.take(out.path, error)) {
            ctx.error(error);
            return false;
        }
        plan.exists = exists(out.path);
        if (plan.exists && !read_existing(out.path, existing, plan.replacement.why)) {
            plan.unreadable = true;
            return true;
        }
    }
    plan.replacement =
        tlsfile::plan_replacement(out.kind, out.path, plan.exists ? &existing : nullptr, content, out.writer);
    return true;
}

int write_output(Context &ctx, const Output &out, const std::string &content, Written &written) {
    written = Written();
    std::string error;
    if (is_standard_stream(out.path)) {
        written.plan.to_stdout = true;
        written.plan.label = output_label(out.path);
        const int cause = ctx.write_bytes(content);
        if (cause == 0) return kExitOk;
        ctx.error(std::string("standard output: cannot be written: ") + std::strerror(cause));
        return kExitProblems;
    }
    const std::vector<std::string> inputs = files_only(out.inputs);
    if (!tlsfile::check_output_target(out.path, inputs, error)) {
        ctx.error(error);
        return kExitUsage;
    }
    tlsfile::OutputLock own;
    if (!plan_output(ctx, out, content, own, written.plan)) return kExitProblems;
    const std::string refusal = written.plan.refusal();
    if (!refusal.empty() && !ctx.policy.force) {
        ctx.error(refusal + "; " + left_as_it_was(out.path) + "; --force replaces it all the same" +
                  (out.ways.empty() ? "" : ", " + out.ways));
        return kExitUsage;
    }
    written.backup_asked = ctx.policy.backup != tlsfile::Backup::none;
    if (!tlsfile::write_output_file(out.path, content, error, inputs, out.lock ? out.lock : &own, ctx.policy.backup,
                                    &written.file)) {
        ctx.error(error + "; " + left_as_it_was(out.path));
        return kExitProblems;
    }
    return kExitOk;
}

std::string replacement_text(const Written &w) {
    const OutputPlan &p = w.plan;
    if (p.to_stdout || !p.exists) return "";
    if (w.file.unchanged)
        return shown(p.label) + " is unchanged: it held these bytes already" +
               (w.backup_asked ? ", so no backup was made" : "") + "\n";
    const bool refused = p.unreadable || p.replacement.refused;
    std::string out = "replaced " + shown(p.label) +
                      (p.records() ? ": " + plan_words(p.replacement)
                                   : std::string(refused ? ", which was not " : ", ") + tlsfile::kind_words(p.kind) +
                                         " this program wrote" + (refused ? " (--force)" : "")) +
                      "\n";
    if (!w.file.backup.empty()) out += "the old " + shown(p.label) + " is kept as " + shown(w.file.backup) + "\n";
    return out;
}

int write_result(Context &ctx, const Output &out, const std::string &content, Written &written, Result &result) {
    if (const int failed = write_output(ctx, out, content, written)) return failed;
    result.object["written"] = !written.file.unchanged;
    result.object["replacement"] = replacement_json(written);
    return kExitOk;
}

json replacement_json(const Written &w) {
    const OutputPlan &p = w.plan;
    if (p.to_stdout || !p.exists) return nullptr;
    const tlsfile::ReplacementPlan &r = p.replacement;
    json changed = json::array();
    for (const tlsfile::ChangedTool &c : r.changed) changed.push_back(toolid_json(c.name));
    const bool records = p.records();
    return {{"file", p.label},
            {"changed", records ? changed : json(nullptr)},
            {"added", records ? names_json(r.added) : json(nullptr)},
            {"same", records ? json(r.same) : json(nullptr)},
            {"removed", records ? names_json(r.lost) : json(nullptr)},
            {"header_changed", records ? json(r.header_changed) : json(nullptr)},
            {"backup", w.file.backup.empty() ? json(nullptr) : json(w.file.backup)},
            {"unchanged", w.file.unchanged}};
}

std::string left_as_it_was(const std::string &path) {
    if (is_standard_stream(path)) return "nothing is written to standard output";
    if (exists(path)) return path + " is left as it was";
    return path + " is not written; no such file existed";
}

void add_force_option(CLI::App *cmd, OutputOptions &options, const std::string &description) {
    cmd->add_flag("--force", options.force, description);
}

void add_backup_option(CLI::App *cmd, OutputOptions &options) {
    cmd->add_option("--backup", options.backup,
                    "Before a tool library is replaced, keep its old bytes as NAME~ (--backup), or as NAME.~N~ "
                    "(--backup=numbered), under the same lock; not when nothing changes")
        ->expected(0, 1)
        ->default_str("simple")
        ->type_name("simple|numbered");
}

void add_dry_run_option(CLI::App *cmd, OutputOptions &options) {
    cmd->add_flag("--dry-run", options.dry_run,
                  "Write nothing: say per TOOLID what would be added, replaced, kept or refused (exit 0 when "
                  "nothing would change, 1 when something would)");
}

bool set_policy(Context &ctx, const OutputOptions &options) {
    ctx.policy.force = options.force;
    ctx.policy.dry_run = options.dry_run;
    const std::string &text = options.backup;
    if (text.empty()) ctx.policy.backup = tlsfile::Backup::none;
    else if (text == "simple" || text == "existing") ctx.policy.backup = tlsfile::Backup::simple;
    else if (text == "numbered" || text == "t") ctx.policy.backup = tlsfile::Backup::numbered;
    else {
        ctx.error("--backup takes simple or numbered, not \"" + text + "\"");
        return false;
    }
    return true;
}

}  // namespace kesto::cli
