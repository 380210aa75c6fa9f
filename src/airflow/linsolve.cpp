// Dispatch of the airflow matrix solve.
#include "airflow/linsolve.h"

#include "airflow/dense.h"
#include "airflow/ldlt.h"
#include "airflow/pcg.h"
#include "airflow/skyline.h"
#include "support/error.h"

// Fills the dense n x n matrix from the lower-triangle storage, mirroring each entry.
static void fillDense(AfMat* mat)
{
    int n = mat->nvar;
    double** a = mat->aa;
    for (int i = 1; i <= n; i++)
        for (int j = 1; j <= n; j++) a[i][j] = 0.0;
    for (int i = 1; i <= n; i++) {
        a[i][i] = mat->sa[i];
        for (int k = mat->ija[i]; k < mat->ija[i + 1]; k++) {
            int j = mat->ija[k];
            if (j < i) a[i][j] = a[j][i] = mat->sa[k];
        }
    }
}

int solve_slae(FlowmirState* fms, AfMat* mat)
{
    int n = mat->nvar;
    switch (mat->slae) {
    case 0:
        for (int i = 1; i <= mat->neq; i++) mat->x[i] = mat->b[i];
        if (n > 0 && mat->ldl) {
            ldl_factor(fms, mat->ldl, mat->sa);
            ldl_solve(fms, mat->ldl, mat->x);
        } else if (n > 0) {
            fill_sky_s(mat->sa, mat->ija, mat->sky);
            luf_sky_s(fms, mat->sky);
            lus_sky_s(fms, mat->sky, mat->x);
        }
        return 0;
    case 1:
        if (n == 0) {
            for (int i = 1; i <= mat->neq; i++) mat->x[i] = mat->b[i];
            return 0;
        }
        pcg_factor(fms, mat);
        return sa_pcg(fms, mat);
    case 2:
        for (int i = 1; i <= mat->neq; i++) mat->x[i] = mat->b[i];
        if (n > 0) {
            fillDense(mat);
            luf_ge(fms, mat->aa, n);
            lus_ge(fms, mat->aa, mat->x, n);
        }
        return 0;
    default:
        errorf(fms, FATAL, __FILE__, __LINE__, "Invalid method: %d", mat->slae);
        return 0;
    }
}
