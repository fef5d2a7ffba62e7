// What every writer of a tool library shares, the plug-in and the
// command-line tool alike, so that two of them never write one file at once:
//
// - One writer at a time per file, whatever path names it: a lock file
//   beside it, locked with the system's own file locks (an open-file-
//   description fcntl lock on POSIX, LockFileEx on Windows, which Wine keeps
//   as an fcntl lock on the same Unix file), which reach network shares and
//   which the system drops when the holder dies.
//   Its name is "NAME.~kesto-lock", NAME being the file's name as the folder
//   stores it, folded to small letters.  The folder does not matter: any
//   spelling of it ("..", links, letter case) reaches the same folder, and
//   the lock file is an entry of that folder.  Links to the file itself are
//   followed by the callers.  What remains is the name: Windows finds a
//   file under another letter case, its short 8.3 name or with dots and
//   blanks at the end, and a native view of the same folder (Wine, a share)
//   takes the name byte for byte.  The stored name (FindFirstFileW) undoes
//   the short name and the trailing dots; folding letter case (ASCII,
//   Latin-1 and Cyrillic letters, in both builds alike) makes "SITE.TLS" and
//   "site.tls" one lock also for a file that does not exist yet, which
//   Windows and a native writer may each still create under its own case.
//   Two files on a case-sensitive file system whose names differ only in
//   letter case share a lock: their writers take turns, nothing worse.
// - The lock file is opened without following a link, and only an empty
//   plain file with no other name is taken as one; anything else of that
//   name is refused, named, and left as it is.
// - The lock leaves the folder before it is let go: its holder renames it
//   to a temporary name (below), then unlocks, closes and deletes it, so
//   that no second writer can lock a file that is still in the folder and
//   about to go.  Whoever locks a lock file checks that its name still
//   names the file locked (POSIX: fstat against lstat; Windows: the file
//   id), and tries again when not.
// - One name pattern for what a writer puts beside the file while it works,
//   "NAME.~kesto-PROCESS-N.tmp" (a temporary file, or an export's scratch
//   folder, whose own temporaries extend the name again).  Whoever takes the
//   lock removes what a killed writer of that file left, and nothing else.
// - One rule of which files may be replaced, judged by the file's mode bits
//   for its owner (root is no exception) or Windows' read-only attribute.
//
// Paths are the file system's own: UTF-8 bytes on POSIX, UTF-16 on Windows.
#ifndef KESTO_HOST_COMMON_LIBRARY_WRITER_H
#define KESTO_HOST_COMMON_LIBRARY_WRITER_H

#include <string>

#include "src/shared_facts.h"

namespace kesto {

#if defined(_WIN32)
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif

// How long take() waits for another writer of the same file, in
// milliseconds (5 seconds; tests shorten it).
extern int library_lock_wait_ms;

class LibraryLock {
public:
    enum Result { kTaken, kBusy, kFailed };

    LibraryLock() = default;
    ~LibraryLock() { release(); }
    LibraryLock(const LibraryLock &) = delete;
    LibraryLock &operator=(const LibraryLock &) = delete;

    // Locks file (a path whose links are followed already; the file need not
    // exist), waiting up to library_lock_wait_ms for another writer, then
    // removes the temporaries a killed writer of file left beside it.
    // kBusy: another writer held it all that time.  kFailed: the lock file
    // cannot be made or locked; error() tells why (errno or GetLastError()),
    // or refusal() when the lock file is something else than a lock file.
    Result take(const NativePath &file);
    // Gives the lock up, removing the lock file.  Nothing when not held.
    void release();
    bool held() const;
    int error() const { return error_; }
    // Why a lock file was refused ("is a link", ...), or null.
    const char *refusal() const { return refusal_; }
    // The lock file of the last take().
    const NativePath &lock_file() const { return path_; }

private:
    NativePath path_;  // the lock file
    const char *refusal_ = nullptr;
#if defined(_WIN32)
    void *handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    int error_ = 0;
};

// file + ".~kesto-PROCESS-N.tmp": the name of a temporary beside file.
template <class Char>
std::basic_string<Char> temporary_name(const std::basic_string<Char> &file, unsigned long process, unsigned n) {
    std::basic_string<Char> name = file;
    auto append = [&name](const char *text) {
        while (*text) name += static_cast<Char>(*text++);
    };
    append(KESTO_WRITER_MARK);
    append(std::to_string(process).c_str());
    append("-");
    append(std::to_string(n).c_str());
    append(KESTO_TEMPORARY_END);
    return name;
}

// The file that path names, links followed, as the system gives it: on
// Windows the final path of an existing file (GetFinalPathNameByHandleW,
// which also sees the links Wine makes of POSIX ones), in path's form
// ("\\?\" only when path has it); else, and on POSIX, path itself.
NativePath final_path(const NativePath &path);

// The name of file's lock file: file's folder as given, and the name the
// folder stores (or file's own, for a file not there yet) folded to small
// letters, then ".~kesto-lock".
NativePath lock_file_of(const NativePath &file);

// Puts the file from in to's place, replacing it, and gives the new file
// what the file system kept about the old one.  POSIX: rename, the old
// file's mode, and its owner and group as far as this user may set them.
// Windows: ReplaceFileW onto an existing file (which keeps its attributes,
// access control list and creation time), MoveFileExW writing through for
// a new one.  On Windows a file that any process holds open cannot be
// replaced for that moment (a reader, another writer looking at it before
// it waits for the lock, a virus scanner), so the move is tried again for
// up to two seconds while it is refused for sharing.  0 when done, else
// errno or GetLastError().
int replace_file(const NativePath &from, const NativePath &to);

// What a writer's new file, complete beside its target, does to the target.
enum class Commit {
    kReplaced,   // it took the target's place (replace_file)
    kUnchanged,  // the target holds these very bytes already: it is left
                 // untouched and the new file removed, so that a run that
                 // changes nothing changes no file
    kFailed,     // error says why; the new file is removed, the target as it was
};
// before, when given, runs once it is known that the target changes, just
// before it is replaced (a backup of the old bytes is made there); its
// error, not 0, stops the commit.
Commit commit_file(const NativePath &temp, const NativePath &target, int &error, int (*before)(void *) = nullptr,
                   void *context = nullptr);

// Keeps bytes, the old content of library, as the file backup: written
// beside it as a new file with library's owner, group and mode (Windows:
// its attributes), then given the name backup, which it replaces only
// when replace_earlier is set (else an existing backup is kept and
// EEXIST / ERROR_FILE_EXISTS returned).  A link named backup is never
// followed: the caller refuses one before.  0, or the error.
int write_backup(const NativePath &library, const std::string &bytes, const NativePath &backup, bool replace_earlier);

// The system's text for an error these calls return (errno on POSIX,
// GetLastError() on Windows), as UTF-8: Windows gives it in the user's
// language, which is decoded from UTF-16, never from the ANSI code page.
std::string system_error_text(int error);

// Whether file (links followed) may be replaced: an existing file whose
// owner may not write it (POSIX mode bits, or the Windows read-only
// attribute), or that this user may not write, is not; nor, on POSIX, a
// file of a folder that its owner or this user may not write.
enum class Replaceable { kYes, kFileReadOnly, kFolderReadOnly };
Replaceable replaceable(const NativePath &file);

}  // namespace kesto

#endif
