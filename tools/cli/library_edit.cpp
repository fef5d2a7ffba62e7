#include "tools/cli/library_edit.h"

#include <filesystem>
#include <system_error>

#include "host/common/cp1251.h"
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
    // an edit in place is what the user asked for: the records it drops are
    // not refused as another output's would be
    if (!set_output_policy(args.force || in_place, args.backup, args.dry_run)) return kExitUsage;
    std::string error;
    const std::vector<std::string> inputs = in_place ? std::vector<std::string>{} : std::vector<std::string>{args.library};
    if (!check_output(output, inputs, error)) {
        complain(error);
        return kExitUsage;
    }
    // no other writer from before the library is read until the result has its name
    tlsfile::OutputLock lock;
    if (!is_standard_stream(output) && !lock.take(output, error)) {
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
    if (object) {
        for (const auto &[key, value] : result.details.items()) (*object)[key] = value;
        (*object)["changes"] = result.done;
    }
    const Output out(output, tlsfile::OutputKind::library, inputs, is_standard_stream(output) ? nullptr : &lock, "",
                     std::string("this ") + command);
    if (args.dry_run) {
        // fix changes bytes the record-by-record plan does not show (line
        // ends, the encoding): it says what it would do itself
        if (!result.would.empty() || std::string(command) == "fix") {
            if (!args.json && !args.quiet && !print(lines(result.would))) return kExitUsage;
            return result.text != in.library.text || !in_place ? kExitProblems : kExitOk;
        }
        return dry_run(out, result.text, object);
    }
    if (in_place && result.text == in.library.text) {
        if (!args.json && !tell(in.label + ": nothing to change; it is left as it was\n", output)) return kExitUsage;
        return kExitOk;
    }
    if (const int failed = write_output(out, result.text, error)) {
        complain(error);
        return failed;
    }
    const std::string note = replacement_note();
    if (object) {
        (*object)["written"] = true;
        (*object)["replacement"] = replacement_object();
    }
    // the command's own account of what it did; of the replacement's, the
    // backup and, for another output, what was there
    std::string said = (is_standard_stream(output) ? std::string("standard output") : output) + ":\n" + lines(result.done);
    for (size_t at = 0; at < note.size();) {
        const size_t end = note.find('\n', at);
        const std::string line = note.substr(at, end - at);
        if (!in_place || line.rfind("the old ", 0) == 0) said += line + "\n";
        at = end == std::string::npos ? note.size() : end + 1;
    }
    if (!args.json && !tell(said, output)) return kExitUsage;
    return kExitOk;
}

std::string record_named(const tlsfile::RecordSpan &r) {
    return quoted_toolid(r.tool->name) + " (line " + std::to_string(r.line) + ")";
}

json records_done(const EditInput &in, const std::vector<size_t> &picked, const char *verb, Edit &edit) {
    json out = json::array();
    for (size_t i : picked) {
        const tlsfile::RecordSpan &r = in.spans.records[i];
        edit.done.push_back(verb + (" " + record_named(r)));
        out.push_back({{"toolid", cp1251_to_utf8(r.tool->name)}, {"line", r.line}});
    }
    return out;
}

bool pick_records(const EditInput &in, const std::vector<std::string> &toolids, const std::vector<int> &lines,
                  bool all, std::vector<size_t> &picked) {
    std::vector<std::string> unmatched, raw;
    for (const std::string &t : toolids) raw.push_back(utf8_to_cp1251(t));
    const std::vector<size_t> named = tlsfile::records_named(in.spans, raw, unmatched);
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
    add_dry_run_option(cmd, args.dry_run);
    add_backup_option(cmd, args.backup);
    cmd->add_flag("--force", args.force, "Replace an output (-o) that holds TOOLIDs this does not write, or no library");
    cmd->add_flag("-q,--quiet", args.quiet, "Print only errors");
    cmd->add_flag("--json", args.json, "Print one JSON object (see the README)");
}

void finish_edit(const char *command, const EditArgs &args, const std::function<Edit(const EditInput &)> &edit) {
    set_quiet(args.quiet);
    const std::string output = args.output.empty() ? args.library : args.output;
    json object = {{"library", input_label(args.library)}, {"output", output}, {"dry_run", args.dry_run},
                   {"written", false}, {"replacement", nullptr}};
    const int code = run_edit(command, args, std::string(command) == "fix", edit, args.json ? &object : nullptr);
    set_exit_code(args.json && !print_json(object) ? kExitUsage : code);
}

}  // namespace kesto::cli
