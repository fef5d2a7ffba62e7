// Subcommands of kesto-tools-vericut.  Each subcommand's file registers
// itself with a CommandRegistrar, so adding one touches no other file.
#ifndef KESTO_TOOLS_CLI_COMMANDS_H
#define KESTO_TOOLS_CLI_COMMANDS_H

#include <cstddef>
#include <string>
#include <system_error>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "tools/tlsfile/output_file.h"
#include "tools/tlsfile/output_guard.h"

namespace kesto::cli {

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;  // check: problems found; others: the job failed
constexpr int kExitUsage = 2;     // bad arguments, a bad input file, an output that may not be written
constexpr int kExitNoPlugin = 3;  // the plug-in library could not be loaded

struct CommandRegistrar {
    using Add = void (*)(CLI::App &app);
    CommandRegistrar(int order, Add add);
};

void add_commands(CLI::App &app);

struct Example {
    const char *command;  // after the program's name
    const char *meaning;
};

// A subcommand's help: the summary is its one line in the list of
// subcommands; its own help adds the details (paragraphs apart by blank
// lines) and the examples.
void describe(CLI::App *cmd, const std::string &summary, const std::string &details,
              const std::vector<Example> &examples);

// The code main() returns, set by the subcommand that ran.
int exit_code();
void set_exit_code(int code);

// The plug-in library: the --plugin option when given, else $KESTO_PLUGIN,
// else the library beside this program; as an absolute path, so that it
// names the same file after a change of folder.
std::string plugin_path(const std::string &option);

// The tools of a part or session file's text (label names it) as export
// writes them (the plug-in's all-tools export, checked as export checks
// it), into library.  0, or after saying why, 2 (the part cannot be
// exported) or 3 (no plug-in).
int export_part_text(const std::string &label, const std::string &part, const std::string &plugin,
                     std::string &library);

// The name export gives a part's library, without its extension: the
// part's name (Windows-1251 bytes) without folder and extension, with '/'
// or '\' (or a drive's ':') before it, as the host names parts on either
// system; "tools" when nothing is left.
std::string part_stem(const std::string &raw_name);

// The name a member's TOOLID has in the library: the plug-in writes a
// double quote as '|' and a control character as a blank.
std::string written_name(std::string name);

// The tools of an input (- for standard input) that is a tool library,
// or a part or session file exported first as export_part_text does: the
// library's text, and for a part its JSON in part (else part is empty).
// 0, or after saying why, 2 (unreadable, neither, not exported) or 3.
int read_tools_input(const std::string &path, const std::string &plugin, std::string &library, std::string &part);

// A UTF-8 path made absolute against the current folder.
std::string absolute_path(const std::string &path);

// Why a folder cannot be made the current one: the system's cause, and on
// Windows, for a path beyond what a current folder may have there, that limit.
std::string folder_cause(const std::string &folder, const std::error_code &ec);

// Whether a process of that id runs (one of another user counts).
bool process_alive(unsigned long pid);

// A file name (UTF-8) for a line of output: control bytes (a line break)
// escaped ("\x0A"), as check shows them, so that it stays on its line.
std::string shown_name(const std::string &utf8);

// When a page is made, for its head: "2026-12-09 19:30" local time, or,
// with SOURCE_DATE_EPOCH set (a build that must give the same bytes), that
// time in UTC.
std::string page_date();

// A TOOLID (Windows-1251 bytes) in double quotes, as UTF-8 for reports,
// control bytes escaped ("\x1B").
std::string quoted_toolid(const std::string &raw);

// "A" (line 4), "B" (line 9), ... of at most a few TOOLIDs, with how many more.
std::string listed_toolids(const std::vector<tlsfile::ListedTool> &tools);

// "1 tool", "3 tools": n and the word for it.
std::string count(size_t n, const char *one, const char *many);

// Prints "kesto-tools-vericut: <what>" to standard error.
void complain(const std::string &what);

// -q/--quiet: warnings and summaries are left out, errors are still said.
void set_quiet(bool quiet);
bool quiet();

// --encoding and $KESTO_ENCODING: whether text to a pipe or a file is UTF-8
// (utf-8) or, the default, in the console's code page (Windows; elsewhere
// text is UTF-8 anyway).
void set_utf8_output(bool utf8);
bool utf8_output();

// Prints "kesto-tools-vericut: warning: <what>" to standard error unless
// quiet.  Warnings and complaints are kept for the --json object.
void warn(const std::string &what);

// Writes text (UTF-8) to standard output and flushes it; a Windows console
// gets it as UTF-16.  False when that failed (a full disk, a closed file),
// after saying so with the cause.  A reader that has gone (a closed pipe)
// is no failure: nothing more is written, and the command ends with the
// status its work deserves.
bool print(const std::string &text);
// Writes UTF-8 text to a file descriptor: a Windows console gets it as
// UTF-16, anything else the bytes.  False when the write failed.
bool write_text(int fd, const std::string &text);

// A command's summary for the user: on standard output, or on standard
// error when its output (-o) is standard output; nothing when quiet.
bool tell(const std::string &text, const std::string &output);

// Whether standard output's reader has gone.
bool stdout_closed();

// Prints a command's --json object, with the "errors" and "warnings" said
// so far added to it.
bool print_json(nlohmann::ordered_json object);

// "-" in place of a file name: standard input for an input, standard output
// for an output.  A file of that name is "./-".
bool is_standard_stream(const std::string &path);
// An input as reports name it: its path, or "(standard input)".
std::string input_label(const std::string &path);
// An output as reports name it: its path, or "standard output".
std::string output_label(const std::string &path);
// False, after saying so, when standard input is named more than once.
bool standard_input_once(const std::vector<std::string> &paths);

// Reads an input file whole (tlsfile::read_input_file, regular files only),
// or standard input for "-", up to max_bytes.
bool read_input(const std::string &path, size_t max_bytes, std::string &text, std::string &error);

// The paths of a list that name files, not standard streams.
std::vector<std::string> files_only(const std::vector<std::string> &paths);
// Writes bytes to standard output as they are: 0, or the cause of the failure.
int write_stdout_bytes(const std::string &content);

// Whether path may take an output at all (tlsfile::check_output_target;
// "-", standard output, always may).
bool check_output(const std::string &path, const std::vector<std::string> &inputs, std::string &error);

// How a command treats a file already at its output: --force replaces what
// it holds whatever it is, --backup keeps its old bytes first (NAME~, or
// NAME.~N~ numbered), --dry-run writes nothing and says what would change.
struct OutputPolicy {
    bool force = false;
    enum class Backup { none, simple, numbered } backup = Backup::none;
    bool dry_run = false;
};
void set_output_policy(const OutputPolicy &policy);
// The policy of a command's --force, --backup and --dry-run; false, after
// saying so, for a --backup value that is neither simple nor numbered.
bool set_output_policy(bool force, const std::string &backup = "", bool dry_run = false);
const OutputPolicy &output_policy();
// --backup[=numbered] on a command that replaces tool libraries; the
// value goes to text ("" when not given), read by backup_mode.
void add_backup_option(CLI::App *cmd, std::string &text);
// --dry-run on a command that writes tool libraries.
void add_dry_run_option(CLI::App *cmd, bool &flag);
// False, after saying so, for a --backup value that is neither "simple"
// nor "numbered".
bool backup_mode(const std::string &text, OutputPolicy::Backup &mode);

// A file output of a command.
struct Output {
    std::string path;  // "-": standard output
    tlsfile::OutputKind kind;
    std::vector<std::string> inputs;   // files it must not be
    const tlsfile::OutputLock *lock;   // held by the caller, or taken here
    std::string ways;    // appended to a refusal: what else the user may do
    std::string writer;  // what makes the content, as a refusal names it
    Output(std::string path_, tlsfile::OutputKind kind_, std::vector<std::string> inputs_ = {},
           const tlsfile::OutputLock *lock_ = nullptr, std::string ways_ = "",
           std::string writer_ = "the new library")
        : path(std::move(path_)), kind(kind_), inputs(std::move(inputs_)), lock(lock_), ways(std::move(ways_)),
          writer(std::move(writer_)) {}
};

// The outputs' one way out: for a file, its lock (unless held), then what is
// there judged (tlsfile::plan_replacement): a file that is not of the
// output's kind, or a library holding a TOOLID the new one lacks, is
// refused unless forced; then the backup, when asked for; then
// tlsfile::write_output_file, whole or not at all.  For "-", standard
// output, the bytes as they are.  0 when written; kExitUsage when refused
// (error names --force); kExitProblems when it could not be written.
int write_output(const Output &out, const std::string &content, std::string &error);

// After write_output replaced a file: "replaced SITE.tls: 1 record changed
// ("BN16_R2"), 12 the same" and where the backup went, a line each; empty
// when nothing was there.  Taken once.
std::string replacement_note();
// The same for the --json object: {file, changed, added, same, backup} or
// null when nothing was replaced.
nlohmann::ordered_json replacement_object();

// --dry-run: judges content against what is at out.path (under its lock)
// and prints, per TOOLID, what would be added, replaced, kept, removed or
// refused; nothing is written.  Records a command would refuse are given
// beforehand with dry_run_refuse.  With object, the same goes into it as
// "plan".  0 when nothing would change, kExitProblems when something would
// (or would be refused), kExitUsage when the file cannot be judged.
void dry_run_refuse(const std::string &toolid, const std::string &why);
int dry_run(const Output &out, const std::string &content, nlohmann::ordered_json *object);

// What a failed command says of its output: "PATH is left as it was", or
// "PATH is not written; no such file existed".
std::string left_as_it_was(const std::string &path);

}  // namespace kesto::cli

#endif
