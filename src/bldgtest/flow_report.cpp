// The building airflow test's ".val" report.
#include <cstdio>
#include <initializer_list>

#include "bldgtest/bldgtest.h"
#include "network/airnet.h"
#include "support/timeconv.h"

static const char* const kDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday",
                                         "Saturday"};

void bt_report_time(FlowmirState* fms, char* time, char* day, int size)
{
    int t = fms->stepEndTime + (fms->dstFlag ? 3600 : 0);
    int d = fms->dayType;
    if (t > 86400) {
        t -= 86400;
        if (d >= 1 && d <= 7) d = d % 7 + 1;
    }
    char buf[32];
    if (!timestr(fms, t, buf)) buf[0] = '\0';
    snprintf(time, size, "%s", buf);
    if (d >= 1 && d <= 7)
        snprintf(day, size, "%s", kDayNames[d - 1]);
    else
        snprintf(day, size, "%d", d);
}

// Zones listed in the zone tables: every zone but the system zones.
static int listedZones(FlowmirState* fms)
{
    int k = 0;
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (n->styp == NODE_ZONE && n != fms->ambt && bt_class(fms, n) != BT_SYS) k++;
    return k;
}

// Zone nodes by number: the table rows are written in zone order.
static AirNode* zoneNode(FlowmirState* fms, int nr)
{
    if (nr == 0) return fms->ambt;
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (n->styp == NODE_ZONE && n != fms->ambt && n->s_nr == nr) return n;
    return nullptr;
}

static void zoneRates(FlowmirState* fms, FILE* fp, const FlowRow* rows)
{
    if (fms->nzone <= 0) {
        fprintf(fp, "\nZones:\t0\n");
        return;
    }
    fprintf(fp, "Zones:\t%d\t\t flows [ACH]\n", listedZones(fms));
    fprintf(fp, "zone\tC/U\tSupply\tRet/Exh\tOA sys\tOA tot\tCirc tot\tP [Pa]\tT [C]\tVol [m^3]\n");
    for (int z = 1; z <= fms->nzone; z++) {
        AirNode* n = zoneNode(fms, z);
        if (!n || bt_class(fms, n) == BT_SYS) continue;
        const double* r = rows[z];
        double f = 3600.0 / (r[FT_DENS] * r[FT_VOL]);
        double supply = r[FT_FMTERM] + r[FT_FMLEAK] + r[FT_FMAHS] + r[FT_FMFAN];
        double ret = r[FT_TOTERM] + r[FT_TOLEAK] + r[FT_TOAHS] + r[FT_TOFAN];
        double oaSys = r[FT_OATERM] + r[FT_OALEAK] + r[FT_OAAHS] + r[FT_OAFAN];
        double oaTot = oaSys + r[FT_FMAMBT];
        double circ = r[FT_TOTERM] + r[FT_TOLEAK] + r[FT_TOAHS] + r[FT_TOCZONE] + r[FT_TOUZONE] + r[FT_TOAMBT];
        fprintf(fp, "%d\t%c", z, bt_class(fms, n));
        for (double x : {supply, ret, oaSys, oaTot, circ}) fprintf(fp, "\t%.5g", x * f);
        fprintf(fp, "\t%.5g\t%.5g\t%.5g\n", r[FT_PGAGE], r[FT_TEMP], r[FT_VOL]);
    }
}

static void junctions(FlowmirState* fms, FILE* fp)
{
    if (fms->njct <= 0) {
        fprintf(fp, "\nJunctions:\t0\n");
        return;
    }
    fprintf(fp, "\nJunctions:\t%d\n", fms->njct);
    fprintf(fp, "junction\tJ/T\tOA [%%]\tFlow [kg/s]\tP [Pa]\tT [C]\tVol [m^3]\n");
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (n->styp == NODE_ZONE) continue;
        fprintf(fp, "%d\t%c", n->s_nr, bt_class(fms, n));
        fprintf(fp, "\t%.5g", (n->Mf ? n->Mf[0] : 0.0) * 100.0);
        if (n->sumF > 1e-12)
            fprintf(fp, "\t %.5g", n->sumF / 2.0);
        else
            fprintf(fp, "\t 0");
        fprintf(fp, "\t%.5g\t%.5g\t%.5g\n", n->Pgage, n->T - 273.15, n->V);
    }
}

static void classified(FlowmirState* fms, FILE* fp, const FlowRow* rows)
{
    fprintf(fp, "\nClassified Zone Airflows for %s%s\n\n", fms->_prjname, fms->_pext);
    fprintf(fp, "Zones:\t%d\t\t flows [kg/s]\n", listedZones(fms) + 1);
    fprintf(fp, "zone\tC/U\tVol [m^3]\tDens [kg/m^3]");
    fprintf(fp, "\tfmTerm\tfmLeak\tfmAHS\tfmFan\tfmCzone\tfmUzone\tfmAmbt");
    fprintf(fp, "\ttoTerm\ttoLeak\ttoAHS\ttoFan\ttoCzone\ttoUzone\ttoAmbt");
    fprintf(fp, "\toaTerm\toaLeak\toaAHS\toaFan\n");
    for (int z = 0; z <= fms->nzone; z++) {
        AirNode* n = zoneNode(fms, z);
        if (!n || bt_class(fms, n) == BT_SYS) continue;
        const double* r = rows[z];
        fprintf(fp, "%d\t%c\t%.5g\t%.5g", z, bt_class(fms, n), r[FT_VOL], r[FT_DENS]);
        for (int c = FT_FMTERM; c <= FT_OAFAN; c++) fprintf(fp, "\t%.5g", r[c]);
        fprintf(fp, "\n");
    }
}

static void volume(FILE* fp, const char* title, double V)
{
    fprintf(fp, "%s\n", title);
    fprintf(fp, "%.5g\tm^3\n", V);
    fprintf(fp, "%.5g\tcuft\n", V * 35.314667);
}

void bt_write_flow_report(FlowmirState* fms, FILE* fp, const FlowRow* rows, const BtVolumes* v, double ach)
{
    char time[32], day[32];
    bt_report_time(fms, time, day, sizeof time);
    fprintf(fp, "Airflow Summary for %s%s\n\n", fms->_prjname, fms->_pext);
    fprintf(fp, "Ambient T:\t%.2f\tC\n", fms->Tambt - 273.15);
    fprintf(fp, "Pressure: \t%.2f\tPa\n", fms->Pambt);
    fprintf(fp, "Wind spd: \t%.2f\tm/s\n", fms->Wspd);
    fprintf(fp, "Wind dir: \t%.2f\tdeg\n", fms->Wdir);
    fprintf(fp, "Time:     \t%s\t%s\n\n", time, day);
    fprintf(fp, "Bldg ACH:\t%.3f\n\n", ach);
    if (fms->valZones) zoneRates(fms, fp, rows);
    if (fms->valJunctions) junctions(fms, fp);
    if (fms->valClassified) classified(fms, fp, rows);
    fprintf(fp, "\nVolumes: %s\n", fms->_prjname);
    volume(fp, "Conditioned zones", v->cond);
    volume(fp, "Ducts & AHS (conditioned)", v->ducts);
    volume(fp, "Unconditioned zones", v->uncond);
}
