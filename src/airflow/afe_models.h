// Airflow element flow models: each turns a link's dP into its flow(s) and derivative, plus the
// duct and terminal preparation, the friction and cubic helpers and the binding of models to
// elements.
#ifndef FLOWMIR_AIRFLOW_AFE_MODELS_H
#define FLOWMIR_AIRFLOW_AFE_MODELS_H

#include <cmath>

#include "airflow/afe.h"
#include "network/airnet.h"

// --- Flow models.  Each reads link->dP and writes Flow[0], Flow[1] and, where it computes
// one, dFdP; the return is the number of flows (1, or 2 for a two-way opening). ---
int afe_plr(FlowmirState* fms, AirLink* link); // power law, sqrt(rho) form
int afe_fcn(FlowmirState* fms, AirLink* link); // power law, mass-flow form
int afe_qcn(FlowmirState* fms, AirLink* link); // power law, volume-flow form
int afe_bdq(FlowmirState* fms, AirLink* link); // backdraft damper, volume-flow form
int afe_bdf(FlowmirState* fms, AirLink* link); // backdraft damper, mass-flow form
int afe_jwa(FlowmirState* fms, AirLink* link); // self-regulating vent
int afe_qfr(FlowmirState* fms, AirLink* link); // quadratic law
int afe_dor(FlowmirState* fms, AirLink* link); // large two-way opening
int afe_pl2(FlowmirState* fms, AirLink* link); // two-opening door
int afe_cmf(FlowmirState* fms, AirLink* link); // constant mass flow
int afe_cvf(FlowmirState* fms, AirLink* link); // constant volume flow
int afe_fan(FlowmirState* fms, AirLink* link); // fan with a performance curve
int afe_dwc(FlowmirState* fms, AirLink* link); // Darcy-Weisbach duct segment
int afe_jlk(FlowmirState* fms, AirLink* link); // duct leak
int afe_trm(FlowmirState* fms, AirLink* link); // duct terminal
int afe_ahs(FlowmirState* fms, AirLink* link); // AHS supply or return path
int afe_ahr(FlowmirState* fms, AirLink* link); // AHS recirculation
int afe_aho(FlowmirState* fms, AirLink* link); // AHS outdoor-air intake
int afe_ahx(FlowmirState* fms, AirLink* link); // AHS exhaust
int afe_fsp(FlowmirState* fms, AirLink* link); // spline: mass flow of dP
int afe_qsp(FlowmirState* fms, AirLink* link); // spline: volume flow of dP
int afe_psf(FlowmirState* fms, AirLink* link); // spline: dP of mass flow, inverted
int afe_psq(FlowmirState* fms, AirLink* link); // spline: dP of volume flow, inverted

// --- Binding models to elements. ---

// The model of a type code; none for the super element, unknown codes and code 43, whose three
// models are told apart by the link (afe_model_for_link).
AfeModel afe_model_for(int code);
// The model of a link's element; for code 43 chosen by the link's AHS flags.
AfeModel afe_model_for_link(const AirLink* link);
// Sets the model of every element of AfeLst and DfeLst and of the elements of the network's
// links (the implicit ones included). A link whose element has no model (a super element) is
// a fatal error, since the solution could not evaluate it.
void afe_bind_models(FlowmirState* fms);
// Flags the links of two-way openings (codes 19, 20) for a numerical derivative.
void setNmDrv(FlowmirState* fms);

// --- Helpers. ---

// A real root of c3 x^3 + c2 x^2 + c1 x + c0 = 0 near x0.
double solveCubic(FlowmirState* fms, double c0, double c1, double c2, double c3, double x0);
// Darcy friction factor for relative roughness rr and Reynolds number Re, iterated from f0.
double ffdwc(FlowmirState* fms, double rr, double Re, double f0);
// Friction factor for a host, with a smooth-pipe law for rr <= 1e-7.
double ffdwc_w(double rr, double Re, double f0);
// Laminar coefficient from a transition Reynolds number (form 0 volume, 1 sqrt(rho), 2 mass).
float setLamCoef(FlowmirState* fms, float Ct, float expt, float area, float dh, float Re, int form,
                 const char* name);
// Slope of a spline element's curve at x = 0 (for the linear initialisation).
double afe_csf_slope0(const Afe* e);

// --- Preparation during network assembly. ---

// Duct link with elem and dd (len, sumC) filled: mult 1.0, or for a Darcy-Weisbach duct its
// transition data, starting state and mult 0.02.
void afe_duct_prep(FlowmirState* fms, AirLink* link);
// Laminar coefficient of a Darcy-Weisbach duct for the linear initialisation.
float afe_dwc_clin(FlowmirState* fms, const AfeDwc* dwc, float len, float sumC);
// Terminal coefficients from its losses and area; jct names the junction in the error.
void afe_trm_prep(FlowmirState* fms, AfeTrm* trm, int jct);

// --- Shared by the model files. ---

// Power-law forms: how the turbulent coefficient takes the density.
enum { PLR_SQRHO = 0, PLR_MASS = 1, PLR_VOLUME = 2 };

// Standard air.
constexpr double RHO0 = 1.2041;    // kg/m^3
constexpr double MU0 = 1.81625e-5; // Pa s
constexpr double NU0 = 1.50839e-5; // m^2/s

// Forms a node's correction logarithms after its density or viscosity changed, and forgets
// the factors formed from the old ones.
inline void afe_node_corr(AirNode* n)
{
    n->lnRhoMu = std::log(n->rhomu * NU0);
    n->lnRhoRatio = std::log(RHO0 / n->rho);
    n->corr[0].form = n->corr[1].form = -1;
    n->kLeak = 0.0;
}

// One power-law branch with upstream node U, before control value and multiplier; *dFdP
// receives the derivative. halfTest: no density/viscosity correction when expt is 0.5.
double plr_kernel(FlowmirState* fms, const AirNode* U, double dP, float lam, float turb, float expt, int form,
                  int halfTest, double* dFdP);
// A one-flow power-law link scaled by factor: Flow[0], dFdP, Flow[1] = 0; returns 1.
int plr_link(FlowmirState* fms, AirLink* link, float lam, float turb, float expt, int form, double factor);

// The link's control value (1.0 when it has none).
inline float afe_ctrl(const AirLink* link)
{
    return link->ctrl ? *link->ctrl : 1.0f;
}

// The upstream node for dP: N when dP >= 0.
inline AirNode* afe_upstream(const AirLink* link, double dP)
{
    return dP >= 0.0 ? link->nodeN : link->nodeM;
}

#endif
