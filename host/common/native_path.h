// The file system's form of a path the plug-in hands over.  On Windows that
// is the path itself (the ANSI calls take Windows-1251); elsewhere its
// Windows-1251 bytes as UTF-8, each backslash a '/'.  Used by the POSIX
// platform layer and the simulated host alike.
#ifndef KESTO_HOST_COMMON_NATIVE_PATH_H
#define KESTO_HOST_COMMON_NATIVE_PATH_H

#include <string>

#include "host/common/cp1251.h"

namespace kesto {

inline std::string native_path(const std::string &cp1251_path) {
#if defined(_WIN32)
    return cp1251_path;
#else
    std::string path = cp1251_to_utf8(cp1251_path);
    for (char &c : path)
        if (c == '\\') c = '/';
    return path;
#endif
}

}  // namespace kesto

#endif
