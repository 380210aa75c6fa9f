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

enum { SPECIES_NAME_LEN = 16 };

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

// One defined species: read whole and dropped.
static void species_skip_record(FlowmirState* fms)
{
    char name[SPECIES_NAME_LEN];
    char line[4096];
    readI2(fms, 0);
    readI2(fms, 0);  // non-trace flag
    for (int k = 0; k < 8; k++) readR4(fms, 0);  // six properties, specific heat, UV susceptibility
    for (int k = 0; k < 5; k++) readI2(fms, 0);
    nxtwrd(fms, name, 0, sizeof name);
    nxtwrd(fms, line, 3, sizeof line);  // description
}

int stub_species_read(FlowmirState* fms)
{
    int nsim = readI2(fms, 1);
    if (stub_count(fms, "Species", nsim)) return nsim;
    if (nsim > 0) {
        errorf(fms, ERROR, __FILE__, __LINE__,
               "Species section: this engine does not yet simulate contaminant species");
        return nsim;
    }
    fms->nctm = 0;

    int ndef = readIX(fms, 1);
    for (int i = 1; i <= ndef; i++) {
        int nr = readI2(fms, 1);
        check_record(fms, i, nr);
        if (nr != i)
            errorf(fms, ERROR, __FILE__, __LINE__, "Contaminant number mis-match: %d", i);
        species_skip_record(fms);
        if (prj_errors(fms) > 0) break;
    }

    // The success line has always named this section "Speices"; logs are compared against it.
    char word[4096];
    word[0] = '\0';
    nxtwrd(fms, word, 1, sizeof word);
    check_section_end(fms, "Species", word);
    if (streql(word, "-999")) {
        LOG(fms, "%s section read successfully.\n", "Speices");
        logFlush(fms);
    } else {
        errorf(fms, ERROR, __FILE__, __LINE__,
               "PRJ read error in %s section; enable the echo feature then see Log file for where error "
               "occurred",
               "Species");
    }
    return nsim;
}
