// The field restart file (".var"): U, V, W, P, T and VIS per grid point as native doubles,
// i outermost, k innermost.
#include <cstring>

#include "cfd/cfd.h"
#include "support/error.h"

// Rewritten in place: every writing has the same size, so the file always holds the latest.
void cfd_var_write(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    FILE* fp = cfd_open(fms, &r->var, ".var");
    rewind(fp);
    for (int i = 1; i <= r->ni + 2; i++)
        for (int j = 1; j <= r->nj + 2; j++)
            for (int k = 1; k <= r->nk + 2; k++) {
                double v[CFD_VAR_VALUES] = {r->U[i][j][k], r->V[i][j][k], r->W[i][j][k],
                                            r->P[i][j][k], r->T[i][j][k], r->VIS[i][j][k]};
                fwrite(v, sizeof v, 1, fp);
            }
    cfd_flushed(fms, &r->var);
}

// Into U, V, W, P, T, VIS, or for an unsteady start into UOLD, VOLD, WOLD, P, TOLD, VIS.
// Returns 0 when the file cannot be opened; a file of another grid is FATAL.
int cfd_var_read(FlowmirState* fms, const char* path, int intoOld)
{
    CfdRun* r = fms->cfdRun;
    FILE* fp = fopen(path, "rb");
    if (!fp) return 0;
    long points = (long)(r->ni + 2) * (r->nj + 2) * (r->nk + 2);
    long want = points * (long)(CFD_VAR_VALUES * sizeof(double));
    fseek(fp, 0, SEEK_END);
    long size = ftell(fp);
    rewind(fp);
    if (size != want) {
        fclose(fp);
        errorf(fms, FATAL, __FILE__, __LINE__,
               "CFD restart file (var) %s holds %ld bytes, the grid needs %ld", path, size, want);
        return 0;
    }
    double*** f[CFD_VAR_VALUES] = {intoOld ? r->UOLD : r->U, intoOld ? r->VOLD : r->V,
                                   intoOld ? r->WOLD : r->W, r->P,
                                   intoOld ? r->TOLD : r->T, r->VIS};
    for (int i = 1; i <= r->ni + 2; i++)
        for (int j = 1; j <= r->nj + 2; j++)
            for (int k = 1; k <= r->nk + 2; k++) {
                double v[CFD_VAR_VALUES];
                if (fread(v, sizeof v, 1, fp) != 1) {
                    fclose(fp);
                    errorf(fms, FATAL, __FILE__, __LINE__, "CFD restart file (var) %s could not be read",
                           path);
                    return 0;
                }
                for (int n = 0; n < CFD_VAR_VALUES; n++)
                    f[n][i][j][k] = v[n];
            }
    fclose(fp);
    return 1;
}
