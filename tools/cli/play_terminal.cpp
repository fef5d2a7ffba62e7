// The plug-in's session at the terminal: the host's dialogs drawn in UTF-8
// on the terminal the program started with, the person's answers read.
#include "tools/cli/play_terminal.h"

#include <algorithm>
#include <iostream>

#include "host/common/cp1251.h"
#include "tools/cli/context.h"
#include "tools/cli/session_input.h"
#include "tools/cli/terminal.h"

namespace kesto::cli {

using kesto::cp1251_to_utf8;
using kesto::utf8_to_cp1251;

namespace {

// Everything is drawn on the terminal the program started with: while the
// plug-in runs, its own standard output goes to the transcript.
void draw(const std::string &text) { write_text(sim::original_stdout_fd(), terminal_safe(text)); }

std::string utf8(const std::string &cp1251) { return cp1251_to_utf8(cp1251); }

// Indents every line of a text under a frame bar.
std::string framed(const std::string &text) {
    std::string out = "│ ";
    for (char c : text) {
        out += c;
        if (c == '\n') out += "│ ";
    }
    return out + "\n";
}

std::string trimmed(const std::string &text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// A Windows-1251 text in lower case, Cyrillic letters included.
std::string folded(std::string cp1251) {
    for (char &c : cp1251) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDF)) c = static_cast<char>(u + 32);
        else if (u == 0xA8) c = static_cast<char>(0xB8);  // Ё
    }
    return cp1251;
}

// The value of the item whose number or label (in any case) the answer is,
// or -1.  Questions number their buttons by value, menus from 1; a
// question's button is also taken by the first letter of its label when no
// other button's label starts with it ("y" for "Yes", "n" for "No").
int chosen(const std::string &answer, const sim::Event &d, bool by_value) {
    const std::string typed = folded(utf8_to_cp1251(trimmed(answer)));
    int initial = -1, initials = 0;
    for (size_t i = 0; i < d.items.size(); ++i) {
        const std::string label = folded(d.items[i]);
        if (typed == std::to_string(by_value ? d.values[i] : static_cast<int>(i + 1)) || typed == label)
            return d.values[i];
        if (by_value && typed.size() == 1 && !label.empty() && label[0] == typed[0]) {
            initial = d.values[i];
            ++initials;
        }
    }
    return initials == 1 ? initial : -1;
}

class TerminalUser : public sim::AnswerSource {
public:
    explicit TerminalUser(sim::Part *part) : part_(part) {}

    sim::Answer answer(const sim::Event &d) override {
        switch (d.kind) {
        case sim::Event::Menu:
            if (d.title == "Select Tools and pick 'Fix'" && part_) navigator();
            return menu(d);
        case sim::Event::Question: return question(d);
        default: return filebox(d);
        }
    }

    bool ended() const { return eof_; }

private:
    sim::Part *part_;
    bool eof_ = false;

    bool read_line(std::string &line) {
        if (eof_ || !std::getline(std::cin, line)) {
            eof_ = true;
            draw("\n(end of input: leaving)\n");
            return false;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = trimmed(line);
        return true;
    }

    // The machine-tool view of the navigator: the person selects the tools
    // a selective export writes, by name or number, several at once.
    void navigator() {
        std::vector<const sim::Member *> nodes;
        for (const sim::Member &m : part_->members) nodes.push_back(&m);
        for (const sim::Member &m : part_->others) nodes.push_back(&m);
        std::string text = "\n┌─ navigator: select the tools to export\n";
        for (size_t i = 0; i < nodes.size(); ++i) {
            bool selected = false;
            for (const std::string &s : part_->selected) selected = selected || s == nodes[i]->name;
            text += "│ " + std::to_string(i + 1) + ") " + utf8(nodes[i]->name) + (selected ? "   [selected]" : "") + "\n";
        }
        text += "└─ names or numbers, apart by commas (numbers also by blanks); empty keeps the selection: ";
        for (;;) {
            draw(text);
            std::string line;
            if (!read_line(line) || line.empty()) return;
            std::vector<std::string> picked;
            std::string unknown;
            for (size_t at = 0; at <= line.size() && unknown.empty();) {
                size_t comma = line.find(',', at);
                if (comma == std::string::npos) comma = line.size();
                const std::string piece = trimmed(line.substr(at, comma - at));
                at = comma + 1;
                if (piece.empty()) continue;
                if (!pick(piece, nodes, picked, false) && !pick(piece, nodes, picked, true)) unknown = piece;
            }
            if (unknown.empty()) {
                part_->selected = picked;
                return;
            }
            text = "└─ no tool \"" + unknown + "\"; names or numbers 1 to " + std::to_string(nodes.size()) + ": ";
        }
    }

    // Adds the node piece names (as a name; with numbers, as numbers apart
    // by blanks) to picked.  False when it names none.
    static bool pick(const std::string &piece, const std::vector<const sim::Member *> &nodes,
                     std::vector<std::string> &picked, bool numbers) {
        std::vector<std::string> found;
        if (!numbers) {
            // an exact name first, else the one name that matches in any letter case
            const std::string name = utf8_to_cp1251(piece);
            std::vector<std::string> any_case;
            for (const sim::Member *m : nodes)
                if (m->name == name) found = {m->name};
                else if (folded(m->name) == folded(name)) any_case.push_back(m->name);
            if (found.empty() && any_case.size() == 1) found = any_case;
        } else {
            size_t at = 0;
            while (at < piece.size()) {
                size_t end = piece.find(' ', at);
                if (end == std::string::npos) end = piece.size();
                const std::string word = piece.substr(at, end - at);
                at = end + 1;
                if (word.empty()) continue;
                if (word.find_first_not_of("0123456789") != std::string::npos || word.size() > 9) return false;
                const size_t n = std::stoul(word);
                if (n < 1 || n > nodes.size()) return false;
                found.push_back(nodes[n - 1]->name);
            }
        }
        for (const std::string &f : found)
            if (std::find(picked.begin(), picked.end(), f) == picked.end()) picked.push_back(f);
        return !found.empty();
    }

    sim::Answer menu(const sim::Event &d) {
        std::string text = "\n┌─ " + utf8(d.title) + "\n";
        for (size_t i = 0; i < d.items.size(); ++i)
            text += "│ " + std::to_string(i + 1) + ") " + utf8(d.items[i]) + "\n";
        text += "│ b) back   c) cancel\n└─ choose: ";
        for (;;) {
            draw(text);
            std::string line;
            if (!read_line(line)) return menu_answer(UF_UI_CANCEL);
            if (line == "b" || line == "B") return menu_answer(UF_UI_BACK);
            if (line == "c" || line == "C" || line.empty()) return menu_answer(UF_UI_CANCEL);
            const int value = chosen(line, d, false);
            if (value >= 0) return menu_answer(value);
            text = "└─ 1 to " + std::to_string(d.items.size()) + ", b or c: ";
        }
    }

    sim::Answer question(const sim::Event &d) {
        std::string text = "\n┌─ " + utf8(d.title) + "\n";
        for (const std::string &t : d.texts) text += framed(utf8(t));
        std::string buttons;
        for (size_t i = 0; i < d.items.size(); ++i)
            buttons += "[" + std::to_string(d.values[i]) + "] " + utf8(d.items[i]) + "   ";
        text += "└─ " + buttons + "\n   answer (empty closes): ";
        for (;;) {
            draw(text);
            std::string line;
            if (!read_line(line) || line.empty()) return question_answer(0);
            const int value = chosen(line, d, true);
            if (value >= 0) return question_answer(value);
            text = "   a number in brackets or a button's label: ";
        }
    }

    // Enter takes the default shown, "c" cancels as in a menu (a file of
    // that name is ./c), end of input leaves.
    sim::Answer filebox(const sim::Event &d) {
        draw("\n┌─ " + utf8(d.title) + "\n│ filter " + utf8(d.texts[1]) + ", default " + utf8(d.texts[2]) +
             "\n└─ file (Enter takes the default, c cancels): ");
        std::string line;
        sim::Answer a;
        a.kind = sim::Answer::File;
        if (!read_line(line) || line == "c" || line == "C") return a;
        a.file = line.empty() ? utf8(d.texts[2]) : line;
        return a;
    }
};

}  // namespace

std::unique_ptr<sim::AnswerSource> terminal_user(sim::Part *part) { return std::make_unique<TerminalUser>(part); }

// listing_open: whether the listing window is up, so that the plug-in's
// opening it again (Help opens it, then its tool list does) draws no second
// header.
void show_event(const sim::Event &e, bool quiet, bool colour, bool &listing_open) {
    switch (e.kind) {
    case sim::Event::Message:
        draw("\n┌─ message\n" + framed(utf8(e.texts.empty() ? "" : e.texts[0])) + "└─ (acknowledged)\n");
        break;
    case sim::Event::Listing: draw(utf8(e.texts[0])); break;
    case sim::Event::ListingOpen:
        if (!listing_open) draw("\n═══ listing window ═══\n");
        listing_open = true;
        break;
    case sim::Event::ListingClose:
        draw("\n═══ listing window closed ═══\n");
        listing_open = false;
        break;
    case sim::Event::Status: draw("\n[status] " + utf8(e.texts[0]) + "\n"); break;
    case sim::Event::Error: draw("\n[host] " + e.texts[0] + "\n"); break;
    case sim::Event::Stdout:
    case sim::Event::Stderr:
        if (!quiet) draw(painted(utf8(e.texts[0]), "2", colour) + "\n");
        break;
    default: break;
    }
}

void draw_ended() { draw("\nsession ended\n"); }

}  // namespace kesto::cli
