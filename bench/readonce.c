/* Read-once reference: reads every file named in a NUL-separated list once,
 * front to back, into a reused buffer, and throws the bytes away.
 *
 *   readonce [-j THREADS] LISTFILE
 *
 * This is the least that an exact duplicate finder has to do with the files
 * that share their size with another file: open each, read it through, close
 * it.  cat does the same with a fresh buffer for every file (an mmap, page
 * faults and an munmap each time), which costs more than the reading on
 * trees of many small files.
 *
 * With -j, THREADS readers (each with a buffer of its own) take the files
 * in list order, the next free reader the next file: the parallel
 * reference, which keeps several reads in flight on a cold disk.
 * Exit status 1 if a file could not be read. */

#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { BUFFER_SIZE = 1 << 20, MAX_THREADS = 64 };

static char **paths;
static size_t path_count;
static atomic_size_t next_path;
static atomic_long failed;
static pthread_mutex_t report = PTHREAD_MUTEX_INITIALIZER;

static int read_through(const char *path, char *buffer)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -1;
    for (;;) {
        ssize_t n = read(fd, buffer, BUFFER_SIZE);
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

static void *reader(void *unused)
{
    (void)unused;
    char *buffer = malloc(BUFFER_SIZE);
    if (!buffer) {
        perror("readonce");
        exit(2);
    }
    for (size_t k = atomic_fetch_add(&next_path, 1); k < path_count; k = atomic_fetch_add(&next_path, 1)) {
        if (read_through(paths[k], buffer) != 0) {
            int saved = errno;
            if (atomic_fetch_add(&failed, 1) < 10) {
                pthread_mutex_lock(&report);
                fprintf(stderr, "%s: %s\n", paths[k], strerror(saved));
                pthread_mutex_unlock(&report);
            }
        }
    }
    free(buffer);
    return NULL;
}

/* The names of the list, each its own string. */
static int load_list(const char *name)
{
    FILE *list = fopen(name, "rb");
    if (!list) {
        perror(name);
        return -1;
    }
    size_t cap = 0;
    char *path = NULL;
    size_t path_cap = 0;
    ssize_t len;
    while ((len = getdelim(&path, &path_cap, '\0', list)) > 0) {
        if (path[len - 1] == '\0')
            --len;
        if (len == 0)
            continue;
        if (path_count == cap) {
            cap = cap ? 2 * cap : 4096;
            char **grown = realloc(paths, cap * sizeof *paths);
            if (!grown) {
                perror("readonce");
                return -1;
            }
            paths = grown;
        }
        paths[path_count++] = strndup(path, (size_t)len);
    }
    free(path);
    fclose(list);
    return 0;
}

int main(int argc, char **argv)
{
    int threads = 1;
    int opt;
    while ((opt = getopt(argc, argv, "j:")) != -1) {
        threads = opt == 'j' ? atoi(optarg) : 0;
        if (threads < 1 || threads > MAX_THREADS) {
            fprintf(stderr, "usage: %s [-j THREADS (1-%d)] LISTFILE (NUL-separated paths)\n", argv[0],
                    MAX_THREADS);
            return 2;
        }
    }
    if (optind + 1 != argc) {
        fprintf(stderr, "usage: %s [-j THREADS] LISTFILE (NUL-separated paths)\n", argv[0]);
        return 2;
    }
    if (load_list(argv[optind]) != 0)
        return 2;
    pthread_t helpers[MAX_THREADS];
    for (int t = 1; t < threads; ++t) {
        if (pthread_create(&helpers[t], NULL, reader, NULL) != 0) {
            fprintf(stderr, "readonce: cannot start a reader\n");
            return 2;
        }
    }
    reader(NULL);
    for (int t = 1; t < threads; ++t)
        pthread_join(helpers[t], NULL);
    long n = atomic_load(&failed);
    if (n > 10)
        fprintf(stderr, "... %ld files could not be read\n", n);
    return n ? 1 : 0;
}
