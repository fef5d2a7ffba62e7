#include "tools/cli/library_merge.h"

#include "host/common/cp1251.h"
#include "tools/cli/commands.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tls_merge.h"

namespace kesto::cli {
namespace {

using json = nlohmann::ordered_json;

// One problem a line on standard error, "FILE:LINE: ...": errors, or
// warnings when forced; kept in the JSON object's "problems".
// A dry run reports them too, and refuses their records.
void report(const std::vector<tlsfile::Problem> &problems, const std::string &label, const MergeRequest &request) {
    for (const tlsfile::Problem &p : problems) {
        std::string line = tlsfile::format_problem(p, label);
        line.pop_back();
        request.force ? warn(line) : complain(line);
        if (request.json) (*request.json)["problems"].push_back(problem_object(p, label));
        if (output_policy().dry_run && !request.force && !p.tool.empty())
            dry_run_refuse(p.tool, cp1251_to_utf8(p.message) + " (" + label + ":" + std::to_string(p.line) + ")");
    }
}

json names_of(const std::vector<tlsfile::MergedTool> &tools) {
    json out = json::array();
    for (const tlsfile::MergedTool &t : tools)
        out.push_back({{"toolid", cp1251_to_utf8(t.name)}, {"changed", t.changed}});
    return out;
}

// "what: "A", "B"" for the tools (only the changed ones), or nothing.
std::string names(const char *what, const std::vector<tlsfile::MergedTool> &tools, bool only_changed = false) {
    std::string out;
    for (const tlsfile::MergedTool &t : tools)
        if (t.changed || !only_changed) out += (out.empty() ? std::string(what) + " " : ", ") + quoted_toolid(t.name);
    return out.empty() ? out : out + "\n";
}

// The notes on records left out and line ends added.
std::vector<std::string> notes(const MergeRequest &request, const tlsfile::MergeResult &merged) {
    auto label = [&](size_t source) {
        return source == 0 ? request.base->label : request.news[source - 1]->label;
    };
    std::vector<std::string> out;
    for (const tlsfile::SupersededRecord &s : merged.superseded)
        out.push_back("TOOLID " + quoted_toolid(s.name) + " at " + label(s.record.source) + ":" +
                      std::to_string(s.record.line) + " is left out for the one at " + label(s.by.source) + ":" +
                      std::to_string(s.by.line));
    for (const tlsfile::SourceLine &at : merged.line_end_added)
        out.push_back(label(at.source) + ":" + std::to_string(at.line) +
                      " has no line end; one was added before the next record");
    return out;
}

std::string summary(const MergeRequest &request, const tlsfile::MergeResult &merged) {
    std::string from;
    for (const LibraryFile *n : request.news) from += (from.empty() ? "" : ", ") + n->label;
    size_t changed = 0;
    for (const tlsfile::MergedTool &t : merged.replaced) changed += t.changed;
    const std::string into = is_standard_stream(request.output) ? "standard output" : request.output;
    std::string out = "merged " + from + " into " + into + ": " +
                      count(merged.replaced.size(), "tool replaced", "tools replaced") + " (" +
                      std::to_string(changed) + " changed), " +
                      count(merged.added.size(), "tool added", "tools added") + ", " +
                      count(merged.kept, "tool kept", "tools kept") + "\n";
    out += names("replaced:", merged.replaced) + names("changed:", merged.replaced, true) +
           names("added:", merged.added);
    for (const std::string &note : notes(request, merged)) out += "note: " + note + "\n";
    return out;
}

}  // namespace

json problem_object(const tlsfile::Problem &p, const std::string &label) {
    return {{"file", label},
            {"line", p.line},
            {"toolid", p.tool.empty() ? json(nullptr) : json(cp1251_to_utf8(p.tool))},
            {"message", cp1251_to_utf8(p.message)}};
}

std::string part_given_to(const std::string &command, const std::string &path) {
    return input_label(path) + ": is a part or session file (JSON), not a tool library; " + command +
           " takes libraries. Export its tools first: kesto-tools-vericut export " +
           (is_standard_stream(path) ? std::string("PART.json") : path) + " -o NEW.tls";
}

std::string part_file_refused(const std::string &command, const std::string &path, std::string_view head) {
    return tlsfile::starts_as_json_object(head) ? part_given_to(command, path) : std::string();
}

bool read_library(const std::string &path, LibraryFile &out, const std::string &purpose) {
    std::string text, error;
    if (!read_input(path, tlsfile::kMaxLibraryBytes, text, error)) {
        complain("cannot read " + error);
        return false;
    }
    if (tlsfile::starts_as_json_object(text)) {
        complain(part_given_to(purpose.substr(0, purpose.find(' ')), path));
        return false;
    }
    if (!tlsfile::starts_as_library(text)) {
        complain(input_label(path) + ": does not start with the tool library header \"" + tlsfile::kLibraryHeaderLine + "\"; " +
                 purpose);
        return false;
    }
    out = library_from_text(input_label(path), std::move(text));
    return true;
}

LibraryFile library_from_text(const std::string &label, std::string text) {
    LibraryFile file;
    file.label = label;
    file.library.library = tlsfile::parse_tls(text);
    file.library.text = std::move(text);
    return file;
}

int merge_and_write(const MergeRequest &request) {
    json *const object = request.json;
    if (object) {
        (*object)["output"] = request.output;
        (*object)["written"] = false;
        (*object)["problems"] = json::array();
        (*object)["replaced"] = json::array();
        (*object)["added"] = json::array();
        (*object)["kept"] = nullptr;
        (*object)["notes"] = json::array();
        (*object)["replacement"] = nullptr;
    }
    std::string error;
    if (!check_output(request.output, request.inputs, error)) {
        complain(error);
        return kExitUsage;
    }
    // A new library with problems, or holding a TOOLID twice, would bring
    // them into the output: refused unless forced.
    bool refused = false;
    std::vector<const tlsfile::LibraryText *> news;
    for (const LibraryFile *n : request.news) {
        size_t beyond = 0;
        std::vector<tlsfile::Problem> problems = tlsfile::check_library(n->library.library, &beyond);
        news.push_back(&n->library);
        if (problems.empty()) continue;
        report(problems, n->label, request);
        const std::string what = n->label + ": " + count(problems.size() + beyond, "problem", "problems");
        if (request.force) warn(what + "; merged all the same (--force)");
        else complain(what + "; --force merges it all the same");
        refused = !request.force;
    }
    const bool dry = output_policy().dry_run;
    if (refused && !dry) {
        complain("nothing merged; " + left_as_it_was(request.output));
        return kExitProblems;
    }

    const tlsfile::MergeResult merged = tlsfile::merge_libraries(request.base->library, news);
    // The result is checked before it takes its name.  Its problems can only
    // be the inputs' own: the base's are named at the base's lines (the new
    // libraries' have been named above).
    const tlsfile::CheckResult result = tlsfile::check_text(merged.text);
    if (!result.problems.empty()) {
        std::vector<tlsfile::Problem> kept;
        for (const tlsfile::Problem &p : tlsfile::check_library(request.base->library.library))
            if (merged.carries({0, p.line})) kept.push_back(p);
        if (!kept.empty()) {
            report(kept, request.base->label, request);
            const std::string what = "the merged library keeps " + count(kept.size(), "problem", "problems") +
                                     " of " + request.base->label;
            if (request.force) warn(what + "; written all the same (--force)");
            else complain(what + "; --force writes it all the same");
        } else if (!request.force) {
            report(result.problems, "the merged library", request);
        }
        if (!request.force && !dry) {
            complain("nothing merged; " + left_as_it_was(request.output));
            return kExitProblems;
        }
    }
    const Output out{request.output, tlsfile::OutputKind::library, request.inputs, request.lock,
                     "or give it as the base to merge into it", "this merge"};
    if (dry) return dry_run(out, merged.text, object);
    if (int code = write_output(out, merged.text, error)) {
        complain(error);
        return code;
    }
    if (request.written) *request.written = true;
    if (object) {
        (*object)["written"] = true;
        (*object)["replaced"] = names_of(merged.replaced);
        (*object)["added"] = names_of(merged.added);
        (*object)["kept"] = merged.kept;
        (*object)["notes"] = notes(request, merged);
        (*object)["replacement"] = replacement_object();
    } else if (!tell(summary(request, merged) + replacement_note(), request.output)) {
        return kExitUsage;
    }
    return result.problems.empty() ? kExitOk : kExitProblems;
}

}  // namespace kesto::cli
