#include "tools/cli/tool_database.h"

#include <filesystem>
#include <system_error>

#include "host/common/cp1251.h"
#include "host/common/native_path.h"
#include "host/platform/platform.h"
#include "src/shared_facts.h"
#include "tools/cli/inputs.h"
#include "tools/cli/printer.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/source.h"

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace fs = std::filesystem;

namespace kesto::cli {

#if defined(_WIN32)
bool to_profile_bytes(const std::string &utf8, std::string &out) {
    const std::wstring wide = tlsfile::fs_path(utf8).wstring();
    BOOL lost = FALSE;
    int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, &lost);
    out.assign(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &out[0], n, nullptr, &lost);
    out.pop_back();  // the terminating NUL
    return n > 0 && !lost;
}
std::string folder_from_profile(const std::string &bytes) {
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, bytes.c_str(), -1, &wide[0], n);
    wide.pop_back();
    return tlsfile::utf8_path(fs::path(wide));
}
#else
bool to_profile_bytes(const std::string &utf8, std::string &out) {
    uint32_t bad = 0;
    return kesto::utf8_to_cp1251_exact(utf8, out, bad);
}
// as the POSIX platform layer names the plug-in's paths ('\' a separator)
std::string folder_from_profile(const std::string &bytes) { return native_path(bytes); }
#endif

std::string settings_encoding(const std::string &text) {
    const tlsfile::Source s = tlsfile::source_of("", text);
    switch (s.encoding) {
    case tlsfile::Encoding::utf16le:
    case tlsfile::Encoding::utf16be: return "UTF-16";
    case tlsfile::Encoding::utf8: return s.byte_order_mark ? "UTF-8 (with a byte-order mark)" : "UTF-8";
    case tlsfile::Encoding::windows_1251: return "";
    }
    return "";
}

void note_settings_encoding(Context &ctx, const std::string &label, const std::string &text) {
    const std::string found = settings_encoding(text);
    if (!found.empty())
        ctx.warn(label + ": the settings file is " + found + "; the plug-in reads it as ANSI: save it as ANSI");
}

bool settings_tool_folder(Context &ctx, const std::string &settings, std::string &folder) {
    // The file must be there to be read: a missing one would read as empty.
    std::string error, path, text;
    if (!tlsfile::read_input_file(settings, tlsfile::kMaxSessionBytes, true, text, error)) {
        ctx.error("cannot read " + error);
        return false;
    }
    note_settings_encoding(ctx, settings, text);
    // Windows looks for a settings file named without its folder in its own
    // folder: the reader gets the whole path.
    if (!to_profile_bytes(absolute_path(settings), path)) {
        ctx.error(settings + ": its path cannot be given in the code page the settings reader takes");
        return false;
    }
    char value[kValueSize] = "";
    plat_get_profile_string("VMAIN", "TLS", "", value, sizeof value, path.c_str());
    const std::string kept = std::string(value).substr(0, kKept);
    if (kept.empty()) {
        folder = folder_from_profile(KESTO_DEFAULT_PATH_TOOL);
        ctx.warn(settings + " gives no [VMAIN] TLS; the plug-in's default " + folder + " is searched");
        return true;
    }
    folder = folder_from_profile(kept);
    const fs::path base = tlsfile::fs_path(settings).parent_path();
    if (tlsfile::fs_path(folder).is_relative() && !base.empty())
        folder = tlsfile::utf8_path(base / tlsfile::fs_path(folder));
    return true;
}

bool load_database(Context &ctx, const std::vector<std::string> &folders, const std::string &settings,
                   tlsfile::Database &database) {
    std::vector<std::string> all = folders;
    if (!settings.empty()) {
        std::string folder;
        if (!settings_tool_folder(ctx, settings, folder)) return false;
        all.push_back(folder);
    }
    for (const std::string &folder : all) {
        std::string error;
        if (!database.add_folder(folder, error)) {
            ctx.error("cannot search " + error);
            return false;
        }
    }
    size_t searched = 0;
    for (const tlsfile::DatabaseLibrary &lib : database.libraries()) {
        if (!lib.error.empty())
            ctx.warn("cannot read " + lib.error + "; skipped");
        else if (lib.skipped)
            ctx.warn(lib.label + ": damaged, " + count(lib.problems, "problem", "problems") +
                     " (see check); its records cannot be told apart, skipped");
        else if (lib.problems)
            ctx.warn(lib.label + ": " + count(lib.problems, "problem", "problems") + " (see check); searched all the same");
        searched += !lib.skipped;
    }
    if (searched == 0) ctx.warn("no tool library to search under " + (all.size() == 1 ? all[0] : "the folders"));
    return true;
}

std::vector<std::string> database_files(const std::vector<std::string> &folders, const tlsfile::Database &database) {
    std::vector<std::string> out = folders;
    for (const tlsfile::DatabaseLibrary &lib : database.libraries()) out.push_back(lib.label);
    return out;
}

}  // namespace kesto::cli
