// libFuzzer target: the *.tls reader with the checker, the report (also as
// check makes it, record by record) and the preview, as check and preview
// run them on a file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/tlsfile/tls_check.h"
#include "tools/tlsfile/tls_preview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    tlsfile::CheckResult result = tlsfile::check_text(text);
    std::string report = tlsfile::format_report(result, "fuzz.tls");
    std::string svg = tlsfile::render_preview(result.library, result.problems, "fuzz.tls");
    // every problem is in the report, and the drawing is one whole document
    if (report.empty() || svg.compare(svg.size() - 7, 7, "</svg>\n") != 0) __builtin_trap();
    // check's report, made record by record, is the same
    bool clean = false;
    if (tlsfile::report_text(text, "fuzz.tls", clean) != report || clean != result.problems.empty()) __builtin_trap();
    return 0;
}
