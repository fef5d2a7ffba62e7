// A part or session file as the commands that run the plug-in take it (or
// the embedded demo part), the members --select names, and what an export
// leaves out.
#ifndef KESTO_TOOLS_CLI_PART_INPUT_H
#define KESTO_TOOLS_CLI_PART_INPUT_H

#include <string>
#include <vector>

#include "host/sim/session.h"
#include "tools/cli/context.h"
#include "tools/cli/printer.h"

namespace kesto::cli {

extern const char *const kDemoPart;

// Reads a session file, or a part file (the object of a session's "part"
// key), through the input layer (a byte-order mark, UTF-16); with an empty
// path, the embedded demo part.  Throws SessionError, which names the file
// and what is wrong (a tool library given in its place too).
sim::Session read_part_or_session(const std::string &path);

// The name export gives a part's library, without its extension: the
// part's name (Windows-1251 bytes) without folder and extension, with '/'
// or '\' (or a drive's ':') before it, as the host names parts on either
// system; "tools" when nothing is left.
std::string part_stem(const std::string &raw_name);

// The members --select names (what the user typed, as toolid_match reads
// it): by name, or else by the name the library writes (all members that
// have it); a pattern, every member whose name either way matches it.
// False after saying so (with the nearest name for a slip) when one names
// none, or holds a character Windows-1251 lacks.
bool select_members(Context &ctx, sim::Part &part, const std::vector<std::string> &names);

// What was left out: one line, "skipped 3: the host's NONE member, 2 not
// selected", and each member with its reason into skipped (JSON).  Warns
// when the records written are not the count the members give.
std::string skipped_members(Context &ctx, const sim::Part &part, int records, json &skipped);

}  // namespace kesto::cli

#endif
