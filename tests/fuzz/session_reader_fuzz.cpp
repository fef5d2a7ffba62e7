// libFuzzer target: the session and part file reader.  Any input ends in a
// session or in a SessionError; nothing else may escape, nor a session that
// gives a key twice in one object or holds a NUL, as nlohmann-json's parser
// finds them.  And the quick JSON reader agrees with that parser: whatever
// it reads, that parser reads too, as the same document.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/sim/json_document.h"
#include "host/sim/session.h"
#include "tests/unit/json_same.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<std::set<std::string>> keys;  // of each open object or array
    bool refused = false;                     // a key given twice, or a NUL
    auto note = [&](int, nlohmann::json::parse_event_t event, nlohmann::json &parsed) {
        using E = nlohmann::json::parse_event_t;
        if (event == E::object_start || event == E::array_start) keys.emplace_back();
        if (event == E::object_end || event == E::array_end) keys.pop_back();
        const bool text_event = parsed.is_string() && (event == E::key || event == E::value);
        if (text_event) refused = refused || parsed.get_ref<const std::string &>().find('\0') != std::string::npos;
        if (event == E::key) refused = refused || !keys.back().insert(parsed.get<std::string>()).second;
        return true;
    };
    if (nlohmann::json::parse(text, note, false).is_discarded()) refused = false;  // refused as no JSON
    for (auto read : {sim::parse_session, sim::parse_part_or_session}) {
        try {
            read(text, "fuzz.json");
            if (refused) std::abort();  // a key given twice or a NUL was taken
        } catch (const sim::SessionError &) {
        }
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
