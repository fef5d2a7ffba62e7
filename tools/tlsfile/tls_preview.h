// Drawing of a tool library file: one SVG document with a cell per tool, the
// tool's cutter and holder outlines mirrored about the axis, its name and
// main dimensions.
#ifndef KESTO_TOOLS_TLSFILE_TLS_PREVIEW_H
#define KESTO_TOOLS_TLSFILE_TLS_PREVIEW_H

#include <string>
#include <vector>

#include "tools/tlsfile/tls_reader.h"

namespace tlsfile {

// The SVG document (UTF-8).  Tools with problems are framed in red with
// their count; title heads the drawing (the file's name, say).  problems
// are taken in line order, as check_library gives them (another order is
// sorted first).
std::string render_preview(const Library &library, const std::vector<Problem> &problems, const std::string &title);

}  // namespace tlsfile

#endif
