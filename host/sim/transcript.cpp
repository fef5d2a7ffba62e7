// The transcript of a run as text: one event a line, every text decoded to
// UTF-8 and written as a JSON string so that blanks and line breaks show.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "host/common/cp1251.h"
#include "host/sim/host_state.h"

namespace sim {
namespace {

// Error texts are the host's own and already UTF-8; the rest are the
// plug-in's Windows-1251 bytes.
std::string decoded(const Event &e, const std::string &text) {
    return e.kind == Event::Error ? text : kesto::cp1251_to_utf8(text);
}

std::string quoted(const std::string &utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string choices(const Event &e) {
    std::string out = "[";
    for (size_t i = 0; i < e.items.size(); ++i) {
        if (i) out += ", ";
        out += quoted(decoded(e, e.items[i])) + "=" + std::to_string(e.values[i]);
    }
    return out + "]";
}

std::string texts(const Event &e) {
    std::string out;
    for (size_t i = 0; i < e.texts.size(); ++i) out += (i ? " " : "") + quoted(decoded(e, e.texts[i]));
    return out;
}

}  // namespace

std::string render(const std::vector<Event> &events) {
    std::string out;
    for (const Event &e : events) {
        std::string line = kind_name(e.kind);
        switch (e.kind) {
        case Event::Menu:
            line += " " + quoted(decoded(e, e.title)) + " default=" + std::to_string(e.default_item) +
                    " " + choices(e) + " -> " + std::to_string(e.answer);
            break;
        case Event::Question:
            line += " " + quoted(decoded(e, e.title)) + " type=" + std::to_string(e.default_item) +
                    " " + texts(e) + " buttons=" + choices(e) + " -> " + std::to_string(e.answer);
            break;
        case Event::FileBox:
            line += " " + quoted(decoded(e, e.title)) + " prompt=" + quoted(decoded(e, e.texts[0])) +
                    " filter=" + quoted(decoded(e, e.texts[1])) +
                    " default=" + quoted(decoded(e, e.texts[2])) + " -> " +
                    (e.answer == UF_UI_OK ? quoted(e.chosen) : std::string("cancelled"));
            break;
        case Event::HolderAdded:
            line += " " + quoted(decoded(e, e.title)) + " section " + std::to_string(e.values[0]) +
                    " " + texts(e);
            break;
        case Event::View:
        case Event::Load:
        case Event::Unload:
            line += " " + std::to_string(e.answer);
            break;
        default:
            if (!e.texts.empty()) line += " " + texts(e);
        }
        out += line + "\n";
    }
    return out;
}

std::string render_json(const std::vector<Event> &events) {
    nlohmann::json out = nlohmann::json::array();
    for (const Event &e : events) {
        nlohmann::json j;
        j["kind"] = kind_name(e.kind);
        if (!e.title.empty()) j["title"] = decoded(e, e.title);
        for (const std::string &t : e.texts) j["texts"].push_back(decoded(e, t));
        for (size_t i = 0; i < e.items.size(); ++i)
            j["choices"].push_back({{"text", decoded(e, e.items[i])}, {"value", e.values[i]}});
        if (e.kind == Event::Menu || e.kind == Event::Question || e.kind == Event::FileBox ||
            e.kind == Event::View || e.kind == Event::Load || e.kind == Event::Unload)
            j["answer"] = e.answer;
        if (e.kind == Event::FileBox && e.answer == UF_UI_OK) j["chosen"] = e.chosen;
        out.push_back(j);
    }
    // texts that are not UTF-8 (a load error naming a path, say) are shown, not refused
    return out.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace sim
