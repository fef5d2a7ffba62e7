// Help as a reader wants it: wrapped to the terminal, one summary line per
// subcommand, details and examples in each subcommand's own help.
#include <algorithm>

#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"
#include "tools/cli/usage.h"

#if defined(_WIN32)
#  include <io.h>
#  include <windows.h>
#else
#  include <sys/ioctl.h>
#  include <unistd.h>
#endif

namespace kesto::cli {
namespace {

constexpr size_t kOptionColumn = 26;      // where an option's description starts
constexpr size_t kSubcommandColumn = 13;  // where a subcommand's summary starts
constexpr char kExampleLead[] = "  kesto-tools-vericut ";  // an example's command line

// Columns a UTF-8 text takes: its characters.
size_t columns(const std::string &text) {
    size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

// Wraps each line of text to width columns, the first starting at column
// at; a line's continuations take its own indentation, plus at.
std::string wrap(const std::string &text, size_t width, size_t at) {
    std::string out;
    size_t start = 0;
    bool first_line = true;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t indent = line.find_first_not_of(' ') == std::string::npos ? 0 : line.find_first_not_of(' ');
        const std::string lead(at + indent, ' ');
        if (!first_line) out += "\n" + std::string(at, ' ');
        out += line.substr(0, indent);
        size_t col = at + indent, words = 0;
        for (size_t w = indent; w < line.size();) {
            size_t e = line.find(' ', w);
            if (e == std::string::npos) e = line.size();
            const std::string word = line.substr(w, e - w);
            if (!word.empty()) {
                if (words > 0 && col + 1 + columns(word) > width) {
                    out += "\n" + lead;
                    col = lead.size();
                } else if (words > 0) {
                    out += ' ';
                    ++col;
                }
                out += word;
                col += columns(word);
                ++words;
            }
            w = e + 1;
        }
        first_line = false;
        if (end == text.size()) break;
        start = end + 1;
    }
    return out;
}

// "  NAME" padded to the column, then text wrapped beside it.
std::string row(const std::string &name, const std::string &text, size_t width, size_t column) {
    std::string out = "  " + name;
    if (text.empty()) return out + "\n";
    if (columns(out) + 1 >= column) out += "\n" + std::string(column, ' ');
    else out += std::string(column - columns(out), ' ');
    return out + wrap(text, width, column) + "\n";
}

}  // namespace

size_t help_width() {
    size_t width = 80;
#if defined(_WIN32)
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
        width = static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
#else
    struct winsize size {};
    if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) width = size.ws_col;
#endif
    return std::max<size_t>(width, kOptionColumn + 20);
}

HelpFormatter::HelpFormatter(size_t width) : width_(width) { column_width(kOptionColumn); }

std::string HelpFormatter::make_help(const CLI::App *app, std::string name, CLI::AppFormatMode mode) const {
    if (mode == CLI::AppFormatMode::Sub) return make_expanded(app);
    return make_usage(app, name) + "\n" + make_description(app) + make_positionals(app) + make_groups(app, mode) +
           make_subcommands(app, mode) + "\n" + make_footer(app);
}

std::string HelpFormatter::make_description(const CLI::App *app) const {
    const std::string &text = app->get_description();
    return text.empty() ? text : wrap(text, width_, 0) + "\n";
}

std::string HelpFormatter::make_subcommand(const CLI::App *sub) const {
    const std::string &text = sub->get_description();
    return row(sub->get_name(), text.substr(0, text.find("\n\n")), width_, kSubcommandColumn);
}

std::string HelpFormatter::make_expanded(const CLI::App *sub) const {
    HelpFormatter narrower(width_ - 2);
    std::string body = narrower.make_description(sub) + narrower.make_positionals(sub) +
                       narrower.make_groups(sub, CLI::AppFormatMode::Sub);
    std::string out = sub->get_name() + "\n";
    size_t start = 0;
    while (start < body.size()) {
        size_t end = body.find('\n', start);
        if (end == std::string::npos) end = body.size();
        out += end > start ? "  " + body.substr(start, end - start) + "\n" : "\n";
        start = end + 1;
    }
    return out;
}

std::string HelpFormatter::make_option(const CLI::Option *opt, bool is_positional) const {
    return row(make_option_name(opt, is_positional) + make_option_opts(opt), make_option_desc(opt), width_,
               kOptionColumn);
}

std::string HelpFormatter::make_footer(const CLI::App *app) const {
    const std::string &text = app->get_footer();
    if (text.empty()) return text;
    // an example's command is kept on one line, however long, so that it
    // can be copied whole; its meaning below it is wrapped
    std::string out;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        out += (line.rfind(kExampleLead, 0) == 0 ? line : wrap(line, width_, 0)) + "\n";
        start = end + 1;
    }
    return out;
}

std::string in_shell_quotes(const std::string &command, bool cmd) {
    if (!cmd) return command;
    // cmd.exe knows only double quotes: 'a "b"' becomes "a \"b\"", which
    // the program's argument splitting reads back as a "b"
    std::string out;
    bool quoted = false;
    for (char c : command) {
        if (c == '\'') {
            quoted = !quoted;
            out += '"';
        } else if (c == '"' && quoted) {
            out += "\\\"";
        } else {
            out += c;
        }
    }
    return out;
}

void describe(CLI::App *cmd, const std::string &summary, const std::string &details,
              const std::vector<Example> &examples) {
    cmd->description(summary + "\n\n" + details);
    std::string footer = "Examples:";
#if defined(_WIN32)
    const bool windows = true;
#else
    const bool windows = false;
#endif
    for (const Example &e : examples)
        footer += std::string("\n") + kExampleLead + in_shell_quotes(e.command, windows) + "\n      " + e.meaning;
    cmd->footer(footer);
}

}  // namespace kesto::cli
