// Console questions: prompts go to the standard error stream, answers come from standard
// input one line at a time. There is no window system, so message-box questions are fatal.
#include "support/console.h"

#include <cstdio>

#include "support/error.h"
#include "support/platform.h"

int getkey_nowait(void)
{
    return platformKeyNowait();
}

// Reads one line from standard input, keeping at most size - 1 characters in buffer (when
// given) and dropping the rest of the line, so that an overlong answer is not read again
// as the next one. Returns the line's first character, or EOF when input has ended.
static int readLine(char* buffer, int size, int* length)
{
    int first = EOF;
    int n = 0;
    int c;
    while ((c = getchar()) != EOF) {
        if (first == EOF) first = c;
        if (c == '\n') break;
        if (buffer && n < size - 1) buffer[n++] = (char)c;
    }
    if (buffer && size > 0) buffer[n] = '\0';
    if (length) *length = n;
    return first;
}

int getkey_wait(FlowmirState* fms)
{
    int c = readLine(nullptr, 0, nullptr);
    if (c == EOF) error(fms, FATAL, __FILE__, __LINE__, "Error or end of file", "");
    return c;
}

int noyes_console(FlowmirState* fms, const char* question)
{
    for (;;) {
        fprintf(stderr, "%s? (y/n)  ", question ? question : "");
        fflush(stderr);
        int c = getkey_wait(fms);
        if (c == 'y' || c == 'Y') return 1;
        if (c == 'n' || c == 'N') return 0;
        fprintf(stderr, " Valid responses are:  y or Y for yes, n or N for no.\n");
    }
}

int noyes_gui(FlowmirState* fms, const char* question)
{
    (void)question;
    error(fms, FATAL, __FILE__, __LINE__, "No dialog calls allowed", "");
    return 0;
}

void Pause(FlowmirState* fms)
{
    fprintf(stderr, "Press any key to continue...");
    fflush(stderr);
    getkey_wait(fms);
    fprintf(stderr, "\n");
}

char* Getstr(FlowmirState* fms, const char* prompt, char* buffer, int size)
{
    if (prompt && prompt[0]) {
        fprintf(stderr, "%s: ", prompt);
        fflush(stderr);
    }
    if (!buffer || size < 1) {
        error(fms, FATAL, __FILE__, __LINE__, "Failed to process input", "");
        return buffer;
    }
    int n = 0;
    if (readLine(buffer, size, &n) == EOF)
        error(fms, FATAL, __FILE__, __LINE__, "Failed to process input", "");
    return buffer + n;
}
