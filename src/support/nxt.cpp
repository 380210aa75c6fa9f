// The text stream reader: words, rest-of-line strings and whole lines from the one input stream
// `_UNXT`, with comments, the "*" end mark and the echo of everything read to the log.
#include "support/nxt.h"

#include <unistd.h>
#include <climits>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "support/error.h"
#include "support/log.h"

enum { LINE_LENGTH = 4096 };

static inline bool endsWord(int c)
{
    return c == ' ' || c == '\t' || c == ',' || c == '\n';
}

static inline bool isDigitChar(int c)
{
    return c >= '0' && c <= '9';
}

// The end of a line (or of the input) while tracking: words a skip passed over are reported.
static void trackLineEnd(FlowmirState* fms, NxtTrack* t)
{
    if (t->skipFrom >= 0 && t->fields > t->skipFrom && !t->freeText && t->leftover)
        t->leftover(fms, t->line, t->skipFrom + 1, t->fields - t->skipFrom);
    t->skipFrom = -1;
    t->skippedLength = 0;
    t->skipped[0] = '\0';
}

static void trackSkipped(NxtTrack* t, int c)
{
    if (t->skippedLength < (int)sizeof t->skipped - 1) {
        t->skipped[t->skippedLength++] = (char)c;
        t->skipped[t->skippedLength] = '\0';
    }
}

// One consumed character, split into lines and words as the word reader splits them.
static void trackChar(FlowmirState* fms, NxtTrack* t, int c)
{
    if (c == '\n') {
        trackLineEnd(fms, t);
        t->line++;
        t->fields = 0;
        t->commaField = 0;
        t->freeText = t->inWord = t->inComment = 0;
        t->prev1 = t->prev2 = 0;
        return;
    }
    if (!t->inComment) {
        if (endsWord(c)) {
            t->inWord = 0;
        } else if (t->inWord) {
            if (t->skipFrom >= 0 && c != '\r') trackSkipped(t, c);
        } else if (c == '!') {
            t->inComment = 1;
        } else if (c != '\r') {
            t->inWord = 1;
            t->fields++;
            t->wordLine = t->line;
            t->wordField = t->fields;
            if (!t->commaField && t->prev1 == ',' && isDigitChar(t->prev2) && isDigitChar(c))
                t->commaField = t->fields;
            if (t->skipFrom >= 0) {
                if (t->skippedLength > 0) trackSkipped(t, ' ');
                trackSkipped(t, c);
            }
        }
    }
    t->prev2 = t->prev1;
    t->prev1 = c;
}

// Every consumed character goes to the log when echo is on. A character that is read and pushed
// back is echoed only when it is finally consumed, so the log shows the input exactly once.
static inline void echoChar(FlowmirState* fms, int c)
{
    if (fms->echo) LOG(fms, "%c", c);
    if (fms->nxtTrack) trackChar(fms, fms->nxtTrack, c);
}

static void overflow(FlowmirState* fms, char* buffer, int bufferLength)
{
    buffer[bufferLength - 1] = '\0';
    error(fms, FATAL, __FILE__, __LINE__, "Buffer overflow: ", buffer, "");
}

// A "*" where a word would begin ends the input: the stream is closed there.
static void endInput(FlowmirState* fms)
{
    FILE* f = fms->_UNXT;
    fms->_UNXT = nullptr;
    if (fclose(f) != 0) error(fms, FATAL, __FILE__, __LINE__, "Problem while closing _UNXT", "");
}

// A NUL byte: the input is not text. Reading ends there with an error.
static void binaryInput(FlowmirState* fms)
{
    error(fms, ERROR, __FILE__, __LINE__, "Input holds a NUL byte: not a text file", "");
    endInput(fms);
}

// Skips up to and including the next newline; false at end of input.
static bool skipLine(FlowmirState* fms, FILE* f)
{
    int c;
    while ((c = getc(f)) != EOF) {
        echoChar(fms, c);
        if (c == '\n') return true;
    }
    return false;
}

// The next word (mode 0). Returns the buffer, or none at end of input; a word cut short by the
// end of input is still left in the buffer.
static char* nextWord(FlowmirState* fms, char* buffer, int bufferLength)
{
    FILE* f = fms->_UNXT;
    int c;
    for (;;) {
        c = getc(f);
        if (c == EOF) {
            buffer[0] = '\0';
            return nullptr;
        }
        if (c == '\0') {
            buffer[0] = '\0';
            binaryInput(fms);
            return nullptr;
        }
        if (endsWord(c) || c == '\r') {
            echoChar(fms, c);
            continue;
        }
        if (c == '!') {
            echoChar(fms, c);
            if (!skipLine(fms, f)) {
                buffer[0] = '\0';
                return nullptr;
            }
            continue;
        }
        if (c == '*') {
            echoChar(fms, c);
            buffer[0] = '\0';
            endInput(fms);
            return nullptr;
        }
        break;
    }

    int n = 0;
    for (;;) {
        if (c == '\0') {
            buffer[n] = '\0';
            binaryInput(fms);
            return nullptr;
        }
        echoChar(fms, c);
        if (c != '\r') {
            if (n >= bufferLength - 1) {
                overflow(fms, buffer, bufferLength);
                return buffer;
            }
            buffer[n++] = (char)c;
        }
        c = getc(f);
        if (c == EOF) {
            buffer[n] = '\0';
            return nullptr;
        }
        if (endsWord(c)) {
            ungetc(c, f);
            buffer[n] = '\0';
            return buffer;
        }
    }
}

// Reads the rest of a line into the buffer, carriage returns dropped. The newline is consumed but
// not echoed: the caller pushes it back or echoes it. False at end of input (the partial line is
// in the buffer). The newline counts as stored, so a line holds at most bufferLength - 2
// visible characters.
static bool readLine(FlowmirState* fms, char* buffer, int bufferLength)
{
    FILE* f = fms->_UNXT;
    int n = 0;
    for (;;) {
        int c = getc(f);
        if (c == EOF) {
            buffer[n] = '\0';
            return false;
        }
        if (c == '\0') {
            buffer[n] = '\0';
            binaryInput(fms);
            return false;
        }
        if (c == '\r') {
            echoChar(fms, c);
            continue;
        }
        if (n >= bufferLength - 1) {
            if (c == '\n') ungetc(c, f);
            else echoChar(fms, c);
            overflow(fms, buffer, bufferLength);
            return true;
        }
        if (c == '\n') {
            buffer[n] = '\0';
            return true;
        }
        echoChar(fms, c);
        buffer[n++] = (char)c;
    }
}

int nxtopen(FlowmirState* fms, const char* path, const char* callerFile, int callerLine)
{
    if (fms->_UNXT) error(fms, FATAL, callerFile, callerLine, "_UNXT already open", "");
    // Only regular files: a directory reads as nothing, a device or a pipe may never end or
    // block the open itself.
    struct stat st;
    if (stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
        error(fms, ERROR, callerFile, callerLine, "Could not open file ", path,
              S_ISDIR(st.st_mode) ? ": it is a directory" : ": it is not a regular file", "");
        return 1;
    }
    fms->_UNXT = fopen(path, "r");
    if (!fms->_UNXT) {
        error(fms, ERROR, callerFile, callerLine, "Could not open file ", path, ": ", strerror(errno), "");
        return 1;
    }
    return 0;
}

int nxt_at_end(FlowmirState* fms)
{
    return !fms->_UNXT || feof(fms->_UNXT) || ferror(fms->_UNXT);
}

// Line (from 1) of a byte offset of the current input, for messages only: the file is read again
// from its start, without moving the reader. 0 when the input is gone (a "*" closed it).
long nxt_line_at(FlowmirState* fms, long offset)
{
    FILE* f = fms->_UNXT;
    if (!f || offset < 0) return 0;
    int fd = fileno(f);
    char chunk[16384];
    long line = 1;
    for (long at = 0; at < offset;) {
        size_t want = offset - at < (long)sizeof chunk ? (size_t)(offset - at) : sizeof chunk;
        ssize_t n = pread(fd, chunk, want, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (const char* p = chunk; (p = static_cast<const char*>(memchr(p, '\n', (size_t)(chunk + n - p))));
             p++)
            line++;
        at += n;
    }
    return line;
}

long nxt_remaining(FlowmirState* fms)
{
    FILE* f = fms->_UNXT;
    if (!f) return 0;
    long at = ftell(f);
    struct stat st;
    if (at < 0 || fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return LONG_MAX;
    return st.st_size > at ? (long)(st.st_size - at) : 0;
}

int nxtclose(FlowmirState* fms)
{
    if (!fms->_UNXT) return 0;
    int status = fclose(fms->_UNXT);
    fms->_UNXT = nullptr;
    return status;
}

void nxtrewind(FlowmirState* fms)
{
    if (fms->_UNXT) rewind(fms->_UNXT);
}

int nxtseek(FlowmirState* fms, long offset, int origin)
{
    if (!fms->_UNXT) return -1;
    return fseek(fms->_UNXT, offset, origin);
}

int nxttell(FlowmirState* fms)
{
    if (!fms->_UNXT) return -1;
    return (int)ftell(fms->_UNXT);
}

char* nxtwrd(FlowmirState* fms, char* buffer, int mode, int bufferLength)
{
    if (!buffer || bufferLength < 1) return nullptr;
    FILE* f = fms->_UNXT;
    if (!f) {  // closed, or ended by "*"
        buffer[0] = '\0';
        return nullptr;
    }
    NxtTrack* t = fms->nxtTrack;
    if (t) {
        if (mode < 1) {
            t->fieldReads++;
        } else {
            t->lineReads++;
            t->fieldReads = 1;
        }
    }
    if (mode < 1) return nextWord(fms, buffer, bufferLength);

    int c = getc(f);
    if (c == EOF) {
        buffer[0] = '\0';
        return nullptr;
    }
    if (mode == 2) {
        if (c == '\n') {  // the line is already at its end: an empty string
            ungetc(c, f);
            buffer[0] = '\0';
            return buffer;
        }
        if (c == ' ') echoChar(fms, c);  // the blank that separated the previous word
        else ungetc(c, f);
        int from = t ? t->fields + 1 : 0;
        bool got = readLine(fms, buffer, bufferLength);
        if (t) {
            t->wordLine = t->line;
            t->wordField = from;
        }
        if (!got) return nullptr;
        ungetc('\n', f);
        return buffer;
    }

    if (t) t->skipFrom = t->fields;  // what is left of the line is not read
    echoChar(fms, c);
    buffer[0] = '\0';
    if (c != '\n' && !skipLine(fms, f)) {
        if (t) trackLineEnd(fms, t);
        return nullptr;
    }
    if (mode == 1) return nextWord(fms, buffer, bufferLength);

    bool got;
    for (;;) {
        got = readLine(fms, buffer, bufferLength);
        if (!got) break;
        if (mode != 3 || buffer[0] != '!') break;
        echoChar(fms, '\n');
    }
    if (t) {
        t->wordLine = t->line;
        t->wordField = 1;
    }
    if (!got) return nullptr;
    ungetc('\n', f);
    return buffer;
}

int skip_data(FlowmirState* fms)
{
    char line[LINE_LENGTH];
    for (;;) {
        char* got = nxtwrd(fms, line, 3, sizeof line);
        if (strncmp(line, "-999", 4) == 0 || !got) return 0;
    }
}

// Copies characters up to the end of the line whose last word is "-999". The terminator's
// newline is written to the copy but left unread in the input, as after reading the word.
// Returns 0 after the terminator, 1 when the input ended first.
int same_data(FlowmirState* fms, FILE* out)
{
    FILE* f = fms->_UNXT;
    if (!f) return 1;
    char word[8];    // only the start of a word matters: is it "-999"?
    int n = 0;       // characters of the current word
    bool lastIsEnd = false;  // the line's last word so far is "-999"
    bool inWord = false, inComment = false;
    int c;
    while ((c = getc(f)) != EOF) {
        if (c == '\r') {
            int next = getc(f);
            if (next != EOF) ungetc(next, f);
            echoChar(fms, c);
            if (next != '\n') fputc(c, out);
            continue;
        }
        if (c == '\n') {
            if (inWord) lastIsEnd = (n == 4 && memcmp(word, "-999", 4) == 0);
            if (lastIsEnd) {
                ungetc(c, f);
                fputc('\n', out);
                return 0;
            }
            echoChar(fms, c);
            fputc(c, out);
            inWord = inComment = lastIsEnd = false;
            n = 0;
            continue;
        }
        echoChar(fms, c);
        fputc(c, out);
        if (inComment || c == '\0') continue;
        if (endsWord(c)) {
            if (inWord) lastIsEnd = (n == 4 && memcmp(word, "-999", 4) == 0);
            inWord = false;
            n = 0;
        } else if (!inWord && c == '!') {
            inComment = true;
        } else {
            inWord = true;
            if (n < (int)sizeof word) word[n] = (char)c;
            n++;
        }
    }
    if (inWord) lastIsEnd = (n == 4 && memcmp(word, "-999", 4) == 0);
    return lastIsEnd ? 0 : 1;
}

int same_line(FlowmirState* fms, FILE* out)
{
    char line[LINE_LENGTH];
    char* got = nxtwrd(fms, line, 4, sizeof line);
    if (!got && line[0] == '\0') return 1;
    fprintf(out, "%s\n", line);
    return got ? 0 : 1;
}
