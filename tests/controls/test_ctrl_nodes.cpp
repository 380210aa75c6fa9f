// The control node functions on their own: each node reads two test inputs, and its outputs
// over a sequence of evaluations are compared with hand values.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "controls/ctrl_data.h"
#include "controls/ctrl_sig.h"
#include "network/airnet.h"
#include "support/heap.h"
#include "testutil.h"

// One node of `type` reading a and b, with one-minute steps.
struct Bench {
    TestState s;
    CtrlNode node{};
    float a = 0.0f, b = 0.0f;

    Bench(int type, void* data)
    {
        node.type = (short)type;
        node.data = data;
        node.in1 = &a;
        node.in2 = &b;
        node.nr = 7;
        node.sigFn = ctrl_functions[type];
        s->time_step = 60;
        s->dt = 60.0f;
        s->rdt = 1.0f / 60.0f;
        s->msBlock = alc_eci(s.fms, 32000, "ms-block");
    }
    ~Bench() { fre_ec(s.fms, s->msBlock, "ms-block"); }
    float eval(float x, float y = 0.0f)
    {
        a = x;
        b = y;
        node.sigFn(s.fms, &node);
        return node.out;
    }
};

struct Step {
    float x, y, out;
};

static void expectSequence(Bench& bench, const std::vector<Step>& steps, float tol = 1e-6f)
{
    for (size_t i = 0; i < steps.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(bench.eval(steps[i].x, steps[i].y), steps[i].out, tol);
    }
}

TEST(CtrlNodes, HysteresisFollowsFallingInputAtOnceAndRisingBeyondTheSlack)
{
    HysData h{0.1f, 1.0f, 0.0f};
    Bench b(CT_HYS, &h);
    expectSequence(b, {{1.0f, 0, 0.9f}, {0.95f, 0, 0.9f}, {0.85f, 0, 0.85f}, {0.9f, 0, 0.85f}, {1.5f, 0, 0.9f},
                       {-0.5f, 0, 0.0f}});
    HysData g{0.2f, 2.0f, 0.5f};
    Bench c(CT_HYS, &g);
    expectSequence(c, {{0.6f, 0, 1.0f}, {0.8f, 0, 1.2f}, {0.7f, 0, 1.2f}, {0.3f, 0, 0.6f}});
}

// u = lastOut + kp (e - lastIn) + dt/2 ki (e + lastIn), clamped; with kp 0.5, ki 0.01 and
// dt 60 the integral term is 0.3 (e + lastIn).
TEST(CtrlNodes, PiControllerClampsAndLeavesSaturationAtOnce)
{
    PicData p{0.5f, 0.01f, 0.0f, 0.0f};
    Bench b(CT_PI1, &p);
    expectSequence(b, {{1.0f, 0, 0.8f},
                       {1.0f, 0, 1.0f},   // 1.4 clamped
                       {1.0f, 0, 1.0f},   // 1.6 clamped
                       {0.2f, 0, 0.96f},  // from the clamped 1, not from 1.6
                       {-1.0f, 0, 0.12f},
                       {-1.0f, 0, 0.0f},  // -0.48 clamped
                       {0.5f, 0, 0.6f}});
    EXPECT_FLOAT_EQ(p.lastOut, 0.6f);
    EXPECT_FLOAT_EQ(p.lastIn, 0.5f);
}

// The first evaluation only starts the integral; then trapezoids while enabled, half of the
// last step when the enable drops to 0, a reset while it is negative.
TEST(CtrlNodes, GatedIntegral)
{
    IntData d{};
    Bench b(CT_INT, &d);
    expectSequence(b, {{5.0f, 1.0f, 0.0f},
                       {2.0f, 1.0f, 60.0f},
                       {2.0f, 1.0f, 180.0f},
                       {4.0f, 0.0f, 240.0f},
                       {4.0f, 0.0f, 240.0f},
                       {1.0f, -1.0f, 0.0f},
                       {1.0f, 1.0f, 60.0f}});
}

TEST(CtrlNodes, MovingAverage)
{
    struct Case {
        const char* label;
        int span;  // s, with 60-s steps
        int size;
        std::vector<Step> steps;
    } cases[] = {
        // 0 at initialisation, then the input itself: never 0 from the second step on.
        {"one step", 60, 1, {{9, 0, 0}, {3, 0, 3}, {5, 0, 5}, {7, 0, 7}}},
        {"three steps", 180, 3, {{9, 0, 0}, {1, 0, 1}, {2, 0, 1.5f}, {3, 0, 2}, {4, 0, 3}, {10, 0, 17.0f / 3}, {1, 0, 5}}},
        // A span shorter than a step is one sample, not the mean of everything so far.
        {"shorter than a step", 20, 1, {{9, 0, 0}, {1, 0, 1}, {2, 0, 2}, {3, 0, 3}}},
        {"rounded to steps", 149, 2, {{9, 0, 0}, {2, 0, 2}, {4, 0, 3}, {8, 0, 6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        RavData r{};
        r.span = c.span;
        Bench b(CT_RAV, &r);
        expectSequence(b, c.steps, 1e-5f);
        EXPECT_EQ(r.size, c.size);
        EXPECT_EQ(r.state, 1);
    }
}

TEST(CtrlNodes, SensorTimeConstant)
{
    SensorData s{};
    s.tau = 300.0f;
    Bench b(CT_SNS, &s);
    b.node.flags = SNS_TIME_CONSTANT;
    EXPECT_FLOAT_EQ(b.eval(0.0f), 0.0f);
    EXPECT_NEAR(s.decay, 0.8187308f, 1e-7f);
    EXPECT_NEAR(b.eval(1.0f), 0.1812692f, 1e-6f);
    for (int i = 0; i < 3; i++) b.eval(1.0f);
    EXPECT_NEAR(b.eval(1.0f), 0.6321206f, 1e-6f);
}

// The sensed value comes through in1 (floats), src (doubles) or a link's two flows; offset
// and scale apply before the time constant.
TEST(CtrlNodes, SensorSourcesOffsetAndScale)
{
    SensorData s{};
    s.offset = 273.15f;
    s.scale = 2.0f;
    s.tau = 60.0f;
    Bench b(CT_SNS, &s);
    b.node.flags = SNS_OFFSET_SCALE;
    EXPECT_NEAR(b.eval(293.15f), 40.0f, 1e-4f);

    double T = 283.15;
    b.node.in1 = nullptr;
    s.src = &T;
    EXPECT_NEAR(b.eval(0.0f), 20.0f, 1e-4f);

    AirLink l{};
    l.Flow[0] = 0.3;
    l.Flow[1] = -0.1;
    s.src = nullptr;
    s.flow = &l;
    b.node.flags = 0;
    EXPECT_NEAR(b.eval(0.0f), 0.2f, 1e-7f);

    // Offset and scale, then the lag: the first value is taken as it is.
    s.flow = nullptr;
    s.src = &T;
    b.node.flags = SNS_OFFSET_SCALE | SNS_TIME_CONSTANT;
    EXPECT_NEAR(b.eval(0.0f), 20.0f, 1e-4f);
    T = 293.15;
    EXPECT_NEAR(b.eval(0.0f), 40.0f - 20.0f * std::exp(-1.0f), 1e-4f);
}

TEST(CtrlNodes, BandSwitches)
{
    ConstData band{1.0f};
    Bench lower(CT_LBS, &band);
    expectSequence(lower, {{20.0f, 20.0f, 0}, {21.0f, 20.0f, 0}, {21.5f, 20.0f, 1}, {20.5f, 20.0f, 1},
                           {19.9f, 20.0f, 0}, {20.9f, 20.0f, 0}, {21.1f, 20.0f, 1}});
    Bench upper(CT_UBS, &band);
    expectSequence(upper, {{20.0f, 20.0f, 0}, {19.0f, 20.0f, 0}, {18.9f, 20.0f, 1}, {19.5f, 20.0f, 1},
                           {20.1f, 20.0f, 0}, {19.1f, 20.0f, 0}, {18.5f, 20.0f, 1}});
}

// The increase schedule runs 0 to 1 over 600 s of elapsed time, the decrease schedule 1 to 0
// over 300 s; a change counts from the middle of the step in which it arrives.
TEST(CtrlNodes, ScheduleShapedChange)
{
    int tu[] = {0, 600}, td[] = {0, 300};
    float vu[] = {0, 1}, vd[] = {1, 0};
    DaySchedule up{}, down{};
    up.times = tu;
    up.values = vu;
    up.npts = 2;
    up.shape = 1;
    down.times = td;
    down.values = vd;
    down.npts = 2;
    down.shape = 1;
    DlsData d{};
    d.up = &up;
    d.down = &down;
    Bench b(CT_DLS, &d);
    struct {
        int t;
        float x, out;
    } steps[] = {{0, 0, 0},       {60, 10, 0.5f},  {120, 10, 1.5f}, {600, 10, 9.5f}, {660, 10, 10},
                 {720, 10, 10},   {780, 4, 9.4f},  {840, 4, 8.2f},  {1080, 4, 4},    {86400, 10, 4.3f},
                 {60, 10, 4.9f},  {120, 10, 5.5f}};
    for (auto& s : steps) {
        SCOPED_TRACE(s.t);
        b.s->stepEndTime = s.t;
        EXPECT_NEAR(b.eval(s.x), s.out, 1e-5f);
    }
}

// tauUp 600 s, tauDown 60 s: factor 1 - exp(-dt/tau), the step of the change counting
// e^-0.5 of it.
TEST(CtrlNodes, ExponentialApproach)
{
    DlxData d{600.0f, 60.0f, 0, 0, 0};
    Bench b(CT_DLX, &d);
    expectSequence(b, {{0, 0, 0}, {1, 0, 0.0577190f}, {1, 0, 0.1473889f}, {0, 0, 0.0908799f}, {0, 0, 0.0334329f}});
    // An input equal to the output stops the approach.
    DlxData e{600.0f, 60.0f, 0, 0, 0};
    Bench c(CT_DLX, &e);
    expectSequence(c, {{2, 0, 2}, {2, 0, 2}});
}

TEST(CtrlNodes, ListingIntervalIntegralAndAverage)
{
    struct Case {
        const char* label;
        int type, trapezoid, listStep;
        std::vector<float> outs;
    } cases[] = {
        {"irs", CT_IRS, 0, 180, {60, 120, 300, 540, 60}},
        {"ars", CT_ARS, 0, 180, {1, 2, 2.5f, 3, 1}},
        {"irs trapezoid", CT_IRS, 1, 180, {30, 90, 240, 450, 150}},
        {"ars trapezoid", CT_ARS, 1, 180, {0.5f, 1.5f, 2, 2.5f, 2.5f}},
        // Without a listing step nothing restarts.
        {"irs steady", CT_IRS, 0, 0, {60, 180, 360, 600, 660}},
    };
    const float inputs[] = {1, 2, 3, 4, 1};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        IrsData d{};
        d.trapezoid = c.trapezoid;
        Bench b(c.type, &d);
        b.s->listStep = c.listStep;
        for (int i = 0; i < 5; i++) {
            b.s->stepStartTime = 60 * i;
            EXPECT_NEAR(b.eval(inputs[i]), c.outs[i], 1e-4f) << i;
        }
    }
    // No time has passed (a steady run): the average is 0, not a division by 0.
    IrsData d{};
    Bench b(CT_ARS, &d);
    b.s->dt = 0.0f;
    b.s->listStep = 0;
    EXPECT_EQ(b.eval(5.0f), 0.0f);
}

struct MathCase {
    const char* label;
    int type;
    float x, y, out;
};

TEST(CtrlNodes, OneAndTwoInputFunctions)
{
    ConstData kp{0.5f};
    ModData os{1.0f, 2.0f};
    LogData log{{1.0f, 2.0f}, "label", "units"};
    const MathCase cases[] = {
        {"pas", CT_PAS, -3.5f, 0, -3.5f},
        {"sph", CT_SPH, 2.5f, 0, 2.5f},
        {"abs", CT_ABS, -2.5f, 0, 2.5f},
        {"bin +", CT_BIN, 0.1f, 0, 1},
        {"bin 0", CT_BIN, 0, 0, 0},
        {"bin -", CT_BIN, -1, 0, 0},
        {"inv", CT_INV, 0.25f, 0, 0.75f},
        {"and 10", CT_AND, 1, 0, 0},
        {"and 11", CT_AND, 1, 2, 1},
        {"or 0-", CT_OR, 0, -1, 0},
        {"or 01", CT_OR, 0, 1, 1},
        {"xor 11", CT_XOR, 1, 1, 0},
        {"xor 10", CT_XOR, 1, 0, 1},
        {"xor 00", CT_XOR, 0, 0, 0},
        {"add", CT_ADD, 1.5f, 2, 3.5f},
        {"sub", CT_SUB, 1.5f, 2, -0.5f},
        {"mul", CT_MUL, 1.5f, -2, -3},
        {"div", CT_DIV, 3, 4, 0.75f},
        {"lls on", CT_LLS, 1, 2, 1},
        {"lls off", CT_LLS, 2, 1, 0},
        {"uls on", CT_ULS, 2, 1, 1},
        {"uls equal", CT_ULS, 1, 1, 0},
        {"llc", CT_LLC, 1, 3, 2},
        {"llc 0", CT_LLC, 3, 1, 0},
        {"ulc", CT_ULC, 3, 1, 2},
        {"ulc 0", CT_ULC, 1, 3, 0},
        {"pc1", CT_PC1, 1, 0, 0.5f},
        {"pc1 full", CT_PC1, 3, 0, 1},
        {"pc1 off", CT_PC1, -1, 0, 0},
        {"mod", CT_MOD, 5, 0, 8},
        {"log", CT_LOG, 5, 0, 8},
        {"exp", CT_EXP, 1, 0, 2.7182818f},
        {"lgn", CT_LGN, 2.7182818f, 0, 1},
        {"lg1", CT_LG1, 1000, 0, 3},
        {"pow", CT_POW, 2, 10, 1024},
        {"pow root", CT_POW, 9, 0.5f, 3},
        {"sqt", CT_SQT, 2.25f, 0, 1.5f},
        {"sin", CT_SIN, 30, 0, 0.5f},
        {"cos", CT_COS, 60, 0, 0.5f},
        {"tan", CT_TAN, 45, 0, 1},
        {"mdu", CT_MDU, 7.5f, 2, 1.5f},
        {"mdu -", CT_MDU, -7.5f, 2, -1.5f},
        {"cel", CT_CEL, 1.2f, 0, 2},
        {"cel -", CT_CEL, -1.2f, 0, -1},
        {"flr", CT_FLR, 1.8f, 0, 1},
        {"flr -", CT_FLR, -1.2f, 0, -2},
    };
    for (const MathCase& c : cases) {
        SCOPED_TRACE(c.label);
        void* data = c.type == CT_PC1 ? (void*)&kp : c.type == CT_MOD ? (void*)&os : c.type == CT_LOG ? (void*)&log : nullptr;
        Bench b(c.type, data);
        EXPECT_NEAR(b.eval(c.x, c.y), c.out, 1e-6f * std::max(1.0f, std::fabs(c.out)));
    }
}

TEST(CtrlNodes, PolynomialByHorner)
{
    float a[] = {1, 2, 3};
    PolyData p{2, a};
    Bench b(CT_PLY, &p);
    EXPECT_FLOAT_EQ(b.eval(2), 17);
    EXPECT_FLOAT_EQ(b.eval(-1), 2);
    float c[] = {4};
    PolyData q{0, c};
    Bench d(CT_PLY, &q);
    EXPECT_FLOAT_EQ(d.eval(100), 4);
}

TEST(CtrlNodes, ListFunctionsAndEmptyLists)
{
    float v[] = {1.0f, 3.5f, 2.0f};
    float* vals[] = {&v[0], &v[1], &v[2]};
    ListData full{3, nullptr, vals};
    ListData empty{0, nullptr, nullptr};
    struct {
        int type;
        float value, emptyValue;  // the empty list's output after an earlier 9
    } cases[] = {{CT_SUM, 6.5f, 0}, {CT_AVG, 6.5f / 3, 9}, {CT_MAX, 3.5f, 0}, {CT_MIN, 1.0f, 0}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.type);
        Bench b(c.type, &full);
        EXPECT_NEAR(b.eval(0), c.value, 1e-6f);
        Bench e(c.type, &empty);
        e.node.out = 9.0f;
        EXPECT_EQ(e.eval(0), c.emptyValue);
    }
}

TEST(CtrlNodes, ConstantAndPlaceholderKeepTheirOutput)
{
    for (int type : {CT_SET, CT_SUP}) {
        Bench b(type, nullptr);
        b.node.out = 4.5f;
        EXPECT_EQ(b.eval(1, 2), 4.5f);
    }
    // A value-file node without its column yet keeps its value.
    Bench c(CT_CVF, nullptr);
    c.node.in1 = nullptr;
    c.node.out = 2.0f;
    EXPECT_EQ(c.eval(1), 2.0f);
}

TEST(CtrlNodes, ArithmeticFaultsAreFatal)
{
    const MathCase cases[] = {
        {"Divide by zero; control: 7", CT_DIV, 1, 0, 0},
        {"Divide by zero; control: 7", CT_MDU, 1, 0, 0},
        {"Input <= 0; control: 7", CT_LGN, 0, 0, 0},
        {"Input <= 0; control: 7", CT_LG1, -1, 0, 0},
        {"Square root of negative number; control: 7", CT_SQT, -0.01f, 0, 0},
    };
    for (const MathCase& c : cases) {
        SCOPED_TRACE(c.label);
        ChildResult r = runChild([&] {
            Bench b(c.type, nullptr);
            b.eval(c.x, c.y);
            _exit(0);
        });
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(std::string("FATAL ") + c.label), std::string::npos) << r.err;
    }
    // The sensor's time constant must be positive when the sensor uses it.
    ChildResult r = runChild([] {
        SensorData s{};
        Bench b(CT_SNS, &s);
        b.node.flags = SNS_TIME_CONSTANT;
        b.eval(1);
        _exit(0);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Invalid time constant; sensor 7"), std::string::npos) << r.err;
}
