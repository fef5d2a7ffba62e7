// kesto-tools-vericut settings [--env NAME=VALUE ...]: where the plug-in
// looks for kesto_tools_vericut.ini, which one it takes and what it reads
// from it, by the plug-in's own rules and through the platform layer's
// profile reader, so that a keeper sees what the host's log hides.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>

#include <CLI/CLI.hpp>

#include "host/platform/platform.h"
#include "src/shared_facts.h"
#include "tools/cli/commands.h"
#include "tools/cli/tool_database.h"
#include "tools/cli/usage.h"
#include "tools/tlsfile/input_file.h"

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace kesto::cli {
namespace {

using json = nlohmann::ordered_json;

constexpr char kSettingsName[] = KESTO_SETTINGS_FILE;
// The longest candidate path the plug-in forms; a longer one is skipped.
constexpr size_t kCandidateMax = 255;
// Room for VERSION and NUM.
constexpr unsigned kShortSize = 10;

struct SettingsArgs {
    std::vector<std::string> env;
    ReportOptions report;
};

// One searched folder: the variable, its value, the file looked for there
// and what became of it.
struct Candidate {
    std::string variable;
    std::optional<std::string> value;
    std::string file;   // as the file system names it
    std::string bytes;  // as the plug-in hands it to the system
    std::string state;  // "not set", "too long", "not there", "not readable", "readable", ...
    bool taken = false;
};

std::optional<std::string> environment(const std::string &name) {
#if defined(_WIN32)
    const std::wstring wide = tlsfile::fs_path(name).wstring();
    const wchar_t *value = _wgetenv(wide.c_str());
    if (!value) return std::nullopt;
    return tlsfile::utf8_path(std::filesystem::path(value));
#else
    const char *value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
#endif
}

// --env NAME=VALUE sets a variable, --env NAME unsets it.  False, after
// saying so, for an empty name.
bool given_environment(Context &ctx, const std::vector<std::string> &pairs,
                       std::map<std::string, std::optional<std::string>> &out) {
    for (const std::string &pair : pairs) {
        const size_t eq = pair.find('=');
        const std::string name = pair.substr(0, eq);
        if (name.empty()) {
            ctx.error("--env " + pair + ": give NAME=VALUE, or NAME to leave it unset");
            return false;
        }
        out[name] = eq == std::string::npos ? std::nullopt : std::optional<std::string>(pair.substr(eq + 1));
    }
    return true;
}

bool is_file(const std::string &utf8) {
    return tlsfile::entry_kind(tlsfile::fs_path(utf8), true) == tlsfile::EntryKind::file;
}

// What stands at a candidate that is no file the plug-in can take, which
// the plug-in passes by as if nothing were there; empty for nothing at all.
std::string not_a_file(const std::string &utf8) {
    const std::filesystem::path p = tlsfile::fs_path(utf8);
    std::error_code ec;
    const bool link = std::filesystem::is_symlink(std::filesystem::symlink_status(p, ec));
    switch (tlsfile::entry_kind(p, true)) {
    case tlsfile::EntryKind::file: return "";
    case tlsfile::EntryKind::folder: return "a folder of that name, no file";
    case tlsfile::EntryKind::other: return "not a regular file (a pipe, a device or a socket)";
    case tlsfile::EntryKind::missing: return link ? "a link that leads nowhere (or a loop of links)" : "";
    }
    return "";
}

// Looks for the settings file in each folder as the plug-in does: the first
// one there is taken, and only when it can be opened is it read.
std::vector<Candidate> search(const std::map<std::string, std::optional<std::string>> &given) {
    std::vector<Candidate> out;
    bool decided = false;
    for (const char *variable : kesto_settings_variables) {
        Candidate c{variable, {}, "", "", "", false};
        auto it = given.find(variable);
        c.value = it != given.end() ? it->second : environment(variable);
        out.push_back(c);
        Candidate &d = out.back();
        if (!d.value) {
            d.state = "not set";
            continue;
        }
        const std::string path = *d.value + "\\" KESTO_SETTINGS_FOLDER "\\" + kSettingsName;
        if (!to_profile_bytes(path, d.bytes)) {
            d.state = "cannot be named in the plug-in's code page";
            continue;
        }
        d.file = folder_from_profile(d.bytes);
        if (d.bytes.size() > kCandidateMax) {
            d.state = "skipped: longer than " + std::to_string(kCandidateMax) + " characters";
            continue;
        }
        const std::string other = not_a_file(d.file);
        if (!other.empty()) {
            d.state = other + ": the plug-in passes it by";
            continue;
        }
        if (decided) {
            d.state = is_file(d.file) ? "there, not taken" : "not there";
            continue;
        }
        if (!is_file(d.file)) {
            d.state = "not there";
            continue;
        }
        decided = true;
        d.taken = plat_file_opens(d.bytes.c_str()) != 0;
        d.state = d.taken ? "there and readable: the plug-in takes it"
                          : "there, but cannot be opened: the plug-in stops here and reads no settings";
    }
    return out;
}

std::string profile_value(const char *section, const char *key, unsigned size, const std::string &file) {
    std::string value(size, '\0');
    const unsigned n = plat_get_profile_string(section, key, "", &value[0], size, file.c_str());
    value.resize(n);
    return value;
}

// The launchers of [VRUN] the plug-in tries, numbered 0 to NUM, in the
// order it tries them.
std::vector<std::pair<int, std::string>> launchers(const std::string &file, int last) {
    std::vector<std::pair<int, std::string>> out;
    if (last < 0) return out;
    std::string keys(65536, '\0');
    const unsigned n = plat_get_profile_keys("VRUN", &keys[0], static_cast<unsigned>(keys.size()), file.c_str());
    std::vector<int> indices;
    for (size_t at = 0; at < n && keys[at]; at = keys.find('\0', at) + 1) {
        const std::string name = keys.c_str() + at;
        if (name.find_first_not_of("0123456789") != std::string::npos || (name.size() > 1 && name[0] == '0') ||
            name.size() > 9 || std::atoi(name.c_str()) > last)
            continue;
        indices.push_back(std::atoi(name.c_str()));
    }
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    for (int i : indices) out.emplace_back(i, profile_value("VRUN", std::to_string(i).c_str(), kValueSize, file));
    return out;
}

Result run_settings(const SettingsArgs &args, Context &ctx) {
    Result result;
    std::map<std::string, std::optional<std::string>> given;
    if (!given_environment(ctx, args.env, given)) return Result(kExitUsage);
    const std::vector<Candidate> found = search(given);
    json folders = json::array();
    std::string text = std::string("The plug-in looks for ") + kSettingsName +
                       " in the \"application\" folder under each of these, in this order:\n";
    const Candidate *taken = nullptr;
    int number = 0;
    for (const Candidate &c : found) {
        text += "  " + std::to_string(++number) + ". " + c.variable +
                (c.value ? " = " + *c.value + "\n     " + c.file + ": " : " ") + (c.value ? c.state : "(not set)") +
                "\n";
        folders.push_back({{"variable", c.variable},
                           {"value", c.value ? json(*c.value) : json(nullptr)},
                           {"file", c.value ? json(c.file) : json(nullptr)},
                           {"state", c.state},
                           {"taken", c.taken}});
        if (c.taken) taken = &c;
    }
    json object = {{"folders", folders}, {"settings_file", taken ? json(taken->file) : json(nullptr)}};
    if (!taken) {
        text += std::string("No settings file the plug-in can read: it writes \"Cant open and read *.ini file!\" "
                            "in the host's log, and when asked to open a library in the simulator it says it "
                            "cannot start it. Put ") +
                kSettingsName + " into the \"" KESTO_SETTINGS_FOLDER "\" folder under one of the folders above (as a "
                "file, in place of anything above that is not one).\n";
        object["settings"] = nullptr;
        object["launchers"] = json::array();
        object["started"] = nullptr;
        return Result(kExitProblems, text, object);
    }
    std::string content, error;
    if (tlsfile::read_input_file(taken->file, tlsfile::kMaxSessionBytes, true, content, error))
        note_settings_encoding(ctx, taken->file, content);
    const std::string &file = taken->bytes;
    auto value_or = [&](const char *key, unsigned size, size_t kept, const std::string &fallback, bool &given_key) {
        std::string v = profile_value("VMAIN", key, size, file).substr(0, kept);
        given_key = !v.empty();
        return given_key ? v : fallback;
    };
    bool has_version = false, has_tls = false, has_usr = false, has_num = false;
    const std::string version = value_or("VERSION", kShortSize, kShortSize, KESTO_DEFAULT_VERSION, has_version);
    const std::string tls = folder_from_profile(value_or("TLS", kValueSize, kKept, KESTO_DEFAULT_PATH_TOOL, has_tls));
    const std::string usr = folder_from_profile(value_or("USR", kValueSize, kKept, KESTO_DEFAULT_PATH_USR, has_usr));
    const std::string num_text = value_or("NUM", kShortSize, kShortSize, "0", has_num);
    const int num = std::atoi(num_text.c_str());
    auto shown = [](const std::string &v, bool was_given) { return was_given ? v : v + " (not given: the default)"; };
    text += "\nWhat the plug-in reads from " + taken->file + ":\n  [VMAIN] VERSION = " + shown(version, has_version) +
            "\n  [VMAIN] TLS = " + shown(tls, has_tls) + "\n  [VMAIN] USR = " + shown(usr, has_usr) +
            "\n  [VMAIN] NUM = " + shown(std::to_string(num), has_num) + "\n";
    json launcher_list = json::array();
    std::optional<std::string> started;
    for (const auto &[index, program] : launchers(file, num)) {
        const std::string path = folder_from_profile(program);
        const bool exists = !program.empty() && is_file(path);
        if (exists && !started) started = program;
        text += "  [VRUN] " + std::to_string(index) + " = " + program + ": " +
                (exists ? started == program ? "exists, started first" : "exists" : "no such file") + "\n";
        launcher_list.push_back({{"number", index}, {"program", program}, {"exists", exists}});
    }
    if (launcher_list.empty()) text += "  [VRUN] has no launcher numbered 0 to " + std::to_string(num) + "\n";
    text += started ? "The plug-in opens a library in the simulator with " + *started + ".\n"
                    : std::string("No launcher exists: asked to open a library in the simulator, the plug-in says "
                                  "it cannot start it.\n");
    object["settings"] = {{"VERSION", version}, {"TLS", tls}, {"USR", usr}, {"NUM", num}};
    object["launchers"] = launcher_list;
    object["started"] = started ? json(*started) : json(nullptr);
    return Result(kExitOk, text, object);
}

}  // namespace

void add_settings_command(CLI::App &app, Context &ctx) {
    auto args = std::make_shared<SettingsArgs>();
    CLI::App *cmd = app.add_subcommand("settings");
    describe(cmd, "Show where the plug-in finds its settings and what it reads there",
             std::string("Follows the plug-in's search for ") + kSettingsName +
                 ": the \"" KESTO_SETTINGS_FOLDER "\" folder under UGII_VENDOR_DIR, UGII_USER_DIR, UGII_SITE_DIR, USER_UFUN, "
                 "UGII_INITIAL_UFUN_DIR, UGII_TMP_DIR, HOME and TMP, in this order, with this machine's "
                 "environment (--env changes a variable for the search). For each folder it says whether the "
                 "file is there and readable, and which one the plug-in takes; then every value the plug-in "
                 "reads from it through the same profile reader ([VMAIN] VERSION, TLS, USR and NUM, and the "
                 "[VRUN] launchers 0 to NUM, each with whether it exists), and a file saved as UTF-8 or UTF-16, "
                 "which the plug-in reads as ANSI.\n\n"
                 "Exit 0 when the plug-in would find a settings file, 1 when it would find none, 2 for bad "
                 "arguments.",
             {{"settings", "where this machine's plug-in finds its settings"},
              {"settings --env UGII_SITE_DIR=\\\\cadserver\\site --env UGII_USER_DIR",
               "the same for the site's folder, with UGII_USER_DIR unset"},
              {"settings --json", "the same as one JSON object"}});
    cmd->add_option("--env", args->env, "NAME=VALUE: the variable's value for the search; NAME alone: unset")
        ->allow_extra_args(false);
    add_report_options(cmd, args->report, "Print nothing; the exit code tells");
    cmd->callback(reported(ctx, args->report, [args, &ctx] { return run_settings(*args, ctx); }));
}

}  // namespace kesto::cli
