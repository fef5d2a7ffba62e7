// Runs the plug-in the way the host does: load the library, call ufusr once,
// ask ufusr_ask_unload, unload when it answers 1.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/sim/host_state.h"

#if defined(_WIN32)
#  include <direct.h>
#  include <windows.h>
#else
#  include <dlfcn.h>
#  include <sys/stat.h>
#endif

namespace sim {
namespace {

#if defined(_WIN32)
// Windows takes UTF-8 names (of the plug-in, of the session's files) only
// through its wide calls.
std::wstring wide(const std::string &utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], n);
    return w;
}
#endif

using UfusrFn = void (*)(char *, int *, int);
using AskUnloadFn = int (*)(void);

struct Library {
#if defined(_WIN32)
    HMODULE handle = nullptr;
#else
    void *handle = nullptr;
#endif
    std::string error;

    bool load(const std::string &path) {
#if defined(_WIN32)
        // The plug-in's own libraries are looked for beside it, beside this
        // program and in the system's folders, never in the current folder:
        // a run may be in any folder (of any length).  A path too long for
        // the classic calls is given in its \\?\ form.
        std::wstring name = wide(path);
        if (name.size() >= MAX_PATH && name.size() > 2 && name[1] == L':') {
            for (wchar_t &c : name)
                if (c == L'/') c = L'\\';
            name = L"\\\\?\\" + name;
        }
        handle = LoadLibraryExW(name.c_str(), nullptr,
                                LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        if (!handle) error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
#else
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) error = std::string("cannot load ") + dlerror();
#endif
        return handle != nullptr;
    }
    void *symbol(const char *name) {
#if defined(_WIN32)
        return reinterpret_cast<void *>(GetProcAddress(handle, name));
#else
        return dlsym(handle, name);
#endif
    }
    void unload() {
        if (!handle) return;
#if defined(_WIN32)
        FreeLibrary(handle);
#else
        dlclose(handle);
#endif
        handle = nullptr;
    }
};

void give_tags(Session &session) {
    if (!session.part) return;
    tag_t next = kFirstMemberTag;
    for (Member &m : session.part->members) m.tag = next++;
    next = kFirstOtherTag;
    for (Member &m : session.part->others) m.tag = next++;
}

std::unique_ptr<HostState> g_direct;
std::unique_ptr<ScriptedAnswers> g_direct_answers;

// False when the plug-in's output cannot be captured (said as a host error).
bool begin(HostState &s, Session &session, AnswerSource *answers) {
    give_tags(session);
    s.session = &session;
    s.answers = answers;
    s.call_counts.assign(session.faults.size(), 0);
    set_state(&s);
    return capture_start();
}

RunResult finish(HostState &s) {
    capture_stop();
    s.result.outstanding_arrays = static_cast<int>(s.arrays.size());
    for (void *p : s.arrays) std::free(p);
    s.arrays.clear();
    set_state(nullptr);
    return std::move(s.result);
}

// Expands ${NAME} from the process environment, in one pass over the text.
std::string expand(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    for (;;) {
        size_t open = text.find("${", at);
        size_t close = open == std::string::npos ? open : text.find('}', open + 2);
        if (close == std::string::npos) break;
        out.append(text, at, open - at);
        if (const char *v = std::getenv(text.substr(open + 2, close - open - 2).c_str())) out += v;
        at = close + 1;
    }
    out.append(text, at, std::string::npos);
    return out;
}

// File access by UTF-8 name, as the session file writes it.
#if defined(_WIN32)
std::FILE *open_for_writing(const std::string &path) { return _wfopen(wide(path).c_str(), L"wb"); }
void make_folder(const std::string &path) { _wmkdir(wide(path).c_str()); }
#else
std::FILE *open_for_writing(const std::string &path) { return std::fopen(path.c_str(), "wb"); }
void make_folder(const std::string &path) { mkdir(path.c_str(), 0777); }
#endif

// Folders that exist already are fine; any other failure shows when the
// file itself cannot be created.
void make_parents(const std::string &path) {
    for (size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/' || path[i] == '\\') make_folder(path.substr(0, i));
}

}  // namespace

void create_session_files(const Session &session) {
    for (const auto &[name, content] : session.files) {
        make_parents(name);
        std::string text = expand(content);
        errno = 0;
        std::FILE *out = open_for_writing(name);
        int error = out ? 0 : errno ? errno : EIO;
        if (out) {
            if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) error = errno ? errno : EIO;
            errno = 0;
            if (std::fclose(out) != 0 && !error) error = errno ? errno : EIO;
        }
        if (error)
            throw SessionError(session.source + ": files." + name + ": cannot be written: " + std::strerror(error));
    }
}

RunResult run_session(Session &session, const RunOptions &options) {
    for (auto &[name, value] : session.env)
        if (value) value = expand(*value);
    ScriptedAnswers scripted(session.answers);
    HostState s;
    s.on_event = options.on_event;
    const bool captured = begin(s, session, options.answers ? options.answers : &scripted);
    Library lib;
    // A run whose output cannot be captured (no descriptor left) is not
    // started: its transcript would lack what the plug-in printed.
    for (int run = 1; captured && run <= session.runs; ++run) {
        if (!lib.handle && !lib.load(options.plugin_path)) {
            host_error(lib.error);
            break;
        }
        Event load;
        load.kind = Event::Load;
        load.answer = run;
        record(std::move(load));
        auto ufusr = reinterpret_cast<UfusrFn>(lib.symbol("ufusr"));
        auto ask_unload = reinterpret_cast<AskUnloadFn>(lib.symbol("ufusr_ask_unload"));
        if (!ufusr || !ask_unload) {
            host_error("the plug-in exports no ufusr or no ufusr_ask_unload");
            break;
        }
        char param[1] = {'\0'};
        int retcod = -1;
        s.initialized = false;
        ufusr(param, &retcod, 0);
        capture_collect();
        s.result.return_codes.push_back(retcod);
        int unload = ask_unload();
        s.result.unload_answers.push_back(unload);
        Event e;
        e.kind = Event::Unload;
        e.answer = unload;
        record(std::move(e));
        if (unload == 1) lib.unload();
    }
    lib.unload();
    return finish(s);
}

void begin_direct(Session &session, AnswerSource *answers) {
    g_direct = std::make_unique<HostState>();
    if (!answers) {
        g_direct_answers = std::make_unique<ScriptedAnswers>(session.answers);
        answers = g_direct_answers.get();
    }
    begin(*g_direct, session, answers);
    g_direct->initialized = true;
}

RunResult end_direct() {
    if (!g_direct) return RunResult();
    RunResult r = finish(*g_direct);
    g_direct.reset();
    g_direct_answers.reset();
    return r;
}

DirectRun::DirectRun(Session &session, AnswerSource *answers) { begin_direct(session, answers); }

DirectRun::~DirectRun() {
    if (open_) end_direct();
}

RunResult DirectRun::finish() {
    open_ = false;
    return end_direct();
}

std::string default_plugin_name() {
#if defined(_WIN32)
    return "kesto_tools_vericut.dll";
#else
    return "kesto_tools_vericut.so";
#endif
}

}  // namespace sim
