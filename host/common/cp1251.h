// Conversions between Windows-1251 bytes (the plug-in's and the host's
// character set) and UTF-8 (what people and the file system see).
#ifndef KESTO_HOST_COMMON_CP1251_H
#define KESTO_HOST_COMMON_CP1251_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kesto {

// Every byte has a character; the one unassigned byte (0x98) becomes U+FFFD.
std::string cp1251_to_utf8(const std::string &bytes);
// The same, appended to out.
void append_cp1251_as_utf8(std::string &out, std::string_view bytes);
// The same for a person to read: a control byte (below 0x20, or 0x7F) is
// shown as "\xHH", never raw, so that a file's bytes cannot move a
// terminal's cursor or hide text.
void append_cp1251_as_shown(std::string &out, std::string_view bytes);
std::string cp1251_shown(std::string_view bytes);

// A UTF-8 text (a file name, a message) for a person to read: a control
// byte shown as "\xHH", as append_cp1251_as_shown shows one, so that a
// crafted name cannot move a terminal's cursor or retitle it.
std::string utf8_shown(std::string_view utf8);

// The UTF-8 form of one Windows-1251 byte (0x80 to 0xFF), appended to out.
void append_cp1251_byte_as_utf8(std::string &out, unsigned char byte);

// UTF-8 to Windows-1251 as Windows converts it, through UTF-16: a character
// the code page lacks becomes '?' (one beyond U+FFFF, two UTF-16 units,
// "??"), and so does each malformed sequence: a byte that starts none, a
// sequence cut short, an overlong or surrogate form (its lead with the
// continuation byte that gives it away).  So no form of NUL slips in.
std::string utf8_to_cp1251(const std::string &text);

// The Windows-1251 form of a UTF-8 text, when every character has one:
// false, with the first that has none in bad (its code point, or U+FFFD
// for a malformed sequence), when not; out then holds '?' in its place.
bool utf8_to_cp1251_exact(std::string_view text, std::string &out, uint32_t &bad);

// The UTF-8 form of a code point (up to U+10FFFF), appended to out.
void append_utf8(std::string &out, uint32_t code_point);

// The length of the UTF-8 sequence a byte of 0x80 or more starts (2 to 4;
// 0 for one that starts none), with the range of the second byte that keeps
// the form shortest, outside the surrogates and within U+10FFFF.
inline size_t utf8_lead(unsigned char c, unsigned char &low, unsigned char &high) {
    low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) return 2;
    if (c >= 0xE0 && c <= 0xEF) {
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
        return 4;
    }
    return 0;
}

// The code point of the UTF-8 sequence at s[i] and its length in len, as
// RFC 3629 allows it (no overlong form, no surrogate, nothing beyond
// U+10FFFF); false for a malformed or cut-short one.
inline bool utf8_code_point(std::string_view s, size_t i, uint32_t &cp, size_t &len) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        cp = c;
        len = 1;
        return true;
    }
    unsigned char low, high;
    len = utf8_lead(c, low, high);
    if (len == 0 || len > s.size() - i) return false;
    cp = c & (0x7Fu >> len);
    for (size_t k = 1; k < len; ++k) {
        const unsigned char d = static_cast<unsigned char>(s[i + k]);
        if (k == 1 ? d < low || d > high : (d & 0xC0) != 0x80) return false;
        cp = cp << 6 | (d & 0x3Fu);
    }
    return true;
}

// The Windows-1251 byte of a UTF-16 unit, or '?'.  U+0098 is the byte 0x98,
// as on Windows.
char cp1251_byte(uint32_t unit);

}  // namespace kesto

#endif
