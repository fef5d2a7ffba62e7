// export --prefer: the site database's record of each tool in place of the
// one the plug-in generated, and what the export says of where each record
// came from.
#ifndef KESTO_TOOLS_CLI_PREFER_REPORT_H
#define KESTO_TOOLS_CLI_PREFER_REPORT_H

#include <string>

#include "host/sim/session.h"
#include "tools/cli/printer.h"
#include "tools/tlsfile/tls_database.h"

namespace kesto::cli {

// The database's record of each tool of text (a library the export wrote)
// in place of the generated one: found by the tool's catalogue number (the
// part's member's), else by its name, and of the same geometry unless
// site_geometry.
tlsfile::PreferResult prefer(const tlsfile::Database &database, const sim::Part &part, const std::string &text,
                             bool site_geometry);

// "from the database: N tools", a line each, then the generated ones.
std::string prefer_text(const tlsfile::Database &database, const tlsfile::PreferResult &preferred);
// The --json object's preferred, generated and differing keys.
void prefer_json(const tlsfile::Database &database, const tlsfile::PreferResult &preferred, json &object);
// A record found for a tool but of other geometry: a warning each, with the
// first line that differs in both, and whether the simulator now gets the
// database's geometry.
void warn_differing(Context &ctx, const tlsfile::Database &database, const tlsfile::PreferResult &preferred);

}  // namespace kesto::cli

#endif
