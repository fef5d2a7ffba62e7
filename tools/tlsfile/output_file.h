// Output files of the command-line tools: written whole or not at all, and
// only where an output may go.
#ifndef KESTO_TOOLS_TLSFILE_OUTPUT_FILE_H
#define KESTO_TOOLS_TLSFILE_OUTPUT_FILE_H

#include <filesystem>
#include <string>
#include <vector>

#include "host/common/library_writer.h"

namespace tlsfile {

// Whether path may take an output: a new name in an existing folder, or a
// regular file (links followed) that is none of inputs, by any name, and
// that its owner may write in a folder its owner may write (see
// kesto::replaceable).  False, with the reason in error ("PATH: ..."), for a
// folder, a device, a pipe, a link to nothing, a missing folder, one of the
// inputs or a read-only file or folder.
bool check_output_target(const std::string &path, const std::vector<std::string> &inputs, std::string &error);

// One writer at a time per output file, among these tools and the plug-in:
// the lock of the file (links followed), taken before its old content is
// read and held until the new content has taken its place.
class OutputLock {
public:
    OutputLock() = default;
    ~OutputLock();
    OutputLock(const OutputLock &) = delete;
    OutputLock &operator=(const OutputLock &) = delete;
    // Takes the lock of path's file, waiting some seconds for another
    // writer.  False, with error naming path and the cause, when another
    // writer still holds it, or it cannot be taken, or path may not take
    // an output.
    bool take(const std::string &path, std::string &error);
    // The file locked.  While the lock is held, an interrupt removes its
    // lock file and this process's temporaries beside it.
    const std::filesystem::path &file() const { return file_; }

private:
    kesto::LibraryLock lock_;
    std::filesystem::path file_;
};

// Whether the old bytes of a file a command replaces are kept first: as
// NAME~ (simple), or as NAME.~N~ (numbered, N one more than every number
// there already).
enum class Backup { none, simple, numbered };

// What write_output_file did.
struct Written {
    bool created = false;    // there was no file
    bool unchanged = false;  // the file held these bytes already: nothing was written, no backup made
    std::string backup;      // where the old bytes went, or empty
};

// The one way a command's output reaches its file.  Checks path as
// check_output_target does, writes content to a new temporary file beside
// it (every write checked, the file flushed and closed), and then, unless
// the file holds these bytes already, keeps its old bytes as the backup
// asked for and renames the new file to path, replacing what was there;
// all that under path's lock (held, when the caller holds it already, or
// taken here), and so that an interrupt finds the file either old or new
// and says which.  A backup never follows a link and never replaces a file
// that is not an earlier backup (a tool library at NAME~).  On failure path
// is left as it was, the temporary file is removed, and error gives the
// cause.
bool write_output_file(const std::string &path, const std::string &content, std::string &error,
                       const std::vector<std::string> &inputs = {}, const OutputLock *held = nullptr,
                       Backup backup = Backup::none, Written *written = nullptr);

// The name a backup of file takes: "NAME~", or with numbered "NAME.~N~",
// N one more than the highest number of such a backup beside it (from 1;
// numbers of any length count).
std::string backup_name(const std::string &file, bool numbered);

}  // namespace tlsfile

#endif
