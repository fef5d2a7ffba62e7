// kesto-tools-vericut catalog --database DIR...: every record of the site's
// tool database in one HTML page to search, filter, sort and look at.
#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"
#include "tools/cli/outputs.h"
#include "tools/cli/tool_database.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/tool_pages.h"

namespace kesto::cli {
namespace {

struct CatalogArgs {
    std::vector<std::string> databases;
    std::string settings;
    std::string output = "catalog.html";
    OutputOptions output_options;
    ReportOptions report;  // catalog has neither -q nor --json
};

Result run_catalog(const CatalogArgs &args, Context &ctx) {
    Result result;
    result.code = kExitUsage;
    set_policy(ctx, args.output_options);
    if (args.databases.empty() && args.settings.empty()) {
        ctx.error("catalog needs a tool database: --database DIR, or --settings FILE naming one as [VMAIN] TLS");
        return result;
    }
    Output out(args.output, tlsfile::OutputKind::page, args.databases, "the catalogue", "catalog");
    out.formats = "a page (.html or .htm)";
    if (!args.settings.empty()) out.inputs.push_back(args.settings);
    if (!check_output(ctx, out)) return result;
    tlsfile::Database database;
    tlsfile::CatalogEntries entries;
    database.on_library([&entries](const std::vector<tlsfile::Problem> &problems,
                                   const std::vector<const tlsfile::Tool *> &records) { entries.add(problems, records); });
    if (!load_database(ctx, args.databases, args.settings, database)) return result;
    // the page never takes the place of a library it shows
    out.inputs = database_files(out.inputs, database);
    if (!check_output(ctx, out)) return result;
    tlsfile::PageHead head;
    for (const std::string &folder : args.databases) head.name += (head.name.empty() ? "" : ", ") + folder;
    if (!args.settings.empty()) head.name = "the database of " + args.settings;
    head.file = head.name;
    head.date = page_date();
    const std::string page = tlsfile::catalog_html(head, database, entries.entries());
    Written written;
    if (const int code = write_output(ctx, out, page, written)) {
        result.code = code;
        return result;
    }
    size_t libraries = 0;
    for (const tlsfile::DatabaseLibrary &lib : database.libraries()) libraries += !lib.skipped;
    result.output_is_stdout = is_standard_stream(args.output);
    result.text = "wrote " + shown(output_label(args.output)) + ": " + count(database.records().size(), "record", "records") +
                  " of " + count(libraries, "library", "libraries") + "\n";
    result.code = kExitOk;
    return result;
}

}  // namespace

void add_catalog_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<CatalogArgs>();
    CLI::App *cmd = app.add_subcommand("catalog");
    describe(cmd, "Write the site's tool database as one HTML page",
             "Every record of every library under each DIR (as find reads them), with the columns of the tool "
             "sheet, its library and line and the problems check finds in it, and a drawing of each tool as it "
             "comes into view. A search box over TOOLID and description, filters by kind, diameter and length "
             "(in millimetres), sorting by any column, and two views of groups: the same geometry under "
             "several TOOLIDs, and one TOOLID with different geometry in several libraries. The view is kept "
             "in the page's fragment (#q=EM10&kind=ball&d=6-12&l=-100&sort=-d&group=same-geometry), so that a "
             "link or bookmark opens it again. A damaged library is left out with a warning.\n\n"
             "The page is one file that needs nothing else, named *.html or *.htm. A file already at -o is "
             "replaced only when it is a page this program wrote, unless --force is given, and never when it is "
             "one of the libraries the page shows.\n\n"
             "Exit 0 when it was written, 1 when it could not be written, 2 when nothing was (bad arguments, a "
             "database folder that is none, an output that may not be replaced).",
             {{"catalog --database \\\\cadserver\\vericut\\Tools", "writes catalog.html"},
              {"catalog --settings kesto_tools_vericut.ini -o site.html", "the folder from the settings file"}});
    CLI::Option *database = add_list_option(cmd, "--database", args->databases, "A folder of the tool database");
    database->type_name(kFileType);
    cmd->add_option("--settings", args->settings,
                    "The folder this settings file (kesto_tools_vericut.ini) names as [VMAIN] TLS")
        ->excludes(database)
        ->type_name(kFileType);
    cmd->add_option("-o,--output", args->output, "The page (default: catalog.html); - writes standard output")
        ->type_name(kFileType);
    add_force_option(cmd, args->output_options, "Replace an output that is not a page this program made");
    cmd->callback(reported(ctx, args->report, [args, &ctx] { return run_catalog(*args, ctx); }));
}

}  // namespace kesto::cli
