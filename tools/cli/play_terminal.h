// play's terminal: the person who answers the plug-in's dialogs, and what
// the run shows while it goes.
#ifndef KESTO_TOOLS_CLI_PLAY_TERMINAL_H
#define KESTO_TOOLS_CLI_PLAY_TERMINAL_H

#include <memory>

#include "host/sim/sim_host.h"

namespace kesto::cli {

// The person at the terminal: menus, questions and the file chooser drawn,
// the answer typed; before a selective export, the navigator's selection of
// the part's tools.  End of input leaves every dialog.
std::unique_ptr<sim::AnswerSource> terminal_user(sim::Part *part);

// Draws an event of the run: messages, the listing window, the status line,
// the host's complaints, and (unless quiet) the plug-in's own output,
// dimmed in colour.  listing_open: whether the listing window is up, so that
// opening it again draws no second header.
void show_event(const sim::Event &e, bool quiet, bool colour, bool &listing_open);

// The last line of a session at the terminal.
void draw_ended();

}  // namespace kesto::cli

#endif
