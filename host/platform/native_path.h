// The file system's form of a path the plug-in hands over: its
// Windows-1251 bytes as UTF-8, each backslash a '/'.  Used by the POSIX
// platform layer (the simulated host applies the same rule).
#ifndef KESTO_HOST_PLATFORM_NATIVE_PATH_H
#define KESTO_HOST_PLATFORM_NATIVE_PATH_H

#include <string>

#include "host/common/cp1251.h"

namespace kesto {

inline std::string native_path(const char *cp1251_path) {
    std::string path = cp1251_to_utf8(cp1251_path);
    for (char &c : path)
        if (c == '\\') c = '/';
    return path;
}

}  // namespace kesto

#endif
