/* Read-once reference: reads every file named in a NUL-separated list once,
 * front to back, into one reused buffer, and throws the bytes away.
 *
 *   readonce LISTFILE
 *
 * This is the least that an exact duplicate finder has to do with the files
 * that share their size with another file: open each, read it through, close
 * it.  cat does the same with a fresh buffer for every file (an mmap, page
 * faults and an munmap each time), which costs more than the reading on
 * trees of many small files.  Exit status 1 if a file could not be read. */

#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { BUFFER_SIZE = 1 << 20 };

static char buffer[BUFFER_SIZE];

static int read_through(const char *path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -1;
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int saved = errno;
            close(fd);
            errno = saved;
            return -1;
        }
    }
    close(fd);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s LISTFILE (NUL-separated paths)\n", argv[0]);
        return 2;
    }
    FILE *list = fopen(argv[1], "rb");
    if (!list) {
        perror(argv[1]);
        return 2;
    }
    char *path = NULL;
    size_t cap = 0;
    ssize_t len;
    long failed = 0;
    while ((len = getdelim(&path, &cap, '\0', list)) > 0) {
        if (path[len - 1] == '\0')
            --len;
        if (len == 0)
            continue;
        path[len] = '\0';
        if (read_through(path) != 0 && ++failed <= 10)
            fprintf(stderr, "%s: %s\n", path, strerror(errno));
    }
    free(path);
    fclose(list);
    if (failed > 10)
        fprintf(stderr, "... %ld files could not be read\n", failed);
    return failed ? 1 : 0;
}
