// The program on one command line, apart from the process: the subcommands
// defined, the arguments read (on Windows, file patterns expanded) and the
// one subcommand run with a context over the streams given.  main() runs it
// on the process's arguments and streams; a test runs it on strings.
#ifndef KESTO_TOOLS_CLI_PROGRAM_H
#define KESTO_TOOLS_CLI_PROGRAM_H

#include <string>
#include <vector>

#include "tools/cli/context.h"

namespace kesto::cli {

// args[0] is the program's name.  Returns the exit code.
int run_program(std::vector<std::string> args, Streams &streams);

}  // namespace kesto::cli

#endif
