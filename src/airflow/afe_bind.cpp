// Binding flow models to elements by their type codes.
#include "airflow/afe_models.h"
#include "support/error.h"

AfeModel afe_model_for(int code)
{
    switch (code) {
    case AFE_PLR_ORFC:
    case AFE_PLR_LEAK1:
    case AFE_PLR_LEAK2:
    case AFE_PLR_LEAK3:
    case AFE_PLR_CONN:
    case AFE_PLR_TEST1:
    case AFE_PLR_TEST2:
    case AFE_PLR_CRACK:
    case AFE_PLR_STAIR:
    case AFE_PLR_SHAFT:
    case AFE_DCT_PLR:
        return afe_plr;
    case AFE_PLR_QCN:
    case AFE_DCT_QCN:
        return afe_qcn;
    case AFE_PLR_FCN:
    case AFE_DCT_FCN:
        return afe_fcn;
    case AFE_PLR_BDQ:
    case AFE_DCT_BDQ:
        return afe_bdq;
    case AFE_PLR_BDF:
    case AFE_DCT_BDF:
        return afe_bdf;
    case AFE_SRV_JWA:
        return afe_jwa;
    case AFE_QFR_QAB:
    case AFE_QFR_FAB:
    case AFE_QFR_CRACK:
    case AFE_QFR_TEST2:
        return afe_qfr;
    case AFE_DOR_DOOR:
        return afe_dor;
    case AFE_DOR_PL2:
        return afe_pl2;
    case AFE_FAN_CMF:
    case AFE_DCT_CMF:
        return afe_cmf;
    case AFE_FAN_CVF:
    case AFE_DCT_CVF:
        return afe_cvf;
    case AFE_FAN_FAN:
    case AFE_DCT_FAN:
        return afe_fan;
    case AFE_CSF_FSP:
    case AFE_DCT_FSP:
        return afe_fsp;
    case AFE_CSF_QSP:
    case AFE_DCT_QSP:
        return afe_qsp;
    case AFE_CSF_PSF:
    case AFE_DCT_PSF:
        return afe_psf;
    case AFE_CSF_PSQ:
    case AFE_DCT_PSQ:
        return afe_psq;
    case AFE_DCT_DWC:
        return afe_dwc;
    case AFE_AHS_SR:
        return afe_ahs;
    case AFE_D_LEAK:
        return afe_jlk;
    case AFE_D_TERM:
        return afe_trm;
    default: // super element, code 43 (needs the link) and unknown codes
        return nullptr;
    }
}

AfeModel afe_model_for_link(const AirLink* link)
{
    if (!link->elem) return nullptr;
    if (link->elem->type != AFE_AHS_XOR) return afe_model_for(link->elem->type);
    if (link->flags & LF_AHR) return afe_ahr;
    if (link->flags & LF_AHO) return afe_aho;
    if (link->flags & LF_AHX) return afe_ahx;
    return nullptr;
}

void afe_bind_models(FlowmirState* fms)
{
    for (int i = 1; i <= fms->nafe; i++)
        if (fms->AfeLst[i]) fms->AfeLst[i]->model = afe_model_for(fms->AfeLst[i]->type);
    for (int i = 1; i <= fms->ndfe; i++)
        if (fms->DfeLst[i]) fms->DfeLst[i]->model = afe_model_for(fms->DfeLst[i]->type);

    for (AirLink* l = fms->linkList; l; l = l->next) {
        if (!l->elem) continue;
        AfeModel m = afe_model_for_link(l);
        if (m)
            l->elem->model = m;
        else if (!l->elem->model)
            errorf(fms, FATAL, __FILE__, __LINE__,
                   "Airflow element %s (type %d) of link %d has no flow model", l->elem->name, l->elem->type,
                   l->nr);
    }
}
