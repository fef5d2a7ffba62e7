// The one way a command's output reaches a file or standard output: the
// output checked (its kind by its extension, never one of the inputs), what
// is there judged record by record, then written whole with its backup, or
// with --dry-run only said.  The plan a dry run shows is made by the code
// that then writes.
#ifndef KESTO_TOOLS_CLI_OUTPUTS_H
#define KESTO_TOOLS_CLI_OUTPUTS_H

#include <string>
#include <utility>
#include <vector>

#include "tools/cli/cli11_fwd.h"

#include "tools/cli/printer.h"
#include "tools/tlsfile/output_file.h"
#include "tools/tlsfile/output_guard.h"

namespace kesto::cli {

// A file output of a command.
struct Output {
    Output() = default;
    Output(std::string path_, tlsfile::OutputKind kind_, std::vector<std::string> inputs_, std::string writer_,
           std::string command_)
        : path(std::move(path_)), kind(kind_), inputs(std::move(inputs_)), writer(std::move(writer_)),
          command(std::move(command_)) {}

    std::string path;  // "-": standard output
    tlsfile::OutputKind kind = tlsfile::OutputKind::library;
    std::vector<std::string> inputs;           // files it must not be
    const tlsfile::OutputLock *lock = nullptr;  // held by the caller, or taken here
    std::string ways;                          // what else the user may do, after a refusal
    std::string writer = "the new library";    // what makes the content, as a refusal names it
    std::string command;                       // what writes it, as the extension's refusal names it
    // An edit of the file itself: the records it drops are what was asked
    // for, not refused as another output's would be.
    bool replaces_itself = false;
    // Any name takes it (an edit of the file itself, git's merge driver
    // writing into git's temporaries).
    bool any_name = false;
    // What the command writes, as a refusal of the extension names it: by
    // default the kind and its extensions.
    std::string formats;
};

// The extensions an output of kind takes, the first the usual one:
// ".tls", ".svg", ".html"/".htm", ".csv", and for transcripts ".txt",
// ".log" or ".json".
const std::vector<std::string> &extensions_of(tlsfile::OutputKind kind);
// Whether path's extension (in any case) is one of exts.
bool has_extension(const std::string &path, const std::vector<std::string> &exts);

// Whether out may be written at all: standard output always; a file when
// check_output_target allows it and its extension is one its kind takes (a
// library already there also under another name).  False, after saying why.
bool check_output(Context &ctx, const Output &out);

// What writing content to out does, record by record: the plan a dry run
// shows, and that a write follows.
struct OutputPlan {
    std::string label;  // the file, or "standard output"
    tlsfile::OutputKind kind = tlsfile::OutputKind::library;
    bool to_stdout = false;
    bool exists = false;
    bool unreadable = false;  // what is there cannot be read, so not judged (why in replacement.why)
    bool replaces_itself = false;
    const std::string *content = nullptr;
    tlsfile::ReplacementPlan replacement;
    // records the command itself refuses (a dry run lists them): TOOLID, why
    std::vector<std::pair<std::string, std::string>> refused_records;
    // Why the file may not be replaced (unless forced), or empty.
    std::string refusal() const;
    // Whether what is there is a library judged record by record.
    bool records() const;
};

// Takes out's lock (unless held, then own holds it), reads what is there
// and judges writing content over it.  False, after saying why, when the
// lock cannot be taken.
bool plan_output(Context &ctx, const Output &out, const std::string &content, tlsfile::OutputLock &own,
                 OutputPlan &plan);

// --dry-run: the plan as text and into the object's "plan", with the
// records the command itself would refuse; nothing is written.  The exit
// code: 0 when nothing would change, kExitProblems when something would or
// would be refused, kExitUsage when the output cannot be judged.
int dry_run(Context &ctx, const Output &out, const std::string &content,
            const std::vector<std::pair<std::string, std::string>> &refused_records, Result &result);

// What write_output did.
struct Written {
    OutputPlan plan;
    tlsfile::Written file;
    bool backup_asked = false;
};

// Writes content to out: for "-" the bytes as they are; for a file its
// lock (unless held), what is there judged (a file not of the output's
// kind, or a library holding a TOOLID the new one lacks, refused unless
// forced), then tlsfile::write_output_file with the policy's backup.  0
// when written; kExitUsage when refused; kExitProblems when it could not be
// written, after saying why and what became of the file.
int write_output(Context &ctx, const Output &out, const std::string &content, Written &written);
// write_output for a command's result: when written, the --json object's
// "written" (false when the file already held these bytes) and
// "replacement".
int write_result(Context &ctx, const Output &out, const std::string &content, Written &written, Result &result);

// What a report says of a file written: "replaced SITE.tls: 1 record
// changed ("BN16_R2"), 12 the same", where the backup went, or that the
// file is unchanged; a line each, empty when nothing was there.
std::string replacement_text(const Written &written);
// The same for the --json object: {file, changed, added, same, removed,
// header_changed, backup, unchanged}, or null when nothing was there.
json replacement_json(const Written &written);

// What a failed command says of its output: "PATH is left as it was", or
// "PATH is not written; no such file existed".
std::string left_as_it_was(const std::string &path);

// --force, --backup[=numbered] and --dry-run of a writing command.
struct OutputOptions {
    bool force = false;
    std::string backup;
    bool dry_run = false;
};
void add_force_option(CLI::App *cmd, OutputOptions &options, const std::string &description);
void add_backup_option(CLI::App *cmd, OutputOptions &options);
void add_dry_run_option(CLI::App *cmd, OutputOptions &options);
// The policy of the options: false, after saying so, for a --backup value
// that is neither simple nor numbered.
bool set_policy(Context &ctx, const OutputOptions &options);

}  // namespace kesto::cli

#endif
