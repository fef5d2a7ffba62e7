#include "tools/cli/library_edit.h"

#include <algorithm>

#include <CLI/CLI.hpp>

#include "tools/cli/usage.h"
#include "tools/tlsfile/tls_edit.h"
#include "tools/tlsfile/toolid_match.h"

namespace kesto::cli {
namespace {

std::string lines_of(const std::vector<std::string> &said) {
    std::string out;
    for (const std::string &s : said) out += "  " + s + "\n";
    return out;
}

std::string line_list(const std::vector<int> &lines) {
    std::string out;
    for (int l : lines) out += (out.empty() ? "" : ", ") + std::to_string(l);
    return out;
}

}  // namespace

Result run_edit(Context &ctx, const char *command, const EditArgs &args, const EditFunction &edit) {
    const std::string output = args.output.empty() ? args.library : args.output;
    const bool in_place = output == args.library;
    Result result;
    result.output_is_stdout = is_standard_stream(output);
    result.object = {{"library", input_label(args.library)}, {"output", output}, {"dry_run", args.output_options.dry_run},
                     {"written", false}, {"replacement", nullptr}};
    result.code = kExitUsage;
    if (is_standard_stream(args.library) && in_place) {
        ctx.error(std::string(command) + " of standard input needs -o");
        return result;
    }
    if (ctx.json && is_standard_stream(output)) {
        ctx.error("--json needs a file, not standard output (-)");
        return result;
    }
    if (!set_policy(ctx, args.output_options)) return result;
    Output out;
    out.path = output;
    out.inputs = in_place ? std::vector<std::string>{} : std::vector<std::string>{args.library};
    out.writer = std::string("this ") + command;
    out.command = command;
    out.replaces_itself = in_place;
    out.any_name = in_place;  // the library is what it is, whatever its name
    if (!check_output(ctx, out)) return result;
    // no other writer from before the library is read until the result has its name
    tlsfile::OutputLock lock;
    std::string error;
    if (!result.output_is_stdout && !lock.take(output, error)) {
        ctx.error(error);
        result.code = kExitProblems;
        return result;
    }
    out.lock = result.output_is_stdout ? nullptr : &lock;
    EditInput in;
    in.label = input_label(args.library);
    if (!read_library(ctx, args.library, command, in.file)) return result;
    if (std::string(command) != "fix" && !writable_again(ctx, in.file, left_as_it_was(output))) return result;
    in.spans = tlsfile::record_spans(in.file.library.text, in.file.library.library);
    Edit made = edit(in);
    if (made.code) {
        result.code = made.code;
        return result;
    }
    for (const auto &[key, value] : made.details.items()) result.object[key] = value;
    if (in.file.source.encoding != tlsfile::Encoding::windows_1251 && std::string(command) != "fix")
        made.done.push_back(std::string("written in Windows-1251, as the plug-in writes (it was ") +
                            tlsfile::encoding_name(in.file.source.encoding) + ")");
    // --json's changes are the report's, the encoding's too
    result.object["changes"] = made.done;
    if (ctx.policy.dry_run) {
        // fix changes bytes the record-by-record plan does not show (line
        // ends, the encoding): it says what it would do itself
        if (!made.would.empty() || std::string(command) == "fix") {
            result.text = lines_of(made.would);
            result.code = made.text != in.file.library.text || in.file.source.encoding != tlsfile::Encoding::windows_1251 ||
                                  in.file.source.byte_order_mark || !in_place
                              ? kExitProblems
                              : kExitOk;
            return result;
        }
        result.code = dry_run(ctx, out, made.text, {}, result);
        return result;
    }
    Written written;
    result.code = write_result(ctx, out, made.text, written, result);
    if (result.code != kExitOk) return result;
    if (in_place && written.file.unchanged) {
        result.text = shown(in.label) + ": nothing to change; it is left as it was\n";
        return result;
    }
    // the command's own account of what it did; of the replacement's, the
    // backup and, for another output, what was there
    result.text = shown(output_label(output)) + ":\n" + lines_of(made.done);
    const std::string note = replacement_text(written);
    for (size_t at = 0; at < note.size();) {
        const size_t end = note.find('\n', at);
        const std::string line = note.substr(at, end - at);
        if (!in_place || line.rfind("the old ", 0) == 0) result.text += line + "\n";
        at = end == std::string::npos ? note.size() : end + 1;
    }
    return result;
}

std::string record_named(const tlsfile::RecordSpan &r) {
    return quoted_toolid(r.tool->name) + " (line " + std::to_string(r.line) + ")";
}

json records_done(const EditInput &in, const std::vector<size_t> &picked, const char *verb, Edit &edit) {
    json out = json::array();
    for (size_t i : picked) {
        const tlsfile::RecordSpan &r = in.spans.records[i];
        edit.done.push_back(verb + (" " + record_named(r)));
        out.push_back({{"toolid", toolid_json(r.tool->name)}, {"line", r.line}});
    }
    return out;
}

bool pick_records(Context &ctx, const EditInput &in, const std::vector<std::string> &toolids,
                  const std::vector<int> &lines, bool all, std::vector<size_t> &picked) {
    const std::vector<tlsfile::RecordSpan> &records = in.spans.records;
    const std::string left = left_as_it_was(in.label);
    std::vector<tlsfile::ToolidQuery> queries(toolids.size());
    for (size_t q = 0; q < toolids.size(); ++q) {
        std::string error;
        if (!tlsfile::parse_toolid_query(toolids[q], queries[q], error)) {
            ctx.error(error + "; " + left);
            return false;
        }
    }
    std::vector<bool> chosen(records.size(), false);
    if (!lines.empty()) {
        // a line picks its record, whatever its TOOLID holds
        for (int l : lines) {
            auto at = std::find_if(records.begin(), records.end(), [l](const tlsfile::RecordSpan &r) { return r.line == l; });
            if (at == records.end()) {
                ctx.error("--line " + std::to_string(l) + ": no record starts there; " + left);
                return false;
            }
            chosen[static_cast<size_t>(at - records.begin())] = true;
        }
        for (const tlsfile::ToolidQuery &q : queries) {
            bool names_one = false;
            for (size_t i = 0; i < records.size(); ++i) names_one = names_one || (chosen[i] && tlsfile::query_matches(q, records[i].tool->name));
            if (!names_one) {
                ctx.error("--line " + line_list(lines) + " picks no record that \"" + shown(q.typed) + "\" names; " + left);
                return false;
            }
        }
    } else {
        for (const tlsfile::ToolidQuery &q : queries) {
            std::vector<size_t> matched;
            for (size_t i = 0; i < records.size(); ++i)
                if (tlsfile::query_matches(q, records[i].tool->name)) matched.push_back(i);
            if (matched.empty()) {
                std::vector<std::string> names;
                for (const tlsfile::RecordSpan &r : records) names.push_back(toolid_json(r.tool->name));
                const std::string guess = q.pattern ? "" : tlsfile::nearest(q.typed, names);
                ctx.error(shown(in.label) + (q.pattern ? " holds no TOOLID that matches " : " holds no TOOLID ") + "\"" +
                          shown(q.typed) + "\"" + (guess.empty() ? "" : " (did you mean \"" + shown(guess) + "\"?)") +
                          "; " + left);
                return false;
            }
            for (size_t i : matched) {
                std::vector<int> held;
                for (const tlsfile::RecordSpan &o : records)
                    if (o.tool->name == records[i].tool->name) held.push_back(o.line);
                if (held.size() > 1 && !all) {
                    ctx.error(shown(in.label) + " holds TOOLID " + quoted_toolid(records[i].tool->name) + " " +
                              std::to_string(held.size()) + " times (lines " + line_list(held) +
                              "); name the one with --line, or give --all; " + left);
                    return false;
                }
                chosen[i] = true;
            }
        }
    }
    for (size_t i = 0; i < chosen.size(); ++i)
        if (chosen[i]) picked.push_back(i);
    return true;
}

void add_edit_options(CLI::App *cmd, EditArgs &args, bool output_option) {
    if (output_option)
        cmd->add_option("-o,--output", args.output, "Write the result here instead of into the library; - writes "
                                                     "standard output")
            ->type_name(kFileType);
    add_dry_run_option(cmd, args.output_options);
    add_backup_option(cmd, args.output_options);
    add_force_option(cmd, args.output_options, "Replace an output (-o) that holds TOOLIDs this does not write, or no library");
    add_report_options(cmd, args.report);
}

void add_line_option(CLI::App *cmd, std::vector<int> &lines, const std::string &description) {
    cmd->add_option("--line", lines, description + "; given again for more")
        ->allow_extra_args(false)
        ->check(line_number())
        ->type_name("LINE");
}

}  // namespace kesto::cli
