#include "tools/cli/library_edit.h"

#include <filesystem>
#include <system_error>

#include "tools/cli/commands.h"
#include "tools/cli/library_merge.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/output_file.h"
#include "tools/tlsfile/tls_edit.h"

namespace kesto::cli {
namespace {

using json = nlohmann::ordered_json;

std::string lines(const std::vector<std::string> &said) {
    std::string out;
    for (const std::string &s : said) out += "  " + s + "\n";
    return out;
}

// An output other than the library may be replaced only when it holds no
// TOOLID the edit does not write, or when forced.
bool may_replace(const std::string &output, const std::string &text, bool force) {
    std::error_code ec;
    if (force || is_standard_stream(output) || !std::filesystem::exists(tlsfile::fs_path(output), ec)) return true;
    std::string held, error;
    if (!read_input(output, tlsfile::kMaxLibraryBytes, held, error)) {
        complain("cannot read " + error + ", so it cannot be told which tools it holds; " + left_as_it_was(output) +
                 "; --force replaces it all the same");
        return false;
    }
    if (!held.empty() && !tlsfile::starts_as_library(held)) {
        complain(output + " is no tool library; " + left_as_it_was(output) + "; --force replaces it all the same");
        return false;
    }
    const tlsfile::Library old = tlsfile::parse_tls(held), now = tlsfile::parse_tls(text);
    std::vector<std::string> lost;
    for (const tlsfile::Tool &t : old.tools) {
        bool kept = false;
        for (const tlsfile::Tool &n : now.tools) kept = kept || n.name == t.name;
        if (!kept) lost.push_back(quoted_toolid(t.name));
    }
    if (lost.empty()) return true;
    std::string names;
    for (size_t i = 0; i < lost.size() && i < 5; ++i) names += (i ? ", " : "") + lost[i];
    if (lost.size() > 5) names += " and " + std::to_string(lost.size() - 5) + " more";
    complain(output + " holds " + count(lost.size(), "TOOLID", "TOOLIDs") + " this would not write: " + names + "; " +
             left_as_it_was(output) + "; --force replaces it all the same");
    return false;
}

}  // namespace

int run_edit(const char *command, const EditArgs &args, bool raw, const std::function<Edit(const EditInput &)> &edit,
             json *object) {
    const std::string output = args.output.empty() ? args.library : args.output;
    const bool in_place = output == args.library;
    if (is_standard_stream(args.library) && in_place) {
        complain(std::string(command) + " of standard input needs -o");
        return kExitUsage;
    }
    if (args.json && is_standard_stream(output)) {
        complain("--json needs a file, not standard output (-)");
        return kExitUsage;
    }
    std::string error;
    const std::vector<std::string> inputs = in_place ? std::vector<std::string>{} : std::vector<std::string>{args.library};
    if (!check_output(output, inputs, error)) {
        complain(error);
        return kExitUsage;
    }
    tlsfile::OutputLock lock;
    if (!args.dry_run && !is_standard_stream(output) && !lock.take(output, error)) {
        complain(error);
        return kExitProblems;
    }
    EditInput in;
    in.label = input_label(args.library);
    if (raw) {
        if (!read_input(args.library, tlsfile::kMaxLibraryBytes, in.library.text, error)) {
            complain("cannot read " + error);
            return kExitUsage;
        }
        if (const std::string refused = part_file_refused(command, args.library, in.library.text); !refused.empty()) {
            complain(refused);
            return kExitUsage;
        }
    } else {
        LibraryFile file;
        if (!read_library(args.library, file, std::string(command) + " takes tool libraries only")) return kExitUsage;
        in.library = std::move(file.library);
        in.spans = tlsfile::record_spans(in.library.text, in.library.library);
    }
    Edit result = edit(in);
    if (result.code) return result.code;
    const bool changes = result.text != in.library.text || !in_place;
    if (object) {
        for (const auto &[key, value] : result.details.items()) (*object)[key] = value;
        (*object)["changes"] = args.dry_run && !result.would.empty() ? result.would : result.done;
    }
    if (args.dry_run) {
        if (!args.json && !args.quiet && !print(lines(result.would.empty() ? result.done : result.would)))
            return kExitUsage;
        return changes ? kExitProblems : kExitOk;
    }
    if (!changes) {
        if (!args.json && !tell(in.label + ": nothing to change; it is left as it was\n", output)) return kExitUsage;
        return kExitOk;
    }
    if (!in_place && !may_replace(output, result.text, args.force)) return kExitUsage;
    if (!write_output(output, result.text, error, inputs, is_standard_stream(output) ? nullptr : &lock)) {
        complain(error);
        return kExitProblems;
    }
    if (object) (*object)["written"] = true;
    if (!args.json && !tell((is_standard_stream(output) ? std::string("standard output") : output) + ":\n" +
                                lines(result.done),
                            output))
        return kExitUsage;
    return kExitOk;
}

// The records TOOLIDs (names or patterns) and --line pick, in file order;
// a name held by several records is refused (naming their lines) unless
// all or one of its lines was given.  False after saying why.
std::string record_named(const tlsfile::RecordSpan &r) {
    return quoted_toolid(r.tool->name) + " (line " + std::to_string(r.line) + ")";
}

bool pick_records(const EditInput &in, const std::vector<std::string> &toolids, const std::vector<int> &lines,
                  bool all, std::vector<size_t> &picked) {
    std::vector<std::string> unmatched;
    const std::vector<size_t> named = tlsfile::records_named(in.spans, toolids, unmatched);
    if (!unmatched.empty()) {
        std::string names;
        for (const std::string &u : unmatched) names += (names.empty() ? "" : ", ") + quoted_toolid(u);
        complain(in.label + " holds no TOOLID " + names + "; " + left_as_it_was(in.label));
        return false;
    }
    for (int l : lines) {
        bool found = false;
        for (size_t i : named) found = found || in.spans.records[i].line == l;
        if (!found) {
            complain("--line " + std::to_string(l) + ": no record named starts there; " + left_as_it_was(in.label));
            return false;
        }
    }
    for (size_t i : named) {
        const tlsfile::RecordSpan &r = in.spans.records[i];
        std::vector<int> held;
        for (const tlsfile::RecordSpan &o : in.spans.records)
            if (o.tool->name == r.tool->name) held.push_back(o.line);
        bool line_given = false;
        for (int l : lines) line_given = line_given || l == r.line;
        bool other_given = false;
        for (int l : lines)
            for (int h : held) other_given = other_given || (l == h && h != r.line);
        if (held.size() > 1 && !all && !line_given) {
            if (other_given) continue;
            std::string at;
            for (int h : held) at += (at.empty() ? "" : ", ") + std::to_string(h);
            complain(in.label + " holds TOOLID " + quoted_toolid(r.tool->name) + " " + std::to_string(held.size()) +
                     " times (lines " + at + "); name the one with --line, or give --all; " +
                     left_as_it_was(in.label));
            return false;
        }
        picked.push_back(i);
    }
    return true;
}

void add_edit_options(CLI::App *cmd, EditArgs &args, bool output_option) {
    if (output_option)
        cmd->add_option("-o,--output", args.output, "Write the result here instead of into the library; - writes "
                                                     "standard output");
    cmd->add_flag("--dry-run", args.dry_run, "Say what would change, write nothing (exit 1 when something would)");
    cmd->add_flag("--force", args.force, "Replace an output (-o) that holds TOOLIDs this does not write");
    cmd->add_flag("-q,--quiet", args.quiet, "Print only errors");
    cmd->add_flag("--json", args.json, "Print one JSON object (see the README)");
}

void finish_edit(const char *command, const EditArgs &args, const std::function<Edit(const EditInput &)> &edit) {
    set_quiet(args.quiet);
    const std::string output = args.output.empty() ? args.library : args.output;
    json object = {{"library", input_label(args.library)}, {"output", output}, {"dry_run", args.dry_run},
                   {"written", false}};
    const int code = run_edit(command, args, std::string(command) == "fix", edit, args.json ? &object : nullptr);
    set_exit_code(args.json && !print_json(object) ? kExitUsage : code);
}

}  // namespace kesto::cli
