// Conversions between Windows-1251 bytes (the plug-in's and the host's
// character set) and UTF-8 (what people and the file system see).
#ifndef KESTO_HOST_COMMON_CP1251_H
#define KESTO_HOST_COMMON_CP1251_H

#include <string>

namespace kesto {

// Every byte has a character; the one unassigned byte (0x98) becomes U+FFFD.
std::string cp1251_to_utf8(const std::string &bytes);

// Characters without a Windows-1251 byte, and malformed UTF-8, become '?'.
std::string utf8_to_cp1251(const std::string &text);

}  // namespace kesto

#endif
