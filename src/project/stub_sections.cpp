// Sections whose simulation is not built yet. Reading their records without simulating them
// would give results that silently ignore part of the building, so only empty sections pass.
#include "project/stub_sections.h"

#include "project/check.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/log.h"
#include "support/nxt.h"
#include "support/strutil.h"

static int stub_count(FlowmirState* fms, const char* name, int n)
{
    if (n < 0) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid record count in %s section: %d", name, n);
        return 1;
    }
    return 0;
}

int stub_section_read(FlowmirState* fms, const char* name, const char* what, int* count)
{
    int n = readIX(fms, 1);
    *count = n;
    if (stub_count(fms, name, n)) return n;
    if (n > 0) {
        errorf(fms, ERROR, __FILE__, __LINE__, "%s section: this engine does not yet simulate %s", name,
               what);
        return n;
    }
    prj_section_end(fms, name);
    return n;
}
