// Input files of the command-line tools, named by UTF-8 paths on every
// build: read whole, within a size limit, in one copy.
#ifndef KESTO_TOOLS_TLSFILE_INPUT_FILE_H
#define KESTO_TOOLS_TLSFILE_INPUT_FILE_H

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace tlsfile {

// The largest tool library file check and preview read (64 MiB, some
// 130 000 tools).
constexpr size_t kMaxLibraryBytes = size_t(64) << 20;
// The largest session or part file the session commands read (64 MiB).
constexpr size_t kMaxSessionBytes = size_t(64) << 20;

// The file system's name for a UTF-8 path (Windows takes wide names).
std::filesystem::path fs_path(const std::string &utf8);
// A file system name as UTF-8, for messages and for handing on.
std::string utf8_path(const std::filesystem::path &path);
// A path made absolute against the current folder.  On Windows the system
// does it (GetFullPathNameW), since it knows every form a user types: UNC
// "\\server\share\...", "\\?\..." and "\\?\UNC\...", "C:lib.tls" against
// C:'s current folder, "\lib.tls" against the current drive, '/' for '\';
// the C++ runtime takes "\\server\share" for a folder of the current
// drive.  The path as it is when that fails.
std::filesystem::path full_path(const std::filesystem::path &path);
// The form the system takes a path in.  On Windows, a path of 248
// characters or more (the most a folder may have in the classic form) is
// made absolute in its extended form, "\\?\C:\..." or
// "\\?\UNC\server\...", which the C runtime's own calls (a folder's
// listing among them) would otherwise refuse.  Elsewhere, the path itself.
std::filesystem::path system_path(const std::filesystem::path &path);
// What a path names: a folder, a file or something else, missing when it
// cannot be looked at.  A link counts as what it leads to; as "other" when
// it leads to a folder and follow_folder_links is false, so that a folder
// listing does not walk into it.  Takes paths of any length on Windows,
// where the C runtime's status calls stop at 260 characters.
enum class EntryKind { missing, folder, file, other };
EntryKind entry_kind(const std::filesystem::path &path, bool follow_folder_links);
// The names in a folder (without "." and ".."), each with its kind as
// entry_kind gives it without following links to folders.  False, with
// error saying why, when the folder cannot be listed.
struct FolderEntry {
    std::filesystem::path name;
    EntryKind kind;
};
bool list_folder(const std::filesystem::path &folder, std::vector<FolderEntry> &entries, std::string &error);

// Reads the whole file at path into text.  False, with error naming the file
// and the cause, when it cannot be opened or read, is larger than max_bytes,
// or (with regular_only) is not a regular file: a folder, a device or a pipe
// is refused before anything is read from it.
bool read_input_file(const std::string &path, size_t max_bytes, bool regular_only, std::string &text,
                     std::string &error);
// The message for an input (labelled label) beyond max_bytes.
std::string too_large(const std::string &label, size_t max_bytes);

// An input file read in pieces, with the checks of read_input_file.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    // Opens the file at path: false, with error naming the file and the
    // cause, as read_input_file refuses it.
    bool open(const std::string &path, size_t max_bytes, bool regular_only, std::string &error);
    // Reads up to n bytes: their count, 0 at the end (of a regular file: at
    // the size it had when opened), -1 with error set when reading failed
    // or more than max_bytes came from a pipe.
    long read(char *buf, size_t n, std::string &error);
    bool regular() const { return regular_; }
    // A regular file's size when it was opened.
    size_t size() const { return size_; }

private:
    std::string path_;
    int fd_ = -1;
    bool regular_ = false;
    size_t size_ = 0;
    size_t max_bytes_ = 0;
    size_t got_ = 0;
};

// Whether two paths name one existing file, through links and other names
// (the same device and file number).
bool same_file(const std::string &a, const std::string &b);

}  // namespace tlsfile

#endif
