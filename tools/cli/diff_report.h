// diff's report of two libraries, as text and as its --json object.
#ifndef KESTO_TOOLS_CLI_DIFF_REPORT_H
#define KESTO_TOOLS_CLI_DIFF_REPORT_H

#include <string>

#include "tools/cli/printer.h"
#include "tools/tlsfile/tls_diff.h"

namespace kesto::cli {

struct DiffView {
    std::string old_label, new_label;
    std::string path;    // --git: the library's path in the repository, which heads the report
    bool full = false;   // every differing line
    bool stat = false;   // the counts alone
    bool colour = false;
};

// The --json object's keys, empty until the libraries are compared.
json empty_diff_object(const DiffView &view);
json diff_object(const DiffView &view, const tlsfile::LibraryDiff &diff);
std::string diff_text(const DiffView &view, const tlsfile::LibraryDiff &diff);

}  // namespace kesto::cli

#endif
