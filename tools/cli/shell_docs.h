// The man page and the bash completion, made from the program's own
// subcommands, options and help texts, so that they say what the program
// takes and never drift from it.
#ifndef KESTO_TOOLS_CLI_SHELL_DOCS_H
#define KESTO_TOOLS_CLI_SHELL_DOCS_H

#include <string>

#include <CLI/CLI.hpp>

namespace kesto::cli {

// A man page (roff, section 1) of the program and each subcommand: its
// usage, description, options and examples.
std::string man_page(const CLI::App &app);

// A bash completion script: subcommands after the program's name, each
// subcommand's options after a '-', files otherwise.
std::string bash_completion(const CLI::App &app);

}  // namespace kesto::cli

#endif
