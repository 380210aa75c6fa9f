// Operating-system services: module path, file times, the held log file, the keyboard.
#include "support/platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

const char* platformModulePath(void)
{
    static char path[PATH_MAX];
    Dl_info info;
    if (dladdr((void*)&platformModulePath, &info) && info.dli_fname) {
        if (!realpath(info.dli_fname, path)) snprintf(path, sizeof path, "%s", info.dli_fname);
    } else {
        path[0] = '\0';
    }
    return path;
}

int platformFileTime(const char* path, char* out, int outLength)
{
    struct stat st;
    if (!path || stat(path, &st) != 0) {
        if (outLength > 0) out[0] = '\0';
        return 1;
    }
    struct tm tmv;
    localtime_r(&st.st_mtime, &tmv);
    char buf[64];
    // Weekday, month, day, time and year, then a newline: 25 characters.
    strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y\n", &tmv);
    snprintf(out, outLength, "%s", buf);
    return 0;
}

FILE* platformOpenExclusive(const char* path)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    // An advisory lock stands in for a share-deny-write open: a second run of the same
    // project finds the name held and moves on to another one.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0) {
        close(fd);
        return nullptr;
    }
    FILE* f = fdopen(fd, "w");
    if (!f) close(fd);
    return f;
}

double platformCpuSeconds(void)
{
    return (double)clock() / CLOCKS_PER_SEC;
}

int platformStdinIsTerminal(void)
{
    return isatty(STDIN_FILENO);
}

int platformKeyNowait(void)
{
    if (!isatty(STDIN_FILENO)) return 0;
    struct termios saved, raw;
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return 0;
    raw = saved;
    raw.c_lflag &= ~(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    unsigned char c = 0;
    ssize_t n = read(STDIN_FILENO, &c, 1);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return n == 1 ? c : 0;
}

int platformSameFile(const char* a, const char* b)
{
    struct stat sa, sb;
    if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return 0;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
