// The simulation state record: everything one run owns lives here.
#ifndef FLOWMIR_ENGINE_STATE_H
#define FLOWMIR_ENGINE_STATE_H

#include <csignal>
#include <cstdint>
#include <cstdio>

#include "boundary/bracket.h"

struct FlowmirState;

// Records of the project file; each is defined by the module that reads it.
struct Level;
struct Ahs;
struct Zone;
struct Path;
struct Junction;
struct Duct;
struct Afe;
struct Wpf;
struct MemBlock;
struct AirNode;
struct AirLink;
struct AfMat;
struct Species;
struct CseElement;
struct CseInstance;
struct CseSink;
struct Reaction;
struct FilterElement;
struct Filter;
struct MfSystem;
struct DaySchedule;
struct WeekSchedule;
struct CtrlNode;
struct OccSchedule;
struct Exposure;
struct OccSource;
struct ExpStat;
struct SparseSolver;
struct sqlite3;
struct sqlite3_stmt;

typedef int (*ErrorFcn)(FlowmirState* fms, const char* word, const char* msg, int* errorCount);
typedef int (*LogFcn)(FILE* stream, const char* format, ...);
typedef void (*FinishFcn)(FlowmirState* fms, int status);

enum { LAST_ERROR_SIZE = 4112 };

// One results file of a run (results/resfile.h).
enum { RESFILE_PATH = 272, RESFILE_MAX = 96 };
struct ResFile {
    FILE* fp;                 // open temporary file, or none (a deletion on completion)
    char path[RESFILE_PATH];  // final name
    char temp[RESFILE_PATH];  // temporary name beside it
    int failed;               // a write to it failed
};

// The co-simulation server connection (cosim/bridge.h).
struct BridgeState {
    int state;          // 0 none, 2 connected, 1 ended or lost
    char address[260];  // HOST:PORT given by the host, empty for none
    int sock;           // the connected socket, while sockOpen
    int sockOpen;
    uint8_t* msgbuf;    // one message, sent or received ("msgbuf")
    int bufsize;
    int npath, nafe, nahsp, ndct, nterm, nleak, ninode, nonode, nagent;
    int num_envp;       // envelope entries of the information messages
    AirLink** pathList;  // [1..nafpt] "bridge_path_list": ordinary paths first, then system paths
    AirLink** ductList;  // [1..ndct] the duct segments in path order
    int* envList;        // [1..num_envp] "bridge_env_list": entry -> envelope index
    int* ctmList;        // [1..nagent] "bridge_ctm_list": agent -> contaminant index
    uint8_t useVolumeFlows;  // updates carry m3/s
    int runUntilDay;     // the run may step until this day of the run (1 its first) ...
    int runUntilTime;    // ... and this time of day, s
    int options;         // update bits of the last advance message
};

struct FlowmirState {
    // --- common part (errors, log, memory, text reader) ---
    FILE* logFile;
    ErrorFcn errorFcn;
    LogFcn logFcn;
    FinishFcn finishFcn;
    int32_t errorCount;
    char dirChar;
    uint64_t bytesAllocated;
    uint64_t bytesFreed;
    FILE* _UNXT;
    int32_t echo;
    char lastError[LAST_ERROR_SIZE];

    // --- host options ---
    int guiMode;
    int pauseAtStart;
    int inputTest;
    int quiet;
    int afFactorChoice; // skyline method's factorisation: 0 the cheaper, 1 skyline, 2 sparse LDL'
    int _wPBridge;
    int check;                      // strict project check (--check): an input test with findings
    int checkFindings;              // findings the check has reported so far
    ErrorFcn checkChainedErrorFcn;  // the error handler the check passes every report on to
    struct NxtTrack* nxtTrack;      // reader position tracking, only while the check reads the project
    int describe;                   // --describe: write the assembled network as JSON, then stop
    const char* const* changes;     // named changes to the project once read (--set), host-owned
    int nchanges;

    // --- project file name parts ---
    char _prjname[256];
    char _pdrive[3];
    char _pdir[256];
    char _pext[256];
    char projectPath[260];

    // --- driver ---
    int listLevel;
    int cosim;
    int advance;
    int setupCalls;
    void (*prjDataReadyFcnP)(void);
    int useVolumeFlows;  // the co-simulation flow getters return m3/s
    int cosimReady;      // fmiSetupSimulation set the run up: the host may step and end it
    struct CosimLists {
        AirNode** zones;  // [1..nzone] "cosim_zone_list"
        AirLink** paths;  // [1..npath] "cosim_path_list"
        CtrlNode** inodes; // [1..ninode] "cosim_inode_list": named `set` nodes
        CtrlNode** onodes; // [1..nonode] "cosim_onode_list": named `pas` nodes
        AirLink** terms;  // [1..nterm] "cosim_term_list"
        AirNode** jcts;   // [1..njct] "cosim_jct_list"
        AirLink** leaks;  // [1..nleak] "cosim_leak_list"
        AirLink** oaps;   // [1..noap] "cosim_oap_list": each system's recirculation, or none
        float* oapValues; // [1..noap] "cosim_oap_values"
        uint16_t* pathFlags; // [1..npath] the project's flags of each path ("cosim_path_flags")
        int* pathAhs;     // [1..npath] its air-handling system, 0 none ("cosim_path_ahs")
        AirLink** env;    // [1..nenv] the link of each envelope entry ("cosim_env_list")
        double** envMf;   // [1..nenv][0..nctm-1] "ENV_Mf": outdoor mass fractions the host sets
        int nzone, npath, ninode, nonode, nterm, njct, nleak, noap, nenv; // sizes made with
        int nctm;
        // The inputs a step was solved with, for its record written during the next call.
        struct Snapshot {
            double* T;    // [1..nafnd] node temperatures
            double* Mf;   // [0..nafnd*nctm-1] node mass fractions, nodes in list order
            double* envMf; // [0..nenv*nctm-1]
            float* set;   // [1..ninode] input control values
            float Tambt, Wspd, Wdir, Wambt;
            double Pambt;
            int valid;
        } snap;
    } cosimLists;
    int dayofy;
    int stepStartTime, stepEndTime;
    int endDate, endTime;
    int time_step;
    float dt, rdt;
    int listStep, screenStep;
    int dayType;
    int dayCount, stepCount, stepIters;
    int interrupt;
    void* dlgWindow;
    MemBlock* msBlock;
    MemBlock* mbBlock;
    int solveNontrace, solveTrace;
    BridgeState bridge;
    int steadyOnly;  // no transient loop runs
    int assumeConverged;  // the console user asked to take the cyclic day as converged

    // --- run control (project file) ---
    int cirdal;  // the project was written by Cirdal
    float Tambt;
    double Pambt;
    float Wspd, Wdir, ambRH;
    int dayType0;
    char wthPath[260];
    FILE* wthFile;           // the open weather file, or none
    Bracket wthBracket;
    double wthPrev[10], wthNext[10], wthNow[10];  // record values in file order
    uint8_t *dyw, *dyt, *dst;  // [1..365] weather calendar: day of week, day type, daylight saving
    uint8_t wthCheckT;       // the check for an ambient temperature below 200 K is pending
    int wthDay;              // day whose calendar entry was last applied
    int dayOfWeek, dstFlag;  // calendar of the current day (1..7, 0/1)
    int iH2O;                // the water-vapour species, -1 for none
    char ctmPath[260];
    FILE* ctmFile;            // the open ambient contaminant file, or none
    Bracket ctmBracket;
    int nctmCols;             // columns of the file
    int* spindx;              // [0..nctmCols-1] species of each column, -1 when not simulated
    float *ctmPrev, *ctmNext; // [0..nctm-1] ambient mass fractions of the earlier and later record
    char cvfPath[260];
    char dvfPath[260];
    // Control value files and the control log (controls/valfile.h). Column arrays are 0-based.
    char (*cvfNames)[16];       // [0..ncvf-1] CVF column names, until the control nodes are connected
    int ncvf;
    float *cvfV, *cvfV0, *cvfV1; // [0..ncvf-1] current value, earlier and later record
    FILE* cvfFile;
    Bracket cvfBracket;
    uint8_t cvfReady, dvfReady;  // the run reads that file: its arrays exist
    int cvfLinkErrors, dvfLinkErrors;  // components whose column was not found
    char (*dvfNames)[16];       // [0..ndvf-1] DVF column names, until the control nodes are connected
    int ndvf;
    float* dvfV;                 // [0..ndvf-1] current values
    FILE* dvfFile;
    Bracket dvfBracket;
    int dvfPendIdx;              // the event read ahead: column 1..ndvf, 0 none
    float dvfPendVal;
    int afResolve;               // airflow to be solved again (DVF events with file wind pressures)
    ResFile* ctrlLog;            // the control log's results file, or none
    FILE* ctrlLogFile;           // its open stream, or none
    char wpcPath[260];
    int _useWPCwp, _useWPCmf, wpcOption, wpcUse;
    // The wind pressure and contaminant file (boundary/wpc_file.h). Location arrays are [1..n].
    FILE* wpcFile;               // the open file, or none
    Bracket wpcBracket;
    uint8_t wpcOpen;             // the run reads the file (its stream may be gone after a "*")
    uint8_t wpcV24;              // version 2.4: the file gives wind pressures, 2.1 total pressures
    int nwpcPaths, nwpcCols;     // locations n and contaminant columns m of the file
    struct WpcLoc* wpcLocs;      // [1..n] the file's locations
    double wpcPb0, wpcPb1;       // barometric pressure of the earlier and later record, Pa
    float wpcRho0, wpcRho1;      // outdoor air density of the earlier and later record, kg/m3
    float *wpcWP0, *wpcWP1;      // [1..n] wind pressure per location, earlier and later record, Pa
    float* wpcZ;                 // [1..n] height of each location, m
    float *WPC_wP, *WPC_wPr;     // [1..n] current wind pressure per location, and its negative
    int* wpcSpindx;              // [0..m-1] species of each column, -1 when not simulated
    float* wpcMax;               // [0..m-1] largest value of each column in the last record
    float **wpcMf0, **wpcMf1;    // [0..m-1][1..n] mass fractions, earlier and later record
    double** WPC_Mf;             // [1..n][0..nctm-1] current outdoor mass fractions per location
    int afsim, afNewton, afItmax;
    float afRelcnvg, afAbscnvg, afRelax;
    float presTestValue;
    int afSlae, afReorder, cfdFlowOption;
    float afPcgCnvg;
    int afInit, rhoMuCorr;
    int mfsim;
    float cycRelTol, cycMinConc;
    struct MfSettings {
        int method, numbering, maxIter;
        float tol, floor, relax, theta;
    } mfNontrace, mfTrace, mfCombined;
    int mfsolver, cdzOn, cdDucts;
    float dxDuct;
    int stsHeat;
    int cvmethod;
    float cvrtol, cvatol, cvmaxstep;
    int tsdens, densItmax, cnvgSS, densZP, stackD, dodMdt;
    int dateSS, timeSS, date0, time0, date1, time1;
    int restartFlag, restartDate;
    int listSetting;
    int pfres, zfres, zcres;
    int achStepOut, achSumOut, cbwSumOut, expStepOut, expSumOut, ageStepOut, ageSumOut;
    int rzfres, rzmres, rz1res, csmOut, srfres, logcOut;
    int bcexres, dcexres, pfsql, zfsql, zcsql;
    float rhoRef, gravity;
    int afLogIter, afLogSolve;
    int nrvals;
    float* rvals;
    int valZones, valJunctions, valClassified;
    int cfdMode;
    float cfdTol;
    int cfdRestart, cfdMaxIter, cfdReportInterval, cfdMultigrid, cfdMgLineSmoother;

    // --- project components: counts and 1-based index arrays ---
    int nctm;  // simulated species
    int nlev;
    Level** LevLst;
    Level* levels;  // levels in file order
    int nahs;
    Ahs** AhsLst;
    int nzone;
    Zone** ZnLst;
    int npath;
    Path** PthLst;
    int njct;
    Junction** JctLst;
    int ndct;
    Duct** DctLst;
    int nafe;
    Afe** AfeLst;
    int ndfe;
    Afe** DfeLst;
    int nwpf;
    Wpf** WpfLst;
    int nnote;

    // --- occupancy and exposures (controls/occupancy.h) ---
    int nosh;                    // occupancy day schedules
    OccSchedule** OshLst;        // [1..nosh], until network assembly
    int nExposures;
    Exposure** PxLst;            // [1..nExposures], until network assembly
    Exposure* exposures;         // in file order
    OccSource* occSources;       // sources the occupants carry

    // --- schedules and controls ---
    int ndsh, nwsh, nctrl;
    DaySchedule* daySchedList;   // in file order
    DaySchedule** DshLst;        // [1..ndsh]
    WeekSchedule* weekSchedList;
    WeekSchedule** WshLst;       // [1..nwsh]
    CtrlNode** CtLst;            // [1..nctrl]
    CtrlNode* ctrlSeq;           // evaluation order
    int nlogCtrl;                // `log` nodes
    CtrlNode** ctrlLogs;         // [0..nlogCtrl-1] the `log` nodes in control-number order
    int schedDayType;            // day-type index (0-based) of the last seek
    int occupancyOn;             // a sensor reads zone occupancy

    // --- species, sources and sinks, reactions, filters ---
    Species* ctm;        // [0..nctm-1] in simulation order
    int nNonTrace;       // non-trace species among them
    double* Rs;          // [0..nctm-1] gas constants, J/(kg K)
    double* CpS;         // [0..nctm-1] specific heats, J/(kg K)
    float* penf1;        // [0..nctm-1] all ones: the penetration of an unfiltered path
    int ncse;            // source/sink elements
    CseElement** CseLst; // [1..ncse]
    int nknr;            // kinetic reactions
    Reaction** KnrLst;   // [1..nknr]
    int ncss;            // instances: as read, then the regular ones after set-up
    int nbls, ndvr;      // boundary-layer sinks and deposition surfaces after set-up
    CseInstance* cssRead;   // every instance in file order, until set-up distributes them
    // Active lists: [0] trace species (every species when the solver does not split them),
    // [1] non-trace species.
    CseInstance* css[2];
    CseSink* bls[2];
    CseSink* dvr[2];
    CseSink* blsInactive;   // sinks no solver visits
    CseSink* dvrInactive;
    int nflte;               // filter elements
    FilterElement** FlteLst; // [1..nflte]
    int nflt;                // filters
    Filter** FltLst;         // [1..nflt]
    AirLink** Fpath;         // [1..nFpath] links with a filter, built by the loading bookkeeping
    int nFpath;
    MfSystem* mfn;           // the non-trace (or combined) mass-fraction system, or none
    MfSystem* mft;           // the trace-species system, or none
    int mfConcsChanged;      // node mass fractions were replaced from outside the solution
    int trackBases;          // air masses follow the non-trace species in every assembly

    // Initial mass fractions of zones (ambient first) and junctions.
    double* MfZ;
    double* MfZi;
    int nMfZ;
    double* MfJ;
    double* MfJi;
    int nMfJ;

    // --- the airflow network ---
    AirNode* nodeList;  // zones, junctions, then the ambient node
    AirNode* ambt;
    int nafnd;
    AirLink* linkList;  // paths, ducts, then terminals and leaks
    int nafpt;
    AfMat* afMat;
    float Wambt;        // ambient humidity ratio, kg/kg
    double* ambtMf;     // ambient default mass fractions, per species
    float** Mfmax;      // [1..nafnd][0..nctm-1] largest mass fraction of the day
    float** Mftst;      // Mfmax at the end of the previous cyclic day
    int nenv;           // envelope entries: non-system paths and terminals open to the ambient
    float* wPenv;       // [1..nenv] wind pressure of each envelope entry, Pa (none from a WPC file)
    float* wSign;       // [1..nenv] +1 when the ambient is node N, -1 when node M
    int npld;           // distinct opening positions matched to the wind-pressure file
    struct PLDloc* PLDlist;  // [1..npld] those positions, in list order
    int afIgnoreFail;   // convergence failures are only logged
    const Wpf* wpLinLast;  // profile interpolation caches: last table and index
    int wpLinIdx;
    const Wpf* wpSplLast;
    int wpSplIdx;

    // --- statistics of the run ---
    double afTime;  // accumulated airflow solution time, s
    int nSolveAf, nFillAf, nLufSkyS, nLusSkyS, nSaPcg, nSaPcgIt, nSolveMfn, nSolveMft;
    int nSolveSTS, stsRan;
    float stsMinDt;    // smallest stable short-time-step step found, s
    int maxCells;      // cells of the largest duct or one-dimensional zone, + 3
    int nLufSkyN, nLusSkyN, nSaBcg, nSaBcgIt, nSaSor, nSaSorIt, nLufGe, nLusGe;
    int nCubicA, nCubicN, nCDZsim, nDuctLag, nDuctEul;
    int* JfacBins;  // Newton iteration histogram 0..afItmax+1
    int nJfacBins;
    int nDwcLam, nDwcTrns, nDwcTurb;
    int stsSetting;  // further STS setting
    int wpcSetting;  // wind-pressure-file setting
    int fltSumIndex; // filter summary index
    struct RunExtreme {
        float value;
        int nr;          // zone or junction number, -999 none
        int time, date;  // when it occurred
    } achMax, zonePgMax, zonePgMin, jctPgMax, jctPgMin;  // extremes of the run

    // --- ".sim" results file ---
    // Results files of the run: open ones under their temporary names, and final names to
    // delete when the run completes.
    ResFile resFiles[RESFILE_MAX];
    int nResFiles;
    volatile sig_atomic_t stopSignal; // a termination signal arrived: stop at the next safe point

    struct SimOut {
        ResFile* res;                  // the results file's record, or none
        FILE* usim;                    // open results file, or none
        float* ambC;                   // [0..nctm-1] single-precision buffer of a record's fractions
        int nccnd;                     // concentration nodes: nafnd with zcres, else 0
        float Tmax, Tmin, Wmax, Wmin;  // ambient extremes of the day
    } simout;

    // --- short-time-step transport (transport/sts.h) and its results files (results/sts_files.h) ---
    struct StsRun* sts;                // the method's records, or none
    struct StsOut {
        ResFile *rzf, *rzm, *rz1;      // open files, or none
        int nZ1D, nC1D;                // one-dimensional zones and their cells
        float* buf;                    // [0..nbuf-1] one record's values
        int nbuf;
    } stsout;

    // --- ".rst" restart file (engine/restart.h) ---
    struct RestartOut {
        int32_t rhd[10];  // header: counts, first and last date, record size
        // Block counts of a record, in 64-bit reals.
        int nNodeVals, nLinkVals, nMfVals, nFltVals, nCssVals, nBlsVals, nDvrVals, nCtrlVals;
        int sizeData;     // bytes of one record
        int nBuf;         // rBuf holds indexes 0..nBuf: the largest block
        double* rBuf;
        ResFile* res;     // this run's file, written under its temporary name
        FILE* ursf;       // its open stream, or none
    } restart;

    // --- envelope mass accounting; exfiltration and surface listings ---
    int nenvp;                 // links with the ambient at either end
    AirLink** EnvPaths_All;    // [1..nenvp] those links in list order, when accounted
    int* EnvPaths_Ahs;         // [1..nenvp] system of an exhaust path, else 0 (detailed listings)
    double* Env_MdotOut_step;  // [0..nctm-1] kg/s leaving in the current step
    double* Env_MdotIn_step;   // [0..nctm-1] kg/s entering in the current step
    double* Env_MassOut_sum;   // [0..nctm-1] kg left since the start
    double* Env_MassIn_sum;    // [0..nctm-1] kg entered since the start
    double* Env_MassOut_list;  // [0..nctm-1] kg left since the last listing
    double** Env_MassPath;     // [0..nctm-1][1..nenvp] kg left by each link since the last listing
    double Env_Time;           // s of accounting
    FILE* ubcex;               // bulk exfiltration listing, or none
    FILE** dcexLst;            // [0..nctm-1] detailed exfiltration listings, or none
    FILE* usrf;                // surface listing, or none

    // --- results database (results/sqlite_out.h) ---
    sqlite3* sqlDb;                 // open connection, or none
    ResFile* sqlRes;                // its results file record: holds the temporary name
    sqlite3_stmt *stmtTime, *stmtAmbient;        // prepared whenever the database is open
    sqlite3_stmt *stmtZoneCC, *stmtDuctCC;       // zcsql (ducts: with junctions)
    sqlite3_stmt *stmtZoneFlow, *stmtDuctFlow;   // zfsql (ducts: with junctions)
    sqlite3_stmt *stmtPathData, *stmtDuctLinkData; // pfsql (ducts: with duct segments)
    sqlite3_stmt *stmtBegin, *stmtEnd;           // a record's transaction, not parsed per record

    // --- summary files: air changes, age of air, contaminant statistics (results/summary_*.h) ---
    // Statistics of one quantity over a day or over the run.
    struct SumStat {
        double sum, sumSq;
        float min, max;
        int tmin, tmax;  // the day's: time of day of the extremes; the run's: their dates
        int n;           // samples
    };
    struct AchOut {
        FILE* fp;              // open ".ach" file, or none
        double V;              // m3 of conditioned space
        double factor;         // 3600 / (rho V)
        double imbalance;      // largest relative imbalance of inflow and outflow
        int imbDate, imbTime;
        SumStat day[3], run[3];  // path, duct, total
    } ach;
    struct AgeOut {
        FILE* fp;              // open ".age" file, or none
        int n;                 // equations: the airflow nodes without the ambient
        double** flows;        // [1..nafnd][1..nafnd] outflow matrix ("flows")
        double* ident;         // [1..n] a unit column, then its solution ("ident")
        double* sum;           // [1..n] the ages in seconds: row sums of the times ("times")
        double* mass;          // [1..n] node air masses ("mass")
        double *rowchk, *colchk, *maxdif;  // [1..n] balance check
        float* age;            // [1..nzone] hours
        SumStat *day, *run;    // [1..nzone]
        // Networks of more than AGE_DENSE_MAX nodes: the outflow matrix in row-indexed
        // storage, factored by the sparse solvers instead of the dense elimination.
        int* ija;              // [1..nnz] ("age-ija")
        double* sa;            // [1..nnz] ("age-sa")
        int nnz;
        double *ambIn, *ambOut;  // [1..n] each node's air from and to the ambient
        SparseSolver* solver;  // ("age-solver")
    } age;
    struct CbwOut {
        FILE* fp;              // open ".cbw" file, or none
        AirNode** zoneNode;    // [0..nzone]: the ambient, then zone nodes by number
        SumStat **day, **run;  // [0..nzone][0..nctm-1] ("ctm_day", "ctm_run")
    } cbw;
    struct ExpOut {
        FILE* fp;                       // open ".ebw" file, or none
        ExpStat **exp_day, **exp_run;   // [1..nExposures][0..nctm-1]
        int stepsDay, stepsRun;         // steps recorded today and in the run
    } exp;

    // --- building tests and duct balancing (bldgtest/bldgtest.h) ---
    FILE* balFile;              // the open ".bal" report, or none
    struct BalDat* balGroups;   // fan groups of the duct balancing, newest first

    // --- CFD coupling settings ---
    struct CfdState {
        float upper[12];  // bounds of the coupled variables
        float lower[12];
        float tol[2];
        int sw[6];
    } cfd;
    struct CfdRun* cfdRun;  // the CFD zone's case, grid and fields (cfd/cfd.h), or none
    struct CplState* cpl;   // the CFD zone's coupling (cfd/cpl.h), or none
};

#endif
