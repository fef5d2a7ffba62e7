// Subcommands of kesto-tools-vericut.  Each subcommand's file registers
// itself with a CommandRegistrar, so adding one touches no other file.
#ifndef KESTO_TOOLS_CLI_COMMANDS_H
#define KESTO_TOOLS_CLI_COMMANDS_H

#include <string>

#include <CLI/CLI.hpp>

namespace kesto::cli {

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;  // check: problems found; others: the job failed
constexpr int kExitUsage = 2;     // bad arguments, a bad input file, an output that may not be written
constexpr int kExitNoPlugin = 3;  // the plug-in library could not be loaded

struct CommandRegistrar {
    using Add = void (*)(CLI::App &app);
    CommandRegistrar(int order, Add add);
};

void add_commands(CLI::App &app);

// The code main() returns, set by the subcommand that ran.
int exit_code();
void set_exit_code(int code);

// The plug-in library: the --plugin option when given, else $KESTO_PLUGIN,
// else the library beside this program; as an absolute path, so that it
// names the same file after a change of folder.
std::string plugin_path(const std::string &option);

// A UTF-8 path made absolute against the current folder.
std::string absolute_path(const std::string &path);

int process_id();

// A TOOLID (Windows-1251 bytes) in double quotes, as UTF-8 for reports,
// control bytes escaped ("\x1B").
std::string quoted_toolid(const std::string &raw);

// Prints "kesto-tools-vericut: <what>" to standard error.
void complain(const std::string &what);

// Writes text to standard output and flushes it.  False when that failed (a
// full disk, a closed pipe), after saying so with the cause.
bool print(const std::string &text);

}  // namespace kesto::cli

#endif
