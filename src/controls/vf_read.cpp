// Reading pieces shared by the continuous and the discrete values file.
#include "controls/vf_read.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/error.h"
#include "support/fields.h"
#include "support/nxt.h"
#include "support/timeconv.h"

enum { DAYS_PER_YEAR = 365, MAX_COLUMNS = 32767 };

static const double FLOAT_LIMIT = 3.4028234663852886e38;


long vf_offset(FlowmirState* fms)
{
    return fms->_UNXT ? ftell(fms->_UNXT) : -1;
}

const char* vf_place(FlowmirState* fms, const char* word, const char* path, long offset, char* out)
{
    return bracket_place(fms, offset, word, path, out, VF_PLACE_LEN);
}

const char* vf_recordText(FlowmirState* fms, const Bracket* b, char* out, size_t length)
{
    return bracket_record_text(fms, b, out, length);
}

void vf_readPeriod(FlowmirState* fms, const char* word, const char* path, int* first, int* last)
{
    char where[VF_PLACE_LEN];
    *first = readMDx(fms, 1);
    *last = readMDx(fms, 0);
    if (*first == -1 || *last == -1)
        error(fms, FATAL, __FILE__, __LINE__, "Missing start and end dates", vf_place(fms, word, path, -1, where),
              "");
}

int vf_checkPeriod(FlowmirState* fms, const char* word, int first, int last, int startDay, int endDay,
                   int severity)
{
    int faults = 0;
    if (first < 1 || last < first) {
        error(fms, severity, __FILE__, __LINE__, "Invalid ", word, " date sequence", "");
        faults++;
    }
    if (startDay < first) {
        error(fms, severity, __FILE__, __LINE__, "Start date not on ", word, " file", "");
        faults++;
    }
    bool wraps = endDay < startDay;
    if (last < endDay || (wraps && (first > 1 || last < DAYS_PER_YEAR))) {
        error(fms, severity, __FILE__, __LINE__, "End date not on ", word, " file", "");
        faults++;
    }
    return faults;
}

int vf_readCount(FlowmirState* fms, const char* word, const char* path)
{
    char text[VF_WORD_LEN], where[VF_PLACE_LEN];
    nxtwrd(fms, text, 1, sizeof text);
    if (text[0] == '\0')
        error(fms, FATAL, __FILE__, __LINE__, "Missing number of columns", vf_place(fms, word, path, -1, where), "");
    int32_t n;
    if (longcon(text, &n) || n < 0 || n > MAX_COLUMNS || n > nxt_remaining(fms))
        error(fms, FATAL, __FILE__, __LINE__, "Bad number of columns: ", text, vf_place(fms, word, path, -1, where),
              "");
    return n;
}

void vf_readName(FlowmirState* fms, const char* word, const char* path, int k, int n, char name[VF_NAME_LEN])
{
    char text[VF_WORD_LEN], where[VF_PLACE_LEN];
    nxtwrd(fms, text, 1, sizeof text);
    if (text[0] == '\0')
        errorf(fms, FATAL, __FILE__, __LINE__, "Missing name of column %d of %d%s", k + 1, n,
               vf_place(fms, word, path, -1, where));
    // A longer name could never be told from another that starts alike.
    if (strlen(text) >= VF_NAME_LEN)
        errorf(fms, FATAL, __FILE__, __LINE__, "Name of column %d longer than %d characters: %s%s", k + 1,
               VF_NAME_LEN - 1, text, vf_place(fms, word, path, -1, where));
    memcpy(name, text, strlen(text) + 1);
}

float vf_number(FlowmirState* fms, const char* word, const char* path, const char* record, const char* what,
                const char* text, long recordAt)
{
    char where[VF_PLACE_LEN];
    char* end;
    errno = 0;
    double v = std::strtod(text, &end);
    if (end == text || *end != '\0') {
        errorf(fms, ERROR, __FILE__, __LINE__, "%s record %s, %s: %s is not a (valid) number%s", word, record, what,
               text, vf_place(fms, word, path, recordAt, where));
        error(fms, FATAL, __FILE__, __LINE__, "Error encountered while reading ", word, " file", "");
    }
    if (std::isnan(v) || (std::isinf(v) && errno != ERANGE))
        errorf(fms, FATAL, __FILE__, __LINE__, "%s record %s, %s: %s is not finite%s", word, record, what, text,
               vf_place(fms, word, path, recordAt, where));
    if (!(std::fabs(v) <= FLOAT_LIMIT))
        errorf(fms, FATAL, __FILE__, __LINE__, "%s record %s, %s: %s is beyond single-precision range%s", word,
               record, what, text, vf_place(fms, word, path, recordAt, where));
    return (float)v;
}
