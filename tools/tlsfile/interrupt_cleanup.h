// What an interrupted writer leaves behind, removed before it ends: Ctrl-C,
// Ctrl-Break or a request to end (SIGTERM, SIGHUP) end the program cleanly.
// Every library this process holds the lock of is known here; on an
// interrupt its lock file and the temporaries this process made beside it
// (its "NAME.~kesto-PROCESS-N.tmp" files and folders) are removed, no
// library is replaced from then on, and the program ends with the
// conventional code (130 after Ctrl-C).  A library is replaced only while
// no interrupt is being handled, so it is either the old file or the new,
// never half of one.
#ifndef KESTO_TOOLS_TLSFILE_INTERRUPT_CLEANUP_H
#define KESTO_TOOLS_TLSFILE_INTERRUPT_CLEANUP_H

#include <filesystem>
#include <functional>

namespace tlsfile {

// Sets up the handling; the program calls it once, early, with its name,
// which starts the line it says on an interrupt ("NAME: interrupted; X.tls
// is left as it was", or "X.tls was replaced whole" when the interrupt came
// after the new library took its name).
void clean_up_on_interrupt(const char *program);

// While held: file (its lock taken by this process, lock_file the lock's
// own file under the name the lock gave it) is cleaned up after.
void guard_library(const std::filesystem::path &file, const std::filesystem::path &lock_file);
void unguard_library(const std::filesystem::path &file);

// Runs replace (which puts a library in place, or makes a temporary beside
// one) while no interrupt's clean-up may start; after one has started, it
// never runs (the program ends first).  Its result; when it is true and
// library (a guarded file) is given, library counts as replaced from then
// on, which is what an interrupt then says of it.
bool replace_unless_interrupted(const std::function<bool()> &replace, const std::filesystem::path &library = {});

// A point where a test may interrupt a writer: when $KESTO_INTERRUPT_AT
// names step ("locked", "written", "replaced"), the process interrupts
// itself there (SIGINT) and waits for the clean-up to end it, so that each
// step's clean-up and message can be seen.  Nothing otherwise, and nothing
// on Windows.
void interrupt_point(const char *step);

// This process's id, as its temporaries' names carry it.
unsigned long own_process_id();

// The exit code for an interrupt by signal (POSIX numbers; 2 is Ctrl-C).
int interrupt_exit_code(int signal_number);

}  // namespace tlsfile

#endif
