/* What the plug-in and the command-line tool must agree on, written once:
   the tool library's header, the names a writer puts beside a library
   (its lock file and its temporaries), how a text becomes a TOOLID, which
   members of the machine-tool group get no record, where the settings file
   is looked for, and the name of the host's hook for the plug-in's notes.
   Plain C declarations: the plug-in includes it, and so do the host's
   common code and the command-line tool. */
#ifndef KESTO_SRC_SHARED_FACTS_H
#define KESTO_SRC_SHARED_FACTS_H

#include <string.h>

/* The first two lines of every tool library, and a new library's head as
   the plug-in writes it through a text stream (CR LF on every build). */
#define KESTO_LIBRARY_HEADER_LINE "CGTECH Tool Library File"
#define KESTO_LIBRARY_VERSION_PREFIX "Version-"
#define KESTO_LIBRARY_VERSION_LINE KESTO_LIBRARY_VERSION_PREFIX "5.2"
#define KESTO_LIBRARY_HEADER KESTO_LIBRARY_HEADER_LINE "\n" KESTO_LIBRARY_VERSION_LINE "\n\n"

/* Beside a library NAME, its writers put "NAME.~kesto-lock" (the lock,
   NAME folded to small letters) and "NAME.~kesto-PROCESS-N.tmp" (a new
   file, or an export's scratch folder, before it takes its place). */
#define KESTO_WRITER_MARK ".~kesto-"
#define KESTO_LOCK_SUFFIX KESTO_WRITER_MARK "lock"
#define KESTO_TEMPORARY_END ".tmp"

/* A byte of a name or text as a TOOLID or quoted text holds it: the
   simulator reads a double quote as the text's end, so it becomes '|', and
   a control character would split the record's line, so it becomes a
   blank. */
static inline char kesto_toolid_byte(char c) {
    if (c == '"') return '|';
    if ((unsigned char)c < 0x20) return ' ';
    return c;
}

/* Whether a member of the machine-tool group gets no record and no holder:
   a negative cutter type or subtype, or the host's "NONE" member. */
static inline int kesto_member_skipped(int type, int subtype, const char *name) {
    return type < 0 || subtype < 0 || strcmp(name, "NONE") == 0;
}

/* The settings file, looked for in the folder "application" under each of
   these environment variables' folders, in this order; and what a
   missing key gives. */
#define KESTO_SETTINGS_FILE "kesto_tools_vericut.ini"
#define KESTO_SETTINGS_FOLDER "application"
#define KESTO_SETTINGS_VARIABLE_COUNT 8
static const char kesto_settings_variables[KESTO_SETTINGS_VARIABLE_COUNT][25] = {
    "UGII_VENDOR_DIR", "UGII_USER_DIR", "UGII_SITE_DIR", "USER_UFUN",
    "UGII_INITIAL_UFUN_DIR", "UGII_TMP_DIR", "HOME", "TMP",
};
#define KESTO_DEFAULT_PATH_TOOL "\\\\cadserver\\vericut\\Tools"
#define KESTO_DEFAULT_PATH_USR "\\\\cadserver\\vericut"
#define KESTO_DEFAULT_VERSION "5.2"

/* The plug-in's notes on a tool (a value not finite, what it wrote
   instead) reach a host that wants them through a function of this name
   that the host's libufun may export, looked up when a note is made:
   void (const char *tool, const char *note), both Windows-1251.  The real
   host has none, and the notes then only go to standard output. */
#define KESTO_NOTE_HOOK "kesto_host_tool_note"
typedef void (*KestoNoteHook)(const char *tool, const char *note);

#endif
