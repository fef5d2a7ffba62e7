// kesto-tools-vericut: the plug-in without the host.  Every subcommand runs
// the real plug-in library inside the simulated host, or works on the tool
// libraries it writes.
#include <csignal>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "tools/cli/program.h"
#include "tools/tlsfile/interrupt_cleanup.h"
#include "tools/tlsfile/input_file.h"

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
    for (int i = 0; wide && i < n; ++i) out.push_back(tlsfile::utf8_path(std::filesystem::path(wide[i])));
    LocalFree(wide);
    return out;
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
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
    std::unique_ptr<kesto::cli::Streams> streams = kesto::cli::process_streams();
    // Whatever escapes a subcommand still ends in one line and exit 2.
    try {
        return kesto::cli::run_program(arguments(argc, argv), *streams);
    } catch (const std::bad_alloc &) {
        streams->err_text("kesto-tools-vericut: out of memory; nothing more was written\n");
    } catch (const std::exception &e) {
        streams->err_text(std::string("kesto-tools-vericut: stopped: ") + e.what() + "\n");
    }
    return kesto::cli::kExitUsage;
}
