// A second copy of the program, as far as its locks go: holds an advisory lock on every
// file or folder named on its command line, says "held" on standard output, and keeps the
// locks until its standard input closes.
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const int fd = ::open(argv[i], O_RDONLY);
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            std::perror(argv[i]);
            return 1;
        }
    }
    std::fputs("held\n", stdout);
    std::fflush(stdout);
    char buffer[64];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}
