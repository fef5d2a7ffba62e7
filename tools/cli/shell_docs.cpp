// The reference rendered: as a man page (roff) and as plain text.
#include "tools/cli/shell_docs.h"

#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"
#include "tools/cli/reference.h"

namespace kesto::cli {
namespace {

using Kind = Block::Kind;

// Text as roff shows it: a backslash as \e, '-' as the minus of an option,
// a line's leading '.' or '\'' kept from being taken for a request.
std::string roff(const std::string &text) {
    std::string out;
    bool line_start = true;
    for (char c : text) {
        if (line_start && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
        line_start = c == '\n';
    }
    return out;
}

// Words wrapped to width, each line after the first indented by indent.
std::string wrapped(const std::string &text, size_t width, size_t indent) {
    std::string out, line;
    auto flush = [&] {
        if (line.empty()) return;
        out += (out.empty() ? "" : "\n" + std::string(indent, ' ')) + line;
        line.clear();
    };
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find_first_of(" \n", at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        if (!word.empty() && !line.empty() && indent + line.size() + 1 + word.size() > width) flush();
        if (!word.empty()) line += (line.empty() ? "" : " ") + word;
        at = end + 1;
    }
    flush();
    return out;
}

constexpr size_t kWidth = 78, kBody = 7, kItemText = 14, kMeaning = 11;

std::string text_block(const Block &b) {
    const std::string body(kBody, ' ');
    switch (b.kind) {
    case Kind::section: return b.title + "\n";
    case Kind::subsection: return "   " + b.title + "\n";
    case Kind::paragraph: return body + wrapped(b.text, kWidth, kBody) + "\n";
    case Kind::lines: {
        std::string out;
        for (size_t at = 0; at <= b.text.size();) {
            size_t end = b.text.find('\n', at);
            if (end == std::string::npos) end = b.text.size();
            out += body + b.text.substr(at, end - at) + "\n";
            at = end + 1;
        }
        return out;
    }
    case Kind::item:
    case Kind::key: {
        // the text beside a short tag, else on the line below it
        const bool beside = kBody + b.title.size() + 1 < kItemText;
        return body + b.title + (beside ? std::string(kItemText - kBody - b.title.size(), ' ')
                                        : "\n" + std::string(kItemText, ' ')) +
               wrapped(b.text, kWidth, kItemText) + "\n";
    }
    case Kind::example:
        return body + b.title + "\n" + std::string(kMeaning, ' ') + wrapped(b.text, kWidth, kMeaning) + "\n";
    }
    return "";
}

std::string roff_block(const Block &b, Kind previous) {
    const bool after_heading = previous == Kind::section || previous == Kind::subsection;
    // keys follow one another without a blank line between them
    if (previous == Kind::key && b.kind != Kind::key) return ".PD\n" + roff_block(b, Kind::item);
    if (previous != Kind::key && b.kind == Kind::key) return ".PD 0\n" + roff_block(b, Kind::key);
    switch (b.kind) {
    case Kind::section: return ".SH " + b.title + "\n";
    case Kind::subsection: return ".SS " + roff(b.title) + "\n";
    case Kind::paragraph: return (after_heading ? "" : ".PP\n") + roff(b.text) + "\n";
    case Kind::lines: return (after_heading ? "" : ".PP\n") + std::string(".nf\n") + roff(b.text) + "\n.fi\n";
    case Kind::item:
    case Kind::key: return ".TP\n.B " + roff(b.title) + "\n" + roff(b.text) + "\n";
    case Kind::example:
        return (after_heading ? "" : ".PP\n") + std::string(".nf\n\\fB") + roff(b.title) + "\\fR\n.fi\n.RS\n" +
               roff(b.text) + "\n.RE\n";
    }
    return "";
}

}  // namespace

std::string man_page(const CLI::App &app) {
    // the date: SOURCE_DATE_EPOCH's, for a build that gives the same bytes
    const std::string date = page_date().substr(0, 10);
    std::string name = app.get_name(), title;
    for (char c : name) title += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    std::string out = ".TH " + roff(title) + " 1 " + date + " \"" + roff(name) + " " KESTO_VERSION "\"\n";
    Kind previous = Kind::paragraph;
    for (const Block &b : reference_document(app, false)) {
        out += roff_block(b, previous);
        previous = b.kind;
    }
    return out;
}

std::string reference_text(const CLI::App &app, bool windows) {
    std::string out = app.get_name() + " " KESTO_VERSION " reference\n";
    Kind previous = Kind::paragraph;
    for (const Block &b : reference_document(app, windows)) {
        // a blank line before every block but an item after an item
        const bool listed = b.kind == Kind::item || b.kind == Kind::key;
        if (!listed || (previous != Kind::item && previous != Kind::key)) out += "\n";
        out += text_block(b);
        previous = b.kind;
    }
    return out;
}

}  // namespace kesto::cli
