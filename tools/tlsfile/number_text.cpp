#include "tools/tlsfile/number_text.h"

#include <charconv>
#include <cmath>

namespace tlsfile {
namespace {

// Room for the longest "%.17f" of a double: a sign, 309 digits, the point
// and 17 decimals.
constexpr size_t kRoom = 344;

void append_chars(std::string &out, double value, std::chars_format format, int decimals, size_t max_chars) {
    char buf[kRoom];
    char *end = std::to_chars(buf, buf + sizeof buf, value, format, decimals).ptr;
    size_t n = static_cast<size_t>(end - buf);
    out.append(buf, n < max_chars ? n : max_chars);
}

constexpr unsigned long long kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
constexpr int kMostFastDecimals = 6;

// "%.<decimals>f" of a number of the size tools have, worked out in
// integers: value * 10^decimals, rounded to the nearest integer, is written
// with the point put back.  The product in doubles is within 2^-9 of the
// exact one while it stays below 2^44, so its rounding is the exact one's
// unless it lies within 1/64 of a half; then false, and nothing is written.
bool append_fixed_fast(std::string &out, double value, int decimals, size_t max_chars) {
    if (decimals > kMostFastDecimals) return false;
    const double scaled = std::fabs(value) * static_cast<double>(kPowersOfTen[decimals]);
    if (!(scaled < 17592186044416.0))  // 2^44; also NaN
        return false;
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;  // exact
    if (std::fabs(fraction - 0.5) <= 1.0 / 64) return false;
    const unsigned long long n = static_cast<unsigned long long>(whole) + (fraction > 0.5 ? 1 : 0);
    // digits from the last: the decimals, the point, the integer part, the sign
    char buf[32];
    char *p = buf + sizeof buf;
    unsigned long long integer = n / kPowersOfTen[decimals], rest = n % kPowersOfTen[decimals];
    for (int k = 0; k < decimals; ++k, rest /= 10) *--p = static_cast<char>('0' + rest % 10);
    if (decimals > 0) *--p = '.';
    do {
        *--p = static_cast<char>('0' + integer % 10);
        integer /= 10;
    } while (integer);
    if (std::signbit(value)) *--p = '-';
    const size_t len = static_cast<size_t>(buf + sizeof buf - p);
    out.append(p, len < max_chars ? len : max_chars);
    return true;
}

}  // namespace

void append_fixed(std::string &out, double value, int decimals, size_t max_chars) {
    if (append_fixed_fast(out, value, decimals, max_chars)) return;
    append_chars(out, value, std::chars_format::fixed, decimals, max_chars);
}

void append_scientific(std::string &out, double value, int decimals) {
    append_chars(out, value, std::chars_format::scientific, decimals, std::string::npos);
}

void append_number(std::string &out, double value) {
    if (!std::isfinite(value)) {
        out += std::isnan(value) ? "nan" : value > 0 ? "inf" : "-inf";
        return;
    }
    // beyond any tool's size the digits before the point would not fit
    if (!(std::fabs(value) < 1e15)) {
        append_scientific(out, value, 6);
        return;
    }
    const size_t start = out.size();
    append_fixed(out, value, 5);
    // "12.50000" -> "12.5", "3.00000" -> "3", "-0.00000" -> "0"
    size_t end = out.size();
    while (out[end - 1] == '0') --end;
    if (out[end - 1] == '.') --end;
    out.resize(end);
    if (out.compare(start, std::string::npos, "-0") == 0) out.replace(start, 2, "0");
}

}  // namespace tlsfile
