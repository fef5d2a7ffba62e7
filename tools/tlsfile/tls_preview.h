// Drawing of a tool library file: one SVG document with a cell per tool, the
// tool's cutter and holder outlines mirrored about the axis, its name and
// main dimensions.  Drawn to one scale (with a scale bar, the flute length
// and an APT 10 cutter's second corner marked), or each tool to fill its
// cell.
#ifndef KESTO_TOOLS_TLSFILE_TLS_PREVIEW_H
#define KESTO_TOOLS_TLSFILE_TLS_PREVIEW_H

#include <string>
#include <string_view>
#include <vector>

#include "tools/tlsfile/tls_reader.h"

namespace tlsfile {

enum class PreviewScale {
    one,       // every tool to the same scale, cells sized and ordered by the tools' sizes
    per_tool,  // every tool to fill a cell of its own, in the file's order
};

// What a merge did to a tool, against the library it merged into.
enum class ToolMark { none, added, replaced };

struct PreviewOptions {
    PreviewScale scale = PreviewScale::one;
    std::vector<ToolMark> marks;  // by tool index; empty: nothing marked
    std::string against;          // the library the marks refer to, for the heading
};

// The SVG document (UTF-8).  Tools with problems are framed in red with
// their count; title heads the drawing (the file's name, say).  A problem
// belongs to the record whose lines it falls in, in whatever order given.
std::string render_preview(const Library &library, const std::vector<Problem> &problems, const std::string &title,
                           const PreviewOptions &options = {});

// UTF-8 text for XML or HTML content and attributes: & < > " escaped.
std::string markup_text(std::string_view utf8);

// The right halves of a tool's cutter and holder outlines as the drawing
// shows them, in millimetres with heights up (the holder raised onto a
// stacked cutter), written compactly for the web pages to draw: "x y"
// for a straight line to (x, y), "a R S x y" for an arc of radius R to
// (x, y), S 1 when it runs counter-clockwise; numbers to 0.001 mm.  Empty
// when there is nothing to draw.
struct OutlineTexts {
    std::string cutter, holder;
};
OutlineTexts outline_texts(const Tool &tool);

}  // namespace tlsfile

#endif
