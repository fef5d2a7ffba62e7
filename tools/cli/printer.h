// The one printer: every command builds one Result (its exit code, its
// report for people and its --json object) and hands it here, which shows
// it one of the two ways.  And the pieces reports are made of, written
// once: names and files as a terminal may show them, counts, and the lines
// of two records that differ.
#ifndef KESTO_TOOLS_CLI_PRINTER_H
#define KESTO_TOOLS_CLI_PRINTER_H

#include <cstddef>
#include <string>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/cli/context.h"
#include "tools/tlsfile/tls_diff.h"

namespace kesto::cli {

using json = nlohmann::ordered_json;

struct Result {
    Result() = default;
    explicit Result(int exit_code) : code(exit_code) {}
    Result(int exit_code, std::string report, json json_object)
        : code(exit_code), text(std::move(report)), object(std::move(json_object)) {}

    int code = kExitOk;
    // The report for people (UTF-8; names and files in it as shown()
    // gives them).
    std::string text;
    // The command's --json object, every documented key in it (null or
    // empty where nothing was found); the printer adds "error", "errors"
    // and "warnings".
    json object = json::object();
    // The command's output (-o -) took standard output: the report goes to
    // standard error.
    bool output_is_stdout = false;
};

// Shows a result: with --json its object (even with -q), else its text
// unless -q.  The code to exit with: the result's, or kExitUsage when the
// report could not be written.
int show(Context &ctx, const Result &result);

// The object with the errors and warnings said, as --json prints it.
json with_messages(const Context &ctx, json object);

// A file's name (UTF-8) or any outside text as a report shows it: a
// control byte as "\x1B", so that it stays on its line and cannot move or
// retitle a terminal.
std::string shown(const std::string &utf8);
// A TOOLID (Windows-1251 bytes) in double quotes, as UTF-8, control bytes
// escaped.
std::string quoted_toolid(const std::string &raw);
// A TOOLID as the --json objects give it: UTF-8.
std::string toolid_json(const std::string &raw);

// "1 tool", "3 tools": n and the word for it.
std::string count(size_t n, const char *one, const char *many);

// "A" (line 4), "B" (line 9), ... of at most a few TOOLIDs, with how many more.
std::string listed_toolids(const std::vector<tlsfile::ListedTool> &tools);

// One side of two records that differ, as every report shows it:
// "    LABEL:LINE: TEXT" (or what stands for a record that ends there),
// painted in sgr when colour is set.
std::string side_line(const std::string &label, const tlsfile::DiffLine &line, const char *sgr = nullptr,
                      bool colour = false);
// The same for --json: {"line": LINE, "text": TEXT or null}.
json side_json(const tlsfile::DiffLine &line);

// The system's text of an error a file call gave (on Windows decoded from
// the system's UTF-16, never taken as UTF-8).
std::string cause_of(const std::error_code &ec);

// "-" in place of a file name: standard input for an input, standard output
// for an output.  A file of that name is "./-".
bool is_standard_stream(const std::string &path);
// An input as reports name it: its path, or "(standard input)".
std::string input_label(const std::string &path);
// An output as reports name it: its path, or "standard output".
std::string output_label(const std::string &path);

}  // namespace kesto::cli

#endif
