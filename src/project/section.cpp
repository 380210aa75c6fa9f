#include "project/section.h"

#include "project/check.h"

#include "support/error.h"
#include "support/fields.h"
#include "support/log.h"
#include "support/nxt.h"
#include "support/strutil.h"

int prj_errors(FlowmirState* fms)
{
    return error(fms, -1, __FILE__, __LINE__, "");
}

int prj_section_end(FlowmirState* fms, const char* name)
{
    char word[4096];
    if (!nxtwrd(fms, word, 1, sizeof word) && word[0] == '\0') word[0] = '\0';
    check_section_end(fms, name, word);
    if (streql(word, "-999")) {
        LOG(fms, "%s section read successfully.\n", name);
        logFlush(fms);
        return 0;
    }
    errorf(fms, ERROR, __FILE__, __LINE__,
           "PRJ read error in %s section; enable the echo feature then see Log file for where error occurred",
           name);
    return 1;
}

int prj_record_number(FlowmirState* fms, const char* kind, int expected)
{
    int nr = readIX(fms, 1);
    check_record(fms, expected, nr);
    if (nr == expected) return 0;
    errorf(fms, ERROR, __FILE__, __LINE__, "%s number mis-match: %d", kind, expected);
    return 1;
}
