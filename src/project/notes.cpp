// Notes: per line a number, a short integer and free text. The text is left to the next
// line-start read, which skips it, so a note of any length reads.
#include "project/notes.h"
#include "project/check.h"

#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"

int note_read(FlowmirState* fms)
{
    int n = readIX(fms, 1);
    if (n < 0) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid record count in %s section: %d", "Note", n);
        n = 0;
    }
    fms->nnote = n;
    for (int i = 1; i <= n; i++) {
        prj_record_number(fms, "Note", i);
        readI2(fms, 0);
        check_free_text(fms);  // the note itself
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Note");
    return n;
}
