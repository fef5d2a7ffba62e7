// The web pages' files (tools/tlsfile/web), compiled in at build time.
#ifndef KESTO_TOOLS_TLSFILE_WEB_ASSETS_H
#define KESTO_TOOLS_TLSFILE_WEB_ASSETS_H

#include <string_view>

namespace tlsfile {

// The bytes of the file of that name ("catalog.js"); empty for none.
std::string_view web_asset(std::string_view name);

}  // namespace tlsfile

#endif
