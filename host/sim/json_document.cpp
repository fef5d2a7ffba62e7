#include "host/sim/json_document.h"

#include <algorithm>
#include <cstring>

#include <nlohmann/json.hpp>

namespace sim {

// Builds a document from the parser's events.  The members of an open array
// or object wait in a list of their own until it closes; then they take
// their place in the document, an object's sorted by key.
class JsonBuilder {
    // A member of an open array or object; for sorting, its key's first
    // bytes as a number.
    struct Waiting {
        std::uint64_t prefix = 0;
        JsonDocument::Member member;
    };

public:
    using json = nlohmann::json;

    JsonBuilder(JsonDocument &doc, int max_depth) : doc_(doc), max_depth_(max_depth) {}

    bool null() {
        add(JsonDocument::null);
        return true;
    }
    bool boolean(bool v) {
        add(JsonDocument::boolean).flag = v;
        return true;
    }
    bool number_integer(json::number_integer_t v) {
        add(JsonDocument::integer).i = v;
        return true;
    }
    bool number_unsigned(json::number_unsigned_t v) {
        add(JsonDocument::unsigned_integer).u = v;
        return true;
    }
    bool number_float(json::number_float_t v, const json::string_t &) {
        add(JsonDocument::floating).d = v;
        return true;
    }
    bool string(json::string_t &v) {
        std::uint32_t at = store(v);
        JsonDocument::Node &node = add(JsonDocument::string);
        node.first = at;
        node.count = static_cast<std::uint32_t>(v.size());
        return true;
    }
    bool binary(json::binary_t &) { return false; }  // no JSON text holds one
    bool start_object(std::size_t) { return open(JsonDocument::object); }
    bool start_array(std::size_t) { return open(JsonDocument::array); }
    bool key(json::string_t &k) {
        key_ = store(k);
        key_length_ = static_cast<std::uint32_t>(k.size());
        // the first eight bytes (zeros after a short key) as a number that
        // orders as they do: the first byte the most significant
        unsigned char first[8] = {};
        std::memcpy(first, k.data(), k.size() < 8 ? k.size() : 8);
        key_prefix_ = 0;
        for (unsigned char b : first) key_prefix_ = key_prefix_ << 8 | b;
        return true;
    }
    bool end_object() {
        close(true);
        return true;
    }
    bool end_array() {
        close(false);
        return true;
    }
    bool parse_error(std::size_t, const std::string &, const nlohmann::detail::exception &e) {
        error_ = e.what();
        if (dynamic_cast<const json::parse_error *>(&e)) kind_ = "not valid JSON";
        else if (dynamic_cast<const json::out_of_range *>(&e)) kind_ = "a number is out of range";
        else kind_ = "cannot be read as JSON";
        return false;
    }

    const std::string &kind() const { return kind_; }
    const std::string &error() const { return error_; }

private:
    std::uint32_t store(const std::string &s) {
        std::uint32_t at = static_cast<std::uint32_t>(doc_.text_.size());
        doc_.text_ += s;
        return at;
    }

    // A new value, a member of the array or object open around it.
    JsonDocument::Node &add(JsonDocument::Type type) {
        std::uint32_t index = static_cast<std::uint32_t>(doc_.nodes_.size());
        doc_.nodes_.emplace_back();
        doc_.nodes_.back().type = type;
        if (open_.empty()) {
            doc_.root_ = index;
        } else {
            Waiting w;
            w.prefix = key_prefix_;
            w.member.key = key_;
            w.member.key_length = key_length_;
            w.member.node = index;
            waiting_.push_back(w);
        }
        return doc_.nodes_.back();
    }

    bool open(JsonDocument::Type type) {
        if (static_cast<int>(open_.size()) >= max_depth_) return false;
        add(type);
        open_.push_back({static_cast<std::uint32_t>(doc_.nodes_.size() - 1), waiting_.size()});
        return true;
    }

    // Keys in the order of their bytes: by their first eight, then the rest.
    bool before(const Waiting &a, const Waiting &b) const {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        return doc_.text_at(a.member.key, a.member.key_length) < doc_.text_at(b.member.key, b.member.key_length);
    }

    void close(bool object) {
        const Open o = open_.back();
        open_.pop_back();
        auto first = waiting_.begin() + static_cast<std::ptrdiff_t>(o.first_waiting);
        auto last = waiting_.end();
        if (object && last - first > 1) {
            auto less = [this](const Waiting &a, const Waiting &b) { return before(a, b); };
            // stable, so that of equal keys the last given comes last
            if (last - first <= 32) {
                for (auto i = first + 1; i < last; ++i)
                    for (auto j = i; j > first && less(*j, *(j - 1)); --j) std::iter_swap(j, j - 1);
            } else {
                std::stable_sort(first, last, less);
            }
            // a key given twice keeps its last value
            auto kept = first;
            for (auto i = first; i < last; ++i) {
                if (i + 1 < last && !less(*i, *(i + 1))) continue;
                *kept++ = *i;
            }
            last = kept;
        }
        JsonDocument::Node &node = doc_.nodes_[o.node];
        node.first = static_cast<std::uint32_t>(doc_.members_.size());
        node.count = static_cast<std::uint32_t>(last - first);
        for (auto i = first; i < last; ++i) doc_.members_.push_back(i->member);
        waiting_.resize(o.first_waiting);
    }

    struct Open {
        std::uint32_t node;
        size_t first_waiting;
    };

    JsonDocument &doc_;
    int max_depth_;
    std::vector<Waiting> waiting_;
    std::vector<Open> open_;
    std::uint32_t key_ = 0, key_length_ = 0;
    std::uint64_t key_prefix_ = 0;
    std::string kind_, error_;
};

bool JsonDocument::parse(const std::string &text, int max_depth, std::string &kind, std::string &error) {
    *this = JsonDocument();
    text_.reserve(text.size());  // its strings and keys take no more than the text
    JsonBuilder builder(*this, max_depth);
    if (nlohmann::json::sax_parse(text, &builder)) return true;
    kind = builder.kind();
    // the parser's message without its "[json.exception.kind.N] " prefix
    const std::string &what = builder.error();
    size_t close = what.rfind("] ", what.find(' '));
    error = close == std::string::npos ? what : what.substr(close + 2);
    return false;
}

JsonValue JsonDocument::root() const { return JsonValue(*this, root_); }

std::int64_t JsonValue::int64() const {
    switch (node_->type) {
    case JsonDocument::integer: return node_->i;
    case JsonDocument::unsigned_integer: return static_cast<std::int64_t>(node_->u);
    default: return 0;
    }
}

std::uint64_t JsonValue::uint64() const {
    switch (node_->type) {
    case JsonDocument::integer: return static_cast<std::uint64_t>(node_->i);
    case JsonDocument::unsigned_integer: return node_->u;
    default: return 0;
    }
}

double JsonValue::number() const {
    switch (node_->type) {
    case JsonDocument::integer: return static_cast<double>(node_->i);
    case JsonDocument::unsigned_integer: return static_cast<double>(node_->u);
    case JsonDocument::floating: return node_->d;
    default: return 0;
    }
}

bool JsonValue::find(std::string_view key, JsonValue &found) const {
    if (!is_object()) return false;
    if (node_->count <= 8) {
        for (size_t i = 0; i < node_->count; ++i) {
            if (this->key(i) == key) {
                found = item(i);
                return true;
            }
        }
        return false;
    }
    // members are sorted by key
    size_t low = 0, high = node_->count;
    while (low < high) {
        size_t mid = (low + high) / 2;
        std::string_view k = this->key(mid);
        if (k == key) {
            found = item(mid);
            return true;
        }
        if (k < key) low = mid + 1;
        else high = mid;
    }
    return false;
}

}  // namespace sim
