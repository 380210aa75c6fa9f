// Profile analysis and profile-reducing renumbering of a structure array.
#include "network/profile.h"

#include <algorithm>

#include "network/gpskca.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"

int ija_prfl(FlowmirState* fms, int n, const int* ijaS, double* profile)
{
    long long sum = 0;
    int bandwidth = 0;
    for (int i = 1; i <= n; i++) {
        int width = 0;
        for (int k = ijaS[i]; k < ijaS[i + 1]; k++) width = std::max(width, i - ijaS[k] + 1);
        sum += width;
        bandwidth = std::max(bandwidth, width);
    }
    *profile = n > 0 ? (double)sum / n : 0.0;
    LOG(fms, "      Average Profile: %.2f\n", *profile);
    LOG(fms, "            Bandwidth: %d\n", bandwidth);
    return bandwidth;
}

// The caller's length must match the structure; a mismatch is a programming fault.
static bool lengthMatches(FlowmirState* fms, const int* ijaS, int nelem, int neq)
{
    if (nelem == ijaS[neq + 1] - 1) return true;
    errorf(fms, ERROR, __FILE__, __LINE__, "Structure length %d differs from %d: call Orvo", nelem,
           ijaS[neq + 1] - 1);
    return false;
}

int ija_optord(FlowmirState* fms, const int* ijaS, int* perm, int nelem, int neq, int n)
{
    for (int i = 1; i <= neq; i++) perm[i] = i;
    n = std::min(n, neq);
    if (n < 3) return 0;
    LOG(fms, "Determining equation reordering:\n");
    int changed = 0;
    if (lengthMatches(fms, ijaS, nelem, neq)) {
        // Adjacency of the variable equations only: columns past n are constant.
        int count = 0;
        for (int i = 1; i <= n; i++)
            for (int k = ijaS[i]; k < ijaS[i + 1]; k++)
                if (ijaS[k] <= n) count++;
        int* rstart = alc_vt<int>(fms, 1, n + 1, "rstart");
        int* connec = alc_vt<int>(fms, 1, std::max(count, 1), "connec");
        int pos = 1;
        for (int i = 1; i <= n; i++) {
            rstart[i] = pos;
            for (int k = ijaS[i]; k < ijaS[i + 1]; k++)
                if (ijaS[k] <= n) connec[pos++] = ijaS[k];
        }
        rstart[n + 1] = pos;
        if (gpskca(fms, n, rstart, connec, perm, 1) == 0)
            for (int i = 1; i <= n; i++)
                if (perm[i] != i) changed = 1;
        fre_vt(fms, rstart, 1, n + 1);
        fre_vt(fms, connec, 1, std::max(count, 1));
    }
    if (!changed) {
        for (int i = 1; i <= n; i++) perm[i] = i;
        LOG(fms, "Equations will not be reordered.\n");
        return 0;
    }
    LOG(fms, "Equations will be reordered.\n");
    return 1;
}

void ija_reorder(FlowmirState* fms, int* ijaS, const int* perm, int nelem, int neq)
{
    if (neq <= 0 || !lengthMatches(fms, ijaS, nelem, neq)) return;
    int* old = alc_vt<int>(fms, 1, neq, "old");
    bool valid = true;
    for (int i = 1; i <= neq && valid; i++) {
        valid = perm[i] >= 1 && perm[i] <= neq && !old[perm[i]];
        if (valid) old[perm[i]] = i;
    }
    if (!valid) {
        error(fms, ERROR, __FILE__, __LINE__, "Invalid equation numbering: call Orvo", "");
        fre_vt(fms, old, 1, neq);
        return;
    }
    int* fresh = alc_vt<int>(fms, 1, nelem, "reorder");
    int pos = neq + 2;
    for (int j = 1; j <= neq; j++) {
        fresh[j] = pos;
        int o = old[j];
        for (int k = ijaS[o]; k < ijaS[o + 1]; k++) fresh[pos++] = perm[ijaS[k]];
        std::sort(fresh + fresh[j], fresh + pos);
    }
    fresh[neq + 1] = pos;
    std::copy(fresh + 1, fresh + nelem + 1, ijaS + 1);
    fre_vt(fms, fresh, 1, nelem);
    fre_vt(fms, old, 1, neq);
}
