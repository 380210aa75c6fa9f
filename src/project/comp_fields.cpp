// Pieces every building-component section reads the same way: counts, value-file
// references, initial mass fractions, and the precedence of a record's value source.
#include "project/components.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/nxt.h"

ValueSource comp_value_source(int ctrlNr, int vfType, int wshNr)
{
    if (ctrlNr > 0) return VSRC_CONTROL;
    if (vfType == VFILE_CVF) return VSRC_CVF;
    if (vfType == VFILE_DVF) return VSRC_DVF;
    if (wshNr > 0) return VSRC_SCHEDULE;
    return VSRC_NONE;
}

int comp_read_value_file(FlowmirState* fms, char* key)
{
    int kind = readI2(fms, 0);
    key[0] = '\0';
    if (kind != VFILE_CVF && kind != VFILE_DVF) return VFILE_NONE;
    nxtwrd(fms, key, 0, COMP_KEY_LEN);
    return kind;
}

int comp_check_ref(FlowmirState* fms, int nr, int lo, int hi, const char* what, int recNr)
{
    if (nr >= lo && nr <= hi) return 1;
    errorf(fms, ERROR, __FILE__, __LINE__, "%s %d", what, recNr);
    return 0;
}

// A negative count would later size arrays from garbage; refuse it here.
int comp_read_count(FlowmirState* fms, const char* section)
{
    int n = readIX(fms, 1);
    if (n < 0 || n > nxt_remaining(fms)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid record count in %s section: %d", section, n);
        return 0;
    }
    return n;
}

int comp_read_massfractions(FlowmirState* fms, const char* kind, int nrec, double* mf, int first,
                            const char* negativeMsg)
{
    int nctm = fms->nctm;
    int negative = 0;
    for (int i = 1; i <= nrec; i++) {
        if (prj_record_number(fms, kind, i)) return 1;
        double* row = mf + (size_t)(first + i - 1) * nctm;
        for (int k = 0; k < nctm; k++) {
            row[k] = readR4(fms, 0);
            if (row[k] < 0.0) negative = 1;
        }
        if (prj_errors(fms) > 0) return 1;
    }
    // One message for the whole section, however many values are negative.
    if (negative) {
        error(fms, ERROR, __FILE__, __LINE__, negativeMsg, "");
        return 1;
    }
    return 0;
}
