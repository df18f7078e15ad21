/* The least any cleaner on Linux can do for the "*.tmp" rule of Log/temp, as a yardstick for the
 * benchmarks: one listing of the directory, one status call (never following a link) per name that
 * matches, one removal relative to the open directory per file last written more than 48 hours ago.
 *
 *   floor [-n | -p] DIR
 * -n prints the old files' paths instead of removing them (find DIR ... -print), -p prints and removes
 * them (find ... -print -delete). The output is buffered as stdio buffers it, like find's.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    int print = 0, drop = 1, status = 0;
    if (argc == 3 && strcmp(argv[1], "-n") == 0)
        print = 1, drop = 0;
    else if (argc == 3 && strcmp(argv[1], "-p") == 0)
        print = 1;
    else if (argc != 2) {
        fputs("usage: floor [-n | -p] DIR\n", stderr);
        return 2;
    }
    const char* path = argv[argc - 1];
    DIR* dir = opendir(path);
    if (dir == NULL) {
        perror(path);
        return 1;
    }
    /* find -mmin +2880: more than 2880 minutes since the last write */
    time_t limit = time(NULL) - 2880 * 60;
    struct dirent* entry;
    struct stat st;
    while ((entry = readdir(dir)) != NULL) {
        if (fnmatch("*.tmp", entry->d_name, 0) != 0 ||
            fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_mtime >= limit)
            continue;
        if (print)
            printf("%s/%s\n", path, entry->d_name);
        if (drop && unlinkat(dirfd(dir), entry->d_name, 0) != 0) {
            perror(entry->d_name);
            status = 1;
        }
    }
    closedir(dir);
    return status;
}
