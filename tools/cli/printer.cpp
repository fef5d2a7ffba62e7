#include "tools/cli/printer.h"

#include "host/common/cp1251.h"
#include "host/common/library_writer.h"
#include "tools/cli/terminal.h"

namespace kesto::cli {

json with_messages(const Context &ctx, json object) {
    object["error"] = ctx.errors().empty() ? json(nullptr) : json(ctx.errors().back());
    object["errors"] = ctx.errors();
    object["warnings"] = ctx.warnings();
    return object;
}

int show(Context &ctx, const Result &result) {
    if (ctx.json) {
        const std::string text =
            with_messages(ctx, result.object).dump(2, ' ', ctx.streams().ascii_json(), json::error_handler_t::replace);
        return ctx.print(text + "\n") ? result.code : kExitUsage;
    }
    return ctx.tell(result.text, result.output_is_stdout) ? result.code : kExitUsage;
}

std::string shown(const std::string &utf8) { return kesto::utf8_shown(utf8); }

std::string quoted_toolid(const std::string &raw) { return "\"" + kesto::cp1251_shown(raw) + "\""; }

std::string toolid_json(const std::string &raw) { return kesto::cp1251_to_utf8(raw); }

std::string count(size_t n, const char *one, const char *many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

std::string listed_toolids(const std::vector<tlsfile::ListedTool> &tools) {
    constexpr size_t kListed = 5;
    std::string out;
    for (size_t i = 0; i < tools.size() && i < kListed; ++i)
        out += (i ? ", " : "") + quoted_toolid(tools[i].name) + " (line " + std::to_string(tools[i].line) + ")";
    if (tools.size() > kListed) out += " and " + std::to_string(tools.size() - kListed) + " more";
    return out;
}

std::string side_line(const std::string &label, const tlsfile::DiffLine &d, const char *sgr, bool colour) {
    const std::string text = shown(label) + ":" + std::to_string(d.line) + ": " +
                             (d.present ? kesto::cp1251_shown(d.text) : std::string("(the record ends before this line)"));
    return "    " + (sgr ? painted(text, sgr, colour) : text) + "\n";
}

json side_json(const tlsfile::DiffLine &d) {
    return {{"line", d.line}, {"text", d.present ? json(kesto::cp1251_to_utf8(d.text)) : json(nullptr)}};
}

std::string cause_of(const std::error_code &ec) {
#if defined(_WIN32)
    if (ec.category() == std::system_category()) return kesto::system_error_text(ec.value());
#endif
    return ec.message();
}

bool is_standard_stream(const std::string &path) { return path == "-"; }

std::string input_label(const std::string &path) { return is_standard_stream(path) ? "(standard input)" : path; }

std::string output_label(const std::string &path) { return is_standard_stream(path) ? "standard output" : path; }

}  // namespace kesto::cli
