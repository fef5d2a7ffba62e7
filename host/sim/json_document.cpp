#include "host/sim/json_document.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

#include "host/common/cp1251.h"

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
    bool number_float(double v) {
        add(JsonDocument::floating).d = v;
        return true;
    }
    bool number_float(json::number_float_t v, const json::string_t &) { return number_float(v); }
    bool string(std::string_view v) {
        std::uint32_t at = store(v);
        JsonDocument::Node &node = add(JsonDocument::string);
        node.first = at;
        node.count = static_cast<std::uint32_t>(v.size());
        return true;
    }
    bool binary(json::binary_t &) { return false; }  // no JSON text holds one
    bool start_object(std::size_t) { return open(JsonDocument::object); }
    bool start_array(std::size_t) { return open(JsonDocument::array); }
    bool key(std::string_view k) {
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

    // A text or key of the document holds a NUL.
    void holds_nul() { doc_.maybe_not_strict_ = true; }

    const std::string &kind() const { return kind_; }
    const std::string &error() const { return error_; }

private:
    std::uint32_t store(std::string_view s) {
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
            // a key given twice keeps its last value, and the object notes
            // the first such key (in key order) for its reader to refuse
            auto kept = first;
            bool repeated = false;
            std::uint32_t repeated_key = 0, repeated_length = 0;
            for (auto i = first; i < last; ++i) {
                if (i + 1 < last && !less(*i, *(i + 1))) {
                    if (!repeated) {
                        repeated = true;
                        repeated_key = i->member.key;
                        repeated_length = i->member.key_length;
                    }
                    continue;
                }
                *kept++ = *i;
            }
            last = kept;
            JsonDocument::Node &node = doc_.nodes_[o.node];
            node.flag = repeated;
            node.u = std::uint64_t(repeated_key) << 32 | repeated_length;
            doc_.maybe_not_strict_ = doc_.maybe_not_strict_ || repeated;
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

// Reads a JSON text in one pass, with no allocation per token, into a
// builder.  Session and part files are read on every run, and the general
// parser spends some 85 instructions a byte on them; this reader spends a
// fraction of that on what they hold.  It is strict (RFC 8259, UTF-8 checked
// as the general parser checks it) and gives up, returning false, on
// anything it is not sure of: a syntax error, nesting too deep, an integer
// beyond 64 bits, a number that converts to no finite double.  The text is
// then read again by the general parser, which gives its verdict and its
// message, so that both paths accept the same texts as the same documents.
class PlainReader {
public:
    PlainReader(const std::string &text, JsonBuilder &builder)
        : p_(text.data()), end_(text.data() + text.size()), builder_(builder) {}

    bool read() {
        if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;  // a byte order mark
        if (!value()) return false;
        space();
        return p_ == end_;
    }

private:
    void space() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
    }
    // The next byte after blanks is c, which is then passed.
    bool next_is(char c) {
        space();
        if (p_ == end_ || *p_ != c) return false;
        ++p_;
        return true;
    }
    bool word(const char *w, size_t n) {
        if (static_cast<size_t>(end_ - p_) < n || std::memcmp(p_, w, n) != 0) return false;
        p_ += n;
        return true;
    }

    bool value() {
        space();
        if (p_ == end_) return false;
        std::string_view s;
        switch (*p_) {
        case '{': return object();
        case '[': return array();
        case '"': return string(s) && builder_.string(s);
        case 't': return word("true", 4) && builder_.boolean(true);
        case 'f': return word("false", 5) && builder_.boolean(false);
        case 'n': return word("null", 4) && builder_.null();
        default: return number();
        }
    }

    bool object() {
        ++p_;
        if (!builder_.start_object(0)) return false;
        space();
        if (p_ < end_ && *p_ == '}') {
            ++p_;
            return builder_.end_object();
        }
        do {
            std::string_view k;
            space();
            if (p_ == end_ || *p_ != '"' || !string(k)) return false;
            builder_.key(k);
            if (!next_is(':') || !value()) return false;
        } while (next_is(','));
        return p_ < end_ && *p_++ == '}' && builder_.end_object();
    }

    bool array() {
        ++p_;
        if (!builder_.start_array(0)) return false;
        space();
        if (p_ < end_ && *p_ == ']') {
            ++p_;
            return builder_.end_array();
        }
        do {
            if (!value()) return false;
        } while (next_is(','));
        return p_ < end_ && *p_++ == ']' && builder_.end_array();
    }

    // A string from its opening quote; s is its bytes in the text itself
    // or, when it holds escapes, in a buffer kept for the next one.
    bool string(std::string_view &s) {
        const char *start = ++p_;
        bool escaped = false;
        while (p_ < end_) {
            unsigned char c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                if (escaped) s = scratch_;
                else s = std::string_view(start, static_cast<size_t>(p_ - start));
                ++p_;
                return true;
            }
            if (c == '\\') {
                if (!escaped) scratch_.assign(start, p_);
                escaped = true;
                if (!escape()) return false;
                continue;
            }
            if (c < 0x20) return false;
            const char *from = p_;
            if (c < 0x80) ++p_;
            else if (!utf8()) return false;
            if (escaped) scratch_.append(from, p_);
        }
        return false;
    }

    // One UTF-8 sequence of two to four bytes, as RFC 3629 allows them: no
    // overlong form, no surrogate, nothing beyond U+10FFFF.
    bool utf8() {
        unsigned char low, high;  // the second byte's range
        const size_t n = kesto::utf8_lead(static_cast<unsigned char>(*p_), low, high);
        if (n == 0 || static_cast<size_t>(end_ - p_) < n) return false;
        unsigned char second = static_cast<unsigned char>(p_[1]);
        if (second < low || second > high) return false;
        for (size_t i = 2; i < n; ++i)
            if ((static_cast<unsigned char>(p_[i]) & 0xC0) != 0x80) return false;
        p_ += n;
        return true;
    }

    // An escape from its backslash, appended to the buffer.
    bool escape() {
        if (end_ - p_ < 2) return false;
        char c = p_[1];
        p_ += 2;
        switch (c) {
        case '"': case '\\': case '/': scratch_ += c; return true;
        case 'b': scratch_ += '\b'; return true;
        case 'f': scratch_ += '\f'; return true;
        case 'n': scratch_ += '\n'; return true;
        case 'r': scratch_ += '\r'; return true;
        case 't': scratch_ += '\t'; return true;
        case 'u': break;
        default: return false;
        }
        unsigned long code;
        if (!hex4(code)) return false;
        if (code >= 0xDC00 && code <= 0xDFFF) return false;  // a second half first
        if (code >= 0xD800 && code <= 0xDBFF) {              // a first half: the second must follow
            unsigned long second;
            if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return false;
            p_ += 2;
            if (!hex4(second) || second < 0xDC00 || second > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (second - 0xDC00);
        }
        if (code == 0) builder_.holds_nul();  // the only way a NUL gets into a text
        kesto::append_utf8(scratch_, static_cast<std::uint32_t>(code));
        return true;
    }

    bool hex4(unsigned long &code) {
        if (end_ - p_ < 4) return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            char c = *p_++;
            unsigned digit;
            if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
            else return false;
            code = code << 4 | digit;
        }
        return true;
    }

    bool digits() {
        const char *from = p_;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
        return p_ > from;
    }

    // A number: an integer without fraction or exponent that fits 64 bits
    // is one (unsigned when not negative), anything else a double, read with
    // correct rounding as strtod reads it.
    bool number() {
        const char *start = p_;
        bool negative = *p_ == '-';
        if (negative) ++p_;
        const char *integer = p_;
        if (p_ < end_ && *p_ == '0') ++p_;
        else if (p_ == end_ || *p_ < '1' || *p_ > '9' || !digits()) return false;
        const char *integer_end = p_;
        bool fraction = p_ < end_ && *p_ == '.';
        if (fraction && (++p_, !digits())) return false;
        bool exponent = p_ < end_ && (*p_ == 'e' || *p_ == 'E');
        if (exponent) {
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            if (!digits()) return false;
        }
        if (!fraction && !exponent) {
            std::uint64_t v = 0;
            for (const char *d = integer; d < integer_end; ++d) {
                unsigned digit = static_cast<unsigned>(*d - '0');
                if (v > (UINT64_MAX - digit) / 10) return false;
                v = v * 10 + digit;
            }
            if (!negative) return builder_.number_unsigned(v);
            if (v > std::uint64_t(1) << 63) return false;
            return builder_.number_integer(v == std::uint64_t(1) << 63 ? INT64_MIN : -static_cast<std::int64_t>(v));
        }
        double d = 0;
        std::from_chars_result r = std::from_chars(start, p_, d);
        if (r.ec != std::errc() || r.ptr != p_ || !std::isfinite(d)) return false;
        return builder_.number_float(d);
    }

    const char *p_;
    const char *end_;
    JsonBuilder &builder_;
    std::string scratch_;
};

void JsonDocument::start(const std::string &text) {
    *this = JsonDocument();
    text_.reserve(text.size());  // its strings and keys take no more than the text
}

bool JsonDocument::read_plain(const std::string &text, int max_depth) {
    start(text);
    JsonBuilder builder(*this, max_depth);
    return PlainReader(text, builder).read();
}

bool JsonDocument::parse(const std::string &text, int max_depth, std::string &kind, std::string &error) {
    if (read_plain(text, max_depth)) return true;
    start(text);
    JsonBuilder builder(*this, max_depth);
    // the general parser's texts are not looked through for a NUL here
    if (nlohmann::json::sax_parse(text, &builder)) {
        maybe_not_strict_ = true;
        return true;
    }
    kind = builder.kind();
    // the parser's message without its "[json.exception.kind.N] " prefix
    const std::string &what = builder.error();
    size_t close = what.rfind("] ", what.find(' '));
    error = close == std::string::npos ? what : what.substr(close + 2);
    return false;
}

JsonValue JsonDocument::root() const { return JsonValue(*this, root_); }

bool JsonValue::repeated_key(std::string_view &key) const {
    if (!is_object() || !node_->flag) return false;
    key = doc_->text_at(static_cast<std::uint32_t>(node_->u >> 32), static_cast<std::uint32_t>(node_->u));
    return true;
}

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
