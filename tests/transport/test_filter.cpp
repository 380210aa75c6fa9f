// Filters: the element and filter sections with their refusals, every model's penetrations,
// breakthrough of gas filters, the loading bookkeeping, and the filters of an assembled network.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "airflow/afe.h"
#include "engine/driver.h"
#include "network/airnet.h"
#include "network/sim_data.h"
#include "project/prj_read.h"
#include "filter_file.h"

namespace {

const std::vector<SpeciesDef> kGases = {{"A", 0.0, 0.0}, {"B", 0.0, 0.0}};

// A link from N to M with the given flows; N and M hold the mass fractions their flows carry.
struct Link {
    AirNode N{}, M{};
    AirLink l{};
    double mfN[2], mfM[2];

    Link(Filter* f, double F0, double F1 = 0.0, std::vector<double> fromN = {0.01, 0.02},
         std::vector<double> fromM = {0.001, 0.004})
    {
        mfN[0] = fromN[0];
        mfN[1] = fromN[1];
        mfM[0] = fromM[0];
        mfM[1] = fromM[1];
        N.Mf = mfN;
        M.Mf = mfM;
        N.rho = M.rho = 1.2041;
        N.T = M.T = 293.15;
        l.nodeN = &N;
        l.nodeM = &M;
        l.filter = f;
        l.Flow[0] = F0;
        l.Flow[1] = F1;
    }
};

}  // namespace

// --- Reading ---

static const char* const kLibrary = R"(6 ! filter elements
1 cef 2 2 1 0 0 coarse
constant efficiency; C is not simulated and its line is skipped
3
A 0.9
C 7 whatever
B 0.25
2 pf0 1 1 1 0 0 particles
efficiency against diameter
4
1e-8 0.2
1e-7 0.2
1e-6 0.6
1e-5 0.9
3 gf0 1 1 1 0 0 carbon
activated carbon
2
C 0.9 2
not a point
nor this
A 0.5 3
0 0.9
0.5 0.9
1 0.1
4 uv1 1 1 1 0 0 lamp
ultraviolet lamp
0.2 1 0.5 0.5 0 100 0 0 0 0 0 0 0 0
5 spf 1 1 1 0 0 stages
coarse, then carbon
2
1 3
6 spf 1 1 1 0 0 plain
two constant stages
2 1 1
-999
2 ! filters
1 1 1
0.25 2
A 0.1
C 99
2 5 2
0 0
0.3 1
A 0.2
-999
)";

TEST(FilterRead, ElementsOfEveryTypeAndTheirFilters)
{
    FilterFile f(speciesSection({{"A", std::pow(10.0, -6.5), 0.5}, {"B", 0.0, 1.0}, {"C", 0.0, 0.0}}, 2),
                 kLibrary);
    FlowmirState* fms = f.fms();
    ASSERT_EQ(f.readFilters(), 0) << f.log();
    EXPECT_TRUE(f.logHas("Filter Element section read successfully.\n"));
    EXPECT_TRUE(f.logHas("Filter section read successfully.\n"));
    ASSERT_EQ(fms->nflte, 6);
    ASSERT_EQ(fms->nflt, 2);

    const int types[] = {FLT_CEF, FLT_PF0, FLT_GF0, FLT_UV1, FLT_SPF, FLT_SPF};
    const FilterModel models[] = {flt_cef, flt_pf0, flt_gf0, flt_uv1, flt_spf, flt_spf};
    const char* names[] = {"coarse", "particles", "carbon", "lamp", "stages", "plain"};
    for (int i = 1; i <= 6; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(f.element(i)->nr, i);
        EXPECT_EQ(f.element(i)->type, types[i - 1]);
        EXPECT_EQ(f.element(i)->model, models[i - 1]);
        EXPECT_STREQ(f.element(i)->name, names[i - 1]);
    }
    EXPECT_FLOAT_EQ(f.element(1)->mass, 4.0f);
    EXPECT_FLOAT_EQ(f.element(1)->rmass, 0.25f);

    auto* cef = static_cast<FltCef*>(f.element(1)->data);
    EXPECT_FLOAT_EQ(cef->eff[0], 0.9f);
    EXPECT_FLOAT_EQ(cef->eff[1], 0.25f);

    // log10(d) = -6.5 lies in the middle segment: the cubic between slopes 0 and 0.3 gives
    // 0.4 - 0.3/8 there; B is a gas.
    auto* pf0 = static_cast<FltCef*>(f.element(2)->data);
    EXPECT_NEAR(pf0->eff[0], 0.3625, 1e-5);
    EXPECT_EQ(pf0->eff[1], 0.0f);

    auto* gf0 = static_cast<FltGf0*>(f.element(3)->data);
    ASSERT_NE(gf0->fit[0], nullptr);
    EXPECT_EQ(gf0->fit[0]->n, 3);
    EXPECT_EQ(gf0->fit[1], nullptr);
    EXPECT_FLOAT_EQ(gf0->bkeff[0], 0.5f);
    EXPECT_EQ(f.element(3)->trackBreakthrough, 1);
    EXPECT_EQ(f.element(1)->trackBreakthrough, 0);

    auto* uv = static_cast<FltUv1*>(f.element(4)->data);
    EXPECT_NEAR(uv->Qrel, 0.5 / 1.2041, 1e-6);
    EXPECT_NEAR(uv->D0, -std::log(0.2) / 0.5, 1e-5);
    EXPECT_FLOAT_EQ(uv->c0, 100.0f);

    // Stages in flow order; a super filter tracks breakthrough when a stage does.
    auto* spf = static_cast<FltSpf*>(f.element(5)->data);
    ASSERT_EQ(spf->n, 2);
    EXPECT_EQ(spf->pfe[0], f.element(1));
    EXPECT_EQ(spf->pfe[1], f.element(3));
    EXPECT_EQ(f.element(5)->trackBreakthrough, 1);
    EXPECT_EQ(f.element(6)->trackBreakthrough, 0);

    // Filter 1: initial loading = relative value x the element's mass; C's line is skipped.
    FilterData* top = f.filter(1)->top;
    EXPECT_EQ(f.filter(1)->nr, 1);
    EXPECT_EQ(top->element, f.element(1));
    EXPECT_EQ(top->nextSub, nullptr);
    EXPECT_DOUBLE_EQ(top->relLoad, 0.25);
    EXPECT_FLOAT_EQ(top->loadi[0], 0.4f);
    EXPECT_NEAR(top->loads[0], 0.4, 1e-7);
    EXPECT_EQ(top->loadi[1], 0.0f);
    EXPECT_EQ(top->penf[0], 1.0f);
    EXPECT_EQ(top->changed, 1);

    // Filter 2: a chain of two stage records, each with its element and loading.
    FilterData* st = f.filter(2)->top;
    FilterData* s1 = st->nextSub;
    ASSERT_NE(s1, nullptr);
    FilterData* s2 = s1->nextSub;
    ASSERT_NE(s2, nullptr);
    EXPECT_EQ(s2->nextSub, nullptr);
    EXPECT_EQ(st->lastSub, s2);
    EXPECT_EQ(s2->lastSub, s1);
    EXPECT_EQ(s1->lastSub, nullptr);
    EXPECT_EQ(s1->element, f.element(1));
    EXPECT_EQ(s2->element, f.element(3));
    EXPECT_DOUBLE_EQ(s2->relLoad, 0.3);
    EXPECT_FLOAT_EQ(s2->loadi[0], 0.2f);  // carbon's mass is 1 kg
    EXPECT_NEAR(st->loads[0], 0.2, 1e-7);
    EXPECT_EQ(f.logCount("WARNING"), 0);

    EXPECT_TRUE(f.balanced());
}

// The severity word of the logged report whose message is `message`, or "" when none is.
static std::string severityOf(const std::string& log, const std::string& message)
{
    size_t at = log.find(")\n " + message + "\n");
    if (at == std::string::npos) return "";
    size_t where = log.rfind("  (file ", at);
    size_t start = log.rfind('\n', where);
    start = start == std::string::npos ? 0 : start + 1;
    return log.substr(start, where - start);
}

struct BrokenSection {
    const char* elements;
    const char* filters;  // read after the elements when given
    const char* message;
};

// Two valid elements for the refusals of the filter section.
#define ELEMENTS                        \
    "2\n"                               \
    "1 cef 1 1 1 0 0 c\nconstant\n1\n" \
    "A 0.5\n"                           \
    "2 spf 1 1 1 0 0 s\nsuper\n2\n1 1\n-999\n"

TEST(FilterRead, RefusalsOfBrokenSections)
{
    const char* readErrorE =
        "PRJ read error in Filter Element section; enable the echo feature then see Log file for where error "
        "occurred";
    const BrokenSection cases[] = {
        {"1\n2 cef 1 1 1 0 0 c\nd\n0\n-999\n", nullptr, "Filter element number mis-match: 1"},
        {"1\n1 xyz 1 1 1 0 0 c\nd\n0\n-999\n", nullptr, "Undefined Element Type: xyz"},
        {"1\n1 xyz 1 1 1 0 0 c\nd\n0\n-999\n", nullptr, "Invalid filter element type 5"},
        {"1\n1 cef 0.001 0.01 0.01 0 0 light\nd\n0\n-999\n", nullptr, "Mass required for filter: light"},
        {"1\n1 cef 1 1 1 0 0 c\nd\n1\nA 1.5\n-999\n", nullptr, "Invalid efficiency for filter element 1"},
        {"1\n1 cef 1 1 1 0 0 c\nd\n1\nB -0.1\n-999\n", nullptr, "Invalid efficiency for filter element 1"},
        {"1\n1 cef 1 1 1 0 0 c\nd\n-1\n-999\n", nullptr, "Invalid number of efficiencies: -1, filter element 1"},
        {"1\n1 cef 1 1 1 0 0 c\nd\n0\n-998\n", nullptr, readErrorE},
        // efficiency above 1
        {"1\n1 pf0 1 1 1 0 0 p\nd\n3\n1e-7 0.5\n1e-6 0.5\n1e-5 1.2\n-999\n", nullptr,
         "Spline fit is not suitable for NIMBAL"},
        {"1\n1 pf0 1 1 1 0 0 p\nd\n1\n1e-7 0.5\n-999\n", nullptr, "Invalid number of points: 1, filter element 1"},
        {"1\n1 pf0 1 1 1 0 0 p\nd\n2\n0 0.5\n1e-6 0.5\n-999\n", nullptr,
         "Invalid particle diameter 0, filter element 1"},
        // efficiency rising with loading
        {"1\n1 gf0 1 1 1 0 0 g\nd\n1\nA 0.1 3\n0 0.5\n0.5 0.5\n1 0.8\n-999\n", nullptr,
         "Spline fit is not suitable for NIMBAL"},
        {"1\n1 gf0 1 1 1 0 0 g\nd\n1\nA 0.1 1\n0 0.5\n-999\n", nullptr,
         "Invalid number of points: 1, filter element 1"},
        {"1\n1 gf0 1 1 1 0 0 g\nd\n1\nC 0.1 -4\n-999\n", nullptr, "Invalid number of points: -4, filter element 1"},
        {"1\n1 gf0 1 1 1 0 0 g\nd\n-2\n-999\n", nullptr, "Invalid number of species: -2, filter element 1"},
        {"1\n1 uv1 1 1 1 0 0 u\nd\n0.2 1 0.5 0 0 100 0 0 0 0 0 0 0 0\n-999\n", nullptr,
         "UV filter element 1: kRated must not be 0"},
        {"1\n1 uv1 1 1 1 0 0 u\nd\n0 1 0.5 0.5 0 100 0 0 0 0 0 0 0 0\n-999\n", nullptr,
         "UV filter element 1: survRated must be positive"},
        {"1\n1 uv1 1 1 1 0 0 u\nd\n-0.2 1 0.5 0.5 0 100 0 0 0 0 0 0 0 0\n-999\n", nullptr,
         "UV filter element 1: survRated must be positive"},
        {"1\n1 uv1 1 1 1 0 0 u\nd\n0.2 0 0.5 0.5 0 100 0 0 0 0 0 0 0 0\n-999\n", nullptr,
         "UV filter element 1: flowScale must not be 0"},
        {"1\n1 uv1 1 1 1 0 0 u\nd\n0.2 1 0 0.5 0 100 0 0 0 0 0 0 0 0\n-999\n", nullptr,
         "UV filter element 1: flowRated must not be 0"},
        {"1\n1 spf 1 1 1 0 0 s\nd\n-1\n-999\n", nullptr, "Invalid number of sub-elements: -1, filter element 1"},
        {"2\n1 cef 1 1 1 0 0 c\nd\n0\n2 spf 1 1 1 0 0 s\nd\n2\n1 3\n-999\n", nullptr,
         "Invalid sub-element number 3 in super filter element 2"},
        {"2\n1 cef 1 1 1 0 0 c\nd\n0\n2 spf 1 1 1 0 0 s\nd\n2\n0 1\n-999\n", nullptr,
         "Invalid sub-element number 0 in super filter element 2"},
        {"2\n1 spf 1 1 1 0 0 inner\nd\n0\n2 spf 1 1 1 0 0 s\nd\n1\n1\n-999\n", nullptr,
         "Super filter element 2 cannot hold super filter element 1"},
        {"-1\n-999\n", nullptr, "Invalid record count in Filter Element section: -1"},
        {"100000\n-999\n", nullptr, "Invalid record count in Filter Element section: 100000"},
        {ELEMENTS, "1\n2 1 1\n0 0\n-999\n", "Filter number mis-match: 1"},
        {ELEMENTS, "1\n1 3 1\n0 0\n-999\n", "Invalid filter element number: 3"},
        {ELEMENTS, "1\n1 0 1\n0 0\n-999\n", "Invalid filter element number: 0"},
        {ELEMENTS, "1\n1 1 2\n0 0\n0 0\n-999\n", "Number of sub-filter loads does not mach filter element"},
        {ELEMENTS, "1\n1 2 1\n0 0\n-999\n", "Number of sub-filter loads does not mach filter element"},
        {ELEMENTS, "1\n1 1 1\n0 -1\n-999\n", "Invalid number of species loadings: -1, filter 1"},
        {ELEMENTS, "-3\n-999\n", "Invalid record count in Filter section: -3"},
        {ELEMENTS, "0\n-99\n",
         "PRJ read error in Filter section; enable the echo feature then see Log file for where error occurred"},
    };
    for (const BrokenSection& c : cases) {
        SCOPED_TRACE(c.message);
        FilterFile f(speciesSection(kGases), std::string(c.elements) + (c.filters ? c.filters : ""));
        flte_read(f.fms());
        if (c.filters) {
            ASSERT_EQ(f.errors(), 0) << f.log();
            filter_read(f.fms());
        }
        EXPECT_GE(f.errors(), 1);
        EXPECT_EQ(severityOf(f.log(), c.message), "ERROR") << f.log();
        EXPECT_TRUE(f.balanced());
    }
}

// --- Penetrations of every model ---

static const char* const kModels = R"(8 ! filter elements
1 cef 1 1 1 0 0 cef90
ninety percent of A
1
A 0.9
2 cef 1 1 1 0 0 cef50
half of A
1
A 0.5
3 cef 1 1 1 0 0 cef80
four fifths of A
1
A 0.8
4 spf 1 1 1 0 0 stages
the two in series
2
2 3
5 uv1 1 1 1 0 0 lamp
survival 0.2 at the rated flow 0.5 kg/s of standard air, kRated 0.5, no ageing
0.2 1 0.5 0.5 0 100 0 0 0 0 0 0 0 0
6 uv1 1 1 1 0 0 aged
ageing 100 - 10 ln(hours)
0.2 1 0.5 0.5 1 100 0 0 0 0 100 -10 0 0
7 uv1 1 1 1 0 0 spent
ageing below zero
0.2 1 0.5 0.5 1 100 0 0 0 0 -5 0 0 0
8 pf0 1 1 1 0 0 particles
efficiency against diameter
4
1e-8 0.2
1e-7 0.2
1e-6 0.6
1e-5 0.9
-999
8 ! filters, one per element
1 1 1
0 0
2 2 1
0 0
3 3 1
0 0
4 4 2
0 0
0 0
5 5 1
0 0
6 6 1
0 0
7 7 1
0 0
8 8 1
0 0
-999
)";

struct PenetrationCase {
    const char* what;
    int filter;      // 0: none
    double F0;       // kg/s
    int elapsed;     // s since the start of the run
    double pen[2];   // A, B
};

TEST(FilterModels, PenetrationsOfEveryModel)
{
    // A: 10^-6.5 m particles with kUV = kRated; B: 0.1 mm particles with twice the susceptibility.
    FilterFile f(speciesSection({{"A", std::pow(10.0, -6.5), 0.5}, {"B", 1e-4, 1.0}}), kModels);
    FlowmirState* fms = f.fms();
    ASSERT_EQ(f.readFilters(), 0) << f.log();

    // B's diameter lies beyond the last point: warned once, its extrapolated 1.2 clamped to 1.
    EXPECT_EQ(f.logCount("WARNING"), 1);
    EXPECT_TRUE(f.logHas(" Particle diameter outside range of fit -\n\tspecies: B\n\tfilter: particles\n"));

    // With rho = 1.1 the rated condition is the rated volume flow 0.5/1.2041 m3/s, i.e. a mass
    // flow of 0.5 x 1.1 / 1.2041 kg/s: the dose is then D0 and A survives with survRated.
    const double rho = 1.1;
    const double Frated = 0.5 * rho / 1.2041;
    const double aged = 1.0 - 0.1 * std::log(10.0);  // 10 hours of ageing
    const PenetrationCase cases[] = {
        {"no filter", 0, 1.0, 0, {1.0, 1.0}},
        {"cef 0.9 of A only", 1, 1.0, 0, {0.1, 1.0}},
        {"cef against the flow", 1, -1.0, 0, {0.1, 1.0}},
        {"two cef stages 0.5 and 0.8", 4, 1.0, 0, {0.1, 1.0}},
        {"uv at the rated flow", 5, Frated, 0, {0.2, 0.04}},
        {"uv at twice the rated flow", 5, 2.0 * Frated, 0, {std::sqrt(0.2), 0.2}},
        {"uv without forward flow", 5, -0.3, 0, {std::exp(-0.5), std::exp(-1.0)}},
        {"uv at rest", 5, 0.0, 0, {std::exp(-0.5), std::exp(-1.0)}},
        {"uv aged 10 hours", 6, Frated, 36000, {std::pow(0.2, aged), std::pow(0.04, aged)}},
        {"uv at the start of the run", 6, Frated, 0, {0.2, 0.04}},
        {"uv aged below zero", 7, Frated, 3600, {std::pow(0.2, 0.1), std::pow(0.04, 0.1)}},
        {"pf0 between points and beyond the fit", 8, 1.0, 0, {1.0 - 0.3625, 0.0}},
    };
    fms->date0 = 10;
    fms->time0 = 0;
    fms->dayofy = 10;
    for (const PenetrationCase& c : cases) {
        SCOPED_TRACE(c.what);
        fms->stepEndTime = c.elapsed;
        Link k(c.filter ? f.filter(c.filter) : nullptr, c.F0);
        k.N.rho = rho;
        const float* p = filter_sim(fms, &k.l);
        ASSERT_NE(p, nullptr);
        if (!c.filter) {
            EXPECT_EQ(p, fms->penf1);
        }
        for (int j = 0; j < 2; j++) {
            EXPECT_NEAR(p[j], c.pen[j], 1e-5) << j;
            EXPECT_EQ(filter_get_eff(fms, &k.l)[j], p[j]);
        }
        if (c.filter) {
            const FilterData* top = f.filter(c.filter)->top;
            for (int j = 0; j < 2; j++)
                EXPECT_NEAR(top->eff[j], 1.0 - c.pen[j], 1e-5) << j;
        }
    }
    EXPECT_TRUE(f.balanced());
}

// --- Gas filters and breakthrough ---

// Efficiency 0.9 up to a relative loading of 0.5, then falling linearly to 0.1 at 1.
static const char* const kCarbon = R"(1
1 gf0 1 1 1 0 0 carbon
activated carbon, 1 kg
2
A 0.5 3
0 0.9
0.5 0.9
1 0.1
B 0.25 3
0 0.9
0.5 0.9
1 0.1
-999
1
1 1 1
0.6 0
-999
)";

TEST(FilterModels, GasFilterBreaksThroughOncePerSpecies)
{
    FilterFile f(speciesSection(kGases), kCarbon);
    FlowmirState* fms = f.fms();
    ASSERT_EQ(f.readFilters(), 0) << f.log();
    FilterData* fd = f.filter(1)->top;
    Link k(f.filter(1), 1.0);

    struct Step {
        double relLoad;
        double eff;        // both species share the curve
        int bkA, bkB;      // breakthrough times so far, 0 none
    };
    // A breaks through at 0.484 <= 0.5, B at 0.18 <= 0.25 (0.26 is not yet); loaded past the
    // last point the curve would give -0.22.
    const Step steps[] = {
        {0.3, 0.9, 0, 0},         {0.6, 0.74, 0, 0},        {0.7, 0.58, 0, 0},
        {0.76, 0.484, 14400, 0},  {0.8, 0.42, 14400, 0},    {0.9, 0.26, 14400, 0},
        {0.95, 0.18, 14400, 25200}, {1.2, 0.0, 14400, 25200},
    };
    fms->dayofy = 5;
    int i = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.relLoad);
        fms->stepEndTime = 3600 * ++i;
        fd->relLoad = s.relLoad;
        const float* p = filter_sim(fms, &k.l);
        for (int j = 0; j < 2; j++) {
            EXPECT_NEAR(fd->eff[j], s.eff, 1e-6);
            EXPECT_NEAR(p[j], 1.0 - s.eff, 1e-6);
        }
        EXPECT_EQ(fd->bktime[0], s.bkA);
        EXPECT_EQ(fd->bktime[1], s.bkB);
        EXPECT_EQ(fd->bkday[0], s.bkA ? 5 : 0);
        EXPECT_EQ(fd->bkday[1], s.bkB ? 5 : 0);
    }
    EXPECT_EQ(f.logCount("Breakthrough"), 2);
    EXPECT_EQ(f.logCount(" Breakthrough in carbon of A on Jan05 at 04:00:00\n"), 1);
    EXPECT_EQ(f.logCount(" Breakthrough in carbon of B on Jan05 at 07:00:00\n"), 1);
    EXPECT_TRUE(f.balanced());
}

// The bookkeeping's loading lowers the efficiency of the next step.
TEST(FilterModels, LoadingDrivesTheGasFilterToBreakthrough)
{
    std::string carbon = kCarbon;
    carbon.replace(carbon.find("0.6 0\n"), 6, "0.7 0\n");
    FilterFile f(speciesSection(kGases), carbon);
    FlowmirState* fms = f.fms();
    ASSERT_EQ(f.readFilters(), 0) << f.log();
    Link k(f.filter(1), 1.0, 0.0, {0.01, 0.0});
    fms->linkList = &k.l;
    fms->dayofy = 1;
    FilterData* fd = f.filter(1)->top;

    fms->stepEndTime = 10;
    filter_sim(fms, &k.l);
    EXPECT_NEAR(fd->eff[0], 0.58, 1e-6);
    sum_filter_compute(fms, 10);
    EXPECT_NEAR(fd->loads[0], 0.058, 1e-7);  // 0.58 x 0.01 x 1 kg/s x 10 s
    EXPECT_NEAR(fd->relLoad, 0.758, 1e-7);
    EXPECT_EQ(fd->bkday[0], 0);

    fms->stepEndTime = 20;
    filter_sim(fms, &k.l);
    EXPECT_NEAR(fd->eff[0], 0.9 - 1.6 * 0.258, 1e-6);
    EXPECT_EQ(fd->bkday[0], 1);
    EXPECT_EQ(fd->bktime[0], 20);
    EXPECT_EQ(fd->bkday[1], 0);
    EXPECT_TRUE(f.logHas(" Breakthrough in carbon of A on Jan01 at 00:00:20\n"));
    fms->linkList = nullptr;
    EXPECT_TRUE(f.balanced());
}

// --- Loading bookkeeping ---

// A simple filter (0.9 of A, 2 kg) and a super filter of 0.5 of A (1 kg) followed by 0.8 of A
// and 0.5 of B (4 kg, initially loaded with 0.04 kg of A).
static const char* const kLoading = R"(4
1 cef 2 1 1 0 0 single
simple
1
A 0.9
2 cef 1 1 1 0 0 first
first stage
1
A 0.5
3 cef 2 2 1 0 0 second
second stage
2
A 0.8
B 0.5
4 spf 1 1 1 0 0 pair
the two stages
2
2 3
-999
2
1 1 1
0.1 0
2 4 2
0 0
0.05 1
A 0.01
-999
)";

struct LoadingCase {
    const char* what;
    int filter;
    double F0, F1;
    double loads[2][2];   // per stage (one for the simple filter), A and B
    double relLoad[2];
    double topLoads[2];
    double Min[2], Mout[2];
};

// Upstream N holds 0.01 of A and 0.02 of B, M 0.001 and 0.004; steps of 10 s.
TEST(FilterSum, LoadsAndMassesOfOneStep)
{
    const LoadingCase cases[] = {
        {"simple, forward", 1, 2.0, 0.0, {{0.18, 0.0}}, {0.19}, {0.18, 0.0}, {0.2, 0.4}, {0.02, 0.4}},
        {"simple, reverse", 1, -2.0, 0.0, {{0.018, 0.0}}, {0.109}, {0.018, 0.0}, {0.02, 0.08}, {0.002, 0.08}},
        {"simple, two-way", 1, 2.0, -1.0, {{0.189, 0.0}}, {0.1945}, {0.189, 0.0}, {0.21, 0.44}, {0.021, 0.44}},
        // The second stage sees what the first lets through: 0.005 of A.
        {"super, forward", 2, 2.0, 0.0, {{0.1, 0.0}, {0.12, 0.2}}, {0.1, 0.12}, {0.22, 0.2}, {0.2, 0.4},
         {0.02, 0.2}},
        // From M the second stage comes first and the first sees 0.2 of its A.
        {"super, reverse", 2, -2.0, 0.0, {{0.002, 0.0}, {0.056, 0.04}}, {0.002, 0.064}, {0.058, 0.04},
         {0.02, 0.08}, {0.002, 0.04}},
        {"super, two-way", 2, 2.0, -1.0, {{0.101, 0.0}, {0.128, 0.22}}, {0.101, 0.127}, {0.229, 0.22},
         {0.21, 0.44}, {0.021, 0.22}},
        {"super, two flows forward", 2, 1.5, 0.5, {{0.1, 0.0}, {0.12, 0.2}}, {0.1, 0.12}, {0.22, 0.2},
         {0.2, 0.4}, {0.02, 0.2}},
    };
    for (const LoadingCase& c : cases) {
        SCOPED_TRACE(c.what);
        FilterFile f(speciesSection(kGases), kLoading);
        FlowmirState* fms = f.fms();
        ASSERT_EQ(f.readFilters(), 0) << f.log();
        Link k(f.filter(c.filter), c.F0, c.F1);
        fms->linkList = &k.l;
        filter_sim(fms, &k.l);
        sum_filter_compute(fms, 10);
        ASSERT_EQ(fms->nFpath, 1);
        EXPECT_EQ(fms->Fpath[1], &k.l);

        FilterData* top = f.filter(c.filter)->top;
        std::vector<FilterData*> stages;
        if (top->nextSub)
            for (FilterData* s = top->nextSub; s; s = s->nextSub)
                stages.push_back(s);
        else
            stages.push_back(top);
        for (size_t s = 0; s < stages.size(); s++) {
            EXPECT_NEAR(stages[s]->loads[0], c.loads[s][0], 1e-7) << s;
            EXPECT_NEAR(stages[s]->loads[1], c.loads[s][1], 1e-7) << s;
            EXPECT_NEAR(stages[s]->relLoad, c.relLoad[s], 1e-7) << s;
        }
        for (int j = 0; j < 2; j++) {
            EXPECT_NEAR(top->loads[j], c.topLoads[j], 1e-7) << j;
            EXPECT_NEAR(top->Min[j], c.Min[j], 1e-7) << j;
            EXPECT_NEAR(top->Mout[j], c.Mout[j], 1e-7) << j;
        }
        fms->linkList = nullptr;
        EXPECT_TRUE(f.balanced());
    }
}

// Later steps add to the totals and allocate nothing; the table of filtered links is built once.
TEST(FilterSum, LaterStepsAccumulateWithoutAllocating)
{
    FilterFile f(speciesSection(kGases), kLoading);
    FlowmirState* fms = f.fms();
    ASSERT_EQ(f.readFilters(), 0) << f.log();
    Link a(f.filter(2), 2.0);
    Link bare(nullptr, 5.0);
    bare.l.next = &a.l;
    fms->linkList = &bare.l;

    filter_sim(fms, &bare.l);
    filter_sim(fms, &a.l);
    sum_filter_compute(fms, 10);
    AirLink** table = fms->Fpath;
    uint64_t allocated = fms->bytesAllocated;
    for (int step = 0; step < 3; step++) {
        filter_sim(fms, &bare.l);
        filter_sim(fms, &a.l);
        sum_filter_compute(fms, 10);
    }
    EXPECT_EQ(fms->bytesAllocated, allocated);
    EXPECT_EQ(fms->Fpath, table);
    ASSERT_EQ(fms->nFpath, 1);
    FilterData* top = f.filter(2)->top;
    EXPECT_NEAR(top->Min[0], 4 * 0.2, 1e-7);
    EXPECT_NEAR(top->Mout[1], 4 * 0.2, 1e-7);
    EXPECT_NEAR(top->nextSub->loads[0], 4 * 0.1, 1e-7);
    EXPECT_NEAR(top->lastSub->relLoad, 0.05 + 4 * 0.07, 1e-7);

    filter_free_paths(fms);
    EXPECT_EQ(fms->Fpath, nullptr);
    EXPECT_EQ(fms->nFpath, 0);
    filter_free_paths(fms);  // again: nothing left to release
    fms->linkList = nullptr;
    EXPECT_TRUE(f.balanced());
}

// --- An assembled network ---

// Filters on a path, a duct and a terminal; a filter may serve several links.
TEST(FilterNetwork, LinksCarryTheirFilters)
{
    TestState ts;
    FlowmirState* fms = ts.fms;
    ts.openLog();
    fms->msBlock = alc_eci(fms, 32000, "ms-block");
    fms->mbBlock = alc_eci(fms, 8000, "mb-block");
    std::string path = std::string(FLOWMIR_TEST_PROJECTS) + "/flt_ducts.prj";
    ASSERT_EQ(prj_read(fms, path.c_str()), 0) << fms->lastError;
    ASSERT_EQ(fms->nflte, 3);
    ASSERT_EQ(fms->nflt, 2);
    Filter* f1 = fms->FltLst[1];
    Filter* f2 = fms->FltLst[2];
    sim_data(fms);

    int filtered = 0;
    for (AirLink* l = fms->linkList; l; l = l->next) {
        SCOPED_TRACE(l->nr);
        void* want = nullptr;
        if (l->styp == LINK_PATH && l->s_nr == 1) want = f1;
        if (l->styp == LINK_DUCT && l->s_nr == 1) want = f2;
        if (l->styp == LINK_TERM && l->s_nr == 1) want = f1;
        EXPECT_EQ(l->filter, want);
        if (l->filter) filtered++;
    }
    EXPECT_EQ(filtered, 3);

    // The filter table goes with the component lists, the element table with the element
    // lists; the records stay with the run.
    prj_read_free_comp_lists(fms);
    EXPECT_EQ(fms->FltLst, nullptr);
    EXPECT_NE(fms->FlteLst, nullptr);
    for (AirLink* l = fms->linkList; l; l = l->next)
        if (l->styp == LINK_DUCT && l->s_nr == 1) {
            const float* p = filter_sim(fms, l);
            EXPECT_NEAR(p[0], 0.7 * 0.4, 1e-6);  // two stages of 0.3 and 0.6
        }
    releaseRunMemory(fms);
    EXPECT_EQ(fms->FlteLst, nullptr);
    EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
}
