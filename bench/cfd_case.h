// CFD case files written from a few settings: the cases of the solver's tests and benchmark
// (the lid-driven cavity, channels, closed boxes, rooms with openings).
#ifndef FLOWMIR_BENCH_CFD_CASE_H
#define FLOWMIR_BENCH_CFD_CASE_H

#include <cstdio>
#include <string>
#include <vector>

struct CfdCaseSpec {
    std::string title = "case";
    int energy = 0;
    double tol = 1e-4;
    int itmax = 1000;
    bool laminar = true;
    int turbModel = 2;
    double L[3] = {1, 1, 1};
    int n[3] = {8, 8, 1};
    std::vector<double> widths[3]; // empty: uniform
    std::vector<std::string> inlets, outlets, blocks, twalls, qwalls; // records, see below
    int schemes[5] = {2, 2, 2, 2, 2};
    double T0 = 20, Tref = 20;
    double bounds[8] = {-100, 100, -100, 100, -100, 100, -100, 200};
    double relax[8] = {0.7, 0.7, 0.7, 0.3, 0.9, 1, 1, 0.9};
    double fts[7] = {1e30, 1e30, 1e30, 1e30, 1, 1, 1e30};
    int ftsMode = 0, ftsSwitch = 0;
    double fts2[7] = {1e30, 1e30, 1e30, 1e30, 1, 1, 1e30};
    int printInterval = 0;
    int mon[3] = {2, 2, 2}, pref[3] = {2, 2, 2};
    int restart = 0;
    double rho = 1.2, nu = 1.5e-5, cp = 1005, Pr = 0.71;
};

inline std::string cfdFmt(const char* f, double a, double b)
{
    char s[128];
    snprintf(s, sizeof s, f, a, b);
    return s;
}

// One record's lines: an opening (name, cell ranges as in the case file, the value line).
inline std::string cfdOpening(const std::string& name, int i1, int i2, int j1, int j2, int k1, int k2,
                              const std::string& values)
{
    char s[512];
    snprintf(s, sizeof s, "! name\n%s\n! i range\n%d,%d\n! j range\n%d,%d\n! k range\n%d,%d\n! kind,type,values\n%s\n",
             name.c_str(), i1, i2, j1, j2, k1, k2, values.c_str());
    return s;
}
inline std::string cfdBlock(const std::string& name, int i1, int i2, int j1, int j2, int k1, int k2,
                            const std::string& values)
{
    return cfdOpening(name, i1, i2, j1, j2, k1, k2, values);
}
// A wall patch: value line "temperature" (or "temperature,u,v,w" for a moving wall) or
// "flux[,count]" followed by source lines.
inline std::string cfdWall(int i1, int i2, int j1, int j2, int k1, int k2, const std::string& values)
{
    char s[512];
    snprintf(s, sizeof s, "! wall\n! range\n! i\n%d,%d\n! j range\n%d,%d\n! k range\n%d,%d\n! value\n%s\n", i1, i2,
             j1, j2, k1, k2, values.c_str());
    return s;
}

inline std::string cfdCaseText(const CfdCaseSpec& c)
{
    std::string t;
    char s[1024];
    auto labels = [&](int n) {
        for (int i = 0; i < n; i++)
            t += "! label\n";
    };
    auto triple = [&](int skip, const int* v) {
        labels(skip);
        snprintf(s, sizeof s, "%d,%d,%d\n", v[0], v[1], v[2]);
        t += s;
    };
    t += c.title + "\n";
    labels(10);
    t += "0,0,0.001,200,1,0,0\n";
    labels(2);
    t += std::to_string(c.energy) + "\n";
    labels(5);
    snprintf(s, sizeof s, "%.17g,%d\n", c.tol, c.itmax);
    t += s;
    labels(2);
    t += c.laminar ? "T\n" : "F\n";
    if (!c.laminar) {
        labels(2);
        t += std::to_string(c.turbModel) + "\n";
    }
    labels(7);
    snprintf(s, sizeof s, "%.17g,%.17g,%.17g\n", c.L[0], c.L[1], c.L[2]);
    t += s;
    triple(3, c.n);
    for (int d = 0; d < 3; d++) {
        labels(d == 0 ? 3 : 1);
        for (int i = 0; i < c.n[d]; i++) {
            double w = c.widths[d].empty() ? c.L[d] / c.n[d] : c.widths[d][i];
            snprintf(s, sizeof s, "%.17g%s", w, (i + 1) % 8 == 0 || i + 1 == c.n[d] ? "\n" : " ");
            t += s;
        }
    }
    labels(2);
    snprintf(s, sizeof s, "%zu,%zu\n", c.inlets.size(), c.outlets.size());
    t += s;
    for (auto& o : c.inlets)
        t += o;
    for (auto& o : c.outlets)
        t += o;
    auto list = [&](const std::vector<std::string>& v) {
        labels(2);
        t += std::to_string(v.size()) + "\n";
        for (auto& o : v)
            t += o;
    };
    list(c.blocks);
    list(c.twalls);
    list(c.qwalls);
    labels(6);
    snprintf(s, sizeof s, "%d,%d,%d,%d,%d\n", c.schemes[0], c.schemes[1], c.schemes[2], c.schemes[3], c.schemes[4]);
    t += s;
    labels(2);
    snprintf(s, sizeof s, "%.17g,%.17g\n", c.T0, c.Tref);
    t += s;
    labels(2);
    t += "0\n";
    auto values = [&](const double* v, int n) {
        labels(2);
        for (int i = 0; i < n; i++) {
            snprintf(s, sizeof s, "%.17g%s", v[i], i < n - 1 ? "," : "\n");
            t += s;
        }
    };
    values(c.bounds, 8);
    values(c.relax, 8);
    values(c.fts, 7);
    labels(2);
    t += std::to_string(c.ftsMode) + "\n";
    if (c.ftsMode != 0) {
        labels(2);
        t += std::to_string(c.ftsSwitch);
        for (int i = 0; i < 7; i++) {
            snprintf(s, sizeof s, ",%.17g", c.fts2[i]);
            t += s;
        }
        t += "\n";
    }
    labels(2);
    t += std::to_string(c.printInterval) + "\n";
    triple(2, c.mon);
    triple(2, c.pref);
    labels(2);
    snprintf(s, sizeof s, "1,%d,1 1,%d,1\n", c.n[0], c.n[1]);
    t += s;
    for (int d = 0; d < 3; d++) {
        labels(2);
        t += "0\n";
    }
    labels(2);
    snprintf(s, sizeof s, "%d,0,0\n", c.restart);
    t += s;
    labels(6);
    t += "0.0\n";
    // The last block: one label line before each value.
    for (double v : {0.0, c.rho, c.nu, 0.0, c.cp, c.Pr}) {
        labels(1);
        snprintf(s, sizeof s, "%.17g\n", v);
        t += s;
    }
    return t;
}

#endif
