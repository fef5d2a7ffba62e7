#include "tools/cli/commands.h"

#include <cstdlib>
#include <iostream>
#include <map>

#include "host/sim/sim_host.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <unistd.h>
#endif

namespace kesto::cli {
namespace {

std::multimap<int, CommandRegistrar::Add> &registry() {
    static std::multimap<int, CommandRegistrar::Add> r;
    return r;
}

int g_exit_code = kExitOk;

std::string program_folder() {
#if defined(_WIN32)
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n);
    size_t slash = p.find_last_of("\\/");
#else
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string p(path, n > 0 ? static_cast<size_t>(n) : 0);
    size_t slash = p.find_last_of('/');
#endif
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

}  // namespace

CommandRegistrar::CommandRegistrar(int order, Add add) { registry().emplace(order, add); }

void add_commands(CLI::App &app) {
    for (auto &[order, add] : registry()) add(app);
}

int exit_code() { return g_exit_code; }
void set_exit_code(int code) { g_exit_code = code; }

std::string plugin_path(const std::string &option) {
    if (!option.empty()) return option;
    if (const char *env = std::getenv("KESTO_PLUGIN"); env && *env) return env;
#if defined(_WIN32)
    return program_folder() + "\\" + sim::default_plugin_name();
#else
    return program_folder() + "/" + sim::default_plugin_name();
#endif
}

int process_id() {
#if defined(_WIN32)
    return static_cast<int>(GetCurrentProcessId());
#else
    return static_cast<int>(getpid());
#endif
}

void complain(const std::string &what) { std::cerr << "kesto-tools-vericut: " << what << "\n"; }

}  // namespace kesto::cli
