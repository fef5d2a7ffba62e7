// A JSON document read once into one flat array of values, and read from
// there in place.  A quick reader of our own reads what session and part
// files hold; what it is not sure of, errors included, nlohmann-json's
// parser reads through its SAX interface into the same array.
// Objects behave as nlohmann-json's own (a std::map): their members in the
// order of their keys' bytes, a key given twice keeping its last value; the
// object remembers that key, so that a strict reader can refuse it.
#ifndef KESTO_HOST_SIM_JSON_DOCUMENT_H
#define KESTO_HOST_SIM_JSON_DOCUMENT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class JsonValue;

class JsonDocument {
public:
    enum Type : unsigned char { null, boolean, integer, unsigned_integer, floating, string, array, object };

    // Reads text.  False when it is no JSON document, with what is wrong in
    // error (the parser's message without its "[json.exception...]" prefix)
    // and its kind: "not valid JSON", "a number is out of range" or "cannot
    // be read as JSON"; or when it is nested deeper than max_depth levels,
    // error and kind then empty.
    bool parse(const std::string &text, int max_depth, std::string &kind, std::string &error);
    // The quick reader alone: false where parse leaves the text to the
    // general parser (for tests, which compare the two).
    bool read_plain(const std::string &text, int max_depth);

    JsonValue root() const;
    // False when no text or key holds a NUL and no object was given a key
    // twice: what a strict reader refuses, so that it need walk through
    // only the other documents to say where.
    bool maybe_not_strict() const { return maybe_not_strict_; }

private:
    friend class JsonValue;
    friend class JsonBuilder;

    struct Node {
        Type type = null;
        bool flag = false;         // boolean; object: a key was given twice
        std::uint32_t first = 0;   // string: offset in text_; array, object: first of members_
        std::uint32_t count = 0;   // string: length; array, object: number of members
        union {
            std::int64_t i;
            std::uint64_t u;  // also an object's key given twice: offset << 32 | length
            double d;
        };
        Node() : i(0) {}
    };
    // A member of an array or object: its key (objects only) and its value.
    struct Member {
        std::uint32_t key = 0, key_length = 0;  // in text_
        std::uint32_t node = 0;
    };

    void start(const std::string &text);
    std::string_view text_at(std::uint32_t offset, std::uint32_t length) const {
        return std::string_view(text_.data() + offset, length);
    }

    std::vector<Node> nodes_;
    std::vector<Member> members_;  // the members of each array and object, one after the other
    std::string text_;             // every string and key
    std::uint32_t root_ = 0;
    bool maybe_not_strict_ = false;
};

// A value of a document, which must outlive it.
class JsonValue {
public:
    JsonValue(const JsonDocument &doc, std::uint32_t node) : doc_(&doc), node_(&doc.nodes_[node]) {}

    bool is_null() const { return node_->type == JsonDocument::null; }
    bool is_boolean() const { return node_->type == JsonDocument::boolean; }
    bool is_string() const { return node_->type == JsonDocument::string; }
    bool is_array() const { return node_->type == JsonDocument::array; }
    bool is_object() const { return node_->type == JsonDocument::object; }
    // Integers: a negative one, or an unsigned one (0 or more) that fits 64 bits.
    bool is_number_integer() const {
        return node_->type == JsonDocument::integer || node_->type == JsonDocument::unsigned_integer;
    }
    bool is_number_unsigned() const { return node_->type == JsonDocument::unsigned_integer; }
    bool is_number() const { return is_number_integer() || node_->type == JsonDocument::floating; }

    bool boolean() const { return node_->flag; }
    // An integer as nlohmann-json converts it (0 for other values).
    std::int64_t int64() const;
    std::uint64_t uint64() const;
    // A number as a double (0 for other values).
    double number() const;
    std::string_view text() const { return doc_->text_at(node_->first, node_->count); }

    // Members of an array or object (0 for other values).
    size_t size() const { return is_array() || is_object() ? node_->count : 0; }
    JsonValue item(size_t i) const { return JsonValue(*doc_, member(i).node); }
    std::string_view key(size_t i) const { return doc_->text_at(member(i).key, member(i).key_length); }
    // The member of an object with this key; found false when there is none.
    bool find(std::string_view key, JsonValue &found) const;
    // The first key (in key order) that an object was given more than once.
    bool repeated_key(std::string_view &key) const;
    bool contains(std::string_view key) const {
        JsonValue ignored = *this;
        return find(key, ignored);
    }

private:
    const JsonDocument::Member &member(size_t i) const { return doc_->members_[node_->first + i]; }

    const JsonDocument *doc_;
    const JsonDocument::Node *node_;
};

}  // namespace sim

#endif
