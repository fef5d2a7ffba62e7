#include "tools/cli/library_merge.h"

#include "host/common/cp1251.h"
#include "tools/tlsfile/tls_merge.h"

namespace kesto::cli {
namespace {

json names_of(const std::vector<tlsfile::MergedTool> &tools) {
    json out = json::array();
    for (const tlsfile::MergedTool &t : tools) out.push_back({{"toolid", toolid_json(t.name)}, {"changed", t.changed}});
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
    auto label = [&](size_t source) { return source == 0 ? request.base->label : request.news[source - 1]->label; };
    std::vector<std::string> out;
    for (const tlsfile::SupersededRecord &s : merged.superseded)
        out.push_back("TOOLID " + quoted_toolid(s.name) + " at " + shown(label(s.record.source)) + ":" +
                      std::to_string(s.record.line) + " is left out for the one at " + shown(label(s.by.source)) + ":" +
                      std::to_string(s.by.line));
    for (const tlsfile::SourceLine &at : merged.line_end_added)
        out.push_back(shown(label(at.source)) + ":" + std::to_string(at.line) +
                      " has no line end; one was added before the next record");
    for (const LibraryFile *file : request.news)
        if (file->source.encoding != tlsfile::Encoding::windows_1251)
            out.push_back(shown(file->label) + " was saved as " + tlsfile::encoding_name(file->source.encoding) +
                          "; its records are merged in Windows-1251, as the plug-in writes them");
    return out;
}

std::string summary(const MergeRequest &request, const tlsfile::MergeResult &merged) {
    std::string from;
    for (const LibraryFile *n : request.news) from += (from.empty() ? "" : ", ") + shown(n->label);
    size_t changed = 0;
    for (const tlsfile::MergedTool &t : merged.replaced) changed += t.changed;
    std::string out = "merged " + from + " into " + shown(output_label(request.out.path)) + ": " +
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

void empty_merge_object(json &object, const std::string &output) {
    object["output"] = output;
    object["written"] = false;
    object["problems"] = json::array();
    object["replaced"] = json::array();
    object["added"] = json::array();
    object["kept"] = nullptr;
    object["notes"] = json::array();
    object["replacement"] = nullptr;
}

json problem_object(const tlsfile::Problem &p, const std::string &label) {
    return {{"file", label},
            {"line", p.line},
            {"toolid", p.tool.empty() ? json(nullptr) : json(toolid_json(p.tool))},
            {"message", kesto::cp1251_to_utf8(p.message)}};
}

void report_problems(Context &ctx, const std::vector<tlsfile::Problem> &problems, const std::string &label,
                     Result &result, std::vector<std::pair<std::string, std::string>> *refused) {
    for (const tlsfile::Problem &p : problems) {
        std::string line = tlsfile::format_problem(p, label);
        line.pop_back();
        ctx.policy.force ? ctx.warn(line) : ctx.error(line);
        result.object["problems"].push_back(problem_object(p, label));
        if (refused && ctx.policy.dry_run && !ctx.policy.force && !p.tool.empty())
            refused->emplace_back(p.tool, kesto::cp1251_to_utf8(p.message) + " (" + label + ":" + std::to_string(p.line) + ")");
    }
}

int merge_and_write(Context &ctx, const MergeRequest &request, Result &result, bool &written) {
    written = false;
    const bool force = ctx.policy.force, dry = ctx.policy.dry_run;
    const std::string left = left_as_it_was(request.out.path);
    if (!check_output(ctx, request.out)) return kExitUsage;
    for (const LibraryFile *file : request.news)
        if (!writable_again(ctx, *file, left)) return kExitUsage;
    if (!writable_again(ctx, *request.base, left)) return kExitUsage;
    // A new library with problems, or holding a TOOLID twice, would bring
    // them into the output: refused unless forced.
    std::vector<std::pair<std::string, std::string>> refused_records;
    bool refused = false;
    std::vector<const tlsfile::LibraryText *> news;
    for (const LibraryFile *n : request.news) {
        size_t beyond = 0;
        // a library saved in another encoding is merged as the Windows-1251 one it stands for
        const std::vector<tlsfile::Problem> problems = content_problems(*n, &beyond);
        news.push_back(&n->library);
        if (problems.empty()) continue;
        report_problems(ctx, problems, n->label, result, &refused_records);
        const std::string what = n->label + ": " + count(problems.size() + beyond, "problem", "problems");
        if (force) ctx.warn(what + "; merged all the same (--force)");
        else ctx.error(what + "; --force merges it all the same");
        refused = !force;
    }
    if (refused && !dry) {
        ctx.error("nothing merged; " + left);
        return kExitProblems;
    }
    const tlsfile::MergeResult merged = tlsfile::merge_libraries(request.base->library, news);
    // The result is checked before it takes its name.  Its problems can only
    // be the inputs' own: the base's are named at the base's lines (the new
    // libraries' have been named above).
    const tlsfile::CheckResult checked = tlsfile::check_text(merged.text);
    if (!checked.problems.empty()) {
        std::vector<tlsfile::Problem> kept;
        for (const tlsfile::Problem &p : content_problems(*request.base))
            if (merged.carries({0, p.line})) kept.push_back(p);
        if (!kept.empty()) {
            report_problems(ctx, kept, request.base->label, result, &refused_records);
            const std::string what = "the merged library keeps " + count(kept.size(), "problem", "problems") +
                                     " of " + request.base->label;
            if (force) ctx.warn(what + "; written all the same (--force)");
            else ctx.error(what + "; --force writes it all the same");
        } else if (!force) {
            report_problems(ctx, checked.problems, "the merged library", result, &refused_records);
        }
        if (!force && !dry) {
            ctx.error("nothing merged; " + left);
            return kExitProblems;
        }
    }
    result.output_is_stdout = is_standard_stream(request.out.path);
    if (dry) return dry_run(ctx, request.out, merged.text, refused_records, result);
    Written done;
    if (const int code = write_result(ctx, request.out, merged.text, done, result)) return code;
    written = true;
    result.object["replaced"] = names_of(merged.replaced);
    result.object["added"] = names_of(merged.added);
    result.object["kept"] = merged.kept;
    result.object["notes"] = notes(request, merged);
    result.text += summary(request, merged) + replacement_text(done);
    return checked.problems.empty() ? kExitOk : kExitProblems;
}

}  // namespace kesto::cli
