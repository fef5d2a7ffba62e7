// The subcommands of kesto-tools-vericut, each added to the program by the
// add function of its own file, and what their definitions share.
#ifndef KESTO_TOOLS_CLI_COMMANDS_H
#define KESTO_TOOLS_CLI_COMMANDS_H

#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "tools/cli/cli11_fwd.h"

#include "tools/cli/context.h"
#include "tools/cli/printer.h"

namespace kesto::cli {

// Adds every subcommand, in the order the help lists them.
void add_commands(CLI::App &app, Context &ctx);

void add_run_command(CLI::App &app, Context &ctx);
void add_export_command(CLI::App &app, Context &ctx);
void add_play_command(CLI::App &app, Context &ctx);
void add_diff_command(CLI::App &app, Context &ctx);
void add_merge_command(CLI::App &app, Context &ctx);
void add_find_command(CLI::App &app, Context &ctx);
void add_check_command(CLI::App &app, Context &ctx);
void add_fix_command(CLI::App &app, Context &ctx);
void add_remove_command(CLI::App &app, Context &ctx);
void add_rename_command(CLI::App &app, Context &ctx);
void add_extract_command(CLI::App &app, Context &ctx);
void add_preview_command(CLI::App &app, Context &ctx);
void add_sheet_command(CLI::App &app, Context &ctx);
void add_catalog_command(CLI::App &app, Context &ctx);
void add_settings_command(CLI::App &app, Context &ctx);
void add_git_setup_command(CLI::App &app, Context &ctx);

struct Example {
    const char *command;  // after the program's name
    const char *meaning;
};

// A subcommand's help: the summary is its one line in the list of
// subcommands; its own help adds the details (paragraphs apart by blank
// lines) and the examples.
void describe(CLI::App *cmd, const std::string &summary, const std::string &details,
              const std::vector<Example> &examples);

// -q and --json of a command that reports.
struct ReportOptions {
    bool quiet = false;
    bool json = false;
};
void add_report_options(CLI::App *cmd, ReportOptions &options, const std::string &quiet_help = "Print only errors");

// The callback of a command: the context takes the command's -q and --json,
// run makes the command's result, and the printer shows it; the code it
// gives is the program's.
std::function<void()> reported(Context &ctx, const ReportOptions &options, std::function<Result()> run);

// The plug-in library: the --plugin option when given, else $KESTO_PLUGIN,
// else the library beside this program; as an absolute path, so that it
// names the same file after a change of folder.
std::string plugin_path(const std::string &option);

// Why a folder cannot be made the current one: the system's cause, and on
// Windows, for a path beyond what a current folder may have there, that limit.
std::string folder_cause(const std::string &folder, const std::error_code &ec);

// Whether a process of that id runs (one of another user counts).
bool process_alive(unsigned long pid);

// When a page is made, for its head: "2026-12-09 19:30" local time, or,
// with SOURCE_DATE_EPOCH set (a build that must give the same bytes), that
// time in UTC.
std::string page_date();

}  // namespace kesto::cli

#endif
