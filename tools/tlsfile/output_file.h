// Output files of the tool library tools: written whole or not at all.
#ifndef KESTO_TOOLS_TLSFILE_OUTPUT_FILE_H
#define KESTO_TOOLS_TLSFILE_OUTPUT_FILE_H

#include <string>

namespace tlsfile {

// Writes content to a new temporary file in path's folder and renames it to
// path, replacing what was there.  On failure path is left as it was, the
// temporary file is removed, and error says why.
bool write_output_file(const std::string &path, const std::string &content, std::string &error);

}  // namespace tlsfile

#endif
