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
   null here: listing sections or keys is not offered on POSIX. */
unsigned plat_get_profile_string(const char *section, const char *key, const char *def,
                                 char *out, unsigned size, const char *file);

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

#ifdef __cplusplus
}
#endif

#endif
