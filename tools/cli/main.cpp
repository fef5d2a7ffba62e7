// kesto-tools-vericut: the plug-in without the host.  Every subcommand runs
// the real plug-in library inside the simulated host.
#include <csignal>
#include <cstdio>
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
    for (int i = 0; wide && i < n; ++i) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(bytes > 0 ? static_cast<size_t>(bytes) : 1, '\0');
        if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &arg[0], bytes, nullptr, nullptr);
        arg.pop_back();  // the terminating NUL
        out.push_back(arg);
    }
    LocalFree(wide);
    return out;
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
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
    app.footer("Run kesto-tools-vericut help SUBCOMMAND (or SUBCOMMAND --help) for its details and examples. "
               "A file named - is standard input or output; write ./- for a file of that name.");
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
    if (!kesto::cli::prepare_arguments(app, args)) return kesto::cli::kExitUsage;
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
