// The man page, the plain-text reference and the bash completion, made
// from the program's own subcommands, options and help texts, so that they
// say what the program takes and never drift from it.
#ifndef KESTO_TOOLS_CLI_SHELL_DOCS_H
#define KESTO_TOOLS_CLI_SHELL_DOCS_H

#include <string>

#include "tools/cli/cli11_fwd.h"

#include "tools/cli/context.h"

namespace kesto::cli {

// The reference as a man page (roff, section 1).
std::string man_page(const CLI::App &app);

// The reference as plain text: for a POSIX shell, or with windows for
// cmd.exe (the Windows package's REFERENCE.txt).
std::string reference_text(const CLI::App &app, bool windows);

// A bash completion script: subcommands after the program's name; a
// subcommand's options after a '-'; an option's value as its type says
// (files, folders, one of its words, TOOLIDs); each argument as its type
// says, a TOOLID from the library or part on the command line.
std::string bash_completion(const CLI::App &app);

// A word as a POSIX shell would pass it, of its quotes and backslashes: 'a
// b', "a b" and a\ b are "a b"; a leading ~/ is the home folder.  A quote
// left open is closed at the end (a word being typed).
std::string shell_word(const std::string &typed);

// --complete-toolids: the TOOLIDs of the library typed names, or the tools
// of the part (the demo part when typed is empty), one a line in UTF-8, on
// standard output.  Nothing when it cannot be read.
int complete_toolids(Context &ctx, const std::string &typed);

}  // namespace kesto::cli

#endif
