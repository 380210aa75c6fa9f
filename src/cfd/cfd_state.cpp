// The CFD record of a run and its arrays: allocated once, on the first reading of the case,
// and kept until the run ends so that later solutions continue from the fields.
#include <cstring>

#include "cfd/cfd_solve.h"
#include "support/error.h"
#include "support/heap.h"

// The field arrays, allocated and released together.
static const struct {
    const char* label;
    double*** CfdRun::*field;
} FIELDS[] = {
    {"U", &CfdRun::U},         {"V", &CfdRun::V},
    {"W", &CfdRun::W},         {"P", &CfdRun::P},
    {"PP", &CfdRun::PP},       {"T", &CfdRun::T},
    {"VIS", &CfdRun::VIS},     {"UP", &CfdRun::UP},
    {"VP", &CfdRun::VP},       {"WP", &CfdRun::WP},
    {"VTT", &CfdRun::VTT},     {"UOLD", &CfdRun::UOLD},
    {"VOLD", &CfdRun::VOLD},   {"WOLD", &CfdRun::WOLD},
    {"POLD", &CfdRun::POLD},   {"TOLD", &CfdRun::TOLD},
    {"US", &CfdRun::US},       {"VS", &CfdRun::VS},
    {"WS", &CfdRun::WS},       {"TS", &CfdRun::TS},
    {"AE", &CfdRun::AE},       {"AW", &CfdRun::AW},
    {"AN", &CfdRun::AN},       {"AS", &CfdRun::AS},
    {"AT", &CfdRun::AT},       {"AB", &CfdRun::AB},
    {"AP", &CfdRun::AP},       {"BS", &CfdRun::BS},
    {"SP", &CfdRun::SP},       {"DX", &CfdRun::DX},
    {"DY", &CfdRun::DY},       {"DZ", &CfdRun::DZ},
    {"STORE", &CfdRun::STORE}, {"fms->cfd.psaved", &CfdRun::psaved},
    {"opencoe", &CfdRun::opencoe}, {"opencoesv", &CfdRun::opencoesv},
};

static const char* const C_LABEL[] = {"", "C1", "C2", "C3", "C4", "C5"};
static const char* const COLD_LABEL[] = {"", "C1OLD", "C2OLD", "C3OLD", "C4OLD", "C5OLD"};

CfdRun* cfd_run(FlowmirState* fms)
{
    if (!fms->cfdRun) {
        CfdRun* r = static_cast<CfdRun*>(alc_e(fms, sizeof(CfdRun), "cfd-run"));
        memset(static_cast<void*>(r), 0, sizeof *r);
        // Until the coupling says otherwise: a steady solution of the flow and the contaminants.
        r->cfdSteady = r->runFlow = r->runCtm = 1;
        fms->cfdRun = r;
    }
    return fms->cfdRun;
}

static int lineLength(const CfdRun* r)
{
    int n = r->ni > r->nj ? r->ni : r->nj;
    return (n > r->nk ? n : r->nk) + 2;
}

static double*** field(FlowmirState* fms, const CfdRun* r, const char* label)
{
    return static_cast<double***>(
        alc_ac(fms, 1, r->ni + 2, 1, r->nj + 2, 1, r->nk + 2, sizeof(double), label));
}

static void releaseField(FlowmirState* fms, const CfdRun* r, double***& f)
{
    if (f) fre_ac(fms, f, 1, r->ni + 2, 1, r->nj + 2, 1, r->nk + 2, sizeof(double));
    f = nullptr;
}

void cfd_alloc(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    if (r->allocated) return;
    int ni2 = r->ni + 2, nj2 = r->nj + 2, nk2 = r->nk + 2;
    r->DELX = alc_vt<double>(fms, 1, ni2, "DELX");
    r->DELY = alc_vt<double>(fms, 1, nj2, "DELY");
    r->DELZ = alc_vt<double>(fms, 1, nk2, "DELZ");
    r->XF = alc_vt<double>(fms, 1, ni2, "XF");
    r->YF = alc_vt<double>(fms, 1, nj2, "YF");
    r->ZF = alc_vt<double>(fms, 1, nk2, "ZF");
    r->X = alc_vt<double>(fms, 1, ni2, "X");
    r->Y = alc_vt<double>(fms, 1, nj2, "Y");
    r->Z = alc_vt<double>(fms, 1, nk2, "Z");
    r->DELXC = alc_vt<double>(fms, 1, ni2, "DELXC");
    r->DELYC = alc_vt<double>(fms, 1, nj2, "DELYC");
    r->DELZC = alc_vt<double>(fms, 1, nk2, "DELZC");
    r->AREX = static_cast<double**>(alc_mc(fms, 1, nj2, 1, nk2, sizeof(double), "AREX"));
    r->AREY = static_cast<double**>(alc_mc(fms, 1, ni2, 1, nk2, sizeof(double), "AREY"));
    r->AREZ = static_cast<double**>(alc_mc(fms, 1, ni2, 1, nj2, sizeof(double), "AREZ"));
    r->VOL = field(fms, r, "VOL");
    r->ICELL = static_cast<int***>(alc_ac(fms, 1, ni2, 1, nj2, 1, nk2, sizeof(int), "ICELL"));
    r->OBJECTNM = static_cast<int***>(alc_ac(fms, 1, ni2, 1, nj2, 1, nk2, sizeof(int), "OBJECTNM"));
    for (const auto& f : FIELDS)
        r->*f.field = field(fms, r, f.label);
    for (int m = 1; m <= r->nc; m++) {
        r->C[m] = field(fms, r, C_LABEL[m]);
        r->COLD[m] = field(fms, r, COLD_LABEL[m]);
    }
    int n = lineLength(r);
    r->a = alc_vt<double>(fms, 1, n, "a");
    r->b = alc_vt<double>(fms, 1, n, "b");
    r->c = alc_vt<double>(fms, 1, n, "c");
    r->d = alc_vt<double>(fms, 1, n, "d");
    r->allocated = 1;
}

// Fields at rest at the initial temperature, viscosity of still air.
void cfd_init_fields(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    for (int i = 1; i <= r->ni + 2; i++)
        for (int j = 1; j <= r->nj + 2; j++)
            for (int k = 1; k <= r->nk + 2; k++) {
                r->T[i][j][k] = r->TOLD[i][j][k] = r->TS[i][j][k] = r->T0;
                r->VIS[i][j][k] = r->rho * r->nu;
            }
}

template <class T> static void releaseVector(FlowmirState* fms, T*& v, int n)
{
    fre_vt(fms, v, 1, n);
}

void cfd_free(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    if (!r) return;
    if (r->caseFp) fclose(r->caseFp);
    if (r->allocated) {
        int ni2 = r->ni + 2, nj2 = r->nj + 2, nk2 = r->nk + 2;
        releaseVector(fms, r->DELX, ni2);
        releaseVector(fms, r->DELY, nj2);
        releaseVector(fms, r->DELZ, nk2);
        releaseVector(fms, r->XF, ni2);
        releaseVector(fms, r->YF, nj2);
        releaseVector(fms, r->ZF, nk2);
        releaseVector(fms, r->X, ni2);
        releaseVector(fms, r->Y, nj2);
        releaseVector(fms, r->Z, nk2);
        releaseVector(fms, r->DELXC, ni2);
        releaseVector(fms, r->DELYC, nj2);
        releaseVector(fms, r->DELZC, nk2);
        fre_mc(fms, r->AREX, 1, nj2, 1, nk2, sizeof(double));
        fre_mc(fms, r->AREY, 1, ni2, 1, nk2, sizeof(double));
        fre_mc(fms, r->AREZ, 1, ni2, 1, nj2, sizeof(double));
        releaseField(fms, r, r->VOL);
        fre_ac(fms, r->ICELL, 1, ni2, 1, nj2, 1, nk2, sizeof(int));
        fre_ac(fms, r->OBJECTNM, 1, ni2, 1, nj2, 1, nk2, sizeof(int));
        for (const auto& f : FIELDS)
            releaseField(fms, r, r->*f.field);
        for (int m = 1; m <= r->nc; m++) {
            releaseField(fms, r, r->C[m]);
            releaseField(fms, r, r->COLD[m]);
        }
        int n = lineLength(r);
        releaseVector(fms, r->a, n);
        releaseVector(fms, r->b, n);
        releaseVector(fms, r->c, n);
        releaseVector(fms, r->d, n);
        cfd_mg_free(fms);
    }
    fre_vt(fms, r->in, 1, r->capIn);
    fre_vt(fms, r->out, 1, r->capOut);
    fre_vt(fms, r->bl, 1, r->capBl);
    fre_vt(fms, r->tw, 1, r->capTw);
    fre_vt(fms, r->qw, 1, r->capQw);
    for (int d = 0; d < 3; d++)
        fre_vt(fms, r->sl[d], 1, r->capSl[d]);
    fre_e(fms, r, sizeof(CfdRun), "cfd-run");
    fms->cfdRun = nullptr;
}
