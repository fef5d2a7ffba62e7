// What the program asks of the terminal it runs on: whether to colour.
#ifndef KESTO_TOOLS_CLI_TERMINAL_H
#define KESTO_TOOLS_CLI_TERMINAL_H

#include <string>

namespace kesto::cli {

// Escape codes only for a terminal that shows them (a Windows console is
// switched to take them), and never when NO_COLOR is set to anything.
bool colour_wanted(int fd);

// Writes UTF-8 text to a file descriptor as a person reads it: a Windows
// console gets it as UTF-16, a Windows pipe or file in the console's code
// page, anything else the bytes.  False when the write failed.
bool write_text(int fd, const std::string &text);

// text between the escape code of an SGR colour ("31" red) and a reset,
// or text as it is without colour.
std::string painted(const std::string &text, const char *sgr, bool colour);

}  // namespace kesto::cli

#endif
