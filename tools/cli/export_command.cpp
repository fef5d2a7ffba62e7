// kesto-tools-vericut export: the plug-in's all-tools (or selective) export
// without the host.  The dialogs are answered by a plan; the plug-in writes
// into a scratch file, the result is checked, and only a sound result takes
// the output's name, whole.
#include <algorithm>
#include <filesystem>

#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"
#include "tools/cli/export_result.h"
#include "tools/cli/library_merge.h"
#include "tools/cli/part_input.h"
#include "tools/cli/prefer_report.h"
#include "tools/cli/tool_database.h"
#include "tools/cli/usage.h"
#include "host/common/cp1251.h"
#include "tools/tlsfile/input_file.h"

namespace fs = std::filesystem;

namespace kesto::cli {
namespace {

struct ExportArgs {
    std::vector<std::string> parts;  // as given; input is the first
    std::string output;
    std::vector<std::string> select;
    bool append = false;
    std::string merge;
    std::vector<std::string> prefer;
    std::string settings;
    std::string plugin;
    bool site_geometry = false;
    OutputOptions output_options;
    ReportOptions report;
};

Result run_export(ExportArgs args, Context &ctx) {
    Result result;
    json &object = result.object;
    const std::string input = args.parts.empty() ? "" : args.parts[0];
    object = {{"part", input.empty() ? std::string("the embedded demo part") : input}, {"output", args.output},
              {"mode", args.append ? "append" : args.merge.empty() ? "write" : "merge"}, {"written", false},
              {"tools", json::array()}, {"skipped", json::array()}, {"notes", json::array()},
              {"problems", json::array()}, {"replacement", nullptr}};
    const bool preferring = !args.prefer.empty() || !args.settings.empty();
    if (!args.merge.empty()) empty_merge_object(object, args.merge);
    if (preferring)
        for (const char *key : {"preferred", "generated", "differing"}) object[key] = json::array();
    if (args.output_options.dry_run) object["plan"] = nullptr;
    result.code = kExitUsage;
    if (!set_policy(ctx, args.output_options)) return result;
    if (args.parts.size() > 1 && (!args.select.empty() || args.append)) {
        ctx.error(std::string(args.append ? "--append" : "--select") + " takes one part; export the parts one by "
                  "one, or all of them whole");
        return result;
    }
    sim::Session session;
    try {
        session = read_part_or_session(input);
    } catch (const sim::SessionError &e) {
        ctx.error(e.what());
        return result;
    }
    sim::Part &part = *session.part;
    if (!select_members(ctx, part, args.select)) return result;
    if (!args.merge.empty()) args.output = args.merge;
    if (args.output.empty()) args.output = part_stem(part.name) + ".tls";
    object["output"] = args.output;
    const bool to_stdout = is_standard_stream(args.output);
    result.output_is_stdout = to_stdout;
    if (to_stdout && (args.append || !args.merge.empty() || ctx.json)) {
        ctx.error(std::string(ctx.json ? "--json" : args.append ? "--append" : "--merge") +
                  " needs a file, not standard output (-)");
        return result;
    }
    const std::string plugin = plugin_path(args.plugin);
    Output out(args.output, tlsfile::OutputKind::library, args.parts, "this export", "export");
    out.ways = "--append adds the export to it, --merge merges the export into it";
    out.inputs.push_back(plugin);
    if (!check_output(ctx, out)) return result;
    // --prefer: the database, read before the library is locked
    tlsfile::Database database;
    if (preferring && !load_database(ctx, args.prefer, args.settings, database)) return result;
    out.inputs = database_files(out.inputs, database);
    // no other writer from before the old library is read until the new one has its name
    tlsfile::OutputLock lock;
    std::string error, old;
    if (!to_stdout && !lock.take(args.output, error)) {
        ctx.error(error);
        result.code = kExitProblems;
        return result;
    }
    out.lock = to_stdout ? nullptr : &lock;
    if (args.append && !read_library_to_append(ctx, args.output, old)) return result;
    // --merge: the library merged into, or (when there is none yet) an empty
    // one of the export's own header, which gets every tool
    LibraryFile library = library_from_text(args.output, kNewLibraryHeader);
    std::error_code ec;
    if (!args.merge.empty() && fs::exists(tlsfile::fs_path(args.output), ec) &&
        !read_library(ctx, args.output, "export --merge", library))
        return result;
    if (to_stdout) remove_dead_scratch(fs::temp_directory_path(ec) / "kesto-export.tls");
    PluginExport run;
    run.library = to_stdout ? fs::temp_directory_path(ec) / "kesto-export.tls" : lock.file();
    run.label = args.output;
    run.old = old;
    run.selective = !args.select.empty();
    run.plugin = plugin;
    run.left = left_as_it_was(args.output);
    if (args.parts.size() > 1) run.part = args.parts[0];
    int code = run_plugin(ctx, session, run);
    if (code == kExitOk && args.parts.size() > 1) code = export_more_parts(ctx, args.parts, session, run, args.output);
    object["notes"] = run.notes;
    if (code) {
        result.code = code;
        return result;
    }
    std::string &written = run.written;
    // --prefer: the database's records in place of the generated ones
    tlsfile::PreferResult preferred;
    if (preferring) {
        const std::string header = kNewLibraryHeader;
        preferred = prefer(database, part, old.empty() ? written : header + written.substr(old.size()), args.site_geometry);
        written = old.empty() ? preferred.text : old + preferred.text.substr(header.size());
        prefer_json(database, preferred, object);
        warn_differing(ctx, database, preferred);
    }
    // --append: the new records in the library's line ends, as merge gives them
    if (!old.empty() && !tlsfile::crlf_file(old)) {
        std::string tail;
        tlsfile::append_with_line_ends(tail, std::string_view(written).substr(old.size()), false);
        written = old + tail;
    }
    const bool dry = ctx.policy.dry_run, force = ctx.policy.force;
    tlsfile::Library added;
    const size_t problems = check_export(ctx, args.output, old, written, added, object["problems"],
                                         preferring ? &database : nullptr, preferring ? &preferred : nullptr);
    for (const tlsfile::Tool &t : added.tools) object["tools"].push_back(toolid_json(t.name));
    std::vector<std::pair<std::string, std::string>> refused;
    code = kExitOk;
    if (problems > 0) {
        const std::string what = count(problems, "problem", "problems") + " in what the plug-in wrote" +
                                 (preferring ? " and the database gave" : "");
        if (dry && !force) {
            for (const tlsfile::Problem &p : tlsfile::check_text(new_records(old, written)).problems)
                if (!p.tool.empty()) refused.emplace_back(p.tool, kesto::cp1251_to_utf8(p.message));
        } else if (!force) {
            ctx.error(what + "; " + left_as_it_was(args.output) + "; --force writes it all the same");
            result.code = kExitProblems;
            return result;
        } else {
            ctx.warn(what + "; written all the same (--force)");
            code = kExitProblems;
        }
    }
    code = judge_append(ctx, args.output, old, added, refused, code);
    if (code < 0) {
        result.code = -code;
        return result;
    }
    const std::string skips = skipped_members(ctx, part, run.records, object["skipped"]);
    const std::string report = preferring ? prefer_text(database, preferred) : "";
    if (!args.merge.empty()) {
        const LibraryFile exported = library_from_text("the export", written);
        MergeRequest request;
        request.base = &library;
        request.news = {&exported};
        request.out = out;
        request.out.writer = "this merge";
        request.out.ways = "or give it as the base to merge into it";
        bool merged_written = false;
        const int merged = merge_and_write(ctx, request, result, merged_written);
        if (merged_written) result.text += skips + report;
        result.code = merged_written ? std::max(code, merged) : merged;
        return result;
    }
    if (dry) {
        result.code = std::max(code, dry_run(ctx, out, written, refused, result));
        return result;
    }
    Written done;
    if (const int failed = write_result(ctx, out, written, done, result)) {
        result.code = failed;
        return result;
    }
    result.text = std::string(args.append ? "appended to " : "wrote ") + shown(output_label(args.output)) + ": " +
                  count(static_cast<size_t>(run.records), "tool", "tools") + "\n" + skips + report +
                  replacement_text(done);
    result.code = code;
    return result;
}

}  // namespace

void add_export_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<ExportArgs>();
    CLI::App *cmd = app.add_subcommand("export");
    describe(cmd, "Write a part's tools as a *.tls tool library through the plug-in",
             "Runs the plug-in's all-tools export (with --select, its selective export) on a part file or the "
             "part of a session file; without a file, on the embedded demo part. Without -o the library is "
             "named after the part, in the current folder; -o - writes it to standard output. Several parts "
             "are exported one by one into one library, their tools in the order given: a TOOLID two parts "
             "give with different records is refused, naming both parts; the same record twice is written "
             "once; a part that fails is named.\n\n"
             "What the plug-in wrote is checked as check does; only a sound result takes the output's name, "
             "whole, and only a new name ending in .tls or a tool library other than the inputs. A file that "
             "holds a TOOLID the export does not write is not replaced: --append adds the tools to it (refused "
             "when it holds one of their TOOLIDs already), --merge merges them into it as merge does (a part "
             "exported again replaces its tools instead of repeating them), and --force replaces it, or writes "
             "a library with problems, all the same. A file it replaces is named with each record whose bytes "
             "change, and one that would get the bytes it holds is left untouched; --backup keeps the old one "
             "as NAME~ (--backup=numbered: NAME.~N~), and --dry-run writes nothing and lists per TOOLID what "
             "would be added, replaced, kept or refused (exit 0 when nothing would change, 1 when something "
             "would).\n\n"
             "With --prefer (or --settings, for the folder a settings file names as [VMAIN] TLS) a tool the "
             "site's tool database holds gets the database's record in place of the generated one: the first "
             "in path order whose TOOLID is the tool's catalogue number, else its name, and whose geometry is "
             "the tool's; byte for byte but for the name on its TOOLID line, the part's. A record found so but "
             "of other geometry is not taken (a warning shows the first line that differs); "
             "--prefer-site-geometry takes it all the same. The others are generated; the summary says which came "
             "from where.\n\n"
             "Prints the file written, the tools written and one line on those skipped, and relays the "
             "plug-in's notes on tools (a value not finite, written otherwise) as warnings; -q prints only "
             "errors, --json one object.\n\n"
             "Exit 0 when the file was written, 1 when the export failed (the plug-in stopped, wrote no tool "
             "or wrote a file with problems, --append or --merge was refused, the file cannot be written) or "
             "--force wrote a library with problems, 2 for bad arguments, a bad part file or an output that "
             "may not be written or replaced, 3 when the plug-in cannot be loaded.",
             {{"export PART.json -o NEW.tls", "all the part's tools"},
              {"export PART.json --select EM10,'DRILL_8.5 |HSS|' -o SOME.tls",
               "two tools, by their names in the part or in the library"},
              {"export PART.json --select 'EM*' -o MILLS.tls", "the tools whose names start with EM"},
              {"export PART.json --merge SITE.tls", "into the site library, replacing the part's tools"},
              {"export HOUSING.json COVER.json -o CELL.tls", "the tools of two parts in one library"},
              {"export PART.json --settings kesto_tools_vericut.ini -o NEW.tls",
               "the site's records for the tools its tool database holds"}});
    cmd->add_option("part", args->parts,
                    "Part files or session files (JSON), their tools in one library in the order given; default: "
                    "the demo part")
        ->type_name(kFileType);
    CLI::Option *output = cmd->add_option("-o,--output", args->output,
                                          "The *.tls file (default: the part's name with .tls); - writes standard output")
                              ->type_name(kFileType);
    add_list_option(cmd, "--select", args->select,
                    "Export only these tools (the navigator selection), by their names in the part or as the "
                    "library writes them ('|' for '\"'), or by patterns (* any text, ? one character; =NAME as it "
                    "stands)")
        ->type_name(kToolidType);
    CLI::Option *append =
        cmd->add_flag("--append", args->append,
                      "Append to an existing tool library instead of rewriting it (refused when it holds one of "
                      "the TOOLIDs already, unless --force)");
    cmd->add_option("--merge", args->merge,
                    "Merge the tools into this tool library (created when missing) as merge does: a tool it holds "
                    "is replaced in its place, a new one appended; prints the replaced and the added tools")
        ->excludes(append)
        ->excludes(output)
        ->type_name(kFileType);
    add_force_option(cmd, args->output_options,
                     "Replace a file holding other TOOLIDs (or no tool library), append TOOLIDs held already, or "
                     "write a library with problems (exit 1)");
    add_backup_option(cmd, args->output_options);
    add_dry_run_option(cmd, args->output_options);
    cmd->add_flag("--prefer-site-geometry", args->site_geometry,
                  "With --prefer, take a database record found by catalogue number or name even when its "
                  "geometry differs from the part's tool (each such tool is warned about)");
    CLI::Option *prefer_option = add_list_option(
        cmd, "--prefer", args->prefer,
        "Take a tool's record from this tool database, folders of *.tls libraries (subfolders included) or "
        "library files, when it holds one: by the tool's catalogue number as its TOOLID, else by its name");
    prefer_option->type_name(kFileType);
    cmd->add_option("--settings", args->settings,
                    "--prefer the folder this settings file (kesto_tools_vericut.ini) names as [VMAIN] TLS")
        ->excludes(prefer_option)
        ->type_name(kFileType);
    add_report_options(cmd, args->report);
    cmd->add_option("--plugin", args->plugin, "Plug-in library (default: beside this program, or $KESTO_PLUGIN)")
        ->type_name(kFileType);
    cmd->callback(reported(ctx, args->report, [args, &ctx] { return run_export(*args, ctx); }));
}

}  // namespace kesto::cli
