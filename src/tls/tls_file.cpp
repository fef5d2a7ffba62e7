/* The current tool library file.  A library is never lost to a failed
   export: it is written anew beside itself and takes the old one's place
   only when every record has reached the disk. */
#include "src/tls/tls_file.h"

#include "host/platform/platform.h"

char tls_file_name[TLS_FILE_NAME_SIZE];
FILE *tls_file;

/* The pending replacement of tls_file_name; none while writing in place. */
static PlatReplacement *replacement;

int tls_file_open(const char *mode) {
    int appending = mode[0] == 'a';
    replacement = NULL;
    tls_file = NULL;
    if (plat_path_kind(tls_file_name) == PLAT_PATH_OTHER) return TLS_FILE_UNOPENABLE;
    int last_byte = -1;
    int opened = plat_replacement_open(tls_file_name, appending, &last_byte, &tls_file, &replacement);
    if (opened == PLAT_REPLACEMENT_BUSY) return TLS_FILE_BUSY;
    if (opened != PLAT_REPLACEMENT_OPEN) return TLS_FILE_UNOPENABLE;
    /* The first record must not be glued to a last line without its end. */
    if (appending && last_byte >= 0 && last_byte != '\n') fputs("\n", tls_file);
    return TLS_FILE_OPEN;
}

int tls_file_close(int done) {
    int failed = ferror(tls_file) != 0;
    if (fclose(tls_file) != 0) failed = 1;
    tls_file = NULL;
    PlatReplacement *pending = replacement;
    replacement = NULL;
    if (!pending) return failed ? -1 : 0;
    if (!done || failed) {
        plat_replacement_discard(pending);
        return failed ? -1 : 0;
    }
    return plat_replacement_commit(pending);
}
