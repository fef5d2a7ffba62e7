#include "tools/cli/merge_three_way.h"

#include "host/common/cp1251.h"
#include "tools/cli/inputs.h"
#include "tools/cli/library_merge.h"
#include "tools/cli/outputs.h"
#include "tools/tlsfile/tls_merge3.h"
#include "tools/tlsfile/toolid_match.h"

namespace kesto::cli {
namespace {

// The --take arguments as the merge takes them: a TOOLID typed in UTF-8 is
// the library's Windows-1251 bytes.
bool take_choices(Context &ctx, const std::vector<std::string> &given, tlsfile::TakeChoices &choices) {
    for (const std::string &arg : given) {
        std::string bytes = arg;
        const size_t eq = arg.rfind('=');
        if (eq != std::string::npos) {
            tlsfile::ToolidQuery q;
            std::string error;
            if (!tlsfile::parse_toolid_query("=" + arg.substr(0, eq), q, error)) {
                ctx.error("--take " + arg + ": " + error);
                return false;
            }
            bytes = q.bytes + arg.substr(eq);
        }
        const std::string why = tlsfile::add_take(choices, bytes);
        if (!why.empty()) {
            ctx.error("--take " + arg + ": " + why);
            return false;
        }
    }
    return true;
}

// An input of git's, which may be an empty file for a side the library is
// not on: an empty library then.
bool read_side(Context &ctx, const std::string &path, bool git, LibraryFile &out) {
    if (!git) return read_library(ctx, path, "merge", out);
    tlsfile::Source source;
    if (!read_input(ctx, path, source)) return false;
    if (source.text.empty()) {
        out = library_from_text(path, "");
        return true;
    }
    if (!tlsfile::is_wanted(source, tlsfile::Wanted::library)) {
        ctx.error(tlsfile::wrong_kind(source, "merge --git", tlsfile::Wanted::library));
        return false;
    }
    out = library_from_source(std::move(source));
    return true;
}

std::string side_label(const ThreeWayArgs &args, tlsfile::Input input) {
    if (args.git) return std::string(tlsfile::input_name(input)) + " " + shown(args.git_path);
    return input == tlsfile::Input::base ? args.base : input == tlsfile::Input::ours ? args.ours : args.theirs;
}

json side_object(const ThreeWayArgs &args, const tlsfile::ConflictSide &side) {
    json out = side_json(side.at);
    out["file"] = side_label(args, side.input);
    return out;
}

}  // namespace

Result run_three_way(Context &ctx, const ThreeWayArgs &args) {
    Result result;
    const std::string output = args.git ? args.ours : args.output;
    result.object = {{"base", args.base}, {"ours", args.ours}, {"theirs", args.theirs}, {"records", json::array()},
                     {"conflicts", json::array()}};
    empty_merge_object(result.object, output);
    result.code = kExitUsage;
    tlsfile::TakeChoices take;
    if (!take_choices(ctx, args.take, take)) return result;
    Output out;
    out.path = output;
    out.inputs = args.git ? std::vector<std::string>{args.base, args.theirs}
                          : std::vector<std::string>{args.base, args.ours, args.theirs};
    out.writer = "this merge";
    out.command = "merge";
    out.any_name = args.git;  // git's own names of its temporaries
    out.ways = "or give it as OURS to merge into it";
    if (!check_output(ctx, out)) return result;
    tlsfile::OutputLock lock;
    std::string error;
    if (!is_standard_stream(output) && !lock.take(output, error)) {
        ctx.error(error);
        result.code = kExitProblems;
        return result;
    }
    out.lock = is_standard_stream(output) ? nullptr : &lock;
    LibraryFile base, ours, theirs;
    if (!read_side(ctx, args.base, args.git, base) || !read_side(ctx, args.ours, args.git, ours) ||
        !read_side(ctx, args.theirs, args.git, theirs))
        return result;
    const std::string left = left_as_it_was(output);
    for (const LibraryFile *f : {&base, &ours, &theirs})
        if (!writable_again(ctx, *f, left)) return result;
    // sides with problems would bring them into the output
    bool refused = false;
    for (const LibraryFile *f : {&ours, &theirs}) {
        size_t beyond = 0;
        const std::vector<tlsfile::Problem> problems = content_problems(*f, &beyond);
        if (problems.empty()) continue;
        report_problems(ctx, problems, f->label, result, nullptr);
        const std::string what = f->label + ": " + count(problems.size() + beyond, "problem", "problems");
        ctx.policy.force ? ctx.warn(what + "; merged all the same (--force)")
                         : ctx.error(what + "; --force merges it all the same");
        refused = refused || !ctx.policy.force;
    }
    if (refused) {
        ctx.error("nothing merged; " + left);
        result.code = kExitProblems;
        return result;
    }
    const tlsfile::MergeResult3 merged = tlsfile::merge_three_way(base.library, ours.library, theirs.library, take);
    std::string listed;
    for (const tlsfile::MergedRecord3 &r : merged.records) {
        result.object["records"].push_back({{"toolid", toolid_json(r.name)},
                                            {"outcome", tlsfile::outcome_name(r.outcome)},
                                            {"line", r.line ? json(r.line) : json(nullptr)}});
        if (r.outcome != tlsfile::Outcome::kept)
            listed += "  " + quoted_toolid(r.name) + ": " + tlsfile::outcome_name(r.outcome) + "\n";
    }
    std::vector<std::string> conflicts;
    for (const tlsfile::MergeConflict &c : merged.conflicts) {
        json object = {{"toolid", toolid_json(c.name)}, {"kind", tlsfile::conflict_kind_name(c.kind)},
                       {"settled", c.settled == tlsfile::Take::none ? json(nullptr)
                                                                     : json(c.settled == tlsfile::Take::ours ? "ours" : "theirs")}};
        std::string text = (args.git ? shown(args.git_path) + ": " : std::string()) + "conflict: " +
                           quoted_toolid(c.name) + ": " + tlsfile::conflict_kind_name(c.kind);
        if (c.first.at.line) {
            object["first"] = side_object(args, c.first);
            object["second"] = side_object(args, c.second);
            text += "\n" + side_line(side_label(args, c.first.input), c.first.at) +
                    side_line(side_label(args, c.second.input), c.second.at);
            text.pop_back();
        }
        for (const tlsfile::InputLine &l : c.lines)
            text += "\n    " + side_label(args, l.input) + ":" + std::to_string(l.line);
        result.object["conflicts"].push_back(object);
        if (c.settled == tlsfile::Take::none) conflicts.push_back(text);
    }
    for (const std::string &unused : merged.takes_unused)
        ctx.warn("--take " + kesto::cp1251_shown(unused) + ": names no conflict");
    if (merged.theirs_header_lost)
        ctx.warn(side_label(args, tlsfile::Input::theirs) + " changed the library's header; the merge keeps ours");
    for (const std::string &c : conflicts) ctx.error(c);
    if (!merged.clean() && !args.git) {
        ctx.error(count(merged.unsettled, "conflict", "conflicts") + "; nothing merged, " + left +
                  "; --take ours, --take theirs or --take TOOLID=ours|theirs settles them");
        result.code = kExitProblems;
        return result;
    }
    // the result is checked before it takes its name, as every merge's is
    const tlsfile::CheckResult checked = tlsfile::check_text(merged.text);
    if (!checked.problems.empty() && !args.git) {
        report_problems(ctx, checked.problems, "the merged library", result, nullptr);
        if (!ctx.policy.force) {
            ctx.error("nothing merged; " + left + "; --force writes it all the same");
            result.code = kExitProblems;
            return result;
        }
    }
    if (ctx.policy.dry_run) {
        result.code = dry_run(ctx, out, merged.text, {}, result);
        return result;
    }
    Written written;
    if (const int code = write_result(ctx, out, merged.text, written, result)) {
        result.code = code;
        return result;
    }
    result.text = "merged " + shown(side_label(args, tlsfile::Input::ours)) + " and " +
                  shown(side_label(args, tlsfile::Input::theirs)) + " (their base " +
                  shown(side_label(args, tlsfile::Input::base)) + ") into " + shown(output_label(output)) + ": " +
                  count(merged.records.size(), "TOOLID", "TOOLIDs") + "\n" + listed + replacement_text(written);
    result.output_is_stdout = is_standard_stream(output);
    // git's merge driver: on a conflict OURS holds our side of it, whole
    result.code = merged.clean() ? kExitOk : kExitProblems;
    return result;
}

}  // namespace kesto::cli
