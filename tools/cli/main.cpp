// kesto-tools-vericut: the plug-in without the host.  Every subcommand runs
// the real plug-in library inside the simulated host.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cwctype>
#include <exception>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"
#include "tools/cli/shell_docs.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/interrupt_cleanup.h"

#if defined(_WIN32)
#  include <windows.h>
#  include <shellapi.h>
#endif

namespace {

#if defined(_WIN32)
std::string utf8_of(const wchar_t *wide) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? static_cast<size_t>(bytes) : 1, '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide, -1, &out[0], bytes, nullptr, nullptr);
    out.pop_back();  // the terminating NUL
    return out;
}

std::wstring wide_of(const std::string &utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], n);
    out.pop_back();
    return out;
}

// For each argument of a command line split as the C runtime splits it,
// whether it has a '*' or '?' outside double quotes: a pattern for the
// program to expand, as cmd.exe leaves that to the program.  A quoted
// pattern is taken as it is.
std::vector<bool> unquoted_wildcards(const wchar_t *line) {
    std::vector<bool> out;
    const wchar_t *p = line;
    // the program's name: up to a blank, or in quotes, no escapes
    if (*p == L'"') {
        for (++p; *p && *p != L'"'; ++p) {}
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    out.push_back(false);
    for (;;) {
        while (*p == L' ' || *p == L'\t') ++p;
        if (!*p) break;
        bool quoted = false, wild = false;
        while (*p && (quoted || (*p != L' ' && *p != L'\t'))) {
            size_t slashes = 0;
            while (*p == L'\\') ++slashes, ++p;
            if (*p == L'"') {
                if (slashes % 2 == 0) {
                    if (quoted && p[1] == L'"') ++p;  // "" in quotes: a quote
                    else quoted = !quoted;
                }
                ++p;
            } else if (!slashes && *p) {
                wild = wild || (!quoted && (*p == L'*' || *p == L'?'));
                ++p;
            }
        }
        out.push_back(wild);
    }
    return out;
}

// Whether name matches a pattern of '*' (any run) and '?' (one character),
// letters of either case alike, as Windows compares file names.
bool matches(const wchar_t *pattern, const wchar_t *name) {
    if (*pattern == L'*') return matches(pattern + 1, name) || (*name && matches(pattern, name + 1));
    if (!*name) return !*pattern;
    if (!*pattern) return false;
    return (*pattern == L'?' || std::towupper(*pattern) == std::towupper(*name)) && matches(pattern + 1, name + 1);
}

// The files (not folders) whose names match a pattern's last part, sorted,
// each with the pattern's folder as typed.  Names match by their long form
// only: Windows' own listing also takes "*.tls" for "a.tlsx", by its short
// name.
std::vector<std::string> expand(const std::string &pattern) {
    const size_t cut = pattern.find_last_of("\\/:");
    const std::string folder = cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
    const std::wstring leaf = wide_of(pattern.substr(folder.size()));
    std::vector<std::string> out;
    if (folder.find_first_of("*?") != std::string::npos) return out;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileExW(wide_of(pattern).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && matches(leaf.c_str(), found.cFileName))
            out.push_back(folder + utf8_of(found.cFileName));
    } while (FindNextFileW(h, &found));
    FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
}
#endif

// The arguments as UTF-8.  Windows hands a program its arguments in the
// ANSI code page, which loses what that lacks; the wide command line has
// them all.
std::vector<std::string> arguments(int argc, char **argv) {
#if defined(_WIN32)
    (void)argc;
    (void)argv;
    std::vector<std::string> out;
    int n = 0;
    LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &n);
    for (int i = 0; wide && i < n; ++i) out.push_back(utf8_of(wide[i]));
    LocalFree(wide);
    return out;
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
}

// The subcommand's file arguments with their patterns expanded (Windows).
// False, after naming it, for a pattern that matches no file.
bool expand_patterns(const CLI::App &app, std::vector<std::string> &args) {
#if defined(_WIN32)
    const std::vector<bool> wild = unquoted_wildcards(GetCommandLineW());
    if (wild.size() != args.size()) return true;
    std::vector<std::string> out(args.begin(), args.end());
    size_t shift = 0;
    for (size_t i : kesto::cli::positional_arguments(app, args)) {
        if (!wild[i] || args[i] == "/?") continue;
        std::vector<std::string> files = expand(args[i]);
        if (files.empty()) {
            kesto::cli::complain(args[i] + ": no file matches this pattern");
            return false;
        }
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(i + shift));
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(i + shift), files.begin(), files.end());
        shift += files.size() - 1;
    }
    args = out;
#else
    (void)app;
    (void)args;
#endif
    return true;
}

int run(std::vector<std::string> args) {
    CLI::App app{"Exports the cutting tools of a part to a *.tls tool library through the kesto_tools_vericut "
                 "plug-in, running in a simulated CAD/CAM host, and checks, compares, merges and draws such "
                 "libraries."};
    app.name("kesto-tools-vericut");
    app.require_subcommand(1);
    // "/path" is a path on every system, never an option
    app.allow_windows_style_options(false);
    app.formatter(std::make_shared<kesto::cli::HelpFormatter>(kesto::cli::help_width()));
    app.set_help_all_flag("--help-all", "Help for every subcommand");
    app.set_version_flag("--version", "kesto-tools-vericut " KESTO_VERSION);
#if defined(_WIN32)
    const char *const help_forms = "SUBCOMMAND --help or SUBCOMMAND /?";
#else
    const char *const help_forms = "SUBCOMMAND --help";
#endif
    app.footer(std::string("Run kesto-tools-vericut help SUBCOMMAND (or ") + help_forms +
               ") for its details and examples. A file named - is standard input or output; write ./- for a file "
               "of that name.");
    app.add_option_function<std::string>(
           "--encoding", [](const std::string &name) { kesto::cli::set_utf8_output(name == "utf-8"); },
           "Text sent to a pipe or a file: console (the console's code page, as Windows' own programs write; "
           "the default) or utf-8 (also $KESTO_ENCODING=utf-8). Tool libraries are written as they are")
        ->check(CLI::IsMember({"console", "utf-8"}));
    kesto::cli::add_commands(app);
    // "help [SUBCOMMAND]" is answered as --help is (see prepare_arguments)
    static std::string topic;
    app.add_subcommand("help", "Show the help of the program or of one subcommand")
        ->add_option("subcommand", topic, "The subcommand to explain");
    // the man page and the bash completion the build installs, made from this help
    if (args.size() == 2 && (args[1] == "--man-page" || args[1] == "--bash-completion"))
        return kesto::cli::print(args[1] == "--man-page" ? kesto::cli::man_page(app) : kesto::cli::bash_completion(app))
                   ? kesto::cli::kExitOk
                   : kesto::cli::kExitUsage;
    if (!expand_patterns(app, args) || !kesto::cli::prepare_arguments(app, args)) return kesto::cli::kExitUsage;
    std::vector<std::string> reversed(args.rbegin(), args.rend() - (args.empty() ? 0 : 1));
    try {
        app.parse(reversed);
    } catch (const CLI::Success &e) {
        // --help, --help-all, --version
        std::ostringstream out;
        int code = app.exit(e, out);
        return kesto::cli::print(out.str()) ? code : kesto::cli::kExitUsage;
    } catch (const CLI::ParseError &e) {
        kesto::cli::complain(kesto::cli::parse_failure(app, e));
        return kesto::cli::kExitUsage;
    }
    return kesto::cli::exit_code();
}

}  // namespace

int main(int argc, char **argv) {
#if !defined(_WIN32)
    // A closed pipe on standard output is a failed write, handled where it
    // happens, not a signal that ends the program unannounced.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // Ctrl-C and the like end a writer cleanly: no lock or temporary left.
    tlsfile::clean_up_on_interrupt("kesto-tools-vericut");
    // Whatever escapes a subcommand still ends in one line and exit 2.
    try {
        return run(arguments(argc, argv));
    } catch (const std::bad_alloc &) {
        kesto::cli::complain("out of memory; nothing more was written");
    } catch (const std::exception &e) {
        kesto::cli::complain(std::string("stopped: ") + e.what());
    }
    return kesto::cli::kExitUsage;
}
