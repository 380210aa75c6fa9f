// Reading a project file from beginning to end: the header with its tag and version, then the
// sections in their fixed order. A section that reports errors stops the reading, since the
// sections after it refer to its records; the run then ends with a fatal error.
#include "project/prj_read.h"

#include <cstring>

#include "airflow/afe_read.h"
#include "airflow/wind_read.h"
#include "controls/ctrl.h"
#include "controls/occupancy.h"
#include "controls/schedule.h"
#include "project/check.h"
#include "project/components.h"
#include "project/notes.h"
#include "project/run_control.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/log.h"
#include "support/nxt.h"
#include "support/strutil.h"
#include "transport/cse.h"
#include "transport/filter.h"
#include "transport/species.h"

// The file version this engine reads. Older files differ in their sections.
static const char* const PRJ_VERSION = "3.4";

enum { NSECTIONS = 27 };  // 26 and 27 only in Cirdal files

// Tag and version word. Returns 0 when the file is one this engine reads.
static int prj_header(FlowmirState* fms, const char* path)
{
    char word[4096];

    word[0] = '\0';
    nxtwrd(fms, word, 0, sizeof word);
    if (streql(word, "Flowpad")) {
        fms->cirdal = 0;
    } else if (streql(word, "CIRDAL")) {
        fms->cirdal = 1;
    } else if (word[0] == '\0' && fms->_UNXT && feof(fms->_UNXT)) {
        error(fms, ERROR, __FILE__, __LINE__, path, " is empty: not a project file", "");
        return 1;
    } else {
        errorf(fms, ERROR, __FILE__, __LINE__, "Not a Flowpad or Cirdal %s file", PRJ_VERSION);
        return 1;
    }

    // major.minor.revision[.build]
    word[0] = '\0';
    nxtwrd(fms, word, 0, sizeof word);
    if (strlen(word) < 7) {
        error(fms, ERROR, __FILE__, __LINE__, path, " Version string is too short: ", word, "");
        return 1;
    }
    char* dot1 = strchr(word, '.');
    char* dot2 = dot1 ? strchr(dot1 + 1, '.') : nullptr;
    if (!dot2) {
        error(fms, ERROR, __FILE__, __LINE__, path, " No patch found as part of the version.", "");
        return 1;
    }
    char* revision = dot2 + 1;
    char* dot3 = strchr(revision, '.');
    if (dot3) *dot3 = '\0';
    *dot2 = '\0';  // word now holds major.minor
    if (!streql(word, PRJ_VERSION)) {
        error(fms, ERROR, __FILE__, __LINE__, path, fms->cirdal ? "\n is a Cirdal " : "\n is a Flowpad ",
              word, " file", "");
        return 1;
    }
    int16_t rev = 0;
    shortcon(revision, &rev);
    if (rev > 1)
        errorf(fms, WARNING, __FILE__, __LINE__, "PRJ file may require revision (%s) of Flowmir %s",
               revision, PRJ_VERSION);
    return 0;
}

// Section nr of the fixed order. Each reader stores its own count in the state record.
static void prj_section(FlowmirState* fms, int nr)
{
    MemBlock** ms = &fms->msBlock;  // records kept for the whole run
    MemBlock** mb = &fms->mbBlock;  // records turned into the network, then released
    int cirdal = fms->cirdal;

    switch (nr) {
    case 1: runctrl_read(fms); break;
    case 2: species_read(fms); break;
    case 3: lev_read(fms, ms); break;
    case 4: dschd_read(fms, ms); break;
    case 5: wschd_read(fms, ms); break;
    case 6: wind_read(fms, ms); break;
    case 7: kinetic_read(fms); break;
    case 8: flte_read(fms); break;
    case 9: filter_read(fms); break;
    case 10: cselmt_read(fms); break;
    case 11: afelmt_read(fms, ms, 0, cirdal); break;
    case 12: afelmt_read(fms, ms, 1, cirdal); break;
    case 13: skip_data(fms); break;
    case 14: ctrl_read(fms, ms); break;
    case 15: ahs_read(fms, ms); break;
    case 16: zone_read(fms, mb, cirdal); break;  // with 17, the zones' mass fractions
    case 18: path_read(fms, mb, cirdal); break;
    case 19: jct_read(fms, mb, cirdal); break;  // with 20, the junctions' mass fractions
    case 21:
        dct_read(fms, mb, cirdal);
        if (prj_errors(fms) == 0) jct_link_ducts(fms);
        break;
    case 22: css_read(fms); break;
    case 23: occ_read(fms, ms); break;
    case 24: exposure_read(fms, ms); break;
    case 25: note_read(fms); break;
    case 26:
    case 27: skip_data(fms); break;
    default: break;
    }
}

int prj_read(FlowmirState* fms, const char* path)
{
    char line[4096];

    if (nxtopen(fms, path, __FILE__, __LINE__)) return 1;
    LOG(fms, "\nReading project file: %s\n", path);
    check_begin(fms);
    if (prj_header(fms, path)) {
        check_end(fms);
        nxtclose(fms);
        return 1;
    }
    error(fms, -2, __FILE__, __LINE__, "");

    fms->echo = readI2(fms, 0);
    if (fms->inputTest) fms->echo = 1;
    nxtwrd(fms, line, 4, sizeof line);  // description

    // The run control is read whatever happened on the header line.
    for (int nr = 1; nr <= NSECTIONS; nr++) {
        if (nr > 25 && !fms->cirdal) break;
        if (nr > 1 && prj_errors(fms) > 0) break;
        check_section(fms, nr);
        prj_section(fms, nr);
    }
    nxtwrd(fms, line, 2, sizeof line);
    check_end(fms);
    nxtclose(fms);

    if (prj_errors(fms) > 0)
        error(fms, FATAL, __FILE__, __LINE__, "Project file errors must be fixed.", "");
    return 0;
}

int prj_read_species(FlowmirState* fms, const char* path)
{
    char line[4096];
    if (nxtopen(fms, path, __FILE__, __LINE__)) return -1;
    int n = -1;
    if (prj_header(fms, path) == 0) {
        readI2(fms, 0);
        nxtwrd(fms, line, 4, sizeof line);
        fms->echo = 0;
        runctrl_read(fms);
        if (prj_errors(fms) == 0) n = species_read(fms);
        if (prj_errors(fms) > 0) n = -1;
    }
    nxtclose(fms);
    return n;
}

void prj_read_free_comp_lists(FlowmirState* fms)
{
    components_free_lists(fms);
    filter_free_list(fms);
    ctrl_free_lists(fms);
    exposure_free_list(fms);
}

void prj_read_free_element_lists(FlowmirState* fms)
{
    levels_free_list(fms);
    wind_free_list(fms);
    afe_free_lists(fms);
    cse_free_lists(fms);
    flte_free_list(fms);
    sched_free_lists(fms);
    occ_free_list(fms);
}
