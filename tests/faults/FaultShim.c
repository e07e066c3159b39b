/* A fault injector for tests, loaded with LD_PRELOAD into a program that
 * writes a user's file. It counts the calls that change files on disk
 * (write, pwrite, ftruncate, fallocate, fsync and fdatasync on regular files,
 * and rename or renameat) and, as QEL_FAULT says:
 *   count        writes the number of such calls to QEL_FAULT_LOG at exit;
 *   kill:K       lets call K happen, then kills the process with SIGKILL;
 *   enospc:K     makes call K fail with ENOSPC (EIO for a sync), as a full
 *                disk would; later calls run normally.
 * Writes to terminals, pipes and sockets are not counted. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static long g_count;
static long g_target = -1;
static int g_mode; /* 0 count, 1 kill, 2 enospc */

static void finish(void) {
    const char* log = getenv("QEL_FAULT_LOG");
    if (!log) return;
    FILE* f = fopen(log, "w");
    if (!f) return;
    fprintf(f, "%ld\n", g_count);
    fclose(f);
}

__attribute__((constructor)) static void setup(void) {
    const char* spec = getenv("QEL_FAULT");
    if (!spec) return;
    if (strncmp(spec, "kill:", 5) == 0) {
        g_mode = 1;
        g_target = atol(spec + 5);
    } else if (strncmp(spec, "enospc:", 7) == 0) {
        g_mode = 2;
        g_target = atol(spec + 7);
    }
    atexit(finish);
}

static int is_file(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

/* Before a counted call: 1 when it must fail. */
static int before(void) {
    ++g_count;
    return g_mode == 2 && g_count == g_target;
}

static void after(void) {
    if (g_mode == 1 && g_count == g_target) raise(SIGKILL);
}

#define REAL(name) static __typeof__(name)* real; if (!real) real = (__typeof__(name)*)dlsym(RTLD_NEXT, #name)

ssize_t write(int fd, const void* buf, size_t n) {
    REAL(write);
    if (!is_file(fd)) return real(fd, buf, n);
    if (before()) { errno = ENOSPC; return -1; }
    ssize_t r = real(fd, buf, n);
    after();
    return r;
}

#define PWRITE(name, off_type)                                             \
    ssize_t name(int fd, const void* buf, size_t n, off_type off) {        \
        REAL(name);                                                        \
        if (!is_file(fd)) return real(fd, buf, n, off);                    \
        if (before()) { errno = ENOSPC; return -1; }                       \
        ssize_t r = real(fd, buf, n, off);                                 \
        after();                                                           \
        return r;                                                          \
    }
PWRITE(pwrite, off_t)
PWRITE(pwrite64, off64_t)

#define TRUNCATE(name, off_type)                                           \
    int name(int fd, off_type len) {                                       \
        REAL(name);                                                        \
        if (before()) { errno = ENOSPC; return -1; }                       \
        int r = real(fd, len);                                             \
        after();                                                           \
        return r;                                                          \
    }
TRUNCATE(ftruncate, off_t)
TRUNCATE(ftruncate64, off64_t)

#define ALLOCATE(name, off_type)                                           \
    int name(int fd, int mode, off_type off, off_type len) {               \
        REAL(name);                                                        \
        if (before()) { errno = ENOSPC; return -1; }                       \
        int r = real(fd, mode, off, len);                                  \
        after();                                                           \
        return r;                                                          \
    }
ALLOCATE(fallocate, off_t)
ALLOCATE(fallocate64, off64_t)

#define SYNC(name)                                                         \
    int name(int fd) {                                                     \
        REAL(name);                                                        \
        if (!is_file(fd)) return real(fd);                                 \
        if (before()) { errno = EIO; return -1; }                          \
        int r = real(fd);                                                  \
        after();                                                           \
        return r;                                                          \
    }
SYNC(fsync)
SYNC(fdatasync)

int rename(const char* from, const char* to) {
    REAL(rename);
    if (before()) { errno = ENOSPC; return -1; }
    int r = real(from, to);
    after();
    return r;
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    REAL(renameat);
    if (before()) { errno = ENOSPC; return -1; }
    int r = real(fromDir, from, toDir, to);
    after();
    return r;
}
