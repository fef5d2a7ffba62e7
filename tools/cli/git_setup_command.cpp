// kesto-tools-vericut git-setup [--global]: tool libraries kept in git,
// merged and compared record by record.  Sets git's merge driver and diff
// command to this program (git config) and marks *.tls files for them
// (.gitattributes), then prints what it did.
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <CLI/CLI.hpp>

#include "tools/cli/commands.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/input_file.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <spawn.h>
#  include <sys/wait.h>
#  include <unistd.h>
extern char **environ;
#endif

namespace fs = std::filesystem;

namespace kesto::cli {
namespace {

constexpr char kAttributes[] = "*.tls merge=kesto-tls diff=kesto-tls";

struct GitSetupArgs {
    bool global = false;
    ReportOptions report;
};

// What git config is given, in order: name and value.
const std::vector<std::pair<std::string, std::string>> &settings() {
    static const std::vector<std::pair<std::string, std::string>> list = {
        {"merge.kesto-tls.name", "tool libraries, record by record"},
        {"merge.kesto-tls.driver", "kesto-tools-vericut merge --git %O %A %B %P"},
        {"diff.kesto-tls.command", "kesto-tools-vericut diff --git"},
        // git log -p shows a line diff, not the external one: of the library
        // as UTF-8 text, each hunk headed by its record's TOOLID line
        {"diff.kesto-tls.textconv", "kesto-tools-vericut diff --git"},
        {"diff.kesto-tls.xfuncname", "^TOOLID .*$"},
    };
    return list;
}

// Runs git with args, waiting for it: its exit code, its standard output in
// out; -1 when it cannot be started.
int run_git(const std::vector<std::string> &args, std::string &out) {
    out.clear();
#if defined(_WIN32)
    // the command line as the C runtime splits it back: each argument in
    // double quotes, a quote inside escaped
    std::wstring line = L"git";
    for (const std::string &a : args) {
        line += L" \"";
        for (wchar_t c : tlsfile::fs_path(a).wstring()) line += c == L'"' ? std::wstring(L"\\\"") : std::wstring(1, c);
        line += L"\"";
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return -1;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = write_end;
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process);
    CloseHandle(write_end);
    if (!started) {
        CloseHandle(read_end);
        return -1;
    }
    char piece[4096];
    DWORD n = 0;
    while (ReadFile(read_end, piece, sizeof piece, &n, nullptr) && n > 0) out.append(piece, n);
    CloseHandle(read_end);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(code);
#else
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    std::vector<std::string> all = {"git"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, "git", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (failed == 0) {
        char piece[4096];
        ssize_t n;
        while ((n = read(pipe_fds[0], piece, sizeof piece)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0) out.append(piece, static_cast<size_t>(n));
    }
    close(pipe_fds[0]);
    if (failed != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
#endif
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// The attributes file the lines go to: the repository's .gitattributes, or
// for --global git's own (core.attributesFile, else its default).
bool attributes_file(Context &ctx, bool global, std::string &file) {
    std::string out;
    if (!global) {
        if (run_git({"rev-parse", "--show-toplevel"}, out) != 0) {
            ctx.error("git-setup: this folder is in no git repository (git init makes one; --global sets up every "
                      "repository of yours)");
            return false;
        }
        file = trimmed(out) + "/.gitattributes";
        return true;
    }
    if (run_git({"config", "--global", "--path", "core.attributesFile"}, out) == 0 && !trimmed(out).empty()) {
        file = trimmed(out);
        return true;
    }
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    const char *home = std::getenv(
#if defined(_WIN32)
        "USERPROFILE"
#else
        "HOME"
#endif
    );
    if ((!xdg || !*xdg) && (!home || !*home)) {
        ctx.error("git-setup --global: neither XDG_CONFIG_HOME nor the home folder is set, so git's attributes file "
                  "cannot be found");
        return false;
    }
    file = (xdg && *xdg ? std::string(xdg) : std::string(home) + "/.config") + "/git/attributes";
    return true;
}

Result run_git_setup(const GitSetupArgs &args, Context &ctx) {
    Result result;
    result.object = {{"global", args.global}, {"config", json::array()}, {"attributes", nullptr}};
    result.code = kExitUsage;
    std::string out, file;
    if (run_git({"--version"}, out) != 0) {
        ctx.error("git-setup: git cannot be started; install git (Git for Windows) and run it again");
        return result;
    }
    if (!attributes_file(ctx, args.global, file)) return result;
    for (const auto &[name, value] : settings()) {
        std::vector<std::string> call = {"config"};
        if (args.global) call.push_back("--global");
        call.insert(call.end(), {name, value});
        if (run_git(call, out) != 0) {
            ctx.error("git-setup: git config " + name + " failed; nothing more was set");
            result.code = kExitProblems;
            return result;
        }
        result.text += std::string("git config ") + (args.global ? "--global " : "") + name + " \"" + value + "\"\n";
        result.object["config"].push_back({{"name", name}, {"value", value}});
    }
    // the attributes line, once
    std::string text, error;
    const bool there = fs::exists(tlsfile::fs_path(file));
    if (there && !tlsfile::read_input_file(file, size_t(1) << 20, true, text, error)) {
        ctx.error("git-setup: cannot read " + error);
        result.code = kExitProblems;
        return result;
    }
    if (text.find(kAttributes) == std::string::npos) {
        std::error_code ec;
        fs::create_directories(tlsfile::fs_path(file).parent_path(), ec);
        std::ofstream attributes(tlsfile::fs_path(file), std::ios::app | std::ios::binary);
        attributes << (text.empty() || text.back() == '\n' ? "" : "\n") << kAttributes << "\n";
        if (!attributes.flush()) {
            ctx.error("git-setup: " + file + ": cannot be written");
            result.code = kExitProblems;
            return result;
        }
        result.text += "echo \"" + std::string(kAttributes) + "\" >> " + shown(file) + "\n";
    } else {
        result.text += shown(file) + " marks *.tls files already\n";
    }
    result.object["attributes"] = file;
    result.code = kExitOk;
    return result;
}

}  // namespace

void add_git_setup_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<GitSetupArgs>();
    CLI::App *cmd = app.add_subcommand("git-setup");
    describe(cmd, "Set git up to merge and compare tool libraries record by record",
             "Run in a git repository, it sets the repository's git config to use this program as the merge "
             "driver and the diff command of *.tls files, and adds the line \"*.tls merge=kesto-tls "
             "diff=kesto-tls\" to the repository's .gitattributes (once); with --global, the same for every "
             "repository of yours (git config --global, and git's own attributes file). It prints each setting "
             "as the git command that makes it. The program must be on PATH for git to find it.\n\n"
             "Then git merge merges a library's two branches record by record with the version they share "
             "(merge --git): a conflict leaves a whole library holding our side and is named; git diff and "
             "git log -p show what changed tool by tool (diff --git).\n\n"
             "Exit 0 when set up, 1 when git refused a setting or the attributes file could not be written, 2 "
             "when git cannot be started or this is no repository.",
             {{"git-setup", "in the repository of the site's library"},
              {"git-setup --global", "for every repository of yours"}});
    cmd->add_flag("--global", args->global, "Set up git for every repository of yours, not just this one");
    add_report_options(cmd, args->report);
    cmd->callback(reported(ctx, args->report, [args, &ctx] { return run_git_setup(*args, ctx); }));
}

}  // namespace kesto::cli
