#include "tools/tlsfile/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#  include <io.h>
#  include <process.h>
#  include <windows.h>
#else
#  include <unistd.h>
#endif

#include "tools/tlsfile/input_file.h"
#include "tools/tlsfile/interrupt_cleanup.h"
#include "tools/tlsfile/source.h"

namespace fs = std::filesystem;

namespace tlsfile {

namespace {

#if defined(_WIN32)
int create_new(const fs::path &p) {
    return _wopen(p.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long write_some(int fd, const char *data, size_t n) { return _write(fd, data, static_cast<unsigned>(n)); }
int flush_fd(int fd) { return _commit(fd); }
int close_fd(int fd) { return _close(fd); }
#else
int create_new(const fs::path &p) { return ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); }
long write_some(int fd, const char *data, size_t n) { return static_cast<long>(::write(fd, data, n)); }
int flush_fd(int fd) { return ::fsync(fd); }
int close_fd(int fd) { return ::close(fd); }
#endif

#if defined(_WIN32)
// Whether Windows takes a file name for a device in every folder: CON, PRN,
// AUX, NUL, COM1-9, LPT1-9, CONIN$ and CONOUT$, in any case, with or without
// an extension ("aux.tls") and trailing blanks or dots.
// The device's name, or empty.
std::wstring device_name(const std::wstring &leaf) {
    std::wstring stem = leaf.substr(0, leaf.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    std::wstring upper = stem;
    for (wchar_t &c : upper) c = static_cast<wchar_t>(c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c);
    for (const wchar_t *name : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (upper == name) return stem;
    const bool numbered = upper.size() == 4 && (upper.compare(0, 3, L"COM") == 0 || upper.compare(0, 3, L"LPT") == 0) &&
                          upper[3] >= L'1' && upper[3] <= L'9';
    return numbered ? stem : std::wstring();
}
#endif

// Why a file could not be replaced.
std::string replace_cause(int error) {
    std::string cause = kesto::system_error_text(error);
#if defined(_WIN32)
    // refused after the retries, the file being writable: someone holds it open
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED ||
        error == ERROR_UNABLE_TO_REMOVE_REPLACED || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
        cause = "the file is open in another program (" + cause + "); close it there and try again";
#endif
    return cause;
}

#if defined(_WIN32)
// Whether a new file can be made in the folder of target: Windows' folders
// are kept from writing by their permissions, which no attribute shows, so
// a file that is gone when closed is made there.
bool folder_writable(const fs::path &target) {
    const fs::path probe = system_path(kesto::temporary_name(full_path(target).native(), GetCurrentProcessId(), 999));
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_ACCESS_DENIED;
    CloseHandle(h);
    return true;
}
#endif

// The file an output replaces: the path itself, or the file its link names.
// Empty with error set when the path may not take an output.
fs::path output_target(const std::string &path, const std::vector<std::string> &inputs, std::string &error) {
    const fs::path p = fs_path(path);
    if (p.filename().empty() || p.filename() == "." || p.filename() == "..") {
        error = path + ": not a file name";
        return {};
    }
#if defined(_WIN32)
    if (const std::wstring device = device_name(p.filename().native()); !device.empty()) {
        error = path + ": is not a regular file (a device: Windows keeps the name " + utf8_path(fs::path(device)) +
                " for one in every folder); give a file name";
        return {};
    }
#endif
    std::error_code ec;
    fs::file_status link = fs::symlink_status(p, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        error = path + ": " + ec.message();
        return {};
    }
    if (!fs::exists(link)) {
        // the folder of the full path: "C:" of "C:lib.tls" is a drive's current folder
        fs::path folder = p.parent_path();
        if (!folder.empty() && entry_kind(full_path(p).parent_path(), true) != EntryKind::folder) {
            error = utf8_path(folder) + ": no such folder";
            return {};
        }
        return p;
    }
    fs::file_status target = fs::status(p, ec);
    if (!fs::exists(target)) {
        error = path + ": is a link to nothing; give a file name";
        return {};
    }
    if (fs::is_directory(target)) {
        error = path + ": is a folder; give a file name";
        return {};
    }
    if (!fs::is_regular_file(target)) {
        error = path + ": is not a regular file (a device, a pipe or a socket); it is left as it is";
        return {};
    }
    for (const std::string &input : inputs) {
        if (!input.empty() && same_file(path, input)) {
            error = path + ": is the input file" + (input == path ? std::string() : " " + input) +
                    "; give another output";
            return {};
        }
    }
#if defined(_WIN32)
    // links as the system resolves them, also those Wine shows as none
    return fs::path(kesto::final_path(p.native()));
#endif
    if (!fs::is_symlink(link)) return p;
    fs::path real = fs::canonical(p, ec);
    if (ec) error = path + ": " + ec.message();
    return real;
}

// output_target, and a file or folder the user may not write is refused as
// the plug-in refuses it.
fs::path replaceable_target(const std::string &path, const std::vector<std::string> &inputs, std::string &error) {
    fs::path target = output_target(path, inputs, error);
    if (target.empty()) return target;
    switch (kesto::replaceable(target.native())) {
    case kesto::Replaceable::kYes:
#if defined(_WIN32)
        if (!folder_writable(target)) {
            error = path + ": its folder is read-only; nothing is written";
            return {};
        }
#endif
        return target;
    case kesto::Replaceable::kFileReadOnly: error = path + ": is read-only; it is left as it is"; break;
    case kesto::Replaceable::kFolderReadOnly: error = path + ": its folder is read-only; nothing is written"; break;
    }
    return {};
}

// The temporary file is created exclusively, so two writers never share one.
int create_temporary(const fs::path &target, fs::path &temp) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temp = kesto::temporary_name(target.native(), own_process_id(), attempt);
        int fd = -1;
        // never a new temporary once an interrupt's clean-up has begun
        replace_unless_interrupted([&] {
            fd = create_new(temp);
            return fd >= 0;
        });
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool check_output_target(const std::string &path, const std::vector<std::string> &inputs, std::string &error) {
    return !replaceable_target(path, inputs, error).empty();
}

OutputLock::~OutputLock() {
    if (lock_.held()) unguard_library(file_);
}

bool OutputLock::take(const std::string &path, std::string &error) {
    file_ = replaceable_target(path, {}, error);
    if (file_.empty()) return false;
    switch (lock_.take(file_.native())) {
    case kesto::LibraryLock::kTaken: guard_library(file_, fs::path(lock_.lock_file())); return true;
    case kesto::LibraryLock::kBusy:
        error = path + ": is being written by someone else (waited " +
                std::to_string(kesto::library_lock_wait_ms / 1000) + " s); nothing was written, try again";
        break;
    case kesto::LibraryLock::kFailed:
        // the lock file, named, and what is wrong with it
        error = path + ": cannot be locked for writing: " + utf8_path(fs::path(lock_.lock_file())) + ": " +
                (lock_.refusal() ? std::string(lock_.refusal()) + ", not a lock file of ours; it is left as it is"
                                 : kesto::system_error_text(lock_.error())) +
                "; nothing was written";
        break;
    }
    return false;
}

namespace {

// The larger of two numbers written in decimal digits, however many.
const std::string &larger(const std::string &a, const std::string &b) {
    return a.size() != b.size() ? (a.size() > b.size() ? a : b) : (a > b ? a : b);
}

// A number written in decimal digits, plus one.
std::string plus_one(std::string digits) {
    for (size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return digits;
        }
        digits[i] = '0';
    }
    return "1" + digits;
}

// The backup of what the commit is about to replace.
struct BackupJob {
    std::string path;      // the output as named
    fs::path target;       // the file replaced
    Backup mode = Backup::none;
    std::string made;      // where the old bytes went
    std::string error;     // why not
};

// Keeps the old bytes of job.target as its backup: the commit's hook, run
// once it is known that the file changes, under its lock.
int keep_backup(void *context) {
    BackupJob &job = *static_cast<BackupJob *>(context);
    std::string old, cause;
    if (!read_input_file(utf8_path(job.target), size_t(1) << 31, true, old, cause)) {
        job.error = "cannot read the old bytes: " + cause;
        return EIO;
    }
    for (int tries = 0; tries < 100; ++tries) {
        const std::string name = backup_name(job.path, job.mode == Backup::numbered);
        const fs::path at = fs_path(name);
        std::error_code ec;
        const fs::file_status there = fs::symlink_status(at, ec);
        bool replace_earlier = false;
        if (fs::is_symlink(there)) {
            job.error = name + " is a link; a backup never follows one, and it is left as it is";
            return EEXIST;
        }
        if (fs::exists(there)) {
            std::string earlier;
            if (!fs::is_regular_file(there) || job.mode == Backup::numbered ||
                !read_input_file(name, size_t(1) << 31, true, earlier, cause) ||
                source_of(name, std::move(earlier)).kind != SourceKind::library) {
                job.error = name + " is not an earlier backup of this library (" +
                            (fs::is_regular_file(there) ? "no tool library" : "no regular file") +
                            "); it is left as it is";
                return EEXIST;
            }
            replace_earlier = true;
        }
        const int failed = kesto::write_backup(job.target.native(), old, at.native(), replace_earlier);
        if (failed == 0) {
            job.made = name;
            return 0;
        }
        // a numbered backup made meanwhile by another: the next number
        if (job.mode == Backup::numbered && (failed == EEXIST
#if defined(_WIN32)
                                             || failed == ERROR_FILE_EXISTS || failed == ERROR_ALREADY_EXISTS
#endif
                                             ))
            continue;
        job.error = name + ": " + kesto::system_error_text(failed);
        return failed;
    }
    job.error = "no free number for a numbered backup";
    return EEXIST;
}

int run_backup(void *context) { return keep_backup(context); }

}  // namespace

std::string backup_name(const std::string &file, bool numbered) {
    if (!numbered) return file + "~";
    const fs::path path = fs_path(file);
    const std::string leaf = utf8_path(path.filename()) + ".~";
    std::string highest = "0";
    std::vector<FolderEntry> entries;
    std::string error;
    // the full path's folder: that of "C:lib.tls" is C:'s current one, not its root
    const fs::path full = full_path(path), folder = full.parent_path().empty() ? fs::path(".") : full.parent_path();
    if (list_folder(folder, entries, error)) {
        for (const FolderEntry &e : entries) {
            const std::string name = utf8_path(e.name);
            if (name.size() < leaf.size() + 2 || name.compare(0, leaf.size(), leaf) != 0 || name.back() != '~')
                continue;
            std::string digits = name.substr(leaf.size(), name.size() - leaf.size() - 1);
            if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) continue;
            digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
            highest = larger(highest, digits);
        }
    }
    return file + ".~" + plus_one(highest) + "~";
}

bool write_output_file(const std::string &path, const std::string &content, std::string &error,
                       const std::vector<std::string> &inputs, const OutputLock *held, Backup backup,
                       Written *written) {
    Written local;
    Written &done = written ? *written : local;
    done = Written();
    const fs::path target = replaceable_target(path, inputs, error);
    if (target.empty()) return false;
    OutputLock own;
    if (!held && !own.take(path, error)) return false;
    interrupt_point("locked");
    std::error_code ec;
    done.created = !fs::exists(target, ec);
    fs::path temp;
    errno = 0;
    int fd = create_temporary(target, temp);
    if (fd < 0) {
        error = path + ": cannot create a temporary file beside it: " + std::strerror(errno ? errno : EIO);
        return false;
    }
    const char *data = content.data();
    size_t left = content.size();
    int failed = 0;
    while (!failed && left > 0) {
        size_t chunk = left > (size_t(1) << 30) ? (size_t(1) << 30) : left;
        errno = 0;
        long n = write_some(fd, data, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed = errno ? errno : EIO;
            break;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    errno = 0;
    if (!failed && flush_fd(fd) != 0) failed = errno ? errno : EIO;
    errno = 0;
    if (close_fd(fd) != 0 && !failed) failed = errno ? errno : EIO;
    if (failed) {
        error = path + ": cannot be written: " + std::strerror(failed);
        fs::remove(temp, ec);
        return false;
    }
    interrupt_point("written");
    // the replacement keeps what the file system kept about the old file;
    // the old bytes go to the backup first, when they change at all
    BackupJob job{path, target, backup, "", ""};
    kesto::Commit commit = kesto::Commit::kFailed;
    int cause = 0;
    const bool interrupted = !replace_unless_interrupted(
        [&] {
            commit = kesto::commit_file(temp.native(), target.native(), cause,
                                        backup == Backup::none || done.created ? nullptr : run_backup, &job);
            return commit == kesto::Commit::kReplaced;
        },
        target);
    (void)interrupted;
    interrupt_point("replaced");
    if (commit == kesto::Commit::kFailed) {
        error = !job.error.empty() ? "the backup cannot be written: " + job.error : path + ": cannot replace it: " + replace_cause(cause);
        fs::remove(temp, ec);
        return false;
    }
    done.unchanged = commit == kesto::Commit::kUnchanged;
    done.backup = job.made;
    return true;
}

}  // namespace tlsfile
