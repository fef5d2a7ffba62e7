// kesto-tools-vericut play: the plug-in's session at the terminal.  The
// host's dialogs are drawn in UTF-8 and the person types the answers.
#include <cstdio>
#include <iostream>
#include <string>

#include "host/common/cp1251.h"
#include "tools/cli/commands.h"
#include "tools/cli/session_input.h"

#if defined(_WIN32)
#  include <io.h>
#  define write_fd _write
#else
#  include <unistd.h>
#  define write_fd write
#endif

namespace kesto::cli {
namespace {

// Everything is drawn on the terminal the program started with: while the
// plug-in runs, its own standard output goes to the transcript.
void draw(const std::string &text) {
    int fd = sim::original_stdout_fd();
    size_t done = 0;
    while (done < text.size()) {
        auto n = write_fd(fd, text.data() + done, static_cast<unsigned>(text.size() - done));
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

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

class TerminalUser : public sim::AnswerSource {
public:
    sim::Answer answer(const sim::Event &d) override {
        switch (d.kind) {
        case sim::Event::Menu: return menu(d);
        case sim::Event::Question: return question(d);
        default: return filebox(d);
        }
    }

    bool ended() const { return eof_; }

private:
    bool eof_ = false;

    bool read_line(std::string &line) {
        if (eof_ || !std::getline(std::cin, line)) {
            eof_ = true;
            draw("\n(end of input: leaving)\n");
            return false;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
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
            if (line == "b") return menu_answer(UF_UI_BACK);
            if (line == "c" || line.empty()) return menu_answer(UF_UI_CANCEL);
            try {
                size_t n = std::stoul(line);
                if (n >= 1 && n <= d.items.size()) return menu_answer(d.values[n - 1]);
            } catch (const std::exception &) {
            }
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
            for (size_t i = 0; i < d.items.size(); ++i)
                if (line == std::to_string(d.values[i]) || line == utf8(d.items[i]))
                    return question_answer(d.values[i]);
            text = "   one of the numbers in brackets: ";
        }
    }

    sim::Answer filebox(const sim::Event &d) {
        draw("\n┌─ " + utf8(d.title) + "\n│ filter " + utf8(d.texts[1]) + ", default " + utf8(d.texts[2]) +
             "\n└─ file (empty cancels): ");
        std::string line;
        sim::Answer a;
        a.kind = sim::Answer::File;
        if (read_line(line) && !line.empty()) a.file = line;
        return a;
    }
};

struct PlayArgs {
    std::string input;
    std::string plugin;
    bool quiet = false;
};

void show(const sim::Event &e, bool quiet) {
    switch (e.kind) {
    case sim::Event::Message:
        draw("\n┌─ message\n" + framed(utf8(e.texts.empty() ? "" : e.texts[0])) + "└─ (acknowledged)\n");
        break;
    case sim::Event::Listing: draw(utf8(e.texts[0])); break;
    case sim::Event::ListingOpen: draw("\n═══ listing window ═══\n"); break;
    case sim::Event::ListingClose: draw("\n═══ listing window closed ═══\n"); break;
    case sim::Event::Status: draw("\n[status] " + utf8(e.texts[0]) + "\n"); break;
    case sim::Event::Error: draw("\n[host] " + e.texts[0] + "\n"); break;
    case sim::Event::Stdout:
    case sim::Event::Stderr:
        if (!quiet) draw("\x1b[2m" + utf8(e.texts[0]) + "\x1b[0m\n");
        break;
    default: break;
    }
}

int run_play(const PlayArgs &args) {
    sim::Session session;
    try {
        session = read_part_or_session(args.input);
        session.answers.clear();
        create_session_files(session, {absolute_path(args.input), plugin_path(args.plugin)});
    } catch (const sim::SessionError &e) {
        complain(e.what());
        return kExitUsage;
    }
    TerminalUser user;
    sim::RunOptions options;
    options.plugin_path = plugin_path(args.plugin);
    options.answers = &user;
    bool quiet = args.quiet;
    options.on_event = [quiet](const sim::Event &e) { show(e, quiet); };
    sim::RunResult result = sim::run_session(session, options);
    if (result.return_codes.empty()) {
        complain(result.error);
        return kExitNoPlugin;
    }
    draw("\nsession ended\n");
    return kExitOk;
}

void add(CLI::App &app) {
    auto args = std::make_shared<PlayArgs>();
    CLI::App *cmd = app.add_subcommand(
        "play", "Run the plug-in at the terminal: its menus, questions, messages, file chooser "
                "and listing window are drawn here and you type the answers. Without a file, "
                "the embedded demo part. End of input leaves every dialog.");
    cmd->add_option("session", args->input, "Session or part file (JSON); its answers are not used");
    cmd->add_option("--plugin", args->plugin, "Plug-in library (default: beside this program)");
    cmd->add_flag("-q,--quiet", args->quiet, "Do not show the plug-in's diagnostic output");
    cmd->callback([args] { set_exit_code(run_play(*args)); });
}

CommandRegistrar registrar(30, add);

}  // namespace
}  // namespace kesto::cli
