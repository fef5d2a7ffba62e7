#include "tests/unit/test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "host/common/cp1251.h"
#include "tools/cli/program.h"

namespace testing_support {

TempDir::TempDir() {
    char tmpl[] = "/tmp/kesto-test-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) previous_ = cwd;
    if (chdir(path_.c_str()) != 0) throw std::runtime_error("chdir failed");
}

TempDir::~TempDir() {
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::perror("chdir");
    std::string cmd = "rm -rf '" + path_ + "'";
    if (std::system(cmd.c_str()) != 0) std::perror("rm");
}

sim::RunResult run(sim::Session &session) {
    sim::create_session_files(session);
    sim::RunOptions options;
    options.plugin_path = KESTO_PLUGIN_PATH;
    return sim::run_session(session, options);
}

sim::RunResult run_json(const std::string &json_text) {
    sim::Session session = sim::parse_session(json_text, "test session");
    return run(session);
}

std::string joined(const sim::RunResult &r, sim::Event::Kind kind) {
    std::string out;
    for (const sim::Event &e : r.events)
        if (e.kind == kind)
            for (const std::string &t : e.texts) out += t;
    return out;
}

std::vector<sim::Event> of_kind(const sim::RunResult &r, sim::Event::Kind kind) {
    std::vector<sim::Event> out;
    for (const sim::Event &e : r.events)
        if (e.kind == kind) out.push_back(e);
    return out;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool file_exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

int run_command(const std::string &command, std::string &out) {
    out.clear();
    FILE *p = popen(command.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t occurrences(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

bool wait_until(const std::function<bool()> &done, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    auto pause = std::chrono::milliseconds(1);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));  // quick at first, cheap later
    }
    return true;
}

std::string crlf(const std::string &lf) {
    std::string out;
    for (char c : lf) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string win32_dir() {
    if (const char *env = std::getenv("KESTO_WIN32_DIR"); env && *env) return env;
    return KESTO_WIN32_DIR;
}

std::string wine_dir() {
    if (const char *env = std::getenv("KESTO_WINE_DIR"); env && *env) return env;
    if (*KESTO_WINE_DIR) return KESTO_WINE_DIR;
    return win32_dir();
}

std::string wine_command() {
    std::string command = KESTO_WINE;
    if (const char *env = std::getenv("KESTO_WINE"); env && *env) command = env;
    // the Windows program's text in UTF-8, as the native build's, to compare
    if (command.empty()) return "KESTO_ENCODING=utf-8 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' wine";
    return "KESTO_ENCODING=utf-8 '" + command + "'";
}

std::string wine_prefix() {
    const char *command = std::getenv("KESTO_WINE");
    const char *env = std::getenv("WINEPREFIX");
    std::string prefix;
    if (*KESTO_WINE_PREFIX && (!command || !*command || command == std::string(KESTO_WINE)))
        prefix = KESTO_WINE_PREFIX;  // the build folder's own, which its wine/wine uses
    else if (env && *env)
        prefix = env;
    else
        prefix = std::string(std::getenv("HOME") ? std::getenv("HOME") : "") + "/.wine";
    std::string ignored;
    if (!file_exists(prefix + "/dosdevices")) run_command(wine_command() + " cmd /c exit >/dev/null 2>&1", ignored);
    return prefix;
}

std::string wine_path(const std::string &path) {
    std::string s = "Z:" + path;
    for (char &c : s)
        if (c == '/') c = '\\';
    return s;
}

namespace {

ProgramRun run_in_process(std::vector<std::string> args, const std::string &in) {
    args.insert(args.begin(), "kesto-tools-vericut");
    kesto::cli::StringStreams streams;
    streams.in = in;
    ProgramRun r;
    r.code = kesto::cli::run_program(args, streams);
    r.out = streams.out;
    r.err = streams.err;
    return r;
}

}  // namespace

ProgramRun program_args(const std::vector<std::string> &args) { return run_in_process(args, ""); }

ProgramRun program(const std::string &line, const std::string &in) {
    std::vector<std::string> args;
    for (size_t at = 0; at < line.size();) {
        if (line[at] == ' ') {
            ++at;
            continue;
        }
        const bool quoted = line[at] == '\'';
        const size_t end = quoted ? line.find('\'', at + 1) : line.find(' ', at);
        args.push_back(line.substr(at + quoted, (end == std::string::npos ? line.size() : end) - at - quoted));
        at = end == std::string::npos ? line.size() : end + 1;
    }
    return run_in_process(args, in);
}

std::string utf8(const std::string &cp1251) { return kesto::cp1251_to_utf8(cp1251); }

}  // namespace testing_support
