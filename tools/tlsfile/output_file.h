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

// Checks path as check_output_target does, writes content to a new temporary
// file beside it (every write checked, the file flushed and closed) and
// renames that to path, replacing what was there, only when all of it
// succeeded; all that under path's lock (held, when the caller holds it
// already, or taken here).  On failure path is left as it was, the
// temporary file is removed, and error gives the cause.
bool write_output_file(const std::string &path, const std::string &content, std::string &error,
                       const std::vector<std::string> &inputs = {}, const OutputLock *held = nullptr);

}  // namespace tlsfile

#endif
