// What every command is handed, and the only state a command has beyond
// its own arguments: where its text goes (the program's standard streams,
// or strings in a test), what the user asked of the printing (-q, --json),
// how a writing command treats a file already at its output, and the
// errors and warnings said so far, which the --json object carries.
#ifndef KESTO_TOOLS_CLI_CONTEXT_H
#define KESTO_TOOLS_CLI_CONTEXT_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "tools/tlsfile/output_file.h"

namespace kesto::cli {

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;  // check: problems found; others: the job failed
constexpr int kExitUsage = 2;     // bad arguments, a bad input file, an output that may not be written
constexpr int kExitNoPlugin = 3;  // the plug-in library could not be loaded

// The program's standard input, output and error.
class Streams {
public:
    virtual ~Streams() = default;
    // Text for a person (UTF-8) on standard output: 0, or the cause of the
    // failure (EPIPE: the reader has gone).
    virtual int out_text(const std::string &utf8) = 0;
    // Bytes as they are (a library written to -o -).
    virtual int out_bytes(const std::string &bytes) = 0;
    virtual void err_text(const std::string &utf8) = 0;
    // Standard input whole: false, with error, when it cannot be read or
    // holds more than max_bytes.
    virtual bool read_in(size_t max_bytes, std::string &bytes, std::string &error) = 0;
    // --encoding utf-8: text to a pipe or a file as UTF-8 (Windows; text is
    // UTF-8 elsewhere anyway).
    virtual void set_utf8(bool utf8) = 0;
    // Whether JSON keeps every character beyond ASCII as \uXXXX: a Windows
    // pipe or file in a code page other than UTF-8.
    virtual bool ascii_json() const = 0;
};

// The process's own streams.  On Windows a console gets UTF-16, a pipe or a
// file text in the console's output code page (the OEM one without a
// console) unless UTF-8 is asked for ($KESTO_ENCODING too).
std::unique_ptr<Streams> process_streams();

// Streams of strings, for tests: what a command printed, and its input.
class StringStreams : public Streams {
public:
    std::string out, err, in;
    int out_text(const std::string &utf8) override;
    int out_bytes(const std::string &bytes) override;
    void err_text(const std::string &utf8) override;
    bool read_in(size_t max_bytes, std::string &bytes, std::string &error) override;
    void set_utf8(bool) override {}
    bool ascii_json() const override { return false; }
};

// How a command treats a file already at its output: --force replaces what
// it holds whatever it is, --backup keeps its old bytes first (NAME~, or
// NAME.~N~ numbered), --dry-run writes nothing and says what would change.
struct OutputPolicy {
    bool force = false;
    tlsfile::Backup backup = tlsfile::Backup::none;
    bool dry_run = false;
};

class Context {
public:
    explicit Context(Streams &streams) : streams_(streams) {}
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;

    Streams &streams() { return streams_; }

    // -q: no report and no warning; errors are still said, and --json's
    // object is still printed.
    bool quiet = false;
    bool json = false;
    // Help and the reference are for cmd.exe (Ctrl-Z ends input, examples
    // in double quotes): on Windows, and for the Windows package's
    // reference, which the native program prints.
#if defined(_WIN32)
    bool windows_texts = true;
#else
    bool windows_texts = false;
#endif
    OutputPolicy policy;
    // The code the program ends with: the command's.
    int exit_code = kExitOk;

    // "kesto-tools-vericut: WHAT" on standard error, always.
    void error(const std::string &what);
    // "kesto-tools-vericut: warning: WHAT" on standard error, unless quiet.
    void warn(const std::string &what);
    // Text on standard output; false, after saying why, when it cannot be
    // written.  A reader that has gone is no failure: nothing more is
    // written, and the command ends with the code its work deserves.
    bool print(const std::string &text);
    // A command's summary: on standard output, or on standard error when
    // the command's output (-o) is standard output; nothing when quiet.
    bool tell(const std::string &text, bool output_is_stdout);
    // Bytes on standard output as they are: 0, or the cause of the failure.
    int write_bytes(const std::string &bytes);
    bool stdout_closed() const { return stdout_closed_; }

    const std::vector<std::string> &errors() const { return errors_; }
    const std::vector<std::string> &warnings() const { return warnings_; }

private:
    Streams &streams_;
    bool stdout_closed_ = false;
    std::vector<std::string> errors_, warnings_;
};

// Text for a terminal: every control byte but the line end shown as
// "\x1B", but for the colour codes the program's own painting writes.
std::string terminal_safe(const std::string &text);

}  // namespace kesto::cli

#endif
