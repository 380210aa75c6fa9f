// A single airflow link between two nodes, built on the stack, for exercising the flow models.
#ifndef FLOWMIR_TESTS_AIRFLOW_LINK_BENCH_H
#define FLOWMIR_TESTS_AIRFLOW_LINK_BENCH_H

#include <cmath>
#include <string>

#include "airflow/afe_models.h"
#include "support/error.h"
#include "testutil.h"

constexpr double kRho0 = 1.2041;
constexpr double kMu0 = 1.81625e-5;

// Density of air at temperature T (K) and the standard barometric pressure.
inline double airDensity(double T)
{
    return 101325.0 / (287.055 * T);
}

inline void setAir(AirNode& n, double rho, double mu = kMu0, double T = 293.15)
{
    n.rho = rho;
    n.mu = (float)mu;
    n.rhomu = (float)(rho / mu);
    n.sqrho = (float)std::sqrt(rho);
    n.T = T;
    afe_node_corr(&n);
}

inline int quietErrors(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

struct LinkBench {
    TestState s;
    AirNode N{}, M{};
    Afe elem{};
    DuctSeg dd{};
    AirLink L{};
    float ctrl = 1.0f;

    LinkBench(int type = AFE_PLR_ORFC, void* data = nullptr)
    {
        s.openLog();
        s->errorFcn = quietErrors;
        setAir(N, kRho0);
        setAir(M, kRho0);
        N.nr = 1;
        M.nr = 2;
        L.nodeN = &N;
        L.nodeM = &M;
        L.elem = &elem;
        L.ctrl = &ctrl;
        L.mult = 1.0;
        L.dd = &dd;
        L.nr = 1;
        L.s_nr = 1;
        elem.type = type;
        elem.data = data;
        elem.nr = 1;
        snprintf(elem.name, sizeof elem.name, "elem");
    }
    void use(int type, void* data)
    {
        elem.type = type;
        elem.data = data;
    }
    FlowmirState* fms() { return s.fms; }
    // Evaluates the element's model at dP; returns the flow count.
    int eval(double dP)
    {
        L.dP = dP;
        AfeModel m = afe_model_for_link(&L);
        return m(s.fms, &L);
    }
    double flow(double dP)
    {
        eval(dP);
        return L.Flow[0];
    }
    // Central difference of Flow[0] about dP.
    double numericSlope(double dP, double h)
    {
        double up = flow(dP + h), down = flow(dP - h);
        return (up - down) / (2.0 * h);
    }
    int errors() { return error(s.fms, -1, __FILE__, __LINE__, ""); }
    std::string log() { return s.log(); }
};

#endif
