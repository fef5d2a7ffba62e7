// libFuzzer target: the session and part file reader.  Any input ends in a
// session or in a SessionError; nothing else may escape.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/sim/session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    try {
        sim::parse_session(text, "fuzz.json");
    } catch (const sim::SessionError &) {
    }
    try {
        sim::parse_part_or_session(text, "fuzz.json");
    } catch (const sim::SessionError &) {
    }
    return 0;
}
