// libFuzzer target: the session and part file reader.  Any input ends in a
// session or in a SessionError; nothing else may escape.  And the quick JSON
// reader agrees with nlohmann-json's parser: whatever it reads, that parser
// reads too, as the same document.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "host/sim/json_document.h"
#include "host/sim/session.h"
#include "tests/unit/json_same.h"

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
    sim::JsonDocument doc;
    if (doc.read_plain(text, 64)) {
        const nlohmann::json theirs = nlohmann::json::parse(text, nullptr, false);
        std::string why = "nlohmann-json refuses it";
        if (theirs.is_discarded() || !testing_support::same_json(doc.root(), theirs, why)) {
            std::fprintf(stderr, "the quick reader and nlohmann-json differ: %s\n", why.c_str());
            std::abort();
        }
    }
    return 0;
}
