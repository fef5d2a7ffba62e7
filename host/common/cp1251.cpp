#include "host/common/cp1251.h"

namespace kesto {
namespace {

// Unicode code points of the bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F.
const uint16_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

uint32_t code_point_of(unsigned char byte) {
    if (byte < 0x80) return byte;
    if (byte >= 0xC0) return 0x0410 + (byte - 0xC0);
    return kHigh[byte - 0x80];
}

}  // namespace

void append_utf8(std::string &out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string cp1251_to_utf8(const std::string &bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    append_cp1251_as_utf8(out, bytes);
    return out;
}

namespace {

// Appends bytes as UTF-8; with shown, control bytes as "\xHH".
template <bool shown>
void append_converted(std::string &out, std::string_view bytes) {
    // runs of ASCII are the same in both, and copied whole
    size_t i = 0;
    while (i < bytes.size()) {
        size_t ascii = i;
        for (unsigned char c; ascii < bytes.size() && (c = static_cast<unsigned char>(bytes[ascii])) < 0x80 &&
                              (!shown || (c >= 0x20 && c != 0x7F));)
            ++ascii;
        out.append(bytes.data() + i, ascii - i);
        if (ascii == bytes.size()) break;
        const unsigned char c = static_cast<unsigned char>(bytes[ascii]);
        if (c < 0x80) {
            static const char hex[] = "0123456789ABCDEF";
            const char escaped[4] = {'\\', 'x', hex[c >> 4], hex[c & 15]};
            out.append(escaped, 4);
        } else {
            append_utf8(out, code_point_of(c));
        }
        i = ascii + 1;
    }
}

}  // namespace

void append_cp1251_as_utf8(std::string &out, std::string_view bytes) { append_converted<false>(out, bytes); }

void append_cp1251_as_shown(std::string &out, std::string_view bytes) { append_converted<true>(out, bytes); }

std::string cp1251_shown(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    append_cp1251_as_shown(out, bytes);
    return out;
}

std::string utf8_shown(std::string_view utf8) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

void append_cp1251_byte_as_utf8(std::string &out, unsigned char byte) { append_utf8(out, code_point_of(byte)); }

char cp1251_byte(uint32_t unit) {
    if (unit < 0x80) return static_cast<char>(unit);
    if (unit >= 0x0410 && unit <= 0x044F) return static_cast<char>(0xC0 + (unit - 0x0410));
    if (unit == 0x98) return static_cast<char>(0x98);  // Windows' own stand-in for the unassigned byte
    for (int i = 0; i < 64; ++i)
        if (kHigh[i] == unit && unit != 0xFFFD) return static_cast<char>(0x80 + i);
    return '?';
}

std::string utf8_to_cp1251(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        unsigned char low, high;
        const size_t len = utf8_lead(c, low, high);
        if (len == 0) {
            out += '?';
            ++i;
            continue;
        }
        uint32_t cp = c & (0x7Fu >> len);
        size_t k = 1;
        bool whole = true;
        for (; k < len; ++k) {
            unsigned char d = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
            if ((d & 0xC0) != 0x80) {
                whole = false;
                break;
            }
            cp = (cp << 6) | (d & 0x3Fu);
            if (k == 1 && (d < low || d > high)) {
                whole = false;
                ++k;  // a continuation byte out of the lead's range goes with it
                break;
            }
        }
        if (!whole) out += '?';
        else if (cp > 0xFFFF) out += "??";  // two UTF-16 units
        else out += cp1251_byte(cp);
        i += k;
    }
    return out;
}

bool utf8_to_cp1251_exact(std::string_view text, std::string &out, uint32_t &bad) {
    out.clear();
    out.reserve(text.size());
    bool exact = true;
    for (size_t i = 0; i < text.size();) {
        uint32_t cp;
        size_t len;
        if (!utf8_code_point(text, i, cp, len)) {
            cp = 0xFFFD;
            len = 1;
        }
        const char b = cp < 0x80 ? static_cast<char>(cp) : cp <= 0xFFFF ? cp1251_byte(cp) : '?';
        if (b == '?' && cp != '?' && exact) {
            exact = false;
            bad = cp;
        }
        out += b;
        i += len;
    }
    return exact;
}

}  // namespace kesto
