// The continuous values file: named columns of values at dated records, read forward through a
// bracket and interpolated linearly in time.
#include <cstdio>
#include <cstring>

#include "boundary/bracket.h"
#include "controls/valfile.h"
#include "controls/vf_read.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/nxt.h"
#include "support/strutil.h"

static const char* const kWord = "CVF";

// Reads the values of the record the bracket has just accepted into cvfV1.
static void readValues(FlowmirState* fms)
{
    long recordAt = vf_offset(fms);
    char record[VF_RECORD_LEN], text[VF_WORD_LEN], what[32], where[VF_PLACE_LEN];
    vf_recordText(fms, &fms->cvfBracket, record, sizeof record);
    for (int k = 0; k < fms->ncvf; k++) {
        nxtwrd(fms, text, 0, sizeof text);
        if (text[0] == '\0')
            errorf(fms, FATAL, __FILE__, __LINE__, "CVF record %s ends after %d of %d values%s", record, k,
                   fms->ncvf, vf_place(fms, kWord, fms->cvfPath, recordAt, where));
        snprintf(what, sizeof what, "column %d", k + 1);
        fms->cvfV1[k] = vf_number(fms, kWord, fms->cvfPath, record, what, text, recordAt);
    }
}

// Every record the bracket accepts is taken, also one before the requested day: the earlier
// record then carries its own values.
static void takeRecord(FlowmirState* fms)
{
    if (fms->ncvf > 0) memcpy(fms->cvfV0, fms->cvfV1, sizeof(float) * fms->ncvf);
    readValues(fms);
}

// The arrays are made once per run: components and control nodes point into cvfV.
static void makeArrays(FlowmirState* fms, int n)
{
    fms->ncvf = n;
    fms->cvfReady = 1;
    if (n == 0) return;
    fms->cvfNames = static_cast<char(*)[VF_NAME_LEN]>(alc_v(fms, 0, n - 1, VF_NAME_LEN, "fms->ctrl.cvfNames"));
    fms->cvfV = alc_vt<float>(fms, 0, n - 1, "cvfV");
    fms->cvfV0 = alc_vt<float>(fms, 0, n - 1, "cvfV0");
    fms->cvfV1 = alc_vt<float>(fms, 0, n - 1, "cvfV1");
}

int CVF_init_data(FlowmirState* fms, int startDay, int endDay, int allocate)
{
    (void)allocate;  // the first call of a run makes the arrays, whichever flag it passes
    if (fms->cvfPath[0] == '\0' || streql(fms->cvfPath, "null"))
        error(fms, FATAL, __FILE__, __LINE__, "Continuous Values File (CVF) required", "");
    if (fms->cvfFile) {  // prepared again: from the top
        fclose(fms->cvfFile);
        fms->cvfFile = nullptr;
    }
    FILE* saved = openInput_bracket(fms, fms->cvfPath, &fms->cvfFile, kWord);
    static const char* const header[3] = {"ContinuousValuesFile", "Flowpad", "2.1"};
    checkHeader_bracket(fms, header, "Bad CVF: ", fms->cvfPath);

    char line[VF_WORD_LEN];
    nxtwrd(fms, line, 4, sizeof line);  // description
    int first, last;
    vf_readPeriod(fms, kWord, fms->cvfPath, &first, &last);
    int faults = vf_checkPeriod(fms, kWord, first, last, startDay, endDay, ERROR);

    int n = vf_readCount(fms, kWord, fms->cvfPath);
    if (!fms->cvfReady)
        makeArrays(fms, n);
    else if (n != fms->ncvf)
        errorf(fms, FATAL, __FILE__, __LINE__, "CVF file %s changed during the run: %d columns, was %d", fms->cvfPath,
               n, fms->ncvf);
    char name[VF_NAME_LEN];
    for (int k = 0; k < n; k++) {
        vf_readName(fms, kWord, fms->cvfPath, k, n, name);
        if (fms->cvfNames) memcpy(fms->cvfNames[k], name, VF_NAME_LEN);
    }
    if (faults) error(fms, FATAL, __FILE__, __LINE__, "Fix CVF file or control node errors", "");

    firstRecord_bracket(fms, &fms->cvfBracket, kWord);
    readValues(fms);
    if (n > 0) {
        memcpy(fms->cvfV0, fms->cvfV1, sizeof(float) * n);
        memcpy(fms->cvfV, fms->cvfV1, sizeof(float) * n);
    }
    releaseInput_bracket(fms, &fms->cvfFile, saved);
    return 0;
}

void CVF_restart(FlowmirState* fms, int startDay, int endDay)
{
    if (fms->cvfReady) CVF_init_data(fms, startDay, endDay, 0);
}

int CVF_get(FlowmirState* fms, int day, int time, int advancePastNow)
{
    if (!fms->cvfReady) return 0;
    Bracket* b = &fms->cvfBracket;
    int ahead;
    if (fms->cvfFile) {
        FILE* saved = useInput_bracket(fms, &fms->cvfFile);
        ahead = advance_bracket(fms, b, kWord, day, time, advancePastNow, takeRecord, nullptr);
        releaseInput_bracket(fms, &fms->cvfFile, saved);
    } else {
        ahead = bracketAhead(b, day, time);  // the file ended early: values held
    }
    // Weight of the earlier record: continuous at both records.
    double h = bracketWeight(fms, b, ahead, kWord);
    for (int i = 0; i < fms->ncvf; i++) {
        if (h <= 0.0)
            fms->cvfV[i] = fms->cvfV1[i];
        else if (h >= 1.0)
            fms->cvfV[i] = fms->cvfV0[i];
        else
            fms->cvfV[i] = (float)(fms->cvfV1[i] + ((double)fms->cvfV0[i] - fms->cvfV1[i]) * h);
    }
    return ahead;
}

void cvf_free_names(FlowmirState* fms)
{
    if (fms->cvfNames && fms->ncvf > 0) fre_v(fms, fms->cvfNames, 0, fms->ncvf - 1, VF_NAME_LEN);
    fms->cvfNames = nullptr;
}

void CVF_close(FlowmirState* fms)
{
    cvf_free_names(fms);
    if (fms->ncvf > 0) {
        fre_vt(fms, fms->cvfV, 0, fms->ncvf - 1);
        fre_vt(fms, fms->cvfV0, 0, fms->ncvf - 1);
        fre_vt(fms, fms->cvfV1, 0, fms->ncvf - 1);
    }
    fms->cvfV = fms->cvfV0 = fms->cvfV1 = nullptr;
    fms->ncvf = 0;
    fms->cvfReady = 0;
    if (fms->cvfFile) fclose(fms->cvfFile);
    fms->cvfFile = nullptr;
    initBracket(&fms->cvfBracket);
}
