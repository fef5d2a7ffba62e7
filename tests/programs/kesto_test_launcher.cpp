// A stand-in for a simulator launcher: records the arguments it was started
// with, so that tests can see what reached it.
//
// Each start appends one record to "launched.txt" in the current folder:
// "argc=N", then "argv[i]=..." for each argument after the program name,
// one a line (the program name itself differs between builds and is left
// out).  While a file "hold" exists in the current folder the launcher
// waits (at most 20 seconds) before it writes, which lets a test see that
// nobody waits for it.
#include <cstdio>
#include <string>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <unistd.h>
#endif

namespace {

bool exists(const char *name) {
    std::FILE *f = std::fopen(name, "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

void pause_briefly() {
#if defined(_WIN32)
    Sleep(50);
#else
    usleep(50 * 1000);
#endif
}

}  // namespace

int main(int argc, char **argv) {
    for (int i = 0; i < 400 && exists("hold"); ++i) pause_briefly();

    std::string record = "argc=" + std::to_string(argc) + "\n";
    for (int i = 1; i < argc; ++i) record += "argv[" + std::to_string(i) + "]=" + argv[i] + "\n";
    // One write per record, so that launchers started together do not mix.
    std::FILE *out = std::fopen("launched.txt", "ab");
    if (!out) return 1;
    std::setvbuf(out, nullptr, _IOFBF, record.size() + 1);
    bool ok = std::fwrite(record.data(), 1, record.size(), out) == record.size();
    return std::fclose(out) == 0 && ok ? 0 : 1;
}
