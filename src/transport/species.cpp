// The species section: the simulated list and the definitions that fill it.
#include "transport/species.h"

#include "project/check.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/nxt.h"
#include "support/strutil.h"

static const double R_UNIVERSAL = 8314.41;  // J/(kmol K)

// One definition into s (the whole record is read whatever happens to it).
static void species_record(FlowmirState* fms, Species* s)
{
    char line[4096];
    readI2(fms, 0);
    s->nonTrace = readI2(fms, 0);
    s->molarMass = readR4(fms, 0);
    s->diameter = readR4(fms, 0);
    s->prop3 = readR4(fms, 0);
    s->prop4 = readR4(fms, 0);
    s->Dm = readR4(fms, 0);
    s->CC0 = readR4(fms, 0);
    s->Cp = readR4(fms, 0);
    s->kUV = readR4(fms, 0);
    for (int k = 0; k < 5; k++) readI2(fms, 0);
    nxtwrd(fms, s->name, 0, sizeof s->name);
    nxtwrd(fms, line, 3, sizeof line);  // description
}

// The simulated list must name defined species, each once, the non-trace ones first.
static void species_check_list(FlowmirState* fms, const short* list, const int* defined)
{
    int n = fms->nctm;
    for (int i = 0; i < n; i++) {
        if (!defined[i]) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Simulated contaminant %d is not defined", list[i]);
            continue;
        }
        for (int j = 0; j < i; j++)
            if (list[j] == list[i])
                errorf(fms, ERROR, __FILE__, __LINE__, "Simulated contaminant %d is listed twice", list[i]);
        if (i > 0 && fms->ctm[i].nonTrace && !fms->ctm[i - 1].nonTrace && defined[i - 1])
            errorf(fms, ERROR, __FILE__, __LINE__,
                   "Non-trace contaminant %d is listed after a trace contaminant", list[i]);
        if (fms->ctm[i].molarMass <= 0.0f)
            errorf(fms, ERROR, __FILE__, __LINE__, "Molar mass of contaminant %s must be positive",
                   fms->ctm[i].name);
        // laminar duct dispersion divides by the diffusivity
        if (fms->mfsolver == 1 && fms->cdDucts && !(fms->ctm[i].Dm > 0.0f))
            errorf(fms, ERROR, __FILE__, __LINE__,
                   "Diffusion coefficient of contaminant %s must be positive for duct cells", fms->ctm[i].name);
    }
}

static void species_arrays(FlowmirState* fms)
{
    int n = fms->nctm;
    fms->Rs = alc_vt<double>(fms, 0, n - 1, "Rs");
    fms->CpS = alc_vt<double>(fms, 0, n - 1, "Cp");
    fms->penf1 = alc_vt<float>(fms, 0, n - 1, "penf");
    fms->nNonTrace = 0;
    fms->iH2O = -1;
    for (int i = 0; i < n; i++) {
        Species* s = &fms->ctm[i];
        s->Rgas = s->molarMass > 0.0f ? (float)(R_UNIVERSAL / s->molarMass) : 0.0f;
        s->Cv = s->Cp - s->Rgas;
        fms->Rs[i] = s->Rgas;
        fms->CpS[i] = s->Cp;
        fms->penf1[i] = 1.0f;
        if (s->nonTrace) fms->nNonTrace++;
        if (fms->iH2O < 0 && streql(s->name, "H2O")) fms->iH2O = i;
    }
}

int species_read(FlowmirState* fms)
{
    int nsim = readI2(fms, 1);
    if (nsim < 0) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid record count in %s section: %d", "Species", nsim);
        nsim = 0;
    }
    fms->nctm = nsim;
    short* list = nsim > 0 ? alc_vt<short>(fms, 0, nsim - 1, "ctmList") : nullptr;
    int* defined = nsim > 0 ? alc_vt<int>(fms, 0, nsim - 1, "ctmDefined") : nullptr;
    for (int i = 0; i < nsim; i++) list[i] = readI2(fms, 0);
    if (nsim > 0) fms->ctm = alc_vt<Species>(fms, 0, nsim - 1, "ctm");

    int ndef = readIX(fms, 1);
    for (int i = 1; i <= ndef && prj_errors(fms) == 0; i++) {
        int nr = readI2(fms, 1);
        check_record(fms, i, nr);
        if (nr != i) errorf(fms, ERROR, __FILE__, __LINE__, "Contaminant number mis-match: %d", i);
        Species s{};
        species_record(fms, &s);
        s.nr = (short)nr;
        for (int k = 0; k < nsim; k++)
            if (list[k] == nr && !defined[k]) {
                fms->ctm[k] = s;
                defined[k] = 1;
            }
    }
    if (prj_errors(fms) == 0) species_check_list(fms, list, defined);
    if (nsim > 0) species_arrays(fms);
    if (list) fre_vt(fms, list, 0, nsim - 1);
    if (defined) fre_vt(fms, defined, 0, nsim - 1);

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

void species_free(FlowmirState* fms)
{
    int n = fms->nctm;
    if (n <= 0) return;
    if (fms->ctm) fre_vt(fms, fms->ctm, 0, n - 1);
    if (fms->Rs) fre_vt(fms, fms->Rs, 0, n - 1);
    if (fms->CpS) fre_vt(fms, fms->CpS, 0, n - 1);
    if (fms->penf1) fre_vt(fms, fms->penf1, 0, n - 1);
    fms->ctm = nullptr;
    fms->Rs = fms->CpS = nullptr;
    fms->penf1 = nullptr;
}

int species_find(const FlowmirState* fms, const char* name)
{
    for (int i = 0; i < fms->nctm; i++)
        if (streql(fms->ctm[i].name, name)) return i;
    return fms->nctm;
}
