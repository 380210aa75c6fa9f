// Reading a ".sim" results file back, with a check of its whole structure.
#ifndef FLOWMIR_RESULTS_SIMREAD_H
#define FLOWMIR_RESULTS_SIMREAD_H

#include <cstdint>
#include <string>
#include <vector>

struct SimHeader {
    int32_t type;  // 24
    int32_t nnode, npath, ncont, njct, ndct;
    int32_t step;  // listing time step, s
    int32_t date0, time0, date1, time1;
    int32_t pfres, zfres, zcres;
    int32_t nafnd, nccnd, nafpt;
};

enum { SIM_STEP_RECORD = 0, SIM_DAY_SUMMARY = 1 };

// A path row: step records fill dP, F0, F1; day summaries dPmax and Fmax.
struct SimPathRow {
    int32_t nr;
    float dP, F0, F1;
    float dPmax, Fmax;
};

// A node row: step records fill T, Pg, D; day summaries Pgmax and Pgmin.
struct SimNodeRow {
    int32_t nr;
    float T, Pg, D;
    float Pgmax, Pgmin;
};

struct SimConcRow {
    int32_t nr;
    std::vector<float> mf;  // per contaminant; day summaries: the day's maxima
};

struct SimRecord {
    int kind;  // SIM_STEP_RECORD or SIM_DAY_SUMMARY
    int day, dayType, time;
    long offset;                   // file position of the record
    float Ta, Pb, Ws, Wd;          // step record: ambient values
    float Tmax, Tmin, Wmax, Wmin;  // day summary: the day's ambient extremes
    std::vector<float> ambMf;      // ambient mass fractions (day summary: their maxima)
    std::vector<SimPathRow> paths;
    std::vector<SimNodeRow> nodes;
    std::vector<SimConcRow> concs;
};

struct SimFile {
    SimHeader h;
    std::vector<int32_t> nodeStyp, nodeSnr;  // [0..nafnd-1]
    std::vector<int32_t> concStyp, concSnr;  // [0..nccnd-1]
    std::vector<int32_t> pathStyp, pathSnr;  // [0..nafpt-1]
    long recordSize;                         // bytes of every record
    std::vector<SimRecord> records;
    int32_t trailer[16];  // n, time steps, iterations, solver counters, 0, 0
    std::vector<int32_t> jfacBins;  // entries 0..n of the Newton iteration histogram
    long size;                      // bytes of the file
};

// Reads and checks a whole results file. A file that is not a complete results file (foreign,
// truncated, inconsistent) gives false and a message naming the first fault. Only regular files
// are read: a directory, a device or a FIFO is refused without reading or waiting, and the
// header's counts are checked against the file's size before the rest of it is read.
bool simRead(const char* path, SimFile* out, std::string* why);
// The same on bytes already in memory (the header's counts checked against size first).
bool simParse(const unsigned char* data, long size, SimFile* out, std::string* why);

#endif
