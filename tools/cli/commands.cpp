#include "tools/cli/commands.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include <CLI/CLI.hpp>

#include "host/sim/sim_host.h"
#include "tools/cli/inputs.h"
#include "tools/tlsfile/input_file.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <signal.h>
#  include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace kesto::cli {
namespace {

fs::path program_folder() {
#if defined(_WIN32)
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(n);
    return fs::path(path).parent_path();
#else
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path(".") : self.parent_path();
#endif
}

std::string plugin_from_environment() {
#if defined(_WIN32)
    const wchar_t *env = _wgetenv(L"KESTO_PLUGIN");
    return env && *env ? tlsfile::utf8_path(fs::path(env)) : std::string();
#else
    const char *env = std::getenv("KESTO_PLUGIN");
    return env ? env : "";
#endif
}

}  // namespace

void add_commands(CLI::App &app, Context &ctx) {
    for (auto add : {add_run_command, add_export_command, add_play_command, add_diff_command, add_merge_command,
                     add_find_command, add_check_command, add_fix_command, add_remove_command, add_rename_command,
                     add_extract_command, add_preview_command, add_sheet_command, add_catalog_command,
                     add_settings_command, add_git_setup_command})
        add(app, ctx);
}

void add_report_options(CLI::App *cmd, ReportOptions &options, const std::string &quiet_help) {
    cmd->add_flag("-q,--quiet", options.quiet, quiet_help);
    // the reference is installed as the man page, and is REFERENCE.txt in the Windows package
    cmd->add_flag("--json", options.json,
                  "Print one JSON object (its keys: see the reference, man kesto-tools-vericut; REFERENCE.txt in "
                  "the Windows package)");
}

std::function<void()> reported(Context &ctx, const ReportOptions &options, std::function<Result()> run) {
    return [&ctx, &options, run] {
        ctx.quiet = options.quiet;
        ctx.json = options.json;
        ctx.exit_code = show(ctx, run());
    };
}

std::string folder_cause(const std::string &folder, const std::error_code &ec) {
#if defined(_WIN32)
    // MAX_PATH less the closing backslash and NUL
    const size_t length = tlsfile::full_path(tlsfile::fs_path(folder)).native().size();
    if (length > MAX_PATH - 2)
        return cause_of(ec) + " (its path has " + std::to_string(length) + " characters; Windows takes at most " +
               std::to_string(MAX_PATH - 2) + " for the current folder)";
#else
    (void)folder;
#endif
    return cause_of(ec);
}

std::string plugin_path(const std::string &option) {
    if (!option.empty()) return absolute_path(option);
    std::string env = plugin_from_environment();
    if (!env.empty()) return absolute_path(env);
    return tlsfile::utf8_path(program_folder() / sim::default_plugin_name());
}

bool process_alive(unsigned long pid) {
#if defined(_WIN32)
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!h) return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process; else one not ours
    const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
#else
    return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH);
#endif
}

std::string page_date() {
    std::time_t now = std::time(nullptr);
    const char *fixed = std::getenv("SOURCE_DATE_EPOCH");
    bool utc = false;
    if (fixed && *fixed) {
        char *end = nullptr;
        const long long at = std::strtoll(fixed, &end, 10);
        if (end && *end == '\0' && at >= 0) now = static_cast<std::time_t>(at), utc = true;
    }
    std::tm parts{};
#if defined(_WIN32)
    if (utc) gmtime_s(&parts, &now);
    else localtime_s(&parts, &now);
#else
    if (utc) gmtime_r(&now, &parts);
    else localtime_r(&now, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, utc ? "%Y-%m-%d %H:%M UTC" : "%Y-%m-%d %H:%M", &parts);
    return text;
}

}  // namespace kesto::cli
