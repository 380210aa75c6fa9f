// Reading the path-element and duct-element sections.
#include <gtest/gtest.h>

#include <string>

#include "airflow/afe_read.h"
#include "section_file.h"

static const char* PATH_ELEMENTS = R"(12 ! path elements
1 0 plr_orfc orf
a small orifice
 0.00123 0.0456 0.5
2 0 plr_qcn crack1
crack, volume-flow form
 1e-6 2e-5 0.65 ! comment after the values
3 0 plr_bdq damper
! a comment line before the description is skipped
backdraft damper
 0.001 0.2 0.6 0.1 0.7
4 0 srv_jwa vent
self-regulating vent
 0.01 20 0.25
5 0 qfr_qab quad
quadratic
 2.5 40
6 0 dor_door door
a door
 0.0001 0.9 0.5 99 2.1 0.9 0.78
7 0 dor_pl2 twodoor
two openings
 0.0002 0.8 0.5 0.5 3.3
8 0 fan_cmf cmf
constant mass flow
 0.25
9 0 fan_cvf cvf
constant volume flow
 0.5
10 0 fan_fan fan1
a fan
 0.0001 0.01 0.5 1.2041 0.5 100 0.1
 200 -100 10 -50
 3
 0 200
 0.5 150
 1 0
11 0 csf_fsp spl
flow against pressure
 4 0 0
 0 0
 1 1
 2 4
 3 9
12 0 sup_afe sup
a super element
 2 11 0
 1 1.5 0
 11 2.5 1
-999
)";

TEST(AfeRead, PathElementsOfEveryFamily)
{
    SectionFile f(PATH_ELEMENTS);
    FlowmirState* fms = f.fms();
    ASSERT_EQ(afelmt_read(fms, &f.pool, 0, 0), 12);
    ASSERT_EQ(f.errors(), 0) << f.log();
    ASSERT_EQ(fms->nafe, 12);
    EXPECT_TRUE(f.logHas("Airflow Element section read successfully.\n"));

    const int types[] = {0, 5, 12, 14, 15, 19, 20, 21, 22, 23, 24, 28};
    const char* names[] = {"orf",     "crack1", "damper", "vent", "quad", "door",
                           "twodoor", "cmf",    "cvf",    "fan1", "spl",  "sup"};
    for (int i = 1; i <= 12; i++) {
        Afe* e = fms->AfeLst[i];
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->nr, i);
        EXPECT_EQ(e->type, types[i - 1]) << i;
        EXPECT_STREQ(e->name, names[i - 1]);
        EXPECT_NE(e->data, nullptr);
        EXPECT_EQ(afe_duct(e), nullptr);
    }

    auto* orf = static_cast<AfePlr*>(fms->AfeLst[1]->data);
    EXPECT_FLOAT_EQ(orf->lam, 0.00123f);
    EXPECT_FLOAT_EQ(orf->turb, 0.0456f);
    EXPECT_FLOAT_EQ(orf->expt, 0.5f);
    EXPECT_FLOAT_EQ(static_cast<AfePlr*>(fms->AfeLst[2]->data)->expt, 0.65f);

    auto* bd = static_cast<AfeBid*>(fms->AfeLst[3]->data);
    EXPECT_FLOAT_EQ(bd->lam, 0.001f);
    EXPECT_FLOAT_EQ(bd->turbp, 0.2f);
    EXPECT_FLOAT_EQ(bd->exptp, 0.6f);
    EXPECT_FLOAT_EQ(bd->turbn, 0.1f);
    EXPECT_FLOAT_EQ(bd->exptn, 0.7f);

    auto* jwa = static_cast<AfeJwa*>(fms->AfeLst[4]->data);
    EXPECT_FLOAT_EQ(jwa->vmax, 0.01f);
    EXPECT_FLOAT_EQ(jwa->pref, 20.0f);
    EXPECT_FLOAT_EQ(jwa->rrev, 0.25f);

    auto* q = static_cast<AfeQfr*>(fms->AfeLst[5]->data);
    EXPECT_FLOAT_EQ(q->a, 2.5f);
    EXPECT_FLOAT_EQ(q->b, 40.0f);

    // The door's fourth value is skipped.
    auto* dor = static_cast<AfeDor*>(fms->AfeLst[6]->data);
    EXPECT_FLOAT_EQ(dor->expt, 0.5f);
    EXPECT_FLOAT_EQ(dor->ht, 2.1f);
    EXPECT_FLOAT_EQ(dor->wd, 0.9f);
    EXPECT_FLOAT_EQ(dor->cd, 0.78f);

    auto* pl2 = static_cast<AfePl2*>(fms->AfeLst[7]->data);
    EXPECT_FLOAT_EQ(pl2->turb, 0.8f);
    EXPECT_FLOAT_EQ(pl2->dHopen, 0.5f);
    EXPECT_FLOAT_EQ(pl2->spare, 3.3f);

    EXPECT_FLOAT_EQ(static_cast<AfeCnf*>(fms->AfeLst[8]->data)->flowRate, 0.25f);
    EXPECT_FLOAT_EQ(static_cast<AfeCnf*>(fms->AfeLst[9]->data)->flowRate, 0.5f);

    auto* fan = static_cast<AfeFan*>(fms->AfeLst[10]->data);
    EXPECT_FLOAT_EQ(fan->rdens, 1.2041f);
    EXPECT_FLOAT_EQ(fan->fdf, 0.5f);
    EXPECT_FLOAT_EQ(fan->sop, 100.0f);
    EXPECT_FLOAT_EQ(fan->off, 0.1f);
    EXPECT_FLOAT_EQ(fan->a0, 200.0f);
    EXPECT_FLOAT_EQ(fan->a1, -100.0f);
    EXPECT_FLOAT_EQ(fan->a2, 10.0f);
    EXPECT_FLOAT_EQ(fan->a3, -50.0f);

    AfeCsf* csf = afe_csf(fms->AfeLst[11]);
    ASSERT_NE(csf, nullptr);
    EXPECT_EQ(csf->npts, 4);
    EXPECT_EQ(csf->status, 0);
    EXPECT_DOUBLE_EQ(csf->pts[3].x, 3.0);
    EXPECT_DOUBLE_EQ(csf->pts[3].y, 9.0);
    EXPECT_DOUBLE_EQ(csf->pts[1].c, 2.0); // middle segment y = 1 + t + 2t^2
    EXPECT_TRUE(f.logHas("CSFchk: spl\n"));

    auto* sup = static_cast<AfeSup*>(fms->AfeLst[12]->data);
    ASSERT_EQ(sup->n, 2);
    EXPECT_EQ(sup->sched, 11);
    EXPECT_EQ(sup->list[0].nr, 1);
    EXPECT_FLOAT_EQ(sup->list[0].value, 1.5f);
    EXPECT_EQ(sup->list[0].isSched, 0);
    EXPECT_EQ(sup->list[0].elem, fms->AfeLst[1]);
    EXPECT_EQ(sup->list[1].flag, 1);
    EXPECT_EQ(sup->list[1].isSched, 1);
    EXPECT_EQ(sup->list[1].elem, fms->AfeLst[11]);

    for (int i = 1; i <= 12; i++)
        EXPECT_EQ(fms->AfeLst[i]->model, nullptr);
    afe_free_lists(fms);
    EXPECT_EQ(fms->AfeLst, nullptr);
    EXPECT_TRUE(f.balanced());
}

static const char* DUCT_ELEMENTS = R"(13
1 0 dct_dwc galv
galvanised duct
 0.00015 7 1
 0.2 0.628 0.0314 0 0 0 0.5 250
 0 0 0 0 0 0 0 0
2 0 dct_plr dplr
 duct power law
 0.0001 0.01 0.6 1 2 3
 0.3 1.2 0.09 0 0 0 0.1 50
 1 2 3 4 5 6 7 8
3 0 dct_fcn dfcn
d
 0.0002 0.02 0.55
 0.1 0.4 0.01 0 0 0 0 0
 0 0 0 0 0 0 0 0
4 0 dct_qcn dqcn
d
 0.0003 0.03 0.52
 0.1 0.4 0.011 0 0 0 0 0
 0 0 0 0 0 0 0 0
5 0 dct_fan dfan
d
 0.0001 0.01 0.5 1.2 0.5 100 0.05
 300 -10 1 -2
 0
 0.4 1.6 0.16 0 0 0 0 0
 0 0 0 0 0 0 0 0
6 0 dct_cmf dcmf
d
 0.12
 0.1 0.4 0.012 0 0 0 0 0
 0 0 0 0 0 0 0 0
7 0 dct_cvf dcvf
d
 0.13
 0.1 0.4 0.013 0 0 0 0 0
 0 0 0 0 0 0 0 0
8 0 dct_bdq dbdq
d
 0.001 0.2 0.6 0.1 0.7
 0.1 0.4 0.014 0 0 0 0 0
 0 0 0 0 0 0 0 0
9 0 dct_bdf dbdf
d
 0.001 0.2 0.6 0.1 0.7
 0.1 0.4 0.015 0 0 0 0 0
 0 0 0 0 0 0 0 0
10 0 dct_fsp dfsp
d
 2 0 0
 0 0
 10 1
 0.1 0.4 0.016 0 0 0 0 0
 0 0 0 0 0 0 0 0
11 0 dct_qsp dqsp
d
 2 0 0
 0 0
 10 2
 0.1 0.4 0.017 0 0 0 0 0
 0 0 0 0 0 0 0 0
12 0 dct_psf dpsf
d
 2 0 0
 0 0
 1 10
 0.1 0.4 0.018 0 0 0 0 0
 0 0 0 0 0 0 0 0
13 0 dct_psq dpsq
d
 2 0 0
 0 0
 1 20
 0.1 0.4 0.019 0 0 0 0 0
 0 0 0 0 0 0 0 0
-999
)";

TEST(AfeRead, DuctElementsCarryTheDuctBlock)
{
    SectionFile f(DUCT_ELEMENTS);
    FlowmirState* fms = f.fms();
    ASSERT_EQ(afelmt_read(fms, &f.pool, 1, 0), 13);
    ASSERT_EQ(f.errors(), 0) << f.log();
    EXPECT_EQ(fms->ndfe, 13);
    EXPECT_EQ(fms->nafe, 0);
    EXPECT_EQ(fms->AfeLst, nullptr);

    const float areas[] = {0.0314f, 0.09f,  0.01f,  0.011f, 0.16f,  0.012f, 0.013f,
                           0.014f,  0.015f, 0.016f, 0.017f, 0.018f, 0.019f};
    for (int i = 1; i <= 13; i++) {
        Afe* e = fms->DfeLst[i];
        EXPECT_EQ(e->type, 28 + i);
        DuctBlock* d = afe_duct(e);
        ASSERT_NE(d, nullptr) << i;
        EXPECT_FLOAT_EQ(d->area, areas[i - 1]) << i;
    }

    auto* dwc = static_cast<AfeDwc*>(fms->DfeLst[1]->data);
    EXPECT_FLOAT_EQ(dwc->rough, 0.00015f);
    EXPECT_FLOAT_EQ(dwc->spare, 7.0f);
    EXPECT_FLOAT_EQ(dwc->D, 0.2f);
    EXPECT_FLOAT_EQ(dwc->A, 0.0314f);
    EXPECT_FLOAT_EQ(dwc->rr, 0.00015f / 0.2f);
    EXPECT_FLOAT_EQ(dwc->duct.perim, 0.628f);
    EXPECT_FLOAT_EQ(dwc->duct.leak, 0.5f);
    EXPECT_FLOAT_EQ(dwc->duct.lpres, 250.0f);

    // Duct records start with the family record, so a path model reads them unchanged.
    auto* dplr = static_cast<DctPlr*>(fms->DfeLst[2]->data);
    EXPECT_EQ(static_cast<void*>(dplr), static_cast<void*>(&dplr->plr));
    EXPECT_FLOAT_EQ(dplr->plr.expt, 0.6f);
    EXPECT_FLOAT_EQ(dplr->spare[2], 3.0f);
    EXPECT_FLOAT_EQ(dplr->duct.Dh, 0.3f);
    EXPECT_FLOAT_EQ(dplr->duct.lpres, 50.0f);

    EXPECT_FLOAT_EQ(static_cast<DctFqcn*>(fms->DfeLst[4]->data)->plr.turb, 0.03f);
    auto* dfan = static_cast<DctFan*>(fms->DfeLst[5]->data);
    EXPECT_FLOAT_EQ(dfan->fan.a0, 300.0f);
    EXPECT_FLOAT_EQ(dfan->fan.off, 0.05f);
    EXPECT_FLOAT_EQ(dfan->duct.perim, 1.6f);
    EXPECT_FLOAT_EQ(static_cast<DctCnf*>(fms->DfeLst[7]->data)->cnf.flowRate, 0.13f);
    EXPECT_FLOAT_EQ(static_cast<DctBid*>(fms->DfeLst[9]->data)->bid.exptn, 0.7f);

    for (int i = 10; i <= 13; i++) {
        AfeCsf* c = afe_csf(fms->DfeLst[i]);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->npts, 2);
        EXPECT_EQ(c->status, 0);
    }
    EXPECT_DOUBLE_EQ(afe_csf(fms->DfeLst[13])->pts[1].y, 20.0);
    EXPECT_DOUBLE_EQ(afe_csf(fms->DfeLst[11])->pts[0].b, 0.2);
    afe_free_lists(fms);
    EXPECT_TRUE(f.balanced());
}

TEST(AfeRead, FanCurveWithContraflectureIsAnError)
{
    SectionFile f(R"(2
1 0 fan_fan good
d
 0.0001 0.01 0.5 1.2 0.5 100 0.1
 200 -100 10 -50
 0
2 0 fan_fan bad
d
 0.0001 0.01 0.5 1.2 0.5 100 0.1
 200 -100 40 -1
 2
 0 200
 1 0
-999
)");
    afelmt_read(f.fms(), &f.pool, 0, 0);
    EXPECT_EQ(f.errors(), 1);
    std::string log = f.log();
    EXPECT_NE(log.find("fan bad has contraflecture"), std::string::npos) << log;
    EXPECT_EQ(log.find("fan good"), std::string::npos);
    EXPECT_NE(log.find("Airflow Element section read successfully."), std::string::npos);
}

// A measured-point count far beyond the file stops at its end instead of reading nothing
// 2^31 times.
TEST(AfeRead, FanPointCountBeyondTheFileStopsAtItsEnd)
{
    SectionFile f(R"(1
1 0 fan_fan big
d
 0.0001 0.01 0.5 1.2 0.5 100 0.1
 200 -100 10 -50
 2147483647
 0 200
)");
    afelmt_read(f.fms(), &f.pool, 0, 0);
    EXPECT_GE(f.errors(), 1);
    std::string log = f.log();
    EXPECT_NE(log.find("fan big: end of file within its measured points"), std::string::npos) << log;
}

// Keyword errors: the reading stops after the element, and the terminator is looked for where the
// reader stands (here on the data line), so the section read error follows.
TEST(AfeRead, KeywordsOutsideTheFileTable)
{
    struct Case {
        const char* keyword;
        bool undefined;
        int code;
    };
    const Case cases[] = {
        {"plr_bogus", true, 46}, {"PLR_ORFC", true, 46}, {"ahs_sr", false, 42},
        {"ahs_xor", false, 43},  {"d_leak", false, 44},  {"d_term", false, 45},
    };
    for (const Case& c : cases) {
        SectionFile f(std::string("2\n1 0 ") + c.keyword +
                      " x\ndesc\n 1 2 3\n2 0 plr_orfc y\nd\n 1 1 0.5\n-999\n");
        afelmt_read(f.fms(), &f.pool, 0, 0);
        std::string log = f.log();
        bool undefinedShown =
            log.find(std::string("Undefined Element Type: ") + c.keyword) != std::string::npos;
        EXPECT_EQ(undefinedShown, c.undefined) << c.keyword;
        EXPECT_NE(log.find("Invalid element type " + std::to_string(c.code) + "\n"), std::string::npos)
            << log;
        Afe* e = f.fms()->AfeLst[1];
        EXPECT_EQ(e->type, c.code);
        EXPECT_EQ(e->data, nullptr);
        EXPECT_EQ(f.fms()->AfeLst[2], nullptr); // not read
        EXPECT_NE(log.find("PRJ read error in Airflow Element section; enable the echo feature then see Log "
                           "file for where error occurred"),
                  std::string::npos);
    }
}

TEST(AfeRead, ElementNumberMismatchStopsTheSection)
{
    SectionFile f(
        "3\n1 0 plr_orfc a\nd\n 1 1 0.5\n3 0 plr_orfc b\nd\n 1 1 0.5\n2 0 plr_orfc c\nd\n 1 1 0.5\n-999\n");
    afelmt_read(f.fms(), &f.pool, 0, 0);
    std::string log = f.log();
    EXPECT_NE(log.find("Element number mis-match: 2\n"), std::string::npos) << log;
    // The record is read all the same, then reading stops.
    EXPECT_STREQ(f.fms()->AfeLst[2]->name, "b");
    EXPECT_EQ(f.fms()->AfeLst[3], nullptr);
    EXPECT_NE(log.find("PRJ read error in Airflow Element section"), std::string::npos);
}

TEST(AfeRead, MissingTerminatorIsAReadError)
{
    SectionFile f("1\n1 0 plr_orfc a\nd\n 1 1 0.5\n-998\n");
    EXPECT_EQ(afelmt_read(f.fms(), &f.pool, 0, 0), 1);
    EXPECT_EQ(f.errors(), 1);
    EXPECT_TRUE(f.logHas("PRJ read error in Airflow Element section"));
}

TEST(AfeRead, CirdalFilesCarryAnExtraLineForSomeKinds)
{
    const char* text = R"(5
1 0 plr_orfc a
d
 0.001 0.05 0.5
 cirdal extra
2 0 plr_qcn b
d
 0.001 0.05 0.6
 cirdal extra
3 0 srv_jwa c
d
 0.01 20 0.25
 cirdal extra
4 0 plr_leak1 e
d
 0.002 0.06 0.65
5 0 dct_dwc f
d
 0.0001 0 0
 0.2 0.628 0.0314 0 0 0 0 0
 0 0 0 0 0 0 0 0
 cirdal extra
-999
)";
    {
        SectionFile f(text);
        EXPECT_EQ(afelmt_read(f.fms(), &f.pool, 0, 1), 5);
        EXPECT_EQ(f.errors(), 0) << f.log();
        EXPECT_FLOAT_EQ(static_cast<AfePlr*>(f.fms()->AfeLst[4]->data)->expt, 0.65f);
        EXPECT_FLOAT_EQ(static_cast<AfeDwc*>(f.fms()->AfeLst[5]->data)->D, 0.2f);
    }
    {
        SectionFile f(text); // the same lines in a Flowpad file are out of place
        afelmt_read(f.fms(), &f.pool, 0, 0);
        EXPECT_GT(f.errors(), 0);
    }
}

TEST(AfeRead, SplineFitFailuresMarkTheElement)
{
    SectionFile f(R"(3
1 0 csf_fsp dup
d
 3 0 0
 0 0
 1 1
 1 2
2 0 csf_psf flat
d
 4 0 0
 0 0
 1 1
 2 1
 3 2
3 0 csf_qsp order
d
 3 0 0
 0 0
 1 1
 0.5 2
-999
)");
    afelmt_read(f.fms(), &f.pool, 0, 0);
    std::string log = f.log();
    EXPECT_NE(log.find("Multiple data points  at x =    1\n"), std::string::npos) << log;
    EXPECT_EQ(afe_csf(f.fms()->AfeLst[1])->status, 1);
    // The first error ends the section.
    EXPECT_EQ(f.fms()->AfeLst[2], nullptr);

    // A flat part is not an error while reading; the element is only marked unusable.
    SectionFile g(R"(2
1 0 csf_psf flat
d
 4 0 0
 0 0
 1 1
 2 1
 3 2
2 0 csf_qsp order
d
 3 0 0
 0 0
 1 1
 0.5 2
-999
)");
    afelmt_read(g.fms(), &g.pool, 0, 0);
    log = g.log();
    EXPECT_EQ(afe_csf(g.fms()->AfeLst[1])->status, 1);
    EXPECT_NE(log.find("     y' = 0 at x = "), std::string::npos) << log;
    EXPECT_NE(log.find("Data points out of order at x =  0.5\n"), std::string::npos) << log;
    EXPECT_EQ(afe_csf(g.fms()->AfeLst[2])->status, 1);
    EXPECT_EQ(g.errors(), 1);
}

TEST(AfeRead, SuperElementMemberOutOfRange)
{
    SectionFile f("2\n1 0 plr_orfc a\nd\n 1 1 0.5\n2 0 sup_afe s\nd\n 2 0 0\n 1 1 0\n 5 1 0\n-999\n");
    afelmt_read(f.fms(), &f.pool, 0, 0);
    EXPECT_EQ(f.errors(), 1);
    EXPECT_TRUE(f.logHas("Invalid element number 5 in super element s"));
    auto* sup = static_cast<AfeSup*>(f.fms()->AfeLst[2]->data);
    EXPECT_EQ(sup->list[0].elem, f.fms()->AfeLst[1]);
    EXPECT_EQ(sup->list[1].elem, nullptr);
}

TEST(AfeRead, DwcWithoutDiameterIsAnError)
{
    SectionFile f("1\n1 0 dct_dwc z\nd\n 0.0001 0 0\n 0 0 0 0 0 0 0 0\n 0 0 0 0 0 0 0 0\n-999\n");
    afelmt_read(f.fms(), &f.pool, 1, 0);
    EXPECT_EQ(f.errors(), 1);
    EXPECT_TRUE(f.logHas("Duct element z: hydraulic diameter and area must be positive"));
}

// A curve of more points than one block holds still reads, and its memory goes back with the pool.
TEST(AfeRead, LongSplineCurveOutgrowsABlock)
{
    const int n = 1500; // 60000 bytes of points against 32000-byte blocks
    std::string text = "2\n1 0 csf_fsp long\nd\n " + std::to_string(n) + " 0 0\n";
    for (int i = 0; i < n; i++)
        text += " " + std::to_string(i) + " " + std::to_string(2 * i) + "\n";
    text += "2 0 plr_orfc after\nd\n 1 1 0.5\n-999\n";
    SectionFile f(text);
    ASSERT_EQ(afelmt_read(f.fms(), &f.pool, 0, 0), 2);
    EXPECT_EQ(f.errors(), 0);
    AfeCsf* c = afe_csf(f.fms()->AfeLst[1]);
    EXPECT_EQ(c->status, 0);
    EXPECT_DOUBLE_EQ(c->pts[n - 1].y, 2.0 * (n - 1));
    EXPECT_DOUBLE_EQ(c->pts[700].b, 2.0);
    EXPECT_STREQ(f.fms()->AfeLst[2]->name, "after");
    afe_free_lists(f.fms());
    EXPECT_TRUE(f.balanced());
}

TEST(AfeRead, EmptySectionAllocatesNothing)
{
    SectionFile f("0\n-999\n");
    EXPECT_EQ(afelmt_read(f.fms(), &f.pool, 1, 0), 0);
    EXPECT_EQ(f.errors(), 0);
    EXPECT_EQ(f.fms()->DfeLst, nullptr);
    afe_free_lists(f.fms());
    EXPECT_TRUE(f.balanced());
}

TEST(AfeRead, NameLongerThan15CharactersIsFatal)
{
    ChildResult r = runChild([] {
        SectionFile f("1\n1 0 plr_orfc abcdefghijklmnop\nd\n 1 1 0.5\n-999\n");
        afelmt_read(f.fms(), &f.pool, 0, 0);
    });
    EXPECT_EQ(r.status, 2);
}
