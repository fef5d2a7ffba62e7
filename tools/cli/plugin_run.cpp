#include "tools/cli/plugin_run.h"

#include <cctype>
#include <cstdlib>
#include <system_error>

#include "host/common/cp1251.h"
#include "host/common/library_writer.h"
#include "src/shared_facts.h"
#include "tools/cli/commands.h"
#include "tools/cli/part_input.h"
#include "tools/cli/session_input.h"
#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/interrupt_cleanup.h"
#include "tools/tlsfile/output_file.h"
#include "tools/tlsfile/tls_check.h"

namespace fs = std::filesystem;

namespace kesto::cli {

const char *const kNewLibraryHeader = KESTO_LIBRARY_HEADER_LINE "\r\n" KESTO_LIBRARY_VERSION_LINE "\r\n\r\n";

namespace {

int count_records(const std::string &text) {
    int n = 0;
    for (size_t at = 0; (at = text.find("TOOLID \"", at)) != std::string::npos; ++at)
        if (at == 0 || text[at - 1] == '\n') ++n;
    return n;
}

// The plug-in writes into a scratch folder beside the library, named as
// every writer's temporaries of it are (so that a killed export's is
// removed by the next writer), and runs with that folder current.  The file
// it writes there has a plain ASCII name, the library's when it has one:
// the plug-in hands paths to the system in its own code page, which cannot
// name every file.
class ScratchFolder {
public:
    explicit ScratchFolder(const fs::path &library) {
        std::error_code ec;
        previous_ = fs::current_path(ec);
        for (unsigned n = 0; !ec && folder_.empty() && n < 100; ++n) {
            fs::path candidate = tlsfile::full_path(kesto::temporary_name(library.native(), tlsfile::own_process_id(), n));
            // never a new scratch folder once an interrupt's clean-up has begun
            if (tlsfile::replace_unless_interrupted([&] { return fs::create_directory(candidate, ec); }))
                folder_ = candidate;
        }
        if (!ec && folder_.empty()) ec = std::make_error_code(std::errc::file_exists);
        if (!ec) fs::current_path(folder_, ec);
        entered_ = !ec;
        cause_ = folder_cause(tlsfile::utf8_path(folder_.empty() ? library.parent_path() : folder_), ec);
        const std::string leaf = tlsfile::utf8_path(library.filename());
        bool plain = !leaf.empty();
        for (char c : leaf) plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-');
        name_ = plain ? leaf : "export.tls";
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!folder_.empty()) {
            // The file, then the folder, by short names from the folder
            // above: the Windows runtime cannot list a folder whose path is
            // beyond MAX_PATH, as remove_all would.
            fs::current_path(folder_.parent_path(), ec);
            const fs::path folder = ec ? folder_ : folder_.filename();
            fs::remove(folder / name_, ec);
            if (!fs::remove(folder, ec)) fs::remove_all(folder, ec);
        }
        if (!previous_.empty()) fs::current_path(previous_, ec);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    bool entered() const { return entered_; }
    const std::string &cause() const { return cause_; }
    const std::string &name() const { return name_; }

private:
    fs::path previous_;
    fs::path folder_;
    bool entered_ = false;
    std::string cause_;
    std::string name_;
};

fs::path temporary_library() {
    std::error_code ec;
    return fs::temp_directory_path(ec) / "kesto-export.tls";
}

}  // namespace

void remove_dead_scratch(const fs::path &library) {
    std::error_code ec;
    const std::string start = tlsfile::utf8_path(library.filename()) + KESTO_WRITER_MARK;
    for (fs::directory_iterator it(library.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = tlsfile::utf8_path(it->path().filename());
        if (name.compare(0, start.size(), start) != 0) continue;
        const char *p = name.c_str() + start.size();
        char *after = nullptr;
        const unsigned long pid = std::strtoul(p, &after, 10);
        if (after == p || *after != '-' || std::string(after).find(KESTO_TEMPORARY_END) == std::string::npos) continue;
        if (pid == tlsfile::own_process_id() || process_alive(pid)) continue;
        std::error_code ignored;
        if (fs::is_directory(fs::symlink_status(it->path(), ignored))) fs::remove_all(it->path(), ignored);
    }
}

int run_plugin(Context &ctx, sim::Session &session, PluginExport &run) {
    const std::string of = run.part.empty() ? std::string() : run.part + ": ";
    const std::string &old = run.old;
    const bool selective = run.selective;
    std::string error;
    PlannedUser user;
    sim::RunResult result;
    {
        std::error_code ec;
        ScratchFolder scratch(run.library);
        if (!scratch.entered()) {
            ctx.error(run.label + ": cannot work in its folder: " + scratch.cause());
            return kExitUsage;
        }
        if (!old.empty() && !tlsfile::write_output_file(scratch.name(), old, error)) {
            ctx.error(error);
            return kExitProblems;
        }
        const std::string file = scratch.name();
        user.on("Select menu ", [selective](const sim::Event &, int times) {
            return menu_answer(times == 1 ? (selective ? 6 : 5) : UF_UI_CANCEL);
        });
        user.on("Select Tools and pick 'Fix'", [](const sim::Event &, int) { return menu_answer(5); });
        user.on("Create TLS file..?", [](const sim::Event &, int) { return question_answer(1); });
        user.on("Выберите файл с инструментом..", [file](const sim::Event &, int) { return file_answer(file); });
        const bool append = !old.empty();
        user.on("Create TLS - файл...", [append](const sim::Event &, int) { return question_answer(append ? 2 : 1); });
        user.on("Open Vericut ...?", [](const sim::Event &, int) { return question_answer(2); });
        sim::RunOptions options;
        options.plugin_path = run.plugin;
        options.answers = &user;
        result = sim::run_session(session, options);
        if (fs::exists(file, ec) && !tlsfile::read_input_file(file, tlsfile::kMaxLibraryBytes, true, run.written, error)) {
            ctx.error(error);
            return kExitProblems;
        }
    }
    if (result.return_codes.empty()) {
        ctx.error(of + result.error);
        return kExitNoPlugin;
    }
    // the plug-in's notes on tools, as its note hook handed them over
    for (const sim::ToolNote &n : result.notes) {
        ctx.warn("the plug-in says of tool " + quoted_toolid(n.tool) + (run.part.empty() ? "" : " in " + run.part) + ": " +
                 kesto::cp1251_to_utf8(n.note));
        run.notes.push_back({{"toolid", toolid_json(n.tool)}, {"note", kesto::cp1251_to_utf8(n.note)}});
    }
    bool failed = false;
    for (const sim::Event &e : result.events) {
        if (e.kind == sim::Event::Message) {
            ctx.error(of + "the plug-in says: " + kesto::cp1251_to_utf8(e.texts.empty() ? "" : e.texts[0]));
            failed = true;
        } else if (e.kind == sim::Event::Error) {
            ctx.error(of + "host: " + e.texts[0]);
            failed = true;
        }
    }
    if (!user.unknown_dialog().empty()) {
        ctx.error(of + "the plug-in showed a dialog this command does not answer: " + user.unknown_dialog() + "; " + run.left);
        return kExitProblems;
    }
    if (failed) {
        ctx.error(run.left);
        return kExitProblems;
    }
    run.records = run.written.size() > old.size() ? count_records(run.written.substr(old.size())) : 0;
    if (run.records == 0) {
        ctx.error(of + "no tool was written; " + run.left);
        return kExitProblems;
    }
    return kExitOk;
}

int read_tools(Context &ctx, const std::string &path, const std::string &plugin, bool keep_problems, ToolsInput &out) {
    out = ToolsInput();
    out.label = input_label(path);
    tlsfile::Source source;
    if (!read_input(ctx, path, source)) return kExitUsage;
    if (source.kind == tlsfile::SourceKind::library) {
        out.library = library_from_source(std::move(source));
        return kExitOk;
    }
    if (source.kind != tlsfile::SourceKind::part) {
        ctx.error(tlsfile::wrong_kind(source, "", tlsfile::Wanted::either));
        return kExitUsage;
    }
    out.part = true;
    out.part_json = std::move(source.text);
    sim::Session session;
    try {
        session = sim::parse_part_or_session(out.part_json, out.label);
    } catch (const sim::SessionError &e) {
        ctx.error(e.what());
        return kExitUsage;
    }
    session.part->selected.clear();
    const fs::path scratch = temporary_library();
    remove_dead_scratch(scratch);
    PluginExport run;
    run.library = scratch;
    run.label = tlsfile::utf8_path(scratch);
    run.plugin = plugin_path(plugin);
    run.left = "nothing was compared";
    if (int code = run_plugin(ctx, session, run)) return code == kExitNoPlugin ? code : kExitUsage;
    out.library = library_from_text("the export", std::move(run.written));
    size_t beyond = 0;
    out.problems = tlsfile::check_library(out.library.library.library, &beyond);
    if (!out.problems.empty() && !keep_problems) {
        for (const tlsfile::Problem &p : out.problems) {
            std::string line = tlsfile::format_problem(p, "the export of " + out.label);
            line.pop_back();
            ctx.error(line);
        }
        ctx.error(count(out.problems.size() + beyond, "problem", "problems") +
                  " in what the plug-in wrote; nothing was compared");
        return kExitUsage;
    }
    return kExitOk;
}

}  // namespace kesto::cli
