// kesto-tools-vericut find INPUT --database DIR...: each tool of a library,
// or of a part exported first, looked up in the site's tool database: the
// same record, the same geometry under another TOOLID, another record of
// its TOOLID, or none.
#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"
#include "tools/cli/plugin_run.h"
#include "tools/cli/tool_database.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/tls_check.h"

namespace kesto::cli {
namespace {

struct FindArgs {
    std::string input;
    std::vector<std::string> databases;
    std::string settings;
    std::string plugin;
    ReportOptions report;
};

class Report {
public:
    Report(const ToolsInput &input, const tlsfile::Database &db, const tlsfile::FindResult &found)
        : input_(input), db_(db), found_(found) {}
    std::string text() const;
    // The report's keys of the --json object.
    void fill(json &object) const;

private:
    const tlsfile::DatabaseRecord &record(uint32_t i) const { return db_.records()[i]; }
    std::string file(uint32_t i) const { return db_.libraries()[record(i).library].label; }
    std::string at(uint32_t i) const { return shown(file(i)) + ":" + std::to_string(record(i).line); }
    size_t searched() const {
        size_t n = 0;
        for (const tlsfile::DatabaseLibrary &lib : db_.libraries()) n += !lib.skipped;
        return n;
    }
    const ToolsInput &input_;
    const tlsfile::Database &db_;
    const tlsfile::FindResult &found_;
};

std::string Report::text() const {
    std::string out;
    for (const tlsfile::ToolFinding &f : found_.tools) {
        out += quoted_toolid(f.name) + (input_.part ? "" : " (line " + std::to_string(f.line) + ")") + ": ";
        std::string list;
        for (uint32_t i : f.matches)
            list += (list.empty() ? "" : ", ") +
                    (f.verdict == tlsfile::Verdict::renamed ? quoted_toolid(record(i).name) + " at " : "") + at(i);
        if (f.verdict == tlsfile::Verdict::missing) out += "not in the database";
        else if (f.verdict != tlsfile::Verdict::differs) out += std::string(tlsfile::verdict_name(f.verdict)) + ": " + list;
        for (size_t k = 0; k < f.differing.size(); ++k)
            out += (k ? ", " : f.matches.empty() ? "differs: " : "; differs: ") + at(f.differing[k].record);
        out += "\n";
        for (const tlsfile::DifferingRecord &d : f.differing)
            out += side_line(input_.library.label, d.input) + side_line(file(d.record), d.database);
    }
    for (const tlsfile::RepeatedInLibrary &r : found_.repeated) {
        out += "note: " + shown(db_.libraries()[r.library].label) + " holds TOOLID " + quoted_toolid(r.name) + " " +
               std::to_string(r.lines.size()) + " times (lines";
        for (size_t i = 0; i < r.lines.size(); ++i) out += (i ? ", " : " ") + std::to_string(r.lines[i]);
        out += ")\n";
    }
    using tlsfile::Verdict;
    out += count(found_.tools.size(), "tool", "tools") + ": " + std::to_string(found_.count(Verdict::same)) +
           " same, " + std::to_string(found_.count(Verdict::renamed)) + " renamed, " +
           std::to_string(found_.count(Verdict::differs)) + " different, " +
           std::to_string(found_.count(Verdict::missing)) + " not in the database; searched " +
           count(searched(), "library", "libraries") + " (" + std::to_string(db_.libraries().size() - searched()) +
           " skipped), " + count(db_.records().size(), "record", "records") + "\n";
    return out;
}

void Report::fill(json &object) const {
    auto place = [this](uint32_t i) {
        return json{{"file", file(i)}, {"line", record(i).line}, {"toolid", toolid_json(record(i).name)}};
    };
    json libraries = json::array(), tools = json::array(), repeated = json::array();
    for (const tlsfile::DatabaseLibrary &lib : db_.libraries())
        libraries.push_back({{"file", lib.label}, {"records", lib.record_count}, {"problems", lib.problems},
                             {"skipped", lib.skipped}, {"error", lib.error.empty() ? json(nullptr) : json(lib.error)}});
    for (const tlsfile::ToolFinding &f : found_.tools) {
        json matches = json::array(), differs = json::array();
        for (uint32_t i : f.matches) matches.push_back(place(i));
        for (const tlsfile::DifferingRecord &d : f.differing) {
            json p = place(d.record);
            p["input"] = side_json(d.input);
            p["database"] = side_json(d.database);
            differs.push_back(p);
        }
        tools.push_back({{"toolid", toolid_json(f.name)}, {"line", input_.part ? json(nullptr) : json(f.line)},
                         {"verdict", tlsfile::verdict_name(f.verdict)}, {"matches", matches}, {"differs", differs}});
    }
    for (const tlsfile::RepeatedInLibrary &r : found_.repeated)
        repeated.push_back({{"file", db_.libraries()[r.library].label}, {"toolid", toolid_json(r.name)}, {"lines", r.lines}});
    using tlsfile::Verdict;
    object["kind"] = input_.part ? "part" : "library";
    object["libraries"] = libraries;
    object["tools"] = tools;
    object["repeated"] = repeated;
    object["summary"] = {{"tools", found_.tools.size()},          {"same", found_.count(Verdict::same)},
                         {"renamed", found_.count(Verdict::renamed)}, {"differs", found_.count(Verdict::differs)},
                         {"missing", found_.count(Verdict::missing)}, {"libraries", searched()},
                         {"skipped", db_.libraries().size() - searched()}, {"records", db_.records().size()}};
    object["all_same"] = found_.count(Verdict::same) == found_.tools.size();
}

Result run_find(const FindArgs &args, Context &ctx) {
    Result result;
    result.object = {{"input", input_label(args.input)}, {"kind", nullptr},         {"libraries", json::array()},
                     {"tools", json::array()},            {"repeated", json::array()}, {"summary", nullptr},
                     {"all_same", false}};
    result.code = kExitUsage;
    if (args.databases.empty() && args.settings.empty()) {
        ctx.error("find needs a tool database: --database DIR, or --settings FILE naming one as [VMAIN] TLS");
        return result;
    }
    ToolsInput input;
    if (int code = read_tools(ctx, args.input, args.plugin, false, input)) {
        result.code = code;
        return result;
    }
    if (!input.part) {
        size_t beyond = 0;
        const size_t problems = content_problems(input.library, &beyond).size() + beyond;
        if (problems)
            ctx.warn(input.label + ": " + count(problems, "problem", "problems") +
                     " (see check); its records are compared as they are");
    }
    tlsfile::Database database;
    if (!load_database(ctx, args.databases, args.settings, database)) return result;
    const tlsfile::FindResult found = tlsfile::find_tools(database, input.library.library);
    const Report report(input, database, found);
    report.fill(result.object);
    result.text = report.text();
    result.code = found.count(tlsfile::Verdict::same) == found.tools.size() ? kExitOk : kExitProblems;
    return result;
}

}  // namespace

void add_find_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<FindArgs>();
    CLI::App *cmd = app.add_subcommand("find");
    describe(cmd, "Look a library's or a part's tools up in the site's tool database",
             "The database is every *.tls file (any case) under each DIR, subfolders included: the folders in "
             "the order given, the files of each in sorted path order; --settings takes the folder a settings "
             "file names as [VMAIN] TLS, read as the plug-in reads it. INPUT is a tool library, or a part or "
             "session file, exported first as export does; - reads standard input.\n\n"
             "One line a tool: \"same\" (a record of its TOOLID with the same geometry), \"renamed\" (the "
             "same geometry under another TOOLID), \"differs\" (its TOOLID with other geometry, with the "
             "first differing line of both) or \"not in the database\", every match listed with its library "
             "and line. Geometry is a record without its TOOLID and DESCRIPTION lines, CR LF and LF alike; a "
             "library saved as UTF-8 or UTF-16 is read as the Windows-1251 one it stands for. A TOOLID a "
             "library holds twice is noted; a damaged library (a record cut short, a missing brace, a "
             "non-finite number) is skipped with a warning. Then a summary line; -q prints nothing, --json one "
             "object.\n\n"
             "Exit 0 when every tool is \"same\", 1 when some tool is not, 2 when the arguments are bad, the "
             "input cannot be read or exported, a database folder is none or the report cannot be written, 3 "
             "when the plug-in cannot be loaded.",
             {{"find PART.json --database \\\\cadserver\\vericut\\Tools", "which of the part's tools the site has"},
              {"find PART.json --settings kesto_tools_vericut.ini", "the same, the folder from the settings file"},
              {"find -q NEW.tls --database DB && echo all checked", "only the exit code"}});
    cmd->add_option("input", args->input, "A tool library (*.tls), or a part or session file (JSON); - reads "
                                          "standard input")
        ->required()
        ->type_name(kFileType);
    CLI::Option *database = add_list_option(cmd, "--database", args->databases,
                                            "A folder of the tool database or one library file; searched in the order given");
    database->type_name(kFileType);
    cmd->add_option("--settings", args->settings,
                    "Search the folder this settings file (kesto_tools_vericut.ini) names as [VMAIN] TLS")
        ->excludes(database)
        ->type_name(kFileType);
    add_report_options(cmd, args->report, "Print nothing; the exit code tells");
    cmd->add_option("--plugin", args->plugin, "Plug-in library for a part (default: beside this program, or $KESTO_PLUGIN)")
        ->type_name(kFileType);
    cmd->callback(reported(ctx, args->report, [args, &ctx] { return run_find(*args, ctx); }));
}

}  // namespace kesto::cli
