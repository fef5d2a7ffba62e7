/*
 * Platform layer: the few operating-system services the plug-in needs.
 *
 * On Windows each call is the KERNEL32 (or C runtime) service itself.  On
 * POSIX the same behaviour is provided by our own code, so that one plug-in
 * source gives the same results on both: a profile reader that answers like
 * GetPrivateProfileStringA, a process start without a shell, and a text
 * stream that writes CR LF line ends like a Windows text-mode stream.
 *
 * Texts are Windows-1251 bytes, as the plug-in keeps them.  On POSIX, paths
 * are turned into the file system's UTF-8 and a backslash counts as a path
 * separator.
 */
#ifndef KESTO_HOST_PLATFORM_PLATFORM_H
#define KESTO_HOST_PLATFORM_PLATFORM_H

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* GetPrivateProfileStringA: copies the value of key in section of the INI
   file (or def when there is none) into out, cut to size - 1 characters,
   and returns the number of characters copied.  section and key are never
   null here (plat_get_profile_keys lists the keys). */
unsigned plat_get_profile_string(const char *section, const char *key, const char *def,
                                 char *out, unsigned size, const char *file);

/* GetPrivateProfileStringA with a null key name: the names of the keys of
   section, each followed by a zero and the list by a second zero, in the
   order of the file.  Returns the number of characters copied but the last
   zero; a list cut to fit size returns size - 2. */
unsigned plat_get_profile_keys(const char *section, char *out, unsigned size, const char *file);

/* CreateFileA for reading (shared read, existing file) and CloseHandle:
   1 when the file could be opened, 0 when not. */
int plat_file_opens(const char *path);

/* Starts a program without waiting for it.  cmd_line is the Windows command
   line ("\"program\" \"argument\""), which CreateProcessA parses; the POSIX
   build starts program with argument as its one argument, without a shell.
   0 when the process was created, -1 when not. */
int plat_start_process(const char *cmd_line, const char *program, const char *argument);

/* Opens a text stream for writing ("w" or "a"): "\n" reaches the file as
   CR LF on every build.  NULL when the file cannot be opened. */
FILE *plat_open_text(const char *path, const char *mode);

/* What a path names, a link followed. */
#define PLAT_PATH_MISSING 0 /* nothing (or nothing that can be looked at) */
#define PLAT_PATH_FILE 1    /* a regular file */
#define PLAT_PATH_OTHER 2   /* a folder, a device, a pipe */
int plat_path_kind(const char *path);

/* A new file that takes the place of an existing (or missing) one only
   when it is complete, so that a failed write never costs the old file.
   One writer at a time: from the open to the commit or discard, the writer
   holds the target's lock (shared with the command-line tool's writers). */
typedef struct PlatReplacement PlatReplacement;

/* What plat_replacement_open reports. */
#define PLAT_REPLACEMENT_OPEN 0
#define PLAT_REPLACEMENT_FAILED (-1) /* no new file can be made, or target may not be replaced */
#define PLAT_REPLACEMENT_BUSY (-2)   /* another writer kept target's lock for all of the wait */

/* Takes the lock of target's file (a link followed; waiting some seconds
   for another writer, and removing what a killed writer left beside it),
   creates a new file with a unique name beside it and opens that as a text
   stream like plat_open_text, into *stream.  With keep_old it starts as an
   exact copy of target's bytes, and *last_byte gets the last of them (-1
   when there are none).  *replacement is what the two calls below need.
   Fails, with nothing made or held, when target exists and is not a regular
   file, is read-only (its owner's write bit on POSIX, whoever runs this;
   the read-only attribute on Windows) or cannot be written, when its
   folder is not writable for its owner (POSIX), or when the new file
   cannot be made. */
int plat_replacement_open(const char *target, int keep_old, int *last_byte, FILE **stream,
                          PlatReplacement **replacement);

/* With the stream closed: puts the new file in target's place (its data
   on the disk first; on POSIX with target's permission bits; a rename, on
   Windows MoveFileExA replacing and writing through), then gives the lock
   up.  0 when done; -1 when not, and the new file is removed.  Frees
   replacement. */
int plat_replacement_commit(PlatReplacement *replacement);

/* With the stream closed: removes the new file and gives the lock up;
   target is left as it was.  Frees replacement. */
void plat_replacement_discard(PlatReplacement *replacement);

/* Hands a note of the plug-in's on a tool (Windows-1251 texts) to the host
   when the host takes such notes: its libufun exports KESTO_NOTE_HOOK
   (src/shared_facts.h), as the simulated host does.  Nothing otherwise. */
void plat_tool_note(const char *tool, const char *note);

#ifdef __cplusplus
}
#endif

#endif
