// libFuzzer target: the session and part file reader.  Any input ends in a
// session or in a SessionError; nothing else may escape; a session taken
// holds no key given twice in one object and no NUL in a text, as
// nlohmann-json's parser judges the text.  And the quick JSON reader agrees
// with that parser: whatever it reads, that parser reads too, as the same
// document, with the same key given twice.
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

namespace {

[[noreturn]] void differ(const char *what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// Whether nlohmann-json's parser finds, anywhere in text, a key given twice
// in one object or a NUL in a text or key; refused counts as neither.
bool holds_repeat_or_nul(const std::string &text, bool &root_repeats) {
    std::vector<std::set<std::string>> open;  // the keys of each open object (none for an array)
    bool found = false;
    root_repeats = false;
    auto note = [&](int depth, nlohmann::json::parse_event_t event, nlohmann::json &parsed) {
        using E = nlohmann::json::parse_event_t;
        if (event == E::object_start || event == E::array_start) open.emplace_back();
        if (event == E::object_end || event == E::array_end) open.pop_back();
        if (event == E::key) {
            const std::string &key = parsed.get_ref<const std::string &>();
            bool again = !open.back().insert(key).second;
            if (again && depth == 1) root_repeats = true;
            found = found || again || key.find('\0') != std::string::npos;
        }
        if (event == E::value && parsed.is_string() && parsed.get_ref<const std::string &>().find('\0') != std::string::npos)
            found = true;
        return true;
    };
    if (nlohmann::json::parse(text, note, false).is_discarded()) return false;
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    bool root_repeats = false;
    const bool repeat_or_nul = holds_repeat_or_nul(text, root_repeats);
    try {
        sim::parse_session(text, "fuzz.json");
        if (repeat_or_nul) differ("a session with a key given twice or a NUL was taken");
    } catch (const sim::SessionError &) {
    }
    try {
        sim::parse_part_or_session(text, "fuzz.json");
        if (repeat_or_nul) differ("a part with a key given twice or a NUL was taken");
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
        std::string_view key;
        if (doc.root().repeated_key(key) != root_repeats)
            differ("the quick reader and nlohmann-json differ on a key given twice in the outer object");
    }
    return 0;
}
