// kesto-tools-vericut sheet INPUT: the tool sheet of a part (its tools
// exported through the plug-in, with the part's tool numbers) or of a tool
// library, as one HTML page that prints on A4, or as CSV.
#include <deque>
#include <map>
#include <optional>

#include <CLI/CLI.hpp>

#include "host/sim/session.h"
#include "tools/cli/commands.h"
#include "tools/cli/outputs.h"
#include "tools/cli/part_input.h"
#include "tools/cli/plugin_run.h"
#include "tools/cli/tool_database.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/number_text.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tool_pages.h"
#include "tools/tlsfile/toolid_match.h"

namespace kesto::cli {
namespace {

struct SheetArgs {
    std::string input;
    std::string output;
    std::vector<std::string> databases;
    std::string settings;
    std::string plugin;
    OutputOptions output_options;
    ReportOptions report;  // sheet has neither -q nor --json
};

// A number parameter as the sheet shows it: an integer without decimals.
std::string param_text(const sim::Member &m, int id) {
    auto it = m.params.find(id);
    if (it == m.params.end()) return "";
    if (it->second.is_text) return it->second.text;
    std::string out;
    tlsfile::append_number(out, it->second.number);
    return out;
}

// The part's facts of each exported tool, matched by the TOOLID the
// plug-in writes for a member; of members under one TOOLID, in turn.
void part_columns(const sim::Part &part, std::vector<tlsfile::SheetRow> &rows) {
    std::map<std::string, std::deque<const sim::Member *>> by_name;
    for (const sim::Member &m : part.members) by_name[tlsfile::as_toolid(m.name)].push_back(&m);
    for (tlsfile::SheetRow &row : rows) {
        auto it = by_name.find(row.tool->name);
        if (it == by_name.end() || it->second.empty()) continue;
        const sim::Member &m = *it->second.front();
        it->second.pop_front();
        row.number = param_text(m, UF_PARAM_TL_NUMBER);
        row.flutes = param_text(m, UF_PARAM_TL_NUM_FLUTES);
        row.catalogue = param_text(m, UF_PARAM_TL_CATALOG_NUMBER);  // as the part holds it
    }
}

Result run_sheet(const SheetArgs &args, Context &ctx) {
    Result result;
    result.code = kExitUsage;
    set_policy(ctx, args.output_options);
    ToolsInput input;
    if (int code = read_tools(ctx, args.input, args.plugin, true, input)) {
        result.code = code;
        return result;
    }
    tlsfile::PageHead head;
    head.file = input.label;
    head.date = page_date();
    std::optional<sim::Part> part;
    if (input.part) {
        part = sim::parse_part_or_session(input.part_json, head.file).part;  // read once already: no error now
        head.name = part_stem(part->name);
    } else {
        head.name = is_standard_stream(args.input) ? std::string("tools")
                                                   : tlsfile::utf8_path(tlsfile::fs_path(args.input).stem());
    }
    const std::string output = args.output.empty() ? head.name + ".html" : args.output;
    const bool csv = has_extension(output, extensions_of(tlsfile::OutputKind::table));
    Output out(output, csv ? tlsfile::OutputKind::table : tlsfile::OutputKind::page, {args.input}, "the sheet", "sheet");
    out.formats = "a page (.html or .htm) or a table (.csv)";
    if (!check_output(ctx, out)) return result;
    const tlsfile::LibraryText &library = input.library.library;
    // a part's export, or a library, with problems still gets its sheet: each in its tool's row
    size_t beyond = 0;
    const std::vector<tlsfile::Problem> problems = input.part ? input.problems : content_problems(input.library, &beyond);
    if (!problems.empty())
        ctx.warn(head.file + ": " + count(problems.size() + beyond, "problem", "problems") +
                 " (see check); its tools are listed as read, each with its problems");
    std::vector<tlsfile::SheetRow> rows = tlsfile::sheet_rows(library.library, problems, head);
    if (part) part_columns(*part, rows);
    const bool verdicts = !args.databases.empty() || !args.settings.empty();
    tlsfile::Database database;
    if (verdicts) {
        if (!load_database(ctx, args.databases, args.settings, database)) return result;
        tlsfile::judge_rows(rows, database, tlsfile::find_tools(database, library));
    }
    out.inputs = database_files(out.inputs, database);
    if (!check_output(ctx, out)) return result;
    const std::string page = csv ? tlsfile::sheet_csv(head, rows, verdicts) : tlsfile::sheet_html(head, rows, verdicts);
    Written written;
    if (const int code = write_output(ctx, out, page, written)) {
        result.code = code;
        return result;
    }
    result.output_is_stdout = is_standard_stream(output);
    result.text = "wrote " + shown(output_label(output)) + ": " + count(rows.size(), "tool", "tools") + "\n";
    result.code = problems.empty() ? kExitOk : kExitProblems;
    return result;
}

}  // namespace

void add_sheet_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<SheetArgs>();
    CLI::App *cmd = app.add_subcommand("sheet");
    describe(cmd, "Write the tool sheet of a part or library, as HTML or CSV",
             "One row per tool, in the file's order: position, the part's tool number, TOOLID, kind, "
             "diameter, corner radius, length, stick-out, flute length, the part's flute count, the holder's "
             "sections, the part's catalogue number, the description, the problems check finds in its lines and "
             "a drawing of cutter and holder, every drawing to one scale. INPUT is a part or session file "
             "(JSON), whose tools are exported through the plug-in as export does, or a tool library; - reads "
             "standard input. With --database or --settings a column says whether the site has each tool, as "
             "find judges it, naming the site's record of a renamed or different one. Tools with problems are "
             "listed as read, with their problems, and the sheet is written all the same.\n\n"
             "The head gives the part's or library's name, the date, the file, the count and the units of "
             "the lengths (the library's). The HTML page is one file that needs nothing else and prints on "
             "A4 portrait, the name, date and page number on every page and no row split; an output named *.csv "
             "gets the CSV (the column names first, semicolons, decimal commas, UTF-8 with a byte-order mark: "
             "see the guide for the spreadsheets' import options), any other name is refused. Without -o it "
             "writes NAME.html in the current folder, NAME as export names its library. A file already there is "
             "replaced only when it is a page or table this program wrote, unless --force is given.\n\n"
             "Exit 0 when the sheet was written, 1 when it was written but tools have problems or it could not "
             "be written, 2 when nothing was (bad arguments, an input that cannot be read or exported, an output "
             "that may not be replaced), 3 when the plug-in cannot be loaded.",
             {{"sheet PART.json", "writes demo_bracket_rev2.html, named after the part"},
              {"sheet PART.json --database \\\\cadserver\\vericut\\Tools", "with a column of what the site has"},
              {"sheet SITE.tls -o SITE.csv", "a library's tools for a spreadsheet"}});
    cmd->add_option("input", args->input, "A part or session file (JSON) or a tool library (*.tls); - reads "
                                          "standard input")
        ->required()
        ->type_name(kFileType);
    cmd->add_option("-o,--output", args->output, "The sheet: *.html, or *.csv for CSV (default: NAME.html)")
        ->type_name(kFileType);
    CLI::Option *database = add_list_option(cmd, "--database", args->databases,
                                            "A folder of the tool database to judge each tool against");
    database->type_name(kFileType);
    cmd->add_option("--settings", args->settings,
                    "Judge against the folder this settings file (kesto_tools_vericut.ini) names as [VMAIN] TLS")
        ->excludes(database)
        ->type_name(kFileType);
    cmd->add_option("--plugin", args->plugin, "Plug-in library for a part (default: beside this program, or $KESTO_PLUGIN)")
        ->type_name(kFileType);
    add_force_option(cmd, args->output_options, "Replace an output that is not a sheet this program made");
    cmd->callback(reported(ctx, args->report, [args, &ctx] { return run_sheet(*args, ctx); }));
}

}  // namespace kesto::cli
