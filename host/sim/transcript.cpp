// The transcript of a run as text: one event a line, every text decoded to
// UTF-8 and written as a JSON string so that blanks and line breaks show.
#include <charconv>
#include <cstdint>
#include <cstring>

#include <nlohmann/json.hpp>

#include "host/common/cp1251.h"
#include "host/sim/host_state.h"

namespace sim {
namespace {

// Error texts are the host's own and already UTF-8; the rest are the
// plug-in's Windows-1251 bytes.
bool in_cp1251(const Event &e) { return e.kind != Event::Error; }

// How each byte goes into a JSON string: as it is, escaped, or (a
// Windows-1251 byte from 0x80 on) as its UTF-8 form.
enum ByteClass : unsigned char { kAsIs, kEscaped, kHigh };

struct QuotingTables {
    ByteClass of[256];
    char utf8[128][4];  // padded, so that a form is copied as one word
    unsigned char utf8_length[128];
    QuotingTables() : utf8() {
        for (int b = 0; b < 256; ++b)
            of[b] = b >= 0x80 ? kHigh : b < 0x20 || b == '"' || b == '\\' || b == 0x7F ? kEscaped : kAsIs;
        for (int b = 0x80; b <= 0xFF; ++b) {
            std::string form;
            kesto::append_cp1251_byte_as_utf8(form, static_cast<unsigned char>(b));
            utf8_length[b - 0x80] = static_cast<unsigned char>(form.size());
            for (size_t k = 0; k < form.size(); ++k) utf8[b - 0x80][k] = form[k];
        }
    }
};

// Bytes from p up to end that go into a JSON string as they are: printable
// ASCII but '"' and '\\' (and, unless decode, every byte from 0x80 on).
// Eight bytes are judged at a time while they all are.
size_t as_is_run(const unsigned char *p, const unsigned char *end, bool decode, const QuotingTables &tables) {
    const unsigned char *start = p;
    if (decode && end - p >= 8) {
        constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
        for (; end - p >= 8; p += 8) {
            std::uint64_t x;
            std::memcpy(&x, p, 8);
            const std::uint64_t below_blank = (x - 0x20 * ones) & ~x & highs;
            const std::uint64_t from_del = ((x + (0x80 - 0x7F) * ones) | x) & highs;
            const std::uint64_t q = x ^ ('"' * ones), b = x ^ ('\\' * ones);
            const std::uint64_t is_quote = (q - ones) & ~q & highs, is_backslash = (b - ones) & ~b & highs;
            if (below_blank | from_del | is_quote | is_backslash) break;
        }
    }
    while (p < end && (tables.of[*p] == kAsIs || (!decode && tables.of[*p] == kHigh))) ++p;
    return static_cast<size_t>(p - start);
}

// Writes one line of the transcript into room made for it beforehand, so
// that no write checks for room: at most six bytes for each byte of a text
// (an escape "\u00XX"; a decoded character takes three at most) and a
// little for each word and number.
class LineWriter {
public:
    explicit LineWriter(char *p) : p_(p) {}
    char *end() const { return p_; }

    template <size_t N>
    void literal(const char (&s)[N]) {
        std::memcpy(p_, s, N - 1);
        p_ += N - 1;
    }
    void word(const char *s) {
        size_t n = std::strlen(s);
        std::memcpy(p_, s, n);
        p_ += n;
    }
    void number(int v) { p_ = std::to_chars(p_, p_ + 12, v).ptr; }

    // A JSON string, Windows-1251 bytes (decode) decoded to UTF-8 on the
    // way.  Only ASCII bytes are escaped, and no byte of a decoded
    // character is one, so decoding and escaping take one pass; runs that
    // stay as they are are copied whole.
    void quoted(const std::string &text, bool decode) {
        static const QuotingTables tables;
        static const char hex[] = "0123456789abcdef";
        const unsigned char *t = reinterpret_cast<const unsigned char *>(text.data());
        const unsigned char *const end = t + text.size();
        *p_++ = '"';
        while (t < end) {
            const size_t run = as_is_run(t, end, decode, tables);
            std::memcpy(p_, t, run);
            p_ += run;
            t += run;
            if (t == end) break;
            if (tables.of[*t] == kHigh) {
                // a run of them: a word of Cyrillic, say
                do {
                    const unsigned char h = static_cast<unsigned char>(*t++ - 0x80);
                    std::memcpy(p_, tables.utf8[h], 4);
                    p_ += tables.utf8_length[h];
                } while (t < end && tables.of[*t] == kHigh);
                continue;
            }
            const unsigned char c = *t++;
            *p_++ = '\\';
            switch (c) {
            case '"': *p_++ = '"'; break;
            case '\\': *p_++ = '\\'; break;
            case '\n': *p_++ = 'n'; break;
            case '\r': *p_++ = 'r'; break;
            case '\t': *p_++ = 't'; break;
            default:
                literal("u00");
                *p_++ = hex[c >> 4];
                *p_++ = hex[c & 15];
            }
        }
        *p_++ = '"';
    }

    // Menu items and question buttons: ["text"=value, ...]
    void choices(const Event &e) {
        *p_++ = '[';
        for (size_t i = 0; i < e.items.size(); ++i) {
            if (i) literal(", ");
            quoted(e.items[i], in_cp1251(e));
            *p_++ = '=';
            number(e.values[i]);
        }
        *p_++ = ']';
    }

    void texts(const Event &e) {
        for (size_t i = 0; i < e.texts.size(); ++i) {
            if (i) *p_++ = ' ';
            quoted(e.texts[i], in_cp1251(e));
        }
    }

private:
    char *p_;
};

// The room a line of the transcript may need.
size_t room_for(const Event &e) {
    size_t n = 96 + 6 * (e.title.size() + e.chosen.size());
    for (const std::string &t : e.texts) n += 6 * t.size() + 8;
    for (const std::string &t : e.items) n += 6 * t.size() + 24;
    return n;
}

std::string decoded(const Event &e, const std::string &text) {
    return in_cp1251(e) ? kesto::cp1251_to_utf8(text) : text;
}

}  // namespace

std::string render(const std::vector<Event> &events) {
    std::string out;
    out.reserve(64 * events.size());
    std::string line;  // room for the line being written, kept from line to line
    for (const Event &e : events) {
        const size_t room = room_for(e);
        if (line.size() < room) line.resize(room);
        LineWriter w(&line[0]);
        const bool cp1251 = in_cp1251(e);
        w.word(kind_name(e.kind));
        switch (e.kind) {
        case Event::Menu:
            w.literal(" ");
            w.quoted(e.title, cp1251);
            w.literal(" default=");
            w.number(e.default_item);
            w.literal(" ");
            w.choices(e);
            w.literal(" -> ");
            w.number(e.answer);
            break;
        case Event::Question:
            w.literal(" ");
            w.quoted(e.title, cp1251);
            w.literal(" type=");
            w.number(e.default_item);
            w.literal(" ");
            w.texts(e);
            w.literal(" buttons=");
            w.choices(e);
            w.literal(" -> ");
            w.number(e.answer);
            break;
        case Event::FileBox:
            w.literal(" ");
            w.quoted(e.title, cp1251);
            w.literal(" prompt=");
            w.quoted(e.texts[0], cp1251);
            w.literal(" filter=");
            w.quoted(e.texts[1], cp1251);
            w.literal(" default=");
            w.quoted(e.texts[2], cp1251);
            w.literal(" -> ");
            if (e.answer == UF_UI_OK)
                w.quoted(e.chosen, false);  // UTF-8 already
            else
                w.literal("cancelled");
            break;
        case Event::HolderAdded:
            w.literal(" ");
            w.quoted(e.title, cp1251);
            w.literal(" section ");
            w.number(e.values[0]);
            w.literal(" ");
            w.texts(e);
            break;
        case Event::View:
        case Event::Load:
        case Event::Unload:
            w.literal(" ");
            w.number(e.answer);
            break;
        default:
            if (!e.texts.empty()) {
                w.literal(" ");
                w.texts(e);
            }
        }
        w.literal("\n");
        out.append(line.data(), static_cast<size_t>(w.end() - line.data()));
    }
    return out;
}

std::string render_json(const std::vector<Event> &events) {
    nlohmann::json out = nlohmann::json::array();
    for (const Event &e : events) {
        nlohmann::json j;
        j["kind"] = kind_name(e.kind);
        if (!e.title.empty()) j["title"] = decoded(e, e.title);
        for (const std::string &t : e.texts) j["texts"].push_back(decoded(e, t));
        for (size_t i = 0; i < e.items.size(); ++i)
            j["choices"].push_back({{"text", decoded(e, e.items[i])}, {"value", e.values[i]}});
        if (e.kind == Event::Menu || e.kind == Event::Question || e.kind == Event::FileBox ||
            e.kind == Event::View || e.kind == Event::Load || e.kind == Event::Unload)
            j["answer"] = e.answer;
        if (e.kind == Event::FileBox && e.answer == UF_UI_OK) j["chosen"] = e.chosen;
        out.push_back(j);
    }
    // texts that are not UTF-8 (a load error naming a path, say) are shown, not refused
    return out.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace sim
