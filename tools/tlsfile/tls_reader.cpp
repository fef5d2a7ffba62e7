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
#include <limits>

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

const char kHeader[] = "CGTECH Tool Library File";
const char kVersionPrefix[] = "Version-";

struct Token {
    enum Kind { word, string, number, lbrace, rbrace, lparen, rparen, comma };
    Kind kind = word;
    std::string text;  // word, string contents or number as written
    double value = 0;
    bool finite = true;
};

bool is_alpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alnum(char c) { return is_alpha(c) || is_digit(c); }

bool equals_nocase(const std::string &a, const char *b) {
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
bool is_nonfinite_word(const std::string &w) {
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
    if (t.kind == Token::word || t.kind == Token::number) return t.text;
    if (t.kind == Token::string) return "\"" + t.text + "\"";
    return token_name(t);
}

// Splits one line into tokens; false with a reason on a malformed line.
bool tokenize(const std::string &s, std::vector<Token> &out, std::string &error) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        char c = s[i];
        if (c == ' ' || c == '\t') { ++i; continue; }
        Token t;
        if (c == '{' || c == '}' || c == '(' || c == ')' || c == ',') {
            t.kind = c == '{' ? Token::lbrace : c == '}' ? Token::rbrace : c == '(' ? Token::lparen
                   : c == ')' ? Token::rparen : Token::comma;
            ++i;
        } else if (c == '"') {
            size_t end = s.find('"', i + 1);
            if (end == std::string::npos) {
                error = "quoted text is not closed on its line (the line may be cut short)";
                return false;
            }
            t.kind = Token::string;
            t.text = s.substr(i + 1, end - i - 1);
            i = end + 1;
        } else if (is_digit(c) || c == '.' || c == '+' || c == '-') {
            size_t start = i;
            if (c == '+' || c == '-') ++i;
            t.kind = Token::number;
            if (i < n && is_alpha(s[i])) {
                // "-nan", "-inf"
                size_t w = i;
                while (i < n && is_alnum(s[i])) ++i;
                if (!is_nonfinite_word(s.substr(w, i - w))) {
                    error = "malformed number '" + s.substr(start, i - start) + "'";
                    return false;
                }
                t.finite = false;
            } else {
                size_t digits = 0;
                while (i < n && is_digit(s[i])) { ++i; ++digits; }
                if (i < n && s[i] == '.') {
                    ++i;
                    while (i < n && is_digit(s[i])) { ++i; ++digits; }
                }
                if (digits == 0) {
                    error = "malformed number '" + s.substr(start, i + 1 - start) + "'";
                    return false;
                }
                if (i < n && (s[i] == 'e' || s[i] == 'E')) {
                    size_t e = i + 1;
                    if (e < n && (s[e] == '+' || s[e] == '-')) ++e;
                    if (e < n && is_digit(s[e])) {
                        i = e;
                        while (i < n && is_digit(s[i])) ++i;
                    }
                }
                if (i < n && s[i] == '#') {
                    // Microsoft's runtime: 1.#INF0, -1.#IND0, 1.#QNAN0
                    while (i < n && (is_alnum(s[i]) || s[i] == '#')) ++i;
                    t.finite = false;
                } else if (i < n && (is_alnum(s[i]) || s[i] == '.')) {
                    while (i < n && (is_alnum(s[i]) || s[i] == '.')) ++i;
                    error = "malformed number '" + s.substr(start, i - start) + "'";
                    return false;
                }
            }
            t.text = s.substr(start, i - start);
        } else if (is_alpha(c)) {
            size_t start = i;
            while (i < n && is_alnum(s[i])) ++i;
            t.text = s.substr(start, i - start);
            if (is_nonfinite_word(t.text)) t.kind = Token::number, t.finite = false;
        } else {
            char buf[64];
            std::snprintf(buf, sizeof buf, "unexpected character 0x%02X", static_cast<unsigned char>(c));
            error = buf;
            return false;
        }
        if (t.kind == Token::number) {
            if (!t.finite) {
                // "nan(ind)" and the like: the bracketed tag belongs to the number
                if (i + 1 < n && s[i] == '(' && is_alpha(s[i + 1])) {
                    size_t close = s.find(')', i);
                    if (close != std::string::npos) {
                        bool tag = true;
                        for (size_t k = i + 1; k < close; ++k) tag = tag && is_alnum(s[k]);
                        if (tag) {
                            t.text += s.substr(i, close + 1 - i);
                            i = close + 1;
                        }
                    }
                }
                t.value = std::numeric_limits<double>::quiet_NaN();
            } else {
                const char *first = t.text.c_str();
                if (*first == '+') ++first;
                const char *last = t.text.c_str() + t.text.size();
                auto [ptr, ec] = std::from_chars(first, last, t.value);
                if (ec == std::errc::result_out_of_range) {
                    t.value = std::numeric_limits<double>::infinity();
                    t.finite = false;
                } else if (ec != std::errc() || ptr != last) {
                    error = "malformed number '" + t.text + "'";
                    return false;
                }
            }
        }
        out.push_back(std::move(t));
    }
    return true;
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

class Parser {
public:
    explicit Parser(Library &lib) : lib_(lib) {}
    void line(int number, const std::string &text);
    void finish(int last_line, bool ends_with_newline);

private:
    Tool *tool() { return in_record_ ? &lib_.tools.back() : nullptr; }
    void problem(int line, const std::string &message) {
        add_problem(lib_.problems, lib_.problems_beyond, {line, tool() ? tool()->name : std::string(), message});
    }
    void fault(int line, const std::string &message);
    void start_record(int line, const std::vector<Token> &tokens);
    void statement(int line, const std::vector<Token> &tokens);
    bool expect_end(Cursor &c, int line, const char *what);
    bool open_block(Cursor &c, int line, const std::string &keyword, Ctx ctx);
    bool number(Cursor &c, int line, double &v, bool &finite);
    bool tuple(Cursor &c, int line, std::vector<double> &values, bool &finite, const char *what);
    Outline *current_outline();
    static bool known_elsewhere(const std::string &word);

    Library &lib_;
    std::vector<Frame> stack_;
    bool in_record_ = false;
    bool skipping_ = false;
    bool stopped_ = false;  // past kMaxTools records
    int nonfinite_line_ = 0;
};

void Parser::fault(int line, const std::string &message) {
    problem(line, message);
    if (Tool *t = tool())
        if (t->damaged_line == 0) t->damaged_line = line;
    stack_.clear();
    in_record_ = false;
    skipping_ = true;
}

bool starts_record(const std::string &s) {
    size_t i = s.find_first_not_of(" \t");
    if (i == std::string::npos || s.compare(i, 6, "TOOLID") != 0) return false;
    i += 6;
    return i == s.size() || s[i] == ' ' || s[i] == '\t' || s[i] == '"';
}

void Parser::line(int number, const std::string &text) {
    if (stopped_) return;
    bool record_start = starts_record(text);
    if (skipping_ && !record_start) return;
    std::vector<Token> tokens;
    std::string error;
    if (record_start && in_record_) {
        Frame open = stack_.front();
        fault(number, std::string("TOOLID record opened at line ") + std::to_string(open.line) +
                          " is not closed before the next record (a closing brace is missing)");
    }
    skipping_ = false;
    if (record_start && lib_.tools.size() >= kMaxTools) {
        problem(number, "more than " + std::to_string(kMaxTools) + " TOOLID records: the rest of the file is not read");
        stopped_ = true;
        return;
    }
    if (!tokenize(text, tokens, error)) {
        if (record_start && !in_record_) {
            // keep the record in the model so the report can name it
            lib_.tools.push_back(Tool{});
            lib_.tools.back().line = number;
            in_record_ = true;
        }
        fault(number, error);
        return;
    }
    if (tokens.empty()) return;
    if (record_start) {
        start_record(number, tokens);
        return;
    }
    if (!in_record_) {
        fault(number, "expected a TOOLID record, found " + describe(tokens[0]));
        return;
    }
    statement(number, tokens);
}

void Parser::start_record(int line, const std::vector<Token> &tokens) {
    lib_.tools.push_back(Tool{});
    Tool &t = lib_.tools.back();
    t.line = line;
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

bool Parser::expect_end(Cursor &c, int line, const char *what) {
    if (c.at_end()) return true;
    fault(line, std::string("unexpected ") + c.found() + " after " + what);
    return false;
}

bool Parser::open_block(Cursor &c, int line, const std::string &keyword, Ctx ctx) {
    if (!c.take(Token::lbrace)) {
        fault(line, "expected '{' after " + keyword + ", found " + c.found());
        return false;
    }
    if (!expect_end(c, line, (keyword + " {").c_str())) return false;
    stack_.push_back({ctx, line});
    return true;
}

bool Parser::number(Cursor &c, int line, double &v, bool &finite) {
    const Token *t = c.take_value(Token::number);
    if (!t) return false;
    v = t->value;
    if (!t->finite) {
        finite = false;
        if (nonfinite_line_ != line) {
            nonfinite_line_ = line;
            problem(line, "non-finite number '" + t->text + "'");
        }
    }
    return true;
}

// "( n , n , ... )" with at least one value.
bool Parser::tuple(Cursor &c, int line, std::vector<double> &values, bool &finite, const char *what) {
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
        values.push_back(v);
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
bool Parser::known_elsewhere(const std::string &w) {
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
            if (Outline *o = current_outline()) o->closed = true;
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
    const std::string &w = first.text;
    auto string_value = [&](std::string &dst) {
        const Token *s = c.take_value(Token::string);
        if (!s) {
            fault(line, w + " must be followed by a quoted text, found " + c.found());
            return;
        }
        dst = s->text;
        expect_end(c, line, w.c_str());
    };
    auto word_value = [&](std::string &dst) {
        const Token *s = c.take_value(Token::word);
        if (!s) {
            fault(line, w + " must be followed by a word, found " + c.found());
            return;
        }
        dst = s->text;
        expect_end(c, line, w.c_str());
    };
    auto single_number = [&](double &dst, bool &has, int *at = nullptr) {
        bool finite = true;
        if (!number(c, line, dst, finite)) {
            fault(line, w + " must be followed by a number, found " + c.found());
            return;
        }
        has = true;
        if (at) *at = line;
        expect_end(c, line, w.c_str());
    };

    switch (top.ctx) {
    case Ctx::record:
        if (w == "UNITS") return word_value(t.units);
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
        if (w == "TOOLTYPE") return word_value(t.tooltype);
        if (w == "STACK") return word_value(t.stack);
        if (w == "GAGEPOINT_OFFSET") {
            std::vector<double> v;
            bool finite = true;
            if (!tuple(c, line, v, finite, "GAGEPOINT_OFFSET")) return;
            if (v.size() != 3) {
                fault(line, "GAGEPOINT_OFFSET needs 3 values, found " + std::to_string(v.size()));
                return;
            }
            if (!expect_end(c, line, "GAGEPOINT_OFFSET")) return;
            t.has_gage = true;
            t.gage_line = line;
            for (int i = 0; i < 3; ++i) t.gage[i] = v[static_cast<size_t>(i)];
            return;
        }
        if (w == "CUTTER" || w == "HOLDER") {
            bool cutter = w == "CUTTER";
            if (cutter ? t.has_cutter : t.has_holder) {
                fault(line, "second " + w + " block in one record");
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
            std::vector<double> v;
            bool finite = true;
            if (!tuple(c, line, v, finite, "STANDARD")) return;
            if (!expect_end(c, line, "STANDARD")) return;
            t.standard = v;
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
            std::vector<OutlineItem> points;
            while (!c.take(Token::rbrace)) {
                if (c.at_end()) {
                    fault(line, "PTS is not closed by '}' on its line (the line may be cut short)");
                    return;
                }
                std::vector<double> v;
                if (!tuple(c, line, v, o.finite, "a PTS point")) return;
                if (v.size() != 2) {
                    fault(line, "a PTS point needs 2 values, found " + std::to_string(v.size()));
                    return;
                }
                OutlineItem p;
                p.x = v[0];
                p.y = v[1];
                p.line = line;
                points.push_back(p);
            }
            if (points.empty()) {
                fault(line, "PTS without points");
                return;
            }
            if (!expect_end(c, line, "PTS { ... }")) return;
            o.items.insert(o.items.end(), points.begin(), points.end());
            return;
        }
        if (w == "ARC") {
            std::vector<double> v;
            if (!tuple(c, line, v, o.finite, "ARC")) return;
            if (v.size() != 3) {
                fault(line, "ARC needs 3 values (centre and radius), found " + std::to_string(v.size()));
                return;
            }
            if (!expect_end(c, line, "ARC")) return;
            OutlineItem a;
            a.kind = OutlineItem::arc;
            a.x = v[0];
            a.y = v[1];
            a.r = v[2];
            a.line = line;
            o.items.push_back(a);
            return;
        }
        break;
    }
    case Ctx::top:
        break;
    }
    std::string message = w + " is not allowed in the " + ctx_name(top.ctx) + " opened at line " +
                          std::to_string(top.line);
    if (known_elsewhere(w)) message += " (a brace is missing or one too many)";
    fault(line, message);
}

void Parser::finish(int last_line, bool ends_with_newline) {
    if (stopped_) return;
    if (in_record_ && !stack_.empty()) {
        Frame open = stack_.back();
        fault(last_line, std::string("the file ends inside the ") + ctx_name(open.ctx) + " opened at line " +
                             std::to_string(open.line) + " (a closing brace is missing or the file is cut short)");
    } else if (!ends_with_newline && last_line > 0 &&
               (lib_.problems.empty() || lib_.problems.back().line != last_line)) {
        problem(last_line, "the last line has no line end (the file may be cut short)");
    }
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

Library parse_tls(const std::string &text) {
    Library lib;
    Parser parser(lib);
    size_t at = 0;
    int number = 0;
    bool header_line = false;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) end = text.size();
        if (end > at && text[end - 1] == '\r') --end;
        std::string s = text.substr(at, end - at);
        at = next;
        ++number;
        if (number == 1) {
            header_line = s == kHeader;
            if (!header_line) {
                add_problem(lib.problems, lib.problems_beyond,
                            {1, "", std::string("missing header line \"") + kHeader + "\""});
                // a file that lost only its first line still has its version line
                if (s.compare(0, sizeof kVersionPrefix - 1, kVersionPrefix) != 0) parser.line(number, s);
            }
            continue;
        }
        if (number == 2 && header_line) {
            if (s.compare(0, sizeof kVersionPrefix - 1, kVersionPrefix) == 0 && s.size() > sizeof kVersionPrefix - 1) {
                lib.header_ok = true;
            } else {
                add_problem(lib.problems, lib.problems_beyond,
                            {2, "", std::string("missing version line \"") + kVersionPrefix + "...\""});
                parser.line(number, s);
            }
            continue;
        }
        parser.line(number, s);
    }
    if (number == 0) add_problem(lib.problems, lib.problems_beyond, {1, "", "the file is empty"});
    lib.line_count = number;
    parser.finish(number, text.empty() || text.back() == '\n');
    for (Tool &t : lib.tools) t.form = form_of(t);
    // faults are found in line order, except non-finite numbers noted before
    // a fault on the same line; keep the list sorted for the report
    std::stable_sort(lib.problems.begin(), lib.problems.end(),
                     [](const Problem &a, const Problem &b) { return a.line < b.line; });
    return lib;
}

bool read_tls_file(const std::string &path, Library &library, std::string &error) {
    std::string text;
    if (!read_input_file(path, kMaxLibraryBytes, true, text, error)) return false;
    library = parse_tls(text);
    return true;
}

}  // namespace tlsfile
