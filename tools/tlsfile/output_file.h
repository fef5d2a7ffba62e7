// Output files of the command-line tools: written whole or not at all, and
// only where an output may go.
#ifndef KESTO_TOOLS_TLSFILE_OUTPUT_FILE_H
#define KESTO_TOOLS_TLSFILE_OUTPUT_FILE_H

#include <string>
#include <vector>

namespace tlsfile {

// Whether path may take an output: a new name in an existing folder, or a
// regular file (links followed) that is none of inputs, by any name.  False,
// with the reason in error ("PATH: ..."), for a folder, a device, a pipe, a
// link to nothing, a missing folder or one of the inputs.
bool check_output_target(const std::string &path, const std::vector<std::string> &inputs, std::string &error);

// Checks path as check_output_target does, writes content to a new temporary
// file beside it (every write checked, the file flushed and closed) and
// renames that to path, replacing what was there, only when all of it
// succeeded.  On failure path is left as it was, the temporary file is
// removed, and error gives the cause.
bool write_output_file(const std::string &path, const std::string &content, std::string &error,
                       const std::vector<std::string> &inputs = {});

}  // namespace tlsfile

#endif
