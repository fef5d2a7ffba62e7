// The one way a command reads its input files: through the input layer
// (tools/tlsfile/source.h), a file or standard input ("-"), with one
// message for a file that cannot be read and one for a file of the wrong
// kind, whatever the command.
#ifndef KESTO_TOOLS_CLI_INPUTS_H
#define KESTO_TOOLS_CLI_INPUTS_H

#include <string>
#include <vector>

#include "tools/cli/context.h"
#include "tools/tlsfile/source.h"
#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tls_records.h"

namespace kesto::cli {

// A tool library as a command works on it.
struct LibraryFile {
    std::string label;              // the path, or what else names it in messages
    tlsfile::LibraryText library;   // its Windows-1251 text, parsed (its encoding's problem among the reader's)
    tlsfile::Source source;         // what the file was (its text moved into library.text)
};

// The problems check finds in a library, but for its encoding: what it
// holds, as the Windows-1251 library it stands for.
std::vector<tlsfile::Problem> content_problems(const LibraryFile &file, size_t *beyond = nullptr);

// False, after saying why and that the output is left as it was, when a
// library cannot be written again without loss: it holds a character
// Windows-1251 lacks, which its text holds as '?'.
bool writable_again(Context &ctx, const LibraryFile &file, const std::string &left);

// Reads a file, or standard input for "-", and tells what it is.  False,
// after saying "cannot read PATH: CAUSE", when it cannot be read.
bool read_input(Context &ctx, const std::string &path, tlsfile::Source &source);

// Reads a tool library, in whatever encoding it was saved.  False, after
// saying why, when it cannot be read or is of another kind: command names
// what takes libraries in the message ("merge", "export --merge").
bool read_library(Context &ctx, const std::string &path, const std::string &command, LibraryFile &out);

// A library in memory (Windows-1251), as read_library gives a file.
LibraryFile library_from_text(const std::string &label, std::string text);
LibraryFile library_from_source(tlsfile::Source source);

// False, after saying so, when standard input is named more than once.
bool standard_input_once(Context &ctx, const std::vector<std::string> &paths);

// The paths of a list that name files, not standard streams.
std::vector<std::string> files_only(const std::vector<std::string> &paths);

// A UTF-8 path made absolute against the current folder.
std::string absolute_path(const std::string &path);

}  // namespace kesto::cli

#endif
