// The discrete values file: named columns with initial values, then events that each set one
// column at a date and time. An event is read one ahead and applied once the clock has passed it.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "boundary/bracket.h"
#include "controls/valfile.h"
#include "controls/vf_read.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/nxt.h"
#include "support/strutil.h"
#include "support/timeconv.h"

static const char* const kWord = "DVF";

static void makeArrays(FlowmirState* fms, int n)
{
    fms->ndvf = n;
    fms->dvfReady = 1;
    if (n == 0) return;
    fms->dvfNames = static_cast<char(*)[VF_NAME_LEN]>(alc_v(fms, 0, n - 1, VF_NAME_LEN, "fms->ctrl.dvfNames"));
    fms->dvfV = alc_vt<float>(fms, 0, n - 1, "dvfV");
}

// Name and initial value of column k, on a line of their own.
static void readColumn(FlowmirState* fms, int k, int n)
{
    char name[VF_NAME_LEN], text[VF_WORD_LEN], where[VF_PLACE_LEN];
    vf_readName(fms, kWord, fms->dvfPath, k, n, name);
    long at = vf_offset(fms);
    nxtwrd(fms, text, 0, sizeof text);
    if (text[0] == '\0')
        errorf(fms, FATAL, __FILE__, __LINE__, "Missing initial value of DVF column %d (%s)%s", k + 1, name,
               vf_place(fms, kWord, fms->dvfPath, at, where));
    double v;
    if (dblcon(text, &v) || !std::isfinite(v) || std::fabs(v) > FLT_MAX)
        errorf(fms, FATAL, __FILE__, __LINE__, "Bad initial value of DVF column %d (%s): %s%s", k + 1, name, text,
               vf_place(fms, kWord, fms->dvfPath, at, where));
    if (fms->dvfNames) memcpy(fms->dvfNames[k], name, VF_NAME_LEN);
    fms->dvfV[k] = (float)v;
}

int DVF_init_data(FlowmirState* fms, int startDay, int endDay)
{
    if (fms->dvfPath[0] == '\0' || streql(fms->dvfPath, "null"))
        error(fms, FATAL, __FILE__, __LINE__, "Discrete Values File (DVF) required", "");
    if (fms->dvfFile) {  // prepared again: from the top
        fclose(fms->dvfFile);
        fms->dvfFile = nullptr;
    }
    FILE* saved = openInput_bracket(fms, fms->dvfPath, &fms->dvfFile, kWord);
    static const char* const header[3] = {"DiscreteValuesFile", "Flowpad", "2.1"};
    checkHeader_bracket(fms, header, "Bad DVF: ", fms->dvfPath);

    char line[VF_WORD_LEN];
    nxtwrd(fms, line, 4, sizeof line);  // description
    int first, last;
    vf_readPeriod(fms, kWord, fms->dvfPath, &first, &last);
    vf_checkPeriod(fms, kWord, first, last, startDay, endDay, FATAL);

    int n = vf_readCount(fms, kWord, fms->dvfPath);
    if (!fms->dvfReady)
        makeArrays(fms, n);
    else if (n != fms->ndvf)
        errorf(fms, FATAL, __FILE__, __LINE__, "DVF file %s changed during the run: %d columns, was %d", fms->dvfPath,
               n, fms->ndvf);
    for (int k = 0; k < n; k++) readColumn(fms, k, n);

    initBracket(&fms->dvfBracket);  // no event read yet, none pending
    fms->dvfPendIdx = 0;
    fms->dvfPendVal = 0.0f;
    releaseInput_bracket(fms, &fms->dvfFile, saved);
    return 0;
}

void DVF_restart(FlowmirState* fms, int startDay, int endDay)
{
    if (fms->dvfReady) DVF_init_data(fms, startDay, endDay);
}

static void applyPending(FlowmirState* fms)
{
    if (fms->dvfPendIdx > 0) fms->dvfV[fms->dvfPendIdx - 1] = fms->dvfPendVal;
    fms->dvfPendIdx = 0;
}

// The event the bracket has just accepted becomes the pending one; the one before it applies.
static void takeEvent(FlowmirState* fms)
{
    applyPending(fms);
    long recordAt = vf_offset(fms);
    char record[VF_RECORD_LEN], text[VF_WORD_LEN], where[VF_PLACE_LEN];
    vf_recordText(fms, &fms->dvfBracket, record, sizeof record);

    nxtwrd(fms, text, 0, sizeof text);
    if (text[0] == '\0')
        errorf(fms, FATAL, __FILE__, __LINE__, "DVF record %s ends before its column number%s", record,
               vf_place(fms, kWord, fms->dvfPath, recordAt, where));
    int32_t column;
    if (longcon(text, &column)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "DVF record %s: column number %s is not a (valid) number%s", record,
               text, vf_place(fms, kWord, fms->dvfPath, recordAt, where));
        error(fms, FATAL, __FILE__, __LINE__, "Error encountered while reading DVF file", "");
    }
    if (column < 1 || column > fms->ndvf) {
        char date[16], time[16];
        datxstr(fms, fms->dvfBracket.nextDay, date);
        if (!timestr(fms, fms->dvfBracket.nextTime, time)) time[0] = '\0';
        errorf(fms, FATAL, __FILE__, __LINE__, "Invalid DVF index %d at %s %s", column, date, time);
    }

    nxtwrd(fms, text, 0, sizeof text);
    if (text[0] == '\0')
        errorf(fms, FATAL, __FILE__, __LINE__, "DVF record %s ends before its value%s", record,
               vf_place(fms, kWord, fms->dvfPath, recordAt, where));
    char what[32];
    snprintf(what, sizeof what, "column %d", column);
    fms->dvfPendVal = vf_number(fms, kWord, fms->dvfPath, record, what, text, recordAt);
    fms->dvfPendIdx = column;
}

int DVF_get(FlowmirState* fms, int day, int time, int advancePastNow)
{
    if (!fms->dvfReady) return 0;
    Bracket* b = &fms->dvfBracket;
    int ahead, taken = 0;
    if (fms->dvfFile) {
        FILE* saved = useInput_bracket(fms, &fms->dvfFile);
        ahead = advance_bracket(fms, b, kWord, day, time, advancePastNow, takeEvent, &taken);
        releaseInput_bracket(fms, &fms->dvfFile, saved);
    } else {
        ahead = bracketAhead(b, day, time);
    }
    // Reading past the last event applies it, as reading the next one would.
    if (b->atEof && fms->dvfPendIdx > 0 && (ahead < 0 || (ahead == 0 && advancePastNow))) applyPending(fms);
    if (taken > 0 && fms->_useWPCwp) fms->afResolve = 1;
    return ahead;
}

void dvf_free_names(FlowmirState* fms)
{
    if (fms->dvfNames && fms->ndvf > 0) fre_v(fms, fms->dvfNames, 0, fms->ndvf - 1, VF_NAME_LEN);
    fms->dvfNames = nullptr;
}

void DVF_close(FlowmirState* fms)
{
    dvf_free_names(fms);
    if (fms->ndvf > 0) fre_vt(fms, fms->dvfV, 0, fms->ndvf - 1);
    fms->dvfV = nullptr;
    fms->ndvf = 0;
    fms->dvfReady = 0;
    fms->dvfPendIdx = 0;
    if (fms->dvfFile) fclose(fms->dvfFile);
    fms->dvfFile = nullptr;
    initBracket(&fms->dvfBracket);
}
