// libFuzzer target: the POSIX profile reader.  The input is the settings
// file; the questions are the plug-in's own and some around them, with
// buffers from one byte up so that every cut of a value is tried.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/platform/platform.h"

namespace {

const std::string &settings_file() {
    static const std::string path = [] {
        char name[] = "/tmp/kesto-fuzz-profile-XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        return std::string(name);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &path = settings_file();
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    struct Question {
        const char *section, *key, *def;
    };
    static const Question questions[] = {
        {"VMAIN", "NUM", "0"},  {"VMAIN", "VERSION", ""}, {"VMAIN", "TLS", "'x'"}, {"VMAIN", "USR", "\"\""},
        {"VRUN", "0", "none"},  {"vrun", "1", "  "},      {"", "", ""},           {" VMAIN ", " num ", "d"},
    };
    static const unsigned sizes[] = {1, 2, 3, 8, 257};
    char out[258];
    for (const Question &q : questions) {
        for (unsigned n : sizes) {
            std::memset(out, 0x55, sizeof out);
            unsigned got = plat_get_profile_string(q.section, q.key, q.def, out, n, path.c_str());
            // the answer fits its buffer, ends in NUL and says its length
            if (got >= n || out[got] != '\0' || out[n] != 0x55) __builtin_trap();
        }
    }
    return 0;
}
