// Whether a document read by sim::JsonDocument holds what nlohmann-json's
// parser reads from the same text: the same types, values, keys and order.
// Shared by the unit tests and the session reader's fuzz target.
#ifndef KESTO_TESTS_UNIT_JSON_SAME_H
#define KESTO_TESTS_UNIT_JSON_SAME_H

#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "host/sim/json_document.h"

namespace testing_support {

// False, with the path of the first difference in why, when they differ.
inline bool same_json(const sim::JsonValue &ours, const nlohmann::json &theirs, std::string &why,
                      const std::string &path = "$") {
    bool same;
    if (ours.is_null()) {
        same = theirs.is_null();
    } else if (ours.is_boolean()) {
        same = theirs.is_boolean() && theirs.get<bool>() == ours.boolean();
    } else if (ours.is_number_unsigned()) {
        same = theirs.is_number_unsigned() && theirs.get<std::uint64_t>() == ours.uint64();
    } else if (ours.is_number_integer()) {
        same = theirs.is_number_integer() && !theirs.is_number_unsigned() && theirs.get<std::int64_t>() == ours.int64();
    } else if (ours.is_number()) {
        // bit for bit, so that -0.0 and 0.0 differ
        double a = ours.number(), b = 0;
        same = theirs.is_number_float() && (b = theirs.get<double>(), std::memcmp(&a, &b, sizeof a) == 0);
    } else if (ours.is_string()) {
        same = theirs.is_string() && theirs.get_ref<const std::string &>() == ours.text();
    } else if (ours.is_array()) {
        same = theirs.is_array() && theirs.size() == ours.size();
        for (size_t i = 0; same && i < ours.size(); ++i)
            if (!same_json(ours.item(i), theirs[i], why, path + "[" + std::to_string(i) + "]")) return false;
    } else {
        same = theirs.is_object() && theirs.size() == ours.size();
        size_t i = 0;
        for (auto it = theirs.begin(); same && it != theirs.end(); ++it, ++i) {
            same = it.key() == ours.key(i);
            if (same && !same_json(ours.item(i), it.value(), why, path + "." + it.key())) return false;
        }
    }
    if (!same) why = path + ": ours differs from nlohmann-json's " + theirs.dump();
    return same;
}

}  // namespace testing_support

#endif
