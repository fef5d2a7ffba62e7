#include "tools/cli/wildcards.h"

#include <algorithm>
#include <cwctype>

#include <CLI/CLI.hpp>

#include "tools/cli/usage.h"
#include "tools/tlsfile/input_file.h"

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace kesto::cli {

bool file_name_matches(const std::wstring &pattern, const std::wstring &name) {
    // one pass with a single point to come back to, as tlsfile's TOOLID
    // patterns are matched: linear, however many '*'
    size_t p = 0, n = 0, star = std::wstring::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == L'?' || std::towupper(pattern[p]) == std::towupper(name[n]))) {
            ++p;
            ++n;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

#if defined(_WIN32)
namespace {

// The files (not folders) whose names match a pattern's last part, sorted,
// each with the pattern's folder as typed.  Names match by their long form
// only: Windows' own listing also takes "*.tls" for "a.tlsx", by its short
// name.  A pattern in a folder's part is refused, with the reason.
bool expand(const std::string &pattern, std::vector<std::string> &out, std::string &why) {
    const size_t cut = pattern.find_last_of("\\/:");
    const std::string folder = cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
    if (folder.find_first_of("*?") != std::string::npos) {
        why = "a pattern names files of one folder; '*' and '?' in the folder's part are not expanded";
        return false;
    }
    const std::wstring leaf = tlsfile::fs_path(pattern.substr(folder.size())).wstring();
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileExW(tlsfile::fs_path(pattern).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                nullptr, 0);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && file_name_matches(leaf, found.cFileName))
                out.push_back(folder + tlsfile::utf8_path(std::filesystem::path(found.cFileName)));
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    std::sort(out.begin(), out.end());
    if (out.empty()) why = "no file matches this pattern";
    return !out.empty();
}

}  // namespace
#endif

bool expand_file_patterns(Context &ctx, const CLI::App &app, std::vector<std::string> &args) {
#if defined(_WIN32)
    std::vector<std::string> out(args.begin(), args.end());
    size_t shift = 0;
    for (const auto &[i, type] : positional_arguments(app, args)) {
        if (type != kFileType || args[i].find_first_of("*?") == std::string::npos || args[i] == "/?") continue;
        std::vector<std::string> files;
        std::string why;
        if (!expand(args[i], files, why)) {
            ctx.error(args[i] + ": " + why);
            return false;
        }
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(i + shift));
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(i + shift), files.begin(), files.end());
        shift += files.size() - 1;
    }
    args = out;
#else
    (void)ctx;
    (void)app;
    (void)args;
#endif
    return true;
}

}  // namespace kesto::cli
