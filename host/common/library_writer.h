// What every writer of a tool library shares, the plug-in and the
// command-line tool alike, so that two of them never write one file at once:
//
// - One writer at a time per file: a lock file beside it, "NAME.~kesto-lock",
//   locked with the system's own file locks (an open-file-description fcntl
//   lock on POSIX, LockFileEx on Windows), which reach network shares and
//   which the system drops when the holder dies.  The holder removes the lock
//   file when it gives the lock up; a writer that finds, once it has locked
//   it, that the lock file was removed (or made anew) meanwhile tries again.
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
    // cannot be made or locked; error() tells why (errno or GetLastError()).
    Result take(const NativePath &file);
    // Gives the lock up, removing the lock file.  Nothing when not held.
    void release();
    bool held() const;
    int error() const { return error_; }

private:
    NativePath path_;  // the lock file
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
    append(".~kesto-");
    append(std::to_string(process).c_str());
    append("-");
    append(std::to_string(n).c_str());
    append(".tmp");
    return name;
}

// Puts the file from in to's place, replacing it (POSIX rename; on Windows
// MoveFileExW replacing and writing through).  On Windows a file that any
// process holds open cannot be replaced for that moment (a reader, another
// writer looking at it before it waits for the lock, a virus scanner), so
// the move is tried again for up to two seconds while it is refused for
// sharing.  0 when done, else errno or GetLastError().
int replace_file(const NativePath &from, const NativePath &to);

// Whether file (links followed) may be replaced: an existing file whose
// owner may not write it (POSIX mode bits, or the Windows read-only
// attribute), or that this user may not write, is not; nor, on POSIX, a
// file of a folder that its owner or this user may not write.
enum class Replaceable { kYes, kFileReadOnly, kFolderReadOnly };
Replaceable replaceable(const NativePath &file);

}  // namespace kesto

#endif
