// The reader works line by line: every statement of the format stands on
// one line, so a statement that does not end where its line ends is a fault
// of that line.  After a fault the rest of the record is skipped up to the
// next line that starts a TOOLID record, so one damage gives one problem.
#include "tools/tlsfile/tls_reader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string_view>

#include "host/common/cp1251.h"
#include "tools/tlsfile/input_file.h"

namespace tlsfile {

const char *form_name(Form form) {
    switch (form) {
    case Form::none: return "no cutter";
    case Form::flat_end: return "flat end";
    case Form::bull_nose: return "bull nose";
    case Form::ball_end: return "ball end";
    case Form::seven_value: return "seven-value";
    case Form::apt10: return "APT 10";
    case Form::drill: return "drill";
    case Form::sor: return "SOR outline";
    case Form::turning: return "turning";
    case Form::unknown: return "unknown cutter";
    }
    return "unknown cutter";
}

namespace {

const char kVersionPrefix[] = "Version-";

// Whether a quoted text is valid UTF-8 that spells letters beyond ASCII
// (Latin, Greek, Cyrillic): a text saved as UTF-8.  Windows-1251 letters
// follow each other as bytes of 0xC0 and more, which UTF-8 never does.
bool utf8_with_letters(std::string_view s) {
    bool letters = false;
    for (size_t i = 0; i < s.size();) {
        uint32_t cp;
        size_t len;
        if (!kesto::utf8_code_point(s, i, cp, len)) return false;
        letters = letters || (cp >= 0xC0 && cp <= 0x24F && cp != 0xD7 && cp != 0xF7) || (cp >= 0x370 && cp <= 0x52F);
        i += len;
    }
    return letters;
}

// A token of one line.  Its text points into the line, so that reading a
// line allocates nothing.
struct Token {
    enum Kind : unsigned char { word, string, number, lbrace, rbrace, lparen, rparen, comma };
    Kind kind = word;
    bool finite = true;
    bool unusual = false;   // a quoted text with a control byte or a byte of 0x80 or more
    std::string_view text;  // word, string contents or number as written
    double value = 0;
};

// Character classes, looked up in a table.
enum : unsigned char { kAlpha = 1, kDigit = 2 };

struct CharClasses {
    unsigned char of[256] = {};
    constexpr CharClasses() {
        for (int c = 'A'; c <= 'Z'; ++c) of[c] = kAlpha;
        for (int c = 'a'; c <= 'z'; ++c) of[c] = kAlpha;
        of[static_cast<unsigned char>('_')] = kAlpha;
        for (int c = '0'; c <= '9'; ++c) of[c] = kDigit;
    }
};
constexpr CharClasses kClasses;

unsigned char class_of(char c) { return kClasses.of[static_cast<unsigned char>(c)]; }
bool is_alpha(char c) { return class_of(c) == kAlpha; }
bool is_digit(char c) { return class_of(c) == kDigit; }
bool is_alnum(char c) { return class_of(c) != 0; }

// The first byte at or after p that is no blank (' ', '\t'), or end.
const char *skip_blanks(const char *p, const char *end) {
    // indentation goes eight blanks at a time
    static const char eight[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    while (end - p >= 8 && std::memcmp(p, eight, 8) == 0) p += 8;
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    return p;
}

bool equals_nocase(std::string_view a, const char *b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != b[i]) return false;
    }
    return true;
}

// The spellings C libraries give a NaN or an infinity with "%f".
bool is_nonfinite_word(std::string_view w) {
    return equals_nocase(w, "nan") || equals_nocase(w, "inf") || equals_nocase(w, "infinity");
}

const char *token_name(const Token &t) {
    switch (t.kind) {
    case Token::word: return "a word";
    case Token::string: return "a quoted text";
    case Token::number: return "a number";
    case Token::lbrace: return "'{'";
    case Token::rbrace: return "'}'";
    case Token::lparen: return "'('";
    case Token::rparen: return "')'";
    case Token::comma: return "','";
    }
    return "a token";
}

std::string describe(const Token &t) {
    if (t.kind == Token::word || t.kind == Token::number) return std::string(t.text);
    if (t.kind == Token::string) return "\"" + std::string(t.text) + "\"";
    return token_name(t);
}

std::string malformed_number(const char *first, const char *last) {
    return "malformed number '" + std::string(first, static_cast<size_t>(last - first)) + "'";
}

// Whether p is where its line ends: at "\n", "\r\n", a '\r' that ends the
// text, or the end of the text.
bool at_line_end(const char *p, const char *end) {
    return p == end || *p == '\n' || (*p == '\r' && (p + 1 == end || p[1] == '\n'));
}

// Where the line after the one that p is on starts.
const char *next_line(const char *p, const char *end) {
    const void *nl = std::memchr(p, '\n', static_cast<size_t>(end - p));
    return nl ? static_cast<const char *>(nl) + 1 : end;
}

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Reads the tokens of the line that starts at pos into out (cleared first),
// in one pass over its bytes, and moves pos to the start of the next line.
// False, with a reason and pos left where it was, on a malformed line.  A
// token's text points into the line, so nothing is allocated.  unusual is
// set when a quoted text holds a byte outside printable ASCII.
bool tokenize(const char *&pos, const char *end, std::vector<Token> &out, std::string &error, bool &unusual) {
    out.clear();
    unusual = false;
    const char *p = pos;
    for (;;) {
        if (p == end) {
            pos = end;
            return true;
        }
        const char c = *p;
        Token::Kind kind = Token::word;
        switch (c) {
        case ' ':
        case '\t': ++p; continue;
        case '\n': pos = p + 1; return true;
        case '\r':
            // the line's end; elsewhere an unexpected character
            if (p + 1 == end || p[1] == '\n') {
                pos = p + 1 == end ? end : p + 2;
                return true;
            }
            break;
        case '{': kind = Token::lbrace; break;
        case '}': kind = Token::rbrace; break;
        case '(': kind = Token::lparen; break;
        case ')': kind = Token::rparen; break;
        case ',': kind = Token::comma; break;
        case '"': {
            const char *q = p + 1;
            bool odd = false;  // a byte outside 0x20 to 0x7E, looked at once the line is read
            for (char b; q < end && (b = *q) != '"' && b != '\n'; ++q)
                odd |= static_cast<unsigned char>(b - 0x20) >= 0x5F;
            if (q == end || *q != '"') {
                error = "quoted text is not closed on its line (the line may be cut short)";
                return false;
            }
            out.emplace_back();
            out.back().kind = Token::string;
            out.back().unusual = odd;
            unusual |= odd;
            out.back().text = std::string_view(p + 1, static_cast<size_t>(q - p - 1));
            p = q + 1;
            continue;
        }
        case '+':
        case '-':
        case '.':
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9': {
            // The common number, digits with a point, read on the way; its
            // value is a mantissa of at most 2^53 over a power of ten that a
            // double holds exactly, one correctly rounded division, the
            // value std::from_chars gives too.  Anything else about it (an
            // exponent, no digit, a letter after it, a longer mantissa) is
            // left to the general reading below.
            const char *q = p + (c == '+' || c == '-');
            unsigned long long mantissa = 0;
            auto digit_run = [&] {
                const char *from = q;
                for (unsigned d; q < end && (d = static_cast<unsigned char>(*q) - 48u) <= 9; ++q)
                    mantissa = mantissa * 10 + d;
                return q - from;
            };
            long digits = digit_run(), decimals = 0;
            if (q < end && *q == '.') {
                ++q;
                decimals = digit_run();
                digits += decimals;
            }
            if (digits > 0 && digits <= 19 && decimals <= 22 && mantissa <= (1ull << 53) &&
                (q == end || (class_of(*q) == 0 && *q != '.' && *q != '#'))) {
                Token &t = out.emplace_back();
                t.kind = Token::number;
                t.text = std::string_view(p, static_cast<size_t>(q - p));
                t.value = static_cast<double>(mantissa) / kExactPowersOfTen[decimals];
                if (c == '-') t.value = -t.value;
                p = q;
                continue;
            }
            break;
        }
        default: break;
        }
        if (kind != Token::word) {
            out.emplace_back();
            out.back().kind = kind;
            ++p;
            continue;
        }
        Token t;
        const char *start = p;
        if (is_alpha(c)) {
            while (p < end && is_alnum(*p)) ++p;
            t.text = std::string_view(start, static_cast<size_t>(p - start));
            if (((c | 0x20) != 'n' && (c | 0x20) != 'i') || !is_nonfinite_word(t.text)) {
                out.push_back(t);
                continue;
            }
            t.kind = Token::number, t.finite = false;
        } else if (is_digit(c) || c == '.' || c == '+' || c == '-') {
            // What the quick reading above left: an exponent, a long
            // mantissa, a spelling of a number that is not finite, or a
            // malformed number.
            if (c == '+' || c == '-') ++p;
            t.kind = Token::number;
            if (p < end && is_alpha(*p)) {
                // "-nan", "-inf"
                const char *w = p;
                while (p < end && is_alnum(*p)) ++p;
                if (!is_nonfinite_word(std::string_view(w, static_cast<size_t>(p - w)))) {
                    error = malformed_number(start, p);
                    return false;
                }
                t.finite = false;
            } else {
                auto digit_run = [&] {
                    const char *first = p;
                    while (p < end && is_digit(*p)) ++p;
                    return p > first;
                };
                bool digits = digit_run();
                if (p < end && *p == '.') {
                    ++p;
                    digits = digit_run() || digits;
                }
                if (!digits) {
                    error = malformed_number(start, at_line_end(p, end) ? p : p + 1);
                    return false;
                }
                if (p < end && (*p == 'e' || *p == 'E')) {
                    const char *e = p + 1;
                    if (e < end && (*e == '+' || *e == '-')) ++e;
                    if (e < end && is_digit(*e))
                        for (p = e; p < end && is_digit(*p);) ++p;
                }
                if (p < end && *p == '#') {
                    // Microsoft's runtime: 1.#INF0, -1.#IND0, 1.#QNAN0
                    while (p < end && (is_alnum(*p) || *p == '#')) ++p;
                    t.finite = false;
                } else if (p < end && (is_alnum(*p) || *p == '.')) {
                    while (p < end && (is_alnum(*p) || *p == '.')) ++p;
                    error = malformed_number(start, p);
                    return false;
                }
            }
            t.text = std::string_view(start, static_cast<size_t>(p - start));
        } else {
            static const char hex[] = "0123456789ABCDEF";
            const unsigned char u = static_cast<unsigned char>(c);
            error = "unexpected character 0x";
            error += hex[u >> 4];
            error += hex[u & 15];
            return false;
        }
        // a number that is not plain decimal
        if (!t.finite) {
            // "nan(ind)" and the like: the bracketed tag belongs to the number
            if (p + 1 < end && *p == '(' && is_alpha(p[1])) {
                const char *close = p + 1;
                while (close < end && *close != ')' && *close != '\n') ++close;
                if (close < end && *close == ')') {
                    bool tag = true;
                    for (const char *k = p + 1; k < close; ++k) tag = tag && is_alnum(*k);
                    if (tag) {
                        p = close + 1;
                        t.text = std::string_view(start, static_cast<size_t>(p - start));
                    }
                }
            }
            t.value = std::numeric_limits<double>::quiet_NaN();
        } else {
            const char *first = start;
            if (*first == '+') ++first;
            auto [ptr, ec] = std::from_chars(first, p, t.value);
            if (ec == std::errc::result_out_of_range) {
                t.value = std::numeric_limits<double>::infinity();
                t.finite = false;
            } else if (ec != std::errc() || ptr != p) {
                error = malformed_number(start, p);
                return false;
            }
        }
        out.push_back(t);
    }
}

enum class Ctx { top, record, cutter, cutter_assembly, holder, holder_assembly, sor };

const char *ctx_name(Ctx c) {
    switch (c) {
    case Ctx::top: return "the file";
    case Ctx::record: return "TOOLID record";
    case Ctx::cutter: return "CUTTER block";
    case Ctx::cutter_assembly: return "cutter ASSEMBLY block";
    case Ctx::holder: return "HOLDER block";
    case Ctx::holder_assembly: return "holder ASSEMBLY block";
    case Ctx::sor: return "SOR block";
    }
    return "block";
}

struct Frame {
    Ctx ctx;
    int line;
};

// Reads the tokens of one statement in order.
class Cursor {
public:
    explicit Cursor(const std::vector<Token> &t) : t_(t) {}
    bool at_end() const { return i_ >= t_.size(); }
    const Token *peek() const { return at_end() ? nullptr : &t_[i_]; }
    bool take(Token::Kind k) {
        if (at_end() || t_[i_].kind != k) return false;
        ++i_;
        return true;
    }
    const Token *take_value(Token::Kind k) { return at_end() || t_[i_].kind != k ? nullptr : &t_[i_++]; }
    std::string found() const { return at_end() ? "the end of the line" : describe(t_[i_]); }

private:
    const std::vector<Token> &t_;
    size_t i_ = 1;  // the statement's keyword is already known
};

// Reads the lines of a file, the header first, into a library.  The tokens
// of a line and the values of a tuple go into buffers kept from line to
// line, so that after the first lines reading allocates only what the
// library keeps.
Form form_of(const Tool &t);

class Parser {
public:
    // With done, each record, once complete, is handed to done and leaves
    // the library.
    explicit Parser(Library &lib, const std::function<void(Tool &)> *done = nullptr) : lib_(lib), done_(done) {}
    // Reads the lines from p up to end, the last one ended by end if it
    // has no line end; returns end.
    const char *lines(const char *p, const char *end);
    // After the last line: what the file's end says.
    void finish(bool ends_with_newline);

private:
    // One of the first two lines, from p to its line end.
    void header(int number, const char *p, const char *end);
    // Reads the line at p; returns where the next one starts.
    const char *line(int number, const char *p, const char *end);
    Tool *tool() { return in_record_ ? &lib_.tools.back() : nullptr; }
    // A new record at line; the one before it is complete.
    Tool &begin_record(int line) {
        retire();
        lib_.tools.push_back(Tool{});
        ++records_;
        lib_.tools.back().line = line;
        return lib_.tools.back();
    }
    void retire() {
        if (!done_ || lib_.tools.empty()) return;
        Tool &t = lib_.tools.back();
        t.form = form_of(t);
        (*done_)(t);
        lib_.tools.pop_back();
    }
    void problem(int line, const std::string &message) {
        add_problem(lib_.problems, lib_.problems_beyond, {line, tool() ? tool()->name : std::string(), message});
    }
    void fault(int line, const std::string &message);
    void texts(int line, const Tool *owner, bool record_start);
    void text_problem(Problem problem) {
        ++lib_.text_problems;
        add_problem(lib_.problems, lib_.problems_beyond, std::move(problem));
    }
    // A line ended by CR LF or by LF alone: only the lines of the other
    // kind than the first line's are counted as they go.
    void line_end(int number, bool crlf) {
        if (number == 1) crlf_first_ = crlf;
        else if (crlf != crlf_first_ && other_ends_++ == 0) first_other_ = number;
    }
    void start_record(int line, const std::vector<Token> &tokens);
    void statement(int line, const std::vector<Token> &tokens);
    bool expect_end(Cursor &c, int line, std::string_view what);
    bool open_block(Cursor &c, int line, std::string_view keyword, Ctx ctx);
    bool number(Cursor &c, int line, double &v, bool &finite);
    bool tuple(Cursor &c, int line, bool &finite, const char *what);
    Outline *current_outline();
    static bool known_elsewhere(std::string_view word);

    Library &lib_;
    const std::function<void(Tool &)> *done_;
    size_t records_ = 0;  // records begun
    std::vector<Frame> stack_;
    std::vector<Token> tokens_;   // of the current line
    std::vector<double> values_;  // of the current tuple
    std::string error_;
    int number_ = 0;              // lines read
    bool header_line_ = false;    // the first line is the header
    bool in_record_ = false;
    bool skipping_ = false;
    bool stopped_ = false;  // past kMaxTools records
    int nonfinite_line_ = 0;
    bool utf8_reported_ = false;  // the file was found to be UTF-8
    bool crlf_first_ = false;             // the first line ends in CR LF
    int other_ends_ = 0, first_other_ = 0;  // lines ended the other way, and the first of them
};

void Parser::fault(int line, const std::string &message) {
    problem(line, message);
    if (Tool *t = tool())
        if (t->damaged_line == 0) t->damaged_line = line;
    stack_.clear();
    in_record_ = false;
    skipping_ = true;
}

// Whether the line whose first byte that is no blank is at p starts a
// record: "TOOLID", then the line's end, a blank or a quote.
bool starts_record(const char *p, const char *end) {
    if (end - p < 6 || std::memcmp(p, "TOOLID", 6) != 0) return false;
    p += 6;
    return at_line_end(p, end) || *p == ' ' || *p == '\t' || *p == '"';
}

const char *Parser::lines(const char *p, const char *end) {
    while (p < end) {
        const char *start = p;
        const int number = ++number_;
        if (number > 2) {
            p = line(number, p, end);
        } else {
            // the header's lines are compared whole
            const char *next = next_line(p, end);
            header(number, p, next[-1] == '\n' ? next - 1 : next);
            p = next;
        }
        if (p[-1] == '\n') line_end(number, p - 1 > start && p[-2] == '\r');
    }
    return p;
}

void Parser::header(int number, const char *p, const char *end) {
    std::string_view s(p, static_cast<size_t>(end - p));
    if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
    if (number == 1) {
        header_line_ = s == kLibraryHeaderLine;
        if (!header_line_) {
            add_problem(lib_.problems, lib_.problems_beyond,
                        {1, "", std::string("missing header line \"") + kLibraryHeaderLine + "\""});
            // a file that lost only its first line still has its version line
            if (s.compare(0, sizeof kVersionPrefix - 1, kVersionPrefix) != 0) line(number, p, end);
        }
        return;
    }
    if (header_line_) {
        if (s.compare(0, sizeof kVersionPrefix - 1, kVersionPrefix) == 0 && s.size() > sizeof kVersionPrefix - 1) {
            lib_.header_ok = true;
        } else {
            add_problem(lib_.problems, lib_.problems_beyond,
                        {2, "", std::string("missing version line \"") + kVersionPrefix + "...\""});
            line(number, p, end);
        }
        return;
    }
    line(number, p, end);
}

const char *Parser::line(int number, const char *p, const char *end) {
    if (stopped_) return next_line(p, end);
    p = skip_blanks(p, end);
    bool record_start = starts_record(p, end);
    if (skipping_ && !record_start) return next_line(p, end);
    if (record_start && in_record_) {
        Frame open = stack_.front();
        fault(number, std::string("TOOLID record opened at line ") + std::to_string(open.line) +
                          " is not closed before the next record (a closing brace is missing)");
    }
    skipping_ = false;
    if (record_start && records_ >= kMaxTools) {
        problem(number, "more than " + std::to_string(kMaxTools) + " TOOLID records: the rest of the file is not read");
        stopped_ = true;
        return next_line(p, end);
    }
    const char *next = p;
    bool unusual = false;
    if (!tokenize(next, end, tokens_, error_, unusual)) {
        if (record_start && !in_record_) {
            // keep the record in the model so the report can name it
            begin_record(number);
            in_record_ = true;
        }
        fault(number, error_);
        return next_line(p, end);
    }
    if (tokens_.empty()) return next;
    const Tool *owner = tool();
    if (record_start)
        start_record(number, tokens_);
    else if (!in_record_)
        fault(number, "expected a TOOLID record, found " + describe(tokens_[0]));
    else
        statement(number, tokens_);
    if (unusual) texts(number, record_start ? &lib_.tools.back() : owner, record_start);
    return next;
}

// What the quoted texts of a line hold beyond printable ASCII: control
// bytes (reported with the line), or letters in UTF-8 (reported once).
void Parser::texts(int line, const Tool *owner, bool record_start) {
    for (size_t i = 0; i < tokens_.size(); ++i) {
        const Token &t = tokens_[i];
        if (t.kind != Token::string || !t.unusual) continue;
        size_t controls = 0;
        char first = 0;
        for (char c : t.text)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                if (controls++ == 0) first = c;
        const std::string name = owner ? owner->name : std::string();
        if (controls) {
            std::string message = "control byte ";
            kesto::append_cp1251_as_shown(message, std::string_view(&first, 1));
            message += record_start && i == 1 ? " in the TOOLID" : " in a quoted text";
            if (controls > 1) message += " (" + std::to_string(controls) + " in all)";
            text_problem({line, name, message});
        }
        if (!utf8_reported_ && utf8_with_letters(t.text)) {
            utf8_reported_ = true;
            text_problem({line, name, "the quoted text is UTF-8, not Windows-1251: its letters would show garbled "
                                      "(hint: save the file as Windows-1251, \"ANSI\")"});
        }
    }
}

void Parser::start_record(int line, const std::vector<Token> &tokens) {
    Tool &t = begin_record(line);
    in_record_ = true;
    Cursor c(tokens);
    const Token *name = c.take_value(Token::string);
    if (!name) {
        fault(line, "TOOLID must be followed by the quoted tool name, found " + c.found());
        return;
    }
    t.name = name->text;
    if (!c.take(Token::lbrace)) {
        fault(line, "expected '{' after the tool name, found " + c.found());
        return;
    }
    if (!c.at_end()) {
        fault(line, "unexpected " + c.found() + " after '{'");
        return;
    }
    stack_.push_back({Ctx::record, line});
}

bool Parser::expect_end(Cursor &c, int line, std::string_view what) {
    if (c.at_end()) return true;
    fault(line, "unexpected " + c.found() + " after " + std::string(what));
    return false;
}

bool Parser::open_block(Cursor &c, int line, std::string_view keyword, Ctx ctx) {
    if (!c.take(Token::lbrace)) {
        fault(line, "expected '{' after " + std::string(keyword) + ", found " + c.found());
        return false;
    }
    if (!expect_end(c, line, std::string(keyword) + " {")) return false;
    stack_.push_back({ctx, line});
    return true;
}

inline bool Parser::number(Cursor &c, int line, double &v, bool &finite) {
    const Token *t = c.take_value(Token::number);
    if (!t) return false;
    v = t->value;
    if (!t->finite) {
        finite = false;
        if (nonfinite_line_ != line) {
            nonfinite_line_ = line;
            problem(line, "non-finite number '" + std::string(t->text) + "'");
        }
    }
    return true;
}

// "( n , n , ... )" with at least one value, into values_.
bool Parser::tuple(Cursor &c, int line, bool &finite, const char *what) {
    values_.clear();
    if (!c.take(Token::lparen)) {
        fault(line, std::string("expected '(' in ") + what + ", found " + c.found());
        return false;
    }
    for (;;) {
        double v = 0;
        if (!number(c, line, v, finite)) {
            fault(line, std::string("expected a number in ") + what + ", found " + c.found() +
                            (c.at_end() ? " (the line may be cut short)" : ""));
            return false;
        }
        values_.push_back(v);
        if (c.take(Token::rparen)) return true;
        if (!c.take(Token::comma)) {
            fault(line, std::string("expected ',' or ')' in ") + what + ", found " + c.found() +
                            (c.at_end() ? " (the line may be cut short)" : ""));
            return false;
        }
    }
}

Outline *Parser::current_outline() {
    Tool *t = tool();
    if (!t || stack_.size() < 2) return nullptr;
    return stack_[stack_.size() - 2].ctx == Ctx::cutter_assembly ? &t->cutter_outline : &t->holder_outline;
}

// Whether a keyword belongs to another block of the format: seen in the
// wrong block it most likely means a brace was lost or added.
bool Parser::known_elsewhere(std::string_view w) {
    static const char *const keywords[] = {"UNITS", "DESCRIPTION", "GAGEPOINT_OFFSET", "OPTIPATH_DESCRIPTION",
                                           "OPTIPATH_TEETH", "COMMENTS", "TOOLTYPE", "STACK", "CUTTER", "HOLDER",
                                           "FLUTE_LENGTH", "SHANK_DIAMETER", "ASSEMBLY", "CUTTER_TYPE",
                                           "STANDARD", "SOR", "PTS", "ARC"};
    for (const char *k : keywords)
        if (w == k) return true;
    return false;
}

void Parser::statement(int line, const std::vector<Token> &tokens) {
    Frame &top = stack_.back();
    Tool &t = *tool();
    Cursor c(tokens);
    const Token &first = tokens[0];

    if (first.kind == Token::rbrace) {
        if (!expect_end(c, line, "'}'")) return;
        Ctx closing = top.ctx;
        if (closing == Ctx::sor) {
            if (Outline *o = current_outline()) {
                o->closed = true;
                o->items.shrink_to_fit();  // a library of many tools keeps no spare room
            }
        }
        stack_.pop_back();
        if (closing == Ctx::record) {
            t.closed = true;
            in_record_ = false;
        }
        return;
    }
    if (first.kind != Token::word) {
        fault(line, "expected a keyword in the " + std::string(ctx_name(top.ctx)) + ", found " + describe(first));
        return;
    }
    const std::string_view w = first.text;
    auto string_value = [&](std::string &dst) {
        const Token *s = c.take_value(Token::string);
        if (!s) {
            fault(line, std::string(w) + " must be followed by a quoted text, found " + c.found());
            return;
        }
        dst = s->text;
        expect_end(c, line, w);
    };
    auto word_value = [&](std::string &dst) {
        const Token *s = c.take_value(Token::word);
        if (!s) {
            fault(line, std::string(w) + " must be followed by a word, found " + c.found());
            return;
        }
        dst = s->text;
        expect_end(c, line, w);
    };
    auto single_number = [&](double &dst, bool &has, int *at = nullptr) {
        bool finite = true;
        if (!number(c, line, dst, finite)) {
            fault(line, std::string(w) + " must be followed by a number, found " + c.found());
            return;
        }
        has = true;
        if (at) *at = line;
        expect_end(c, line, w);
    };

    switch (top.ctx) {
    case Ctx::record:
        if (w == "UNITS") {
            t.units_line = line;
            return word_value(t.units);
        }
        if (w == "DESCRIPTION") {
            t.has_description = true;
            return string_value(t.description);
        }
        if (w == "OPTIPATH_DESCRIPTION" || w == "COMMENTS") {
            std::string ignored;
            return string_value(ignored);
        }
        if (w == "OPTIPATH_TEETH") {
            double teeth = 0;
            bool has = false;
            return single_number(teeth, has);
        }
        if (w == "TOOLTYPE") {
            t.tooltype_line = line;
            return word_value(t.tooltype);
        }
        if (w == "STACK") {
            t.stack_line = line;
            return word_value(t.stack);
        }
        if (w == "GAGEPOINT_OFFSET") {
            bool finite = true;
            if (!tuple(c, line, finite, "GAGEPOINT_OFFSET")) return;
            if (values_.size() != 3) {
                fault(line, "GAGEPOINT_OFFSET needs 3 values, found " + std::to_string(values_.size()));
                return;
            }
            if (!expect_end(c, line, "GAGEPOINT_OFFSET")) return;
            t.has_gage = true;
            t.gage_line = line;
            for (int i = 0; i < 3; ++i) t.gage[i] = values_[static_cast<size_t>(i)];
            return;
        }
        if (w == "CUTTER" || w == "HOLDER") {
            bool cutter = w == "CUTTER";
            if (cutter ? t.has_cutter : t.has_holder) {
                fault(line, "second " + std::string(w) + " block in one record");
                return;
            }
            if (!open_block(c, line, w, cutter ? Ctx::cutter : Ctx::holder)) return;
            (cutter ? t.has_cutter : t.has_holder) = true;
            (cutter ? t.cutter_line : t.holder_line) = line;
            return;
        }
        break;
    case Ctx::cutter:
        if (w == "FLUTE_LENGTH") return single_number(t.flute_length, t.has_flute_length, &t.flute_length_line);
        if (w == "SHANK_DIAMETER")
            return single_number(t.shank_diameter, t.has_shank_diameter, &t.shank_diameter_line);
        if (w == "ASSEMBLY") {
            if (!t.standard.empty() || t.cutter_outline.present || t.cutter_type_line) {
                fault(line, "second ASSEMBLY block in the CUTTER block");
                return;
            }
            open_block(c, line, w, Ctx::cutter_assembly);
            return;
        }
        break;
    case Ctx::cutter_assembly:
    case Ctx::holder_assembly: {
        bool cutter = top.ctx == Ctx::cutter_assembly;
        if (cutter && w == "CUTTER_TYPE") {
            t.cutter_type_line = line;
            return string_value(t.cutter_type);
        }
        if (cutter && w == "STANDARD") {
            bool finite = true;
            if (!tuple(c, line, finite, "STANDARD")) return;
            if (!expect_end(c, line, "STANDARD")) return;
            t.standard.assign(values_.begin(), values_.end());
            t.standard_line = line;
            t.standard_finite = finite;
            return;
        }
        if (w == "SOR") {
            Outline &o = cutter ? t.cutter_outline : t.holder_outline;
            if (o.present) {
                fault(line, "second SOR block in one ASSEMBLY block");
                return;
            }
            if (!open_block(c, line, w, Ctx::sor)) return;
            o.present = true;
            o.line = line;
            return;
        }
        break;
    }
    case Ctx::holder:
        if (w == "ASSEMBLY") {
            if (t.holder_outline.present) {
                fault(line, "second ASSEMBLY block in the HOLDER block");
                return;
            }
            open_block(c, line, w, Ctx::holder_assembly);
            return;
        }
        break;
    case Ctx::sor: {
        Outline &o = *current_outline();
        if (w == "PTS") {
            if (!c.take(Token::lbrace)) {
                fault(line, "expected '{' after PTS, found " + c.found());
                return;
            }
            // the line's points join the outline only when the whole line is sound
            const size_t before = o.items.size();
            auto give_up = [&] { o.items.resize(before); };
            while (!c.take(Token::rbrace)) {
                if (c.at_end()) {
                    fault(line, "PTS is not closed by '}' on its line (the line may be cut short)");
                    return give_up();
                }
                if (!tuple(c, line, o.finite, "a PTS point")) return give_up();
                if (values_.size() != 2) {
                    fault(line, "a PTS point needs 2 values, found " + std::to_string(values_.size()));
                    return give_up();
                }
                OutlineItem p;
                p.x = values_[0];
                p.y = values_[1];
                p.line = line;
                o.items.push_back(p);
            }
            if (o.items.size() == before) {
                fault(line, "PTS without points");
                return;
            }
            if (!expect_end(c, line, "PTS { ... }")) return give_up();
            return;
        }
        if (w == "ARC") {
            if (!tuple(c, line, o.finite, "ARC")) return;
            if (values_.size() != 3) {
                fault(line, "ARC needs 3 values (centre and radius), found " + std::to_string(values_.size()));
                return;
            }
            if (!expect_end(c, line, "ARC")) return;
            OutlineItem a;
            a.kind = OutlineItem::arc;
            a.x = values_[0];
            a.y = values_[1];
            a.r = values_[2];
            a.line = line;
            o.items.push_back(a);
            return;
        }
        break;
    }
    case Ctx::top:
        break;
    }
    std::string message = std::string(w) + " is not allowed in the " + ctx_name(top.ctx) + " opened at line " +
                          std::to_string(top.line);
    if (known_elsewhere(w)) message += " (a brace is missing or one too many)";
    fault(line, message);
}

void Parser::finish(bool ends_with_newline) {
    const int last_line = number_;
    if (other_ends_) {
        // named at the first line of the fewer kind, the later one when as many
        const int first_kind = last_line - !ends_with_newline - other_ends_;
        const bool other_fewer = other_ends_ <= first_kind, lf_fewer = other_fewer == crlf_first_;
        const int crlf = crlf_first_ ? first_kind : other_ends_;
        text_problem({other_fewer ? first_other_ : 1, "",
                      "mixed line ends: " + std::to_string(crlf) + (crlf == 1 ? " line ends" : " lines end") +
                          " in CR LF and " + std::to_string(crlf_first_ ? other_ends_ : first_kind) +
                          " in LF alone; this is the first line ending in " + (lf_fewer ? "LF alone" : "CR LF")});
    }
    if (last_line == 0) add_problem(lib_.problems, lib_.problems_beyond, {1, "", "the file is empty"});
    lib_.line_count = last_line;
    if (stopped_) return retire();
    if (in_record_ && !stack_.empty()) {
        Frame open = stack_.back();
        fault(last_line, std::string("the file ends inside the ") + ctx_name(open.ctx) + " opened at line " +
                             std::to_string(open.line) + " (a closing brace is missing or the file is cut short)");
    } else if (!ends_with_newline && last_line > 0 &&
               (lib_.problems.empty() || lib_.problems.back().line != last_line)) {
        problem(last_line, "the last line has no line end (the file may be cut short)");
    }
    retire();
}

Form form_of(const Tool &t) {
    if (!t.has_cutter) return t.tooltype == "TURNING" ? Form::turning : Form::none;
    if (t.cutter_outline.present) return Form::sor;
    if (t.cutter_type_line == 0) return t.standard.empty() ? Form::unknown : Form::seven_value;
    if (t.cutter_type == "FLAT END") return Form::flat_end;
    if (t.cutter_type == "BULL NOSE") return Form::bull_nose;
    if (t.cutter_type == "BALL END") return Form::ball_end;
    if (t.cutter_type == "APT 10") return Form::apt10;
    if (t.cutter_type == "DRILL") return Form::drill;
    return Form::unknown;
}

}  // namespace

void add_problem(std::vector<Problem> &list, size_t &beyond, Problem problem) {
    if (list.size() < kMaxProblems) list.push_back(std::move(problem));
    else ++beyond;
}

bool arc_runs_ccw(double px, double py, double qx, double qy, double cx, double cy) {
    double ux = px - cx, uy = py - cy, vx = qx - cx, vy = qy - cy;
    double turn = ux * vy - uy * vx;
    double scale = std::hypot(ux, uy) * std::hypot(vx, vy);
    if (std::fabs(turn) > 1e-9 * scale) return turn > 0;
    return py < cy;
}

double outline_max_radius(const Outline &o) {
    const double two_pi = 2.0 * 3.14159265358979323846;
    double best = 0;
    const OutlineItem *before = nullptr;
    for (size_t i = 0; i < o.items.size(); ++i) {
        const OutlineItem &item = o.items[i];
        if (item.kind == OutlineItem::point) {
            best = std::max(best, item.x);
            before = &item;
            continue;
        }
        const OutlineItem *after = i + 1 < o.items.size() ? &o.items[i + 1] : nullptr;
        if (!before || !after || after->kind != OutlineItem::point) continue;
        // the arc reaches centre + radius when it runs through the direction +x
        double a0 = std::atan2(before->y - item.y, before->x - item.x);
        double a1 = std::atan2(after->y - item.y, after->x - item.x);
        bool ccw = arc_runs_ccw(before->x, before->y, after->x, after->y, item.x, item.y);
        double sweep = std::fmod((ccw ? a1 - a0 : a0 - a1) + 2 * two_pi, two_pi);
        double to_zero = std::fmod((ccw ? -a0 : a0) + 2 * two_pi, two_pi);
        if (to_zero <= sweep) best = std::max(best, item.x + std::fabs(item.r));
    }
    return best;
}

namespace {

void complete(Library &lib) {
    for (Tool &t : lib.tools) t.form = form_of(t);
    // faults are found in line order, except non-finite numbers noted before
    // a fault on the same line; keep the list sorted for the report
    std::stable_sort(lib.problems.begin(), lib.problems.end(),
                     [](const Problem &a, const Problem &b) { return a.line < b.line; });
}

}  // namespace

Library parse_tls(const std::string &text) { return parse_tls_records(text, nullptr); }

Library parse_tls_records(const std::string &text, const std::function<void(Tool &)> &done) {
    Library lib;
    Parser parser(lib, done ? &done : nullptr);
    parser.lines(text.data(), text.data() + text.size());
    parser.finish(text.empty() || text.back() == '\n');
    complete(lib);
    return lib;
}

}  // namespace tlsfile
