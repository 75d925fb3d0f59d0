/* peak_memory PROGRAM [ARGS...]: runs PROGRAM with its standard output on
 * /dev/null and prints the most memory it held resident, in KiB (its
 * ru_maxrss), then exits with its status.
 *
 * A program of its own, small and spawning without a copy of itself: a
 * process's peak counts the resident size of the process it was forked from
 * up to its exec, so a child of the Python bench would show Python's size. */
#define _DEFAULT_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>

extern char **environ;

int main(int argc, char **argv)
{
    if (argc < 2) {
        fputs("usage: peak_memory PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    if (posix_spawn(&pid, argv[1], &actions, NULL, argv + 1, environ) != 0) {
        perror(argv[1]);
        return 2;
    }
    int status = 0;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) != pid) {
        perror("wait4");
        return 2;
    }
    printf("%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}
