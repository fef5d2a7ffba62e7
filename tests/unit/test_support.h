// Shared test helpers: sessions run in a temporary folder, transcripts
// searched by kind.
#ifndef KESTO_TESTS_UNIT_TEST_SUPPORT_H
#define KESTO_TESTS_UNIT_TEST_SUPPORT_H

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "host/sim/sim_host.h"

namespace testing_support {

// A fresh temporary folder that the test works in (made current while the
// object lives) and that is removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
    std::string previous_;
};

// Parses the JSON text as a session and runs it with the native plug-in in
// the current folder (creating the session's files first).
sim::RunResult run_json(const std::string &json_text);
sim::RunResult run(sim::Session &session);

// All the text of one kind of event, joined (stdout, listing, syslog, ...).
std::string joined(const sim::RunResult &r, sim::Event::Kind kind);
// The events of one kind.
std::vector<sim::Event> of_kind(const sim::RunResult &r, sim::Event::Kind kind);

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &content);
bool file_exists(const std::string &path);

// Runs a command line; its standard output in out, its exit code returned.
int run_command(const std::string &command, std::string &out);

// How often what occurs in text (overlaps counted).
size_t occurrences(const std::string &text, const std::string &what);

// Polls done until it holds or the deadline has passed; whether it held.
// Tests wait with it for what they expect instead of sleeping.
bool wait_until(const std::function<bool()> &done,
                std::chrono::milliseconds deadline = std::chrono::seconds(20));

// The text with each LF turned into CR LF, as the Windows text streams write it.
std::string crlf(const std::string &lf);

// The Win32 build folder (the real DLL), or empty.
std::string win32_dir();

// The Windows build whose programs the Wine tests run: the Win32 build, or
// a 64-bit one on a machine that cannot run 32-bit programs.  Empty when
// there is none.
std::string wine_dir();

// The command that starts a Windows program of that build: the build
// folder's wine/wine (scripts/wine32.sh), or Wine as it is.
std::string wine_command();

// The Wine prefix those programs run in (made when missing).
std::string wine_prefix();

// An absolute POSIX path as Wine's Z: drive names it.
std::string wine_path(const std::string &path);

// The program run in this process: its exit code and what it wrote.
struct ProgramRun {
    int code = -1;
    std::string out, err;
};
// On a command line split at blanks (a word in '' may hold blanks),
// standard input in.
ProgramRun program(const std::string &line, const std::string &in = "");
// On these arguments after the program's name.
ProgramRun program_args(const std::vector<std::string> &args);

// Windows-1251 bytes as UTF-8.
std::string utf8(const std::string &cp1251);

}  // namespace testing_support

#endif
