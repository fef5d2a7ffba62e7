// What merge and export --merge share: reading a tool library, merging new
// libraries into a base one, checking the result and writing it whole.
#ifndef KESTO_TOOLS_CLI_LIBRARY_MERGE_H
#define KESTO_TOOLS_CLI_LIBRARY_MERGE_H

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/tlsfile/output_file.h"
#include "tools/tlsfile/tls_records.h"

namespace kesto::cli {

struct LibraryFile {
    std::string label;  // the path, or what else names it in messages
    tlsfile::LibraryText library;
};

// Reads a tool library: a regular file of up to 64 MiB (or standard input,
// "-") that starts with the library's header line.  False, after saying why, when it is not one;
// purpose ends the message of a file without the header ("merge takes tool
// libraries only").
bool read_library(const std::string &path, LibraryFile &out, const std::string &purpose);

// The message for a part or session file given to command, which takes
// tool libraries: what the file is and the command that makes a library of it.
std::string part_given_to(const std::string &command, const std::string &path);
// The same for a file (or standard input) whose first bytes are head; empty
// when it does not start as a part file.
std::string part_file_refused(const std::string &command, const std::string &path, std::string_view head);

// A problem as the --json objects give it: file, line, toolid, message.
nlohmann::ordered_json problem_object(const tlsfile::Problem &problem, const std::string &label);

// The same for a library already in memory.
LibraryFile library_from_text(const std::string &label, std::string text);

struct MergeRequest {
    const LibraryFile *base = nullptr;
    std::vector<const LibraryFile *> news;
    std::string output;               // may be the base itself
    std::vector<std::string> inputs;  // files the output must not be
    bool force = false;               // merge libraries with problems all the same
    nlohmann::ordered_json *json = nullptr;  // filled with what happened, for --json
    bool *written = nullptr;                 // set when the output was written
    const tlsfile::OutputLock *lock = nullptr;  // the output's lock, taken before the base was read
};

// Merges the new libraries into the base, checks the result and writes it
// to the output (whole or not at all; "-" is standard output), then tells
// what was replaced, added and kept.  A new library with problems, or a result that would have
// problems, is refused unless force is set; what is wrong is named with its
// file and line.  Returns the exit code: 0 written; 1 refused, not
// written, or written with problems (force); 2 an output that may not be
// written or standard output that cannot be.
int merge_and_write(const MergeRequest &request);

}  // namespace kesto::cli

#endif
