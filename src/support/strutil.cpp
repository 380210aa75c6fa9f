// Small string helpers of the readers.
#include "support/strutil.h"

#include <cstdarg>
#include <cstring>

#include "support/error.h"
#include "support/paths.h"

int streql(const char* a, const char* b)
{
    return strcmp(a, b) == 0 ? 1 : 0;
}

char* strcpys(char* out, size_t size, const char* piece1, ...)
{
    if (!out || size == 0) return out;
    size_t n = 0;
    va_list ap;
    va_start(ap, piece1);
    for (const char* p = piece1; p && *p && n < size - 1; p = va_arg(ap, const char*)) {
        while (*p && n < size - 1) out[n++] = *p++;
    }
    va_end(ap);
    out[n] = '\0';
    return out;
}

// A file name from a whole input line: comment cut, trailing blanks removed, directory
// separators made the state's own.
char* FileNameFix(FlowmirState* fms, char* text)
{
    char* bang = strchr(text, '!');
    if (bang) *bang = '\0';
    size_t n = strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\r')) text[--n] = '\0';
    convertDirChars(fms, text);
    return text;
}

int lin_search(FlowmirState* fms, const char* word, const char* const* list)
{
    int i = 0;
    for (; list[i] && list[i][0]; i++)
        if (streql(list[i], word)) return i;
    error(fms, ERROR, __FILE__, __LINE__, "Undefined Element Type: ", word, "");
    return i;
}
