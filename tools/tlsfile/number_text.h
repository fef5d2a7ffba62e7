// Numbers as text without the printf family, whose output may follow the
// locale: std::to_chars writes the digits that printf writes in the "C"
// locale, rounding included.
#ifndef KESTO_TOOLS_TLSFILE_NUMBER_TEXT_H
#define KESTO_TOOLS_TLSFILE_NUMBER_TEXT_H

#include <cstddef>
#include <string>

namespace tlsfile {

// Appends value as "%.<decimals>f" writes it (decimals 0 to 17), keeping at
// most its first max_chars characters, as a printf into a buffer of
// max_chars + 1 bytes does.
void append_fixed(std::string &out, double value, int decimals, size_t max_chars = std::string::npos);

// Appends value as "%.<decimals>e" writes it (decimals 0 to 17).
void append_scientific(std::string &out, double value, int decimals);

// Appends value as the reports show it: five decimals at most, no trailing
// zeros, no sign on zero; beyond 10^15 in size "%.6e"; "nan", "inf", "-inf".
void append_number(std::string &out, double value);

}  // namespace tlsfile

#endif
