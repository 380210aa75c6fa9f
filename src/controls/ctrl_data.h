// Parameter and state records of the control node types (CtrlNode::data), shared by the
// reader, the linking, the node functions and the value files and control log.
#ifndef FLOWMIR_CONTROLS_CTRL_DATA_H
#define FLOWMIR_CONTROLS_CTRL_DATA_H

#include <cstdint>

#include "controls/ctrl.h"
#include "controls/schedule.h"

struct AirLink;

// Sensor types and measures.
enum { SNS_ZONE = 1, SNS_PATH = 2, SNS_JCT = 3, SNS_DUCT = 4, SNS_OCCUPANT = 5, SNS_TERM = 6 };
enum { SNS_MF = 0, SNS_TEMP = 1, SNS_FLOW = 2, SNS_PRES = 3, SNS_PGAGE = 4, SNS_OCCUPANCY = 5 };
// Sensor flag bits.
enum { SNS_OFFSET_SCALE = 0x1, SNS_TIME_CONSTANT = 0x2 };

struct SensorData {  // "sns"
    float offset, scale;
    float tau;  // s
    int index;
    short sensorType, measure;
    float x, y, z;
    char speciesName[32];
    // Resolved by the linking: a double through src, a float through the node's in1, or the net
    // flow of a link (the sum of its two directional flows).
    const double* src;
    const AirLink* flow;
    float decay;
    uint8_t started;
    short species;
};

struct SchData {  // "sch"
    WeekSchedule* week;
};

struct ConstData {  // "set" constant, "bnd" band width, "pc" gain
    float value;
};

enum { CTRL_COLUMN_LEN = 16, CTRL_LABEL_LEN = 32, CTRL_UNITS_LEN = 16 };

struct ColumnData {  // "cdv"
    char column[CTRL_COLUMN_LEN];
};

struct ModData {  // "mod"
    float offset, scale;
};

struct LogData {  // "log"; begins as ModData, so both types share one function
    ModData os;
    char label[CTRL_LABEL_LEN];
    char units[CTRL_UNITS_LEN];
};

struct HysData {  // "hys"
    float slack, gain, last;
};

struct DlsData {  // "dls"
    DaySchedule* up;    // increases: 0 (old value) to 1 (new value)
    DaySchedule* down;  // decreases: 1 (old value) to 0 (new value)
    DaySchedule* shape; // the one of the change in progress
    float delta, lastIn;
    double t0;          // s of the day the change began
    uint8_t started;
};

struct DlxData {  // "dlx"
    float tauUp, tauDown;  // s
    float lastIn, factor;
    uint8_t started;
};

struct IntData {  // "int" of the gated integral
    double total;
    float lastIn, lastCtl;
    uint8_t started;
};

struct IrsData {  // "int" of the listing-interval integral and average
    int trapezoid;
    double total;
    float elapsed;  // s
    float lastIn;
};

struct RavData {  // "rav"
    int span;  // s
    double sum, weight;
    float* ring;  // [0..size] ("rav")
    int count, size, oldest, newest;
    int state;  // 0 new, -1 ring allocated, 1 running
};

struct PicData {  // "pic"
    float kp, ki, lastOut, lastIn;
};

struct ListData {  // "sum" of sum, avg, max, min
    short n;
    int* nodeNrs;  // [n] ("cnode"), dropped once linked
    float** vals;  // [n] ("vals")
};

struct PolyData {  // "poly"
    int n;     // degree
    float* a;  // [0..n] ("polya")
};

#endif
