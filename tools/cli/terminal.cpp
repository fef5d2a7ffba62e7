#include "tools/cli/terminal.h"

#include <cstdlib>

#if defined(_WIN32)
#  include <io.h>
#  include <windows.h>
#else
#  include <unistd.h>
#endif

namespace kesto::cli {

bool colour_wanted(int fd) {
    const char *no_colour = std::getenv("NO_COLOR");
    if (no_colour && *no_colour) return false;
#if defined(_WIN32)
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) &&
           SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#else
    return isatty(fd) != 0;
#endif
}

std::string painted(const std::string &text, const char *sgr, bool colour) {
    return colour ? "\x1b[" + std::string(sgr) + "m" + text + "\x1b[0m" : text;
}

}  // namespace kesto::cli
