// Sources and sinks: every model's rate against hand values, the time-dependent models over
// sequences of steps, the sink coefficients, and the placement of instances in the network.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/driver.h"
#include "engine/siminit.h"
#include "network/airnet.h"
#include "network/sim_data.h"
#include "project/prj_read.h"
#include "support/heap.h"
#include "transport/cse.h"
#include "transport/species.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;

// One instance of one element in a zone of 50 m3 at 1.2 kg/m3, on day 10.
struct Bench {
    TestState s;
    AirNode zone{};
    double Mf[1] = {0.0};
    CseElement e{};
    CseInstance c{};
    float S = 1.0f;

    Bench(int type, void* data, float mult = 1.0f)
    {
        zone.V = 50.0f;
        zone.rho = 1.2;
        zone.Mf = Mf;
        zone.flags = NF_MASSFRAC;
        e.type = type;
        e.data = data;
        c.element = &e;
        c.zoneNode = &zone;
        c.sched = &S;
        c.mult = mult;
        s->dayofy = 10;
        s->stepEndTime = 0;
        s->dt = 600.0f;
        s->rdt = 1.0f / 600.0f;
    }
    // Evaluates the model at the end of a step `t` seconds into day 10 with scale S.
    void at(int t, float scale, void (*model)(FlowmirState*, CseInstance*))
    {
        s->stepEndTime = t;
        S = scale;
        model(s.fms, &c);
    }
};

struct Steady {
    const char* name;
    int type;
    std::vector<float> params;
    float S, mult, Pgage;
    double G, R;
};

// Models whose rates depend only on the step's scale and the zone's state.
TEST(CseModels, RatesOfTheStatelessModels)
{
    const Steady cases[] = {
        {"ccf", CSE_CCF, {2e-6f, 3e-4f}, 0.5f, 4.0f, 0.0f, 4e-6, 6e-4},
        {"cut", CSE_CUT, {2e-6f, 1e-3f}, 1.0f, 2.0f, 0.0f, 4e-6, 4e-3},
        {"prs below ambient", CSE_PRS, {1e-6f, 0.5f}, 1.0f, 2.0f, -4.0f, 4e-6, 0.0},
        {"prs above ambient", CSE_PRS, {1e-6f, 0.5f}, 1.0f, 2.0f, 4.0f, 0.0, 0.0},
        {"dvs", CSE_DVS, {1e-4f, 20.0f}, 0.5f, 2.0f, 0.0f, 0.0, 1e-4 * 1.2 * 20 * 2 * 0.5},
        {"drs", CSE_DRS, {1e-3f}, 1.0f, 3.0f, 0.0f, 0.0, 50 * 1.2 * 1e-3 * 3},
    };
    void (*models[])(FlowmirState*, CseInstance*) = {cse_ccf, cse_prs, cse_cut, cse_eds, cse_bls, cse_brs,
                                                      cse_dvs, cse_drs};
    for (const Steady& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<float> p = k.params;
        p.resize(4);
        Bench b(k.type, p.data(), k.mult);
        b.zone.Pgage = k.Pgage;
        b.at(0, k.S, models[k.type]);
        EXPECT_NEAR(b.c.G, k.G, 1e-6 * std::fabs(k.G) + 1e-18);
        EXPECT_NEAR(b.c.R, k.R, 1e-6 * std::fabs(k.R) + 1e-18);
    }
}

// A burst releases M x S x m over the one step of each rising edge of its scale, also when
// the scale is already on at the start: not in the evaluation of the initial condition.
TEST(CseModels, BurstReleasesOnceAtEachRisingEdge)
{
    CseBrs p{0.06f};
    Bench b(CSE_BRS, &p, 2.0f);
    b.s->rdt = 0.0f;  // the initial condition has no step
    b.at(0, 1.0f, cse_brs);
    EXPECT_EQ(b.c.G, 0.0);
    b.s->rdt = 1.0f / 600.0f;
    const float scale[] = {0.0f, 1.0f, 1.0f, 0.0f, 0.5f, 0.5f};
    const double G[] = {0.0, 0.06 * 2 / 600, 0.0, 0.0, 0.06 * 0.5 * 2 / 600, 0.0};
    for (int k = 0; k < 6; k++) {
        SCOPED_TRACE(k);
        b.at(600 * (k + 1), scale[k], cse_brs);
        EXPECT_NEAR(b.c.G, G[k], 1e-12);
        EXPECT_EQ(b.c.R, 0.0);
    }
}

// An exponential decay source keeps decaying after its scale returns to 0, and a new
// positive scale restarts it.
TEST(CseModels, DecaySourceOutlivesItsTrigger)
{
    CseEds p{1e-5f, 1e-3f};
    Bench b(CSE_EDS, &p, 2.0f);
    b.at(3600, 0.5f, cse_eds);
    EXPECT_NEAR(b.c.G, 1e-5, 1e-12);  // S x G0 x m at t = 0
    b.at(3600 + 600, 0.0f, cse_eds);
    EXPECT_NEAR(b.c.G, 1e-5 * std::exp(-0.6), 1e-12);
    b.at(3600 + 1200, 0.0f, cse_eds);
    EXPECT_NEAR(b.c.G, 1e-5 * std::exp(-1.2), 1e-12);
    b.at(3600 + 1800, 1.0f, cse_eds);  // restarted at twice the scale
    EXPECT_NEAR(b.c.G, 2e-5, 1e-12);
    EXPECT_EQ(b.c.R, 0.0);
}

// Power law: the rate of tmin until tmin, then a (t/1 h)^-n; with tmin = 1 h and n = 1 the
// rate is a until 1 h and a x 3600 / t afterwards. Never stops once started.
TEST(CseModels, PowerLawHoldsThenDeclines)
{
    CsePlm p{3e-6f, 1.0f, 3600.0f};
    Bench b(CSE_PLM, &p, 2.0f);
    b.at(600, 0.0f, cse_plm);
    EXPECT_EQ(b.c.G, 0.0);
    b.at(1200, 1.0f, cse_plm);  // starts here
    const int after[] = {0, 1800, 3600, 7200, 36000};
    for (int t : after) {
        SCOPED_TRACE(t);
        b.at(1200 + t, 0.0f, cse_plm);
        double rate = t <= 3600 ? 3e-6 : 3e-6 * 3600.0 / t;
        EXPECT_NEAR(b.c.G, rate * 2, 1e-6 * rate);
    }
}

// Peak: nothing before and at its start, the peak rate at tp, the log-normal shape around it.
TEST(CseModels, PeakFollowsItsLogNormalShape)
{
    CsePkm p{4e-6f, 1.0f / 0.5f, 1.0f / 1800.0f};
    Bench b(CSE_PKM, &p, 1.5f);
    b.at(600, 1.0f, cse_pkm);  // starts here, no rate yet
    EXPECT_EQ(b.c.G, 0.0);
    b.at(600, 0.0f, cse_pkm);  // the same step again: t = 0 gives 0, not the log of 0
    EXPECT_EQ(b.c.G, 0.0);
    b.at(600 + 1800, 0.0f, cse_pkm);
    EXPECT_NEAR(b.c.G, 4e-6 * 1.5, 1e-12);
    b.at(600 + 3600, 0.0f, cse_pkm);
    double x = std::log(2.0) / 0.5;
    EXPECT_NEAR(b.c.G, 4e-6 * 1.5 * std::exp(-0.5 * x * x), 1e-12);
}

// The mg/h decay models: rates in kg/s from their start, whatever the scale afterwards.
TEST(CseModels, ExponentialDecaysInMilligramsPerHour)
{
    CseSxd s{36.0f, 0.5f};
    Bench b(CSE_SXD, &s, 2.0f);
    b.at(600, 0.0f, cse_sxd);
    EXPECT_EQ(b.c.G, 0.0);
    b.at(600, 1.0f, cse_sxd);
    EXPECT_NEAR(b.c.G, 36.0 * 2 / 3.6e9, 1e-15);
    b.at(600 + 7200, 0.0f, cse_sxd);
    EXPECT_NEAR(b.c.G, 36.0 * std::exp(-1.0) * 2 / 3.6e9, 1e-15);

    CseDxd d{36.0f, 1.0f, 7.2f, 0.1f};
    Bench b2(CSE_DXD, &d, 1.0f);
    b2.at(0, 1.0f, cse_dxd);
    b2.at(3600 * 3, 0.0f, cse_dxd);
    EXPECT_NEAR(b2.c.G, (36.0 * std::exp(-3.0) + 7.2 * std::exp(-0.3)) / 3.6e9, 1e-15);
}

// The year wraps: a start on day 365 seen on day 1.
TEST(CseModels, ElapsedTimeAcrossTheYearEnd)
{
    TestState s;
    s->dayofy = 1;
    s->stepEndTime = 3600;
    EXPECT_EQ(timeElapsed(s.fms, 365, 82800), 7200);
    EXPECT_EQ(timeElapsed(s.fms, 1, 600), 3000);
    s->dayofy = 3;
    EXPECT_EQ(timeElapsed(s.fms, 1, 7200), 2 * 86400 - 3600);
}

// Boundary layer: a = S h rho_f m, b = a / K. Deposition surface: a has no scale, b = S f r.
TEST(CseModels, SinkCoefficients)
{
    AirNode zone{};
    zone.rho = 1.2;
    float S = 1.0f;
    CseBls bls{1e-3f, 1.2f, 100.0f, 5.0f};
    CseElement e{};
    e.data = &bls;
    CseSink s{};
    s.element = &e;
    s.zoneNode = &zone;
    s.sched = &S;
    s.mult = 10.0f;
    TestState t;
    bls_coefficients(t.fms, &s);
    EXPECT_NEAR(s.a, 0.012, 1e-8);
    EXPECT_NEAR(s.b, 1.2e-4, 1e-10);

    CseDvr dvr{2e-4f, 1e-5f, 30.0f, 0.25f};
    e.data = &dvr;
    s.mult = 2.0f;
    S = 0.0f;
    dvr_coefficients(t.fms, &s);
    EXPECT_NEAR(s.a, 30.0 * 2 * 2e-4 * 1.2, 1e-9);
    EXPECT_EQ(s.b, 0.0);
    S = 1.0f;
    dvr_coefficients(t.fms, &s);
    EXPECT_NEAR(s.b, 0.25 * 1e-5, 1e-12);
}

// --- Reading and placing them in a whole project. ---

struct ProjectState : TestState {
    explicit ProjectState(const std::string& text)
    {
        openLog();
        fms->msBlock = alc_eci(fms, 32000, "ms-block");
        fms->mbBlock = alc_eci(fms, 8000, "mb-block");
        std::string path = scratchDir() + "/p.prj";
        writeFile(path, text);
        EXPECT_EQ(prj_read(fms, path.c_str()), 0) << fms->lastError;
    }
    ~ProjectState() { releaseRunMemory(fms); }
};

static std::string office()
{
    return readFile(kProjects + "/ctm_office.prj");
}


// The species table follows the simulated list, not the order of the definitions.
TEST(Species, TableInTheOrderOfTheSimulatedList)
{
    ProjectState ts(replaceFirst(office(), "3 1 2 3 ! simulated", "3 2 1 3 ! simulated"));
    ASSERT_EQ(ts->nctm, 3);
    EXPECT_STREQ(ts->ctm[0].name, "H2O");
    EXPECT_STREQ(ts->ctm[1].name, "AIR");
    EXPECT_STREQ(ts->ctm[2].name, "PM25");
    EXPECT_EQ(ts->nNonTrace, 2);
    EXPECT_EQ(ts->iH2O, 0);
    EXPECT_FLOAT_EQ(ts->ctm[1].Rgas, (float)(8314.41 / 28.97));
    EXPECT_FLOAT_EQ(ts->ctm[1].Cv, 1006.0f - (float)(8314.41 / 28.97));
    EXPECT_DOUBLE_EQ(ts->Rs[0], ts->ctm[0].Rgas);
    EXPECT_EQ(ts->CpS[2], 1000.0);
    EXPECT_EQ(ts->penf1[2], 1.0f);
    EXPECT_FLOAT_EQ(ts->ctm[2].diameter, 2.5e-6f);
}

// Set-up binds instances to their zones and sorts them into trace, non-trace and sink lists;
// the ambient takes the species' default fractions and zones their reactions.
TEST(Species, SetUpDistributesInstancesAndSinks)
{
    ProjectState ts(office());
    ts->listLevel = 0;
    sim_data(ts.fms);
    ASSERT_NE(ts->ambtMf, nullptr);
    EXPECT_DOUBLE_EQ(ts->ambtMf[0], (double)0.994f);
    // The ambient's water vapour follows its humidity; the non-trace fractions sum to 1.
    EXPECT_GT(ts->ambt->Mf[1], 0.007);
    EXPECT_NEAR(ts->ambt->Mf[0] + ts->ambt->Mf[1], 1.0, 1e-12);
    EXPECT_EQ(ts->ncss, 2);
    EXPECT_EQ(ts->nbls, 1);
    EXPECT_EQ(ts->ndvr, 0);
    ASSERT_NE(ts->css[1], nullptr);  // the occupant's moisture: non-trace
    EXPECT_EQ(ts->css[1]->element->type, CSE_CCF);
    EXPECT_EQ(ts->css[1]->zoneNode, ts->nodeList);
    EXPECT_EQ(ts->css[1]->next, nullptr);
    ASSERT_NE(ts->css[0], nullptr);  // fine particles: trace
    EXPECT_EQ(ts->css[0]->element->type, CSE_DVS);
    ASSERT_NE(ts->bls[1], nullptr);  // the walls' moisture
    EXPECT_FLOAT_EQ(ts->bls[1]->capacity, 10.0f);
    EXPECT_DOUBLE_EQ(ts->bls[1]->Cs, (double)0.01f);
    EXPECT_EQ(ts->bls[1]->species, 1);
    ASSERT_NE(ts->nodeList->rxn, nullptr);
    const Reaction* r = static_cast<const Reaction*>(ts->nodeList->rxn);
    ASSERT_EQ(r->n, 1);
    EXPECT_EQ(r->prod[0], 2);
    EXPECT_EQ(r->src[0], 2);
    EXPECT_FLOAT_EQ(r->coef[0], -1e-5f);
    EXPECT_EQ(ts->nodeList->next->rxn, nullptr);
}

// A super element places one instance for every listed element whose species is simulated;
// zero multipliers drop regular instances, and a sink in a zone whose concentrations are
// fixed is set aside with a warning.
TEST(Species, SuperElementsMultipliersAndFixedZones)
{
    std::string text = office();
    text = replaceFirst(text, "3 ! source/sink elements", "5 ! source/sink elements");
    text = replaceFirst(text, " 1e-4 50 0 0\n-999",
                    " 1e-4 50 0 0\n4 NOX ccf other\nNot simulated\n 1 0 0 0\n5 H2O sup all\nThree of them\n 3 1 3 4\n-999");
    text = replaceFirst(text, "1 1 1 0 0 2 0 0 0 0 0 0 0 0 0 0 0", "1 1 5 0 0 2 0 0 0 0 0 0 0 0 0 0 0");
    text = replaceFirst(text, "3 1 3 0 0 1 0", "3 1 3 0 0 0 0");
    text = replaceFirst(text, "2 1 2 0 0 1 0.01", "2 2 2 0 0 1 0.01");
    text = replaceFirst(text, "2 3 0 0 0 2 0.5 30 295.15 0 Attic", "2 1 0 0 0 2 0.5 30 295.15 0 Attic");
    ProjectState ts(text);
    sim_data(ts.fms);
    EXPECT_EQ(ts->ncss, 2);  // moisture and particles from the super element; the zero multiplier dropped
    ASSERT_NE(ts->css[1], nullptr);
    ASSERT_NE(ts->css[0], nullptr);
    EXPECT_EQ(ts->css[0]->element->type, CSE_DVS);
    EXPECT_EQ(ts->css[0]->next, nullptr);  // the one of instance 3 had multiplier 0
    EXPECT_EQ(ts->bls[1], nullptr);
    ASSERT_NE(ts->blsInactive, nullptr);
    EXPECT_NE(ts.log().find("Boundary layer sink 2 is in zone Attic, whose concentrations are not solved: it is not "
                            "simulated"),
              std::string::npos);
}

// Reaction terms naming a species that is not simulated are dropped with a warning.
TEST(Species, ReactionTermsOfUnsimulatedSpeciesAreDropped)
{
    std::string text = replaceFirst(office(), "1 1 settling", "1 2 settling");
    text = replaceFirst(text, "PM25 PM25 -1e-5", "PM10 PM25 -1e-5\nAIR PM25 2e-6");
    ProjectState ts(text);
    const Reaction* r = ts->KnrLst[1];
    ASSERT_EQ(r->n, 1);
    EXPECT_EQ(r->prod[0], 0);
    EXPECT_EQ(r->src[0], 2);
    EXPECT_NE(ts.log().find("Reaction product contaminant not simulated: PM10"), std::string::npos);
}

struct Broken {
    const char* from;
    const char* to;
    const char* message;
};

// Every reader error ends the run with its message.
TEST(Species, ReaderErrors)
{
    const Broken cases[] = {
        {"3 1 2 3 ! simulated", "3 1 2 4 ! simulated", "Simulated contaminant 4 is not defined"},
        {"3 1 2 3 ! simulated", "3 1 1 3 ! simulated", "Simulated contaminant 1 is listed twice"},
        {"3 1 2 3 ! simulated", "3 3 1 2 ! simulated", "Non-trace contaminant 1 is listed after a trace contaminant"},
        {"1 0 1 28.97", "1 0 1 0", "Molar mass of contaminant AIR must be positive"},
        {"2 0 1 18.02", "3 0 1 18.02", "Contaminant number mis-match: 2"},
        {"1 1 settling", "2 1 settling", "Reaction number mis-match: 1"},
        {"1 1 settling", "1 -1 settling", "Invalid reaction term count: -1"},
        {"1 H2O ccf person", "2 H2O ccf person", "S/S element number mis-match: 1"},
        {"1 H2O ccf person", "1 H2O xyz person", "Undefined Element Type: xyz"},
        {"1 H2O ccf person", "1 H2O xyz person", "Invalid S/S element type 14"},
        {" 1e-3 1.2 100 10 0 0 0", " 1e-3 1.2 0 10 0 0 0", "S/S element 2 (walls): the partition coefficient must not be 0"},
        {"1 H2O ccf person\nMoisture of one seated occupant\n 2e-5 0 0 0", "1 H2O cut person\nx\n 6e-6 0 0 0",
         "S/S element 1 (person): the cut-off concentration must not be 0"},
        {"1 H2O ccf person\nMoisture of one seated occupant\n 2e-5 0 0 0", "1 H2O plm person\nx\n 6e-6 1 0 0 0",
         "S/S element 1 (person): the time tmin must not be 0"},
        {"1 H2O ccf person\nMoisture of one seated occupant\n 2e-5 0 0 0", "1 H2O pkm person\nx\n 6e-6 0 3600 0 0",
         "S/S element 1 (person): the width must not be 0"},
        {"1 H2O ccf person\nMoisture of one seated occupant\n 2e-5 0 0 0", "1 H2O pkm person\nx\n 6e-6 1 0 0 0",
         "S/S element 1 (person): the peak time must not be 0"},
        {"1 H2O ccf person\nMoisture of one seated occupant\n 2e-5 0 0 0", "1 H2O sup person\nx\n 2 2 9",
         "Invalid element number 9 in super S/S element 1"},
        {"1 H2O ccf person\nMoisture of one seated occupant\n 2e-5 0 0 0", "1 H2O sup person\nx\n 2 1 2",
         "Super S/S element 1 lists super element 1"},
        {"1 H2O ccf person\nMoisture of one seated occupant\n 2e-5 0 0 0", "1 H2O sup person\nx\n -1",
         "Invalid super element count: -1"},
        {"1 1 1 0 0 2 0", "1 5 1 0 0 2 0", "Invalid zone number, source 1"},
        {"1 1 1 0 0 2 0", "1 1 7 0 0 2 0", "Invalid element number, source 1"},
        {"1 1 1 0 0 2 0", "1 1 1 3 0 2 0", "Invalid week-schedule number, source 1"},
        {"1 1 1 0 0 2 0", "1 1 1 0 2 2 0", "Invalid control node number, source 1"},
        {"2 1 2 0 0 1 0.01", "3 1 2 0 0 1 0.01", "S/S number mis-match 2"},
    };
    for (const Broken& c : cases) {
        SCOPED_TRACE(c.message);
        std::string path = scratchDir() + "/p.prj";
        writeFile(path, replaceFirst(office(), c.from, c.to));
        ChildResult r = runChild([&] {
            TestState t;
            t->msBlock = alc_eci(t.fms, 32000, "ms-block");
            t->mbBlock = alc_eci(t.fms, 8000, "mb-block");
            prj_read(t.fms, path.c_str());
            _exit(0);
        });
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(std::string("ERROR ") + c.message + "\n"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("FATAL Project file errors must be fixed.\n"), std::string::npos);
    }
}
