// The site's tool database as find, sheet, catalog and export --prefer take
// it: folders given on the command line, or the one a settings file names
// as [VMAIN] TLS, read as the plug-in reads its settings.
#ifndef KESTO_TOOLS_CLI_TOOL_DATABASE_H
#define KESTO_TOOLS_CLI_TOOL_DATABASE_H

#include <string>
#include <vector>

#include "tools/cli/context.h"
#include "tools/tlsfile/tls_database.h"

namespace kesto::cli {

// Room the plug-in reads a settings value with, and what of TLS and USR it
// keeps.
inline constexpr unsigned kValueSize = 257;
inline constexpr size_t kKept = 132;

// Texts as the profile reader takes and gives them: the ANSI code page on
// Windows, Windows-1251 (the plug-in's) in the POSIX platform layer.  False
// when the text has a character the code page lacks.
bool to_profile_bytes(const std::string &utf8, std::string &out);
// A path the profile reader gave, as the file system names it (UTF-8).
std::string folder_from_profile(const std::string &bytes);

// What a Windows editor may have saved a settings file as, other than the
// ANSI the plug-in reads: "UTF-8", "UTF-8 (with a byte-order mark)",
// "UTF-16"; empty for ANSI (or plain ASCII).  Told by the input layer.
std::string settings_encoding(const std::string &text);
// Warns, naming label, when the text is in such an encoding.
void note_settings_encoding(Context &ctx, const std::string &label, const std::string &text);

// The folder of [VMAIN] TLS in the settings file, read through the
// platform's profile reader (GetPrivateProfileStringA on Windows) with room
// for 256 characters, its first 132 kept, as the plug-in keeps path_tool;
// missing or empty, the plug-in's default.  A relative folder is taken from
// the settings file's folder.  False, after saying why, when the file
// cannot be read.
bool settings_tool_folder(Context &ctx, const std::string &settings, std::string &folder);

// Reads the folders (or, with settings given, the one it names) into
// database and says on standard error what it skips: a library that cannot
// be read or is damaged (a warning each, with the count of its problems),
// and what it searches despite problems (a warning each).  False, after
// saying why, when a folder is none or the settings file cannot be read.
bool load_database(Context &ctx, const std::vector<std::string> &folders, const std::string &settings,
                   tlsfile::Database &database);

// The files a database read: what an output of the same command must not be.
std::vector<std::string> database_files(const std::vector<std::string> &folders, const tlsfile::Database &database);

}  // namespace kesto::cli

#endif
