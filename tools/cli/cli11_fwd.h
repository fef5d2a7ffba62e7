// The parser's classes by name only, for headers that take them by
// reference: CLI11 is header-only and costs seconds to compile in every
// source that includes it, so only the sources that build or read a
// command line include <CLI/CLI.hpp>.
#ifndef KESTO_TOOLS_CLI_CLI11_FWD_H
#define KESTO_TOOLS_CLI_CLI11_FWD_H

namespace CLI {
class App;
class Option;
}  // namespace CLI

#endif
