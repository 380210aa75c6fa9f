// Forward reading of time-series input files through a bracket of two records. Each file keeps
// its own stream and lends it to the text reader only while it reads, so the reader's own input
// (the project file) is never disturbed.
#include "boundary/bracket.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "support/error.h"
#include "support/fields.h"
#include "support/nxt.h"
#include "support/paths.h"
#include "support/strutil.h"
#include "support/timeconv.h"

enum { SECONDS_PER_DAY = 86400, LINE_LENGTH = 4096, FILE_NAME_LENGTH = 520 };

void initBracket(Bracket* b)
{
    b->prevDay = b->nextDay = 0;
    b->prevTime = 0;
    b->nextTime = 1;
    b->atEof = 0;
}

int readDayTime_bracket(FlowmirState* fms, int day, int time, Bracket* b, int* ahead)
{
    *ahead = 0;
    int c = readMDx(fms, 1);
    if (c == -1) {
        b->atEof = 1;
        return 1;
    }
    if (c <= 0) return 2; // a bad date, already reported

    int t = readHMS_strict(fms, 0);
    char dateText[16], timeText[16];
    if (t == -2) {
        error(fms, ERROR, __FILE__, __LINE__, "Expecting time after read date ", datxstr(fms, c, dateText),
              "");
        return 2;
    }
    if (t < 0) return 2; // a bad time, already reported

    // Equal consecutive date-times are accepted: a step change of the values.
    if (b->nextDay < c || (c == b->nextDay && t >= b->nextTime)) {
        b->prevDay = b->nextDay;
        b->prevTime = b->nextTime;
        b->nextDay = c;
        b->nextTime = t;
        *ahead = t - time;
        if (c != day) *ahead += (c - day) * SECONDS_PER_DAY;
        return 0;
    }
    datxstr(fms, c, dateText);
    timestr(fms, t, timeText);
    error(fms, ERROR, __FILE__, __LINE__, "File day-times decrease near day ", dateText, " time ", timeText,
          "");
    return 2;
}

int bracketAhead(const Bracket* b, int day, int time)
{
    return b->nextTime - time + (b->nextDay - day) * SECONDS_PER_DAY;
}

FILE* useInput_bracket(FlowmirState* fms, FILE** stream)
{
    FILE* saved = fms->_UNXT;
    fms->_UNXT = *stream;
    *stream = nullptr;
    return saved;
}

void releaseInput_bracket(FlowmirState* fms, FILE** stream, FILE* saved)
{
    *stream = fms->_UNXT; // none when the reader met a "*" and closed the file
    fms->_UNXT = saved;
}

static bool isAbsolutePath(const char* path)
{
    return path[0] == '/' || path[0] == '\\' || (path[0] && path[1] == ':');
}

// A relative name that is not found from the current folder is taken from the project's folder,
// so that a project and its boundary files run alike from wherever the run is started. A name
// found in neither stays as given, for the message.
static const char* boundaryFilePath(FlowmirState* fms, const char* path, char* joined, int length)
{
    if (access(path, F_OK) == 0 || isAbsolutePath(path) || (!fms->_pdrive[0] && !fms->_pdir[0])) return path;
    pathmerge(fms, joined, length, fms->_pdrive, fms->_pdir, path, "");
    return access(joined, F_OK) == 0 ? joined : path;
}

static void refuseOpen(FlowmirState* fms, const char* word, const char* path, const char* why)
{
    error(fms, FATAL, __FILE__, __LINE__, "Could not open ", word, " file ", path, ": ", why, "");
}

static const char* notRegularReason(mode_t mode)
{
    if (S_ISDIR(mode)) return strerror(EISDIR);
    if (S_ISCHR(mode)) return "Not a regular file (character device)";
    if (S_ISBLK(mode)) return "Not a regular file (block device)";
    if (S_ISFIFO(mode)) return "Not a regular file (pipe)";
    if (S_ISSOCK(mode)) return "Not a regular file (socket)";
    return "Not a regular file";
}

// Line (from 1) of the first NUL byte of an open file, 0 when it has none; the file is left at
// its start. A NUL byte has no place in a text file, and the text reader passes over them as
// separators: a file of them (or the hole of a sparse file) would hold the run for as long as
// it takes to read. The scan ends at the first one.
static long firstNulLine(int fd)
{
    char chunk[16384];
    long line = 1;
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // the end, or a read error the reader will meet too
        const char* nul = static_cast<const char*>(memchr(chunk, '\0', (size_t)n));
        const char* end = nul ? nul : chunk + n;
        for (const char* p = chunk; (p = static_cast<const char*>(memchr(p, '\n', (size_t)(end - p)))); p++)
            line++;
        if (nul) {
            lseek(fd, 0, SEEK_SET);
            return line;
        }
    }
    lseek(fd, 0, SEEK_SET);
    return 0;
}

// The file is looked at before it is opened: a directory, a device or a pipe is refused without
// opening it, since opening or reading one may block or never end. It is opened without
// waiting, and the file opened must be the regular file looked at.
FILE* openInput_bracket(FlowmirState* fms, const char* path, FILE** stream, const char* word)
{
    FILE* saved = useInput_bracket(fms, stream);
    char joined[FILE_NAME_LENGTH];
    path = boundaryFilePath(fms, path, joined, sizeof joined);

    struct stat seen, opened;
    if (stat(path, &seen) != 0) refuseOpen(fms, word, path, strerror(errno));
    if (!S_ISREG(seen.st_mode)) refuseOpen(fms, word, path, notRegularReason(seen.st_mode));
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) refuseOpen(fms, word, path, strerror(errno));
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != seen.st_dev ||
        opened.st_ino != seen.st_ino) {
        close(fd);
        refuseOpen(fms, word, path, "The file changed while it was opened");
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    long nulLine = firstNulLine(fd);
    if (nulLine > 0) {
        close(fd);
        char line[24];
        snprintf(line, sizeof line, "%ld", nulLine);
        error(fms, FATAL, __FILE__, __LINE__, "NUL byte on line ", line, " of ", word, " file ", path, "");
    }
    FILE* f = fdopen(fd, "r");
    if (!f) {
        int why = errno;
        close(fd);
        refuseOpen(fms, word, path, strerror(why));
    }
    fms->_UNXT = f;
    return saved;
}

void checkHeader_bracket(FlowmirState* fms, const char* const words[3], const char* badText, const char* path)
{
    char word[LINE_LENGTH];
    bool ok = true;
    for (int i = 0; i < 3; i++) {
        nxtwrd(fms, word, 0, sizeof word);
        if (!streql(word, words[i])) ok = false;
    }
    if (ok) return;
    nxtrewind(fms);
    nxtwrd(fms, word, 2, sizeof word); // the first line as it stands
    error(fms, WARNING, __FILE__, __LINE__, badText, path, "");
    error(fms, FATAL, __FILE__, __LINE__, "Invalid header: ", word, "");
}

void firstRecord_bracket(FlowmirState* fms, Bracket* b, const char* word)
{
    initBracket(b);
    int ahead;
    if (readDayTime_bracket(fms, 1, 0, b, &ahead) != 0)
        error(fms, FATAL, __FILE__, __LINE__, "Bad day, bad time, or end-of-file, in first hourly entry of ",
              word, " file", "");
}

int advance_bracket(FlowmirState* fms, Bracket* b, const char* word, int day, int time, int advancePastNow,
                    BracketTakeFcn take, int* taken)
{
    int ahead = bracketAhead(b, day, time);
    int count = 0;
    while (!b->atEof && (ahead < 0 || (ahead == 0 && advancePastNow))) {
        int r = readDayTime_bracket(fms, day, time, b, &ahead);
        if (r == 0) {
            // Records before the requested day are taken too: the one just before the day
            // becomes the earlier record, and its values must be its own.
            take(fms);
            count++;
        } else if (r == 1) {
            error(fms, NOTE, __FILE__, __LINE__, "End of ", word, " file before end of simulation", "");
            ahead = bracketAhead(b, day, time);
        } else {
            error(fms, FATAL, __FILE__, __LINE__, "Error encountered while reading ", word, " file", "");
        }
    }
    if (taken) *taken = count;
    return ahead;
}

double bracketWeight(FlowmirState* fms, const Bracket* b, int ahead, const char* word)
{
    if (ahead <= 0) return 0.0;
    int interval = b->nextTime + (b->nextDay - b->prevDay) * SECONDS_PER_DAY - b->prevTime;
    if (interval <= 0) error(fms, FATAL, __FILE__, __LINE__, word, " file day-times must increase", "");
    if (ahead < interval) return (double)ahead / interval;
    return 1.0;
}

const char* bracket_record_text(FlowmirState* fms, const Bracket* b, char* out, size_t length)
{
    char date[16], time[16];
    datxstr(fms, b->nextDay, date);
    if (!timestr(fms, b->nextTime, time)) time[0] = '\0';
    snprintf(out, length, "%s %s", date, time);
    return out;
}

const char* bracket_place(FlowmirState* fms, long offset, const char* kind, const char* path, char* out,
                          size_t length)
{
    if (offset < 0 && fms->_UNXT) offset = ftell(fms->_UNXT);
    long line = nxt_line_at(fms, offset);
    if (line > 0)
        snprintf(out, length, " (line %ld of %s file %s)", line, kind, path);
    else
        snprintf(out, length, " (%s file %s)", kind, path);
    return out;
}
