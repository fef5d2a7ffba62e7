// Checks of a *.tls tool library file: the reader's problems (syntax,
// non-finite numbers, control bytes, UTF-8 text, mixed line ends) plus the
// content checks (required lines, value counts, outlines on the axis, arcs
// through their neighbouring points, holders not below their own start,
// TOOLIDs present and used once, cutter sizes, flutes and drill angles that
// a tool can have, no value beyond 10^6, holders with positive radii that
// leave the axis, one unit of length for the whole library), and the
// per-tool report, which shows the file's texts in UTF-8 with control bytes
// escaped.
#ifndef KESTO_TOOLS_TLSFILE_TLS_CHECK_H
#define KESTO_TOOLS_TLSFILE_TLS_CHECK_H

#include <string>
#include <vector>

#include "tools/tlsfile/source.h"
#include "tools/tlsfile/tls_reader.h"

namespace tlsfile {

// Points next to an arc must lie on its circle within this distance.
constexpr double kArcTolerance = 1e-4;
// Coordinates are written with five decimals; a radius up to one unit of the
// last decimal counts as on the axis.
constexpr double kAxisTolerance = 1e-5;
// No tool has a coordinate or radius of this size; a larger one is a
// damaged or mistaken value.
constexpr double kMaxMagnitude = 1e6;

constexpr int kExitClean = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUnreadable = 2;

struct CheckResult {
    bool readable = false;
    std::string read_error;
    Library library;
    std::vector<Problem> problems;  // every problem of the file, in line order, up to kMaxProblems
    size_t problems_beyond = 0;     // how many more were found
};

// All problems of a parsed file: the reader's and those of the content, up
// to kMaxProblems; beyond (when given) counts the rest.
std::vector<Problem> check_library(const Library &library, size_t *beyond = nullptr);

// Checks a library read through the input layer (its encoding a problem
// among the others); a file read so; bytes told apart as a file's are.
CheckResult check_source(const Source &source);
CheckResult check_file(const std::string &path);
CheckResult check_text(const std::string &text);

// 0 clean, 1 problems found, 2 the file could not be read.
int exit_code(const CheckResult &result);

// "flat end: D 10, L 75, flute 50" (names excluded; ASCII).
std::string tool_summary(const Tool &tool);
// "holder: D 40, from 0 to 70", or empty for a tool without holder outline.
std::string holder_summary(const Tool &tool);

// The whole report in UTF-8: one line per tool, then one line per problem
// ("FILE:LINE: ..."), then the count.  file_label names the file in it,
// its control bytes shown as "\x1B", as the file's own texts are.
std::string format_report(const CheckResult &result, const std::string &file_label);

// The report format_report gives of the file at path, made record by record
// so that a large file takes little memory: false, with the reason in
// error, when it cannot be read; clean when it has no problems.
bool report_file(const std::string &path, const std::string &file_label, std::string &report, bool &clean,
                 std::string &error);
// The same of a library read through the input layer, and of a file's bytes.
std::string report_source(const Source &source, const std::string &file_label, bool &clean);
std::string report_text(const std::string &text, const std::string &file_label, bool &clean);

// One problem line of the report: "FILE:LINE: tool \"NAME\": ...\n".
std::string format_problem(const Problem &problem, const std::string &file_label);

// A number as the reports show it: five decimals at most, no trailing zeros.
std::string format_number(double value);

}  // namespace tlsfile

#endif
