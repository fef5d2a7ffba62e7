#include "tools/cli/inputs.h"

#include "tools/cli/printer.h"
#include "tools/tlsfile/input_file.h"

namespace kesto::cli {

bool read_input(Context &ctx, const std::string &path, tlsfile::Source &source) {
    std::string bytes, error;
    const bool read = is_standard_stream(path) ? ctx.streams().read_in(tlsfile::kMaxLibraryBytes, bytes, error)
                                               : tlsfile::read_input_file(path, tlsfile::kMaxLibraryBytes, true, bytes, error);
    if (!read) {
        ctx.error("cannot read " + error);
        return false;
    }
    source = tlsfile::source_of(input_label(path), std::move(bytes));
    return true;
}

LibraryFile library_from_source(tlsfile::Source source) {
    LibraryFile file;
    file.label = source.label;
    file.library.library = tlsfile::parse_source(source);
    file.library.text = std::move(source.text);
    source.text.clear();
    file.source = std::move(source);
    return file;
}

std::vector<tlsfile::Problem> content_problems(const LibraryFile &file, size_t *beyond) {
    std::vector<tlsfile::Problem> problems = tlsfile::check_library(file.library.library, beyond);
    tlsfile::Problem encoding;
    if (tlsfile::encoding_problem(file.source, encoding))
        for (size_t i = 0; i < problems.size(); ++i)
            if (problems[i].line == encoding.line && problems[i].message == encoding.message) {
                problems.erase(problems.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
    return problems;
}

bool writable_again(Context &ctx, const LibraryFile &file, const std::string &left) {
    if (!file.source.lost_line) return true;
    ctx.error(file.label + ": line " + std::to_string(file.source.lost_line) + " holds a character Windows-1251 "
              "lacks (it was saved as " + tlsfile::encoding_name(file.source.encoding) + "), which a library cannot "
              "hold; mend it in the editor that saved it; " + left);
    return false;
}

bool read_library(Context &ctx, const std::string &path, const std::string &command, LibraryFile &out) {
    tlsfile::Source source;
    if (!read_input(ctx, path, source)) return false;
    if (!tlsfile::is_wanted(source, tlsfile::Wanted::library)) {
        ctx.error(tlsfile::wrong_kind(source, command, tlsfile::Wanted::library));
        return false;
    }
    out = library_from_source(std::move(source));
    return true;
}

LibraryFile library_from_text(const std::string &label, std::string text) {
    LibraryFile file;
    file.label = label;
    file.library.library = tlsfile::parse_tls(text);
    file.library.text = std::move(text);
    return file;
}

bool standard_input_once(Context &ctx, const std::vector<std::string> &paths) {
    int n = 0;
    for (const std::string &p : paths) n += is_standard_stream(p);
    if (n <= 1) return true;
    ctx.error("standard input (-) can be read only once; name it once");
    return false;
}

std::vector<std::string> files_only(const std::vector<std::string> &paths) {
    std::vector<std::string> out;
    for (const std::string &p : paths)
        if (!p.empty() && !is_standard_stream(p)) out.push_back(p);
    return out;
}

std::string absolute_path(const std::string &path) {
    if (path.empty()) return path;
    return tlsfile::utf8_path(tlsfile::full_path(tlsfile::fs_path(path)));
}

}  // namespace kesto::cli
