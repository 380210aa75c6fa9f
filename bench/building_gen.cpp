// The building generator: lays out floors of rooms (corridor or grid plan), joins them by cracks,
// doors, transfer grilles and stairwell openings, exposes the envelope to the wind and, on
// request, feeds every room from a supply duct system of its floor. The records are collected
// first and then written section by section in the project file's order, numbered by position.
#include "building_gen.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

// Geometry, m.
const float FLOOR_HEIGHT = 3.5f; // level to level
const float ZONE_HEIGHT = 3.0f;  // floor to ceiling
const float ROOM_WIDTH = 4.0f;   // along the corridor, and the grid pitch
const float ROOM_DEPTH = 5.0f;   // corridor plan, from facade to corridor
const float CORRIDOR_WIDTH = 2.0f;
const float STAIR_WIDTH = 4.0f;
const float CRACK_LOW = 0.5f; // two crack rows per exterior wall: stack needs both
const float CRACK_HIGH = 2.5f;
const float DOOR_MID = 1.0f;
const float GRILLE_HEIGHT = 2.2f;
const float INNER_CRACK_HEIGHT = 1.5f;
const float DUCT_HEIGHT = 2.8f;
const float INTAKE_HEIGHT = 3.2f;

// Ambient conditions of the run control; the constant wind pressures are derived from them.
const float T_AMBIENT = 283.15f;
const float P_AMBIENT = 101325.0f;
const float WIND_SPEED = 4.0f;
const float WIND_DIR = 270.0f;
const float R_AIR = 287.055f;
const float PI_F = 3.14159265f;
const float RHO_STD = 1.2041f;
const float MU_STD = 1.81625e-5f;

// Supply air per room, kg/s, and the air temperature in the ducts, K.
const float ROOM_FLOW = 0.03f;
const float SUPPLY_T = 288.15f;

const int AMBIENT = -1;
const int PATH_WIND = 0x01;
const int ZONE_FLAGS = 0x03; // pressure and mass fractions solved

// Numbers in the path-element section.
enum { E_EXT_CRACK = 1, E_INT_CRACK, E_DOOR, E_GRILLE, E_STAIR };
// Numbers in the duct-element section.
enum { D_FAN = 1, D_CMF, D_TRUNK, D_BRANCH };

// Facades by wall azimuth: north 0, east 90, south 180, west 270.
enum { NORTH = 0, EAST = 1, SOUTH = 2, WEST = 3 };
const float FACADE_AZIMUTH[4] = {0.0f, 90.0f, 180.0f, 270.0f};

struct GZone {
    int level;
    float volume; // m3
    float T;      // K
    char name[32];
};

struct GPath {
    int flags;
    int n, m; // zones, -1 ambient
    int elem;
    int wpf;
    int level;
    float x, y, relHt;
    float mult;
    float windConst, windMod, azimuth;
};

struct GJunction {
    int terminal;
    int zone; // zone around it, or the zone a terminal opens to; -1 ambient
    int duct;
    int level;
    float x, y, relHt;
    float T;
    // terminals
    const char* word;
    int flags;
    int wpf;
    float windConst, windMod, azimuth;
    int bal;
    float area; // m2, face area
    float Fdes; // kg/s, positive into the zone
    float loss1, loss2;
};

struct GDuct {
    int jN, jM;
    int elem;
    float len;  // m
    float dh;   // m, written where the assembly later puts its own values
    float area; // m2
    float sumC;
    int ctrl = 0; // control node of the duct's multiplier
};

// A stop of a floor's trunk: the trunk junction and the rooms its branches feed.
struct TrunkStop {
    float x, y;
    int zone;
    int nrooms;
    int room[2];
    float roomX[2], roomY[2];
};

struct Building {
    BuildingOptions opt;
    std::vector<int> fanDucts;    // each floor's supply fan duct
    std::vector<int> sensedZones; // the room each floor's control network senses
    uint64_t rng;
    std::vector<GZone> zones;
    std::vector<GPath> paths;
    std::vector<GJunction> junctions;
    std::vector<GDuct> ducts;
    std::vector<int> stairZone; // per level, 1-based
    int facadeProfile[4];       // wind profile of each facade on the current floor
    float floorFlow;            // kg/s, supply of one floor
    float trunkDh, branchDh;    // m
};

// --- numbers -------------------------------------------------------------------------------

// splitmix64: small, fast and the same on every platform.
uint64_t rngNext(uint64_t& s)
{
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double rngUniform(uint64_t& s)
{
    return (double)(rngNext(s) >> 11) * (1.0 / 9007199254740992.0);
}

float rngRange(uint64_t& s, float lo, float hi)
{
    return lo + (hi - lo) * (float)rngUniform(s);
}

float roundTo(float v, float step)
{
    return std::round(v / step) * step;
}

// Pressure coefficient of a wall for the wind angle relative to it, degrees:
// +0.6 head-on, -0.55 along the wall, -0.35 in the lee.
float cpWall(float thetaDeg)
{
    double t = thetaDeg * 3.14159265358979 / 180.0;
    return (float)(-0.2125 + 0.475 * std::cos(t) + 0.3375 * std::cos(2.0 * t));
}

// Laminar coefficient that carries the flow at a Reynolds number of 30 through an opening of
// the given area and hydraulic diameter (power law in the square-root-of-density form).
float lamCoef(float turb, float expt, float area, float dh)
{
    float Ft = 30.0f * MU_STD * area / dh;
    float dPt = std::pow(Ft / (turb * 1.097315f), 1.0f / expt);
    if (dPt < 1e-10f) dPt = 1e-10f;
    return Ft * MU_STD / (dPt * RHO_STD);
}

// Turbulent coefficient of a sharp-edged orifice, square-root-of-density form.
float orificeCoef(float area, float cd)
{
    return cd * area * std::sqrt(2.0f);
}

// --- text ----------------------------------------------------------------------------------

void put(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void put(std::string& out, const char* format, ...)
{
    char line[1024];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    if (n < 0) return;
    out.append(line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
}

// --- components ----------------------------------------------------------------------------

float levelElevation(int level)
{
    return (float)(level - 1) * FLOOR_HEIGHT;
}

int addZone(Building& b, int level, float volume, float T, const char* name)
{
    GZone z{};
    z.level = level;
    z.volume = volume;
    z.T = T;
    // Names are single words of at most 31 characters; a longer one falls back to the number.
    if (strlen(name) < sizeof z.name)
        snprintf(z.name, sizeof z.name, "%s", name);
    else
        snprintf(z.name, sizeof z.name, "Z%d", (int)b.zones.size() + 1);
    b.zones.push_back(z);
    return (int)b.zones.size();
}

// Room temperatures spread a little so that the stack pressures differ between rooms.
float roomTemperature(Building& b)
{
    return roundTo(293.15f + rngRange(b.rng, -1.5f, 1.5f), 0.01f);
}

int addPath(Building& b, int n, int m, int elem, int level, float x, float y, float relHt, float mult)
{
    GPath p{};
    p.n = n;
    p.m = m;
    p.elem = elem;
    p.level = level;
    p.x = x;
    p.y = y;
    p.relHt = relHt;
    p.mult = mult;
    p.windMod = 1.0f;
    b.paths.push_back(p);
    return (int)b.paths.size();
}

// Wind on an envelope opening: a profile of its facade scaled by a height factor, or without
// profiles the constant pressure the run's wind gives on that wall.
void setWind(const Building& b, int level, float relHt, int facade, int* wpf, float* windConst,
             float* windMod, float* azimuth)
{
    float z = levelElevation(level) + relHt;
    float heightFactor = std::pow((z > 1.0f ? z : 1.0f) / 10.0f, 0.22f);
    *azimuth = FACADE_AZIMUTH[facade];
    *windMod = roundTo(heightFactor, 0.001f);
    if (b.opt.windProfiles) {
        *wpf = b.facadeProfile[facade];
        *windConst = 0.0f;
    } else {
        float theta = WIND_DIR - *azimuth;
        if (theta < 0.0f) theta += 360.0f;
        float rho = P_AMBIENT / (R_AIR * T_AMBIENT);
        *wpf = 0;
        *windConst = roundTo(cpWall(theta) * 0.5f * rho * WIND_SPEED * WIND_SPEED * heightFactor, 0.001f);
    }
}

// An exterior wall of a zone: a low and a high crack row over the wall's length, both
// wind-exposed, flowing from the ambient into the zone.
void addWall(Building& b, int zone, int level, float x, float y, int facade, float length)
{
    const float heights[2] = {CRACK_LOW, CRACK_HIGH};
    for (float relHt : heights) {
        int nr = addPath(b, AMBIENT, zone, E_EXT_CRACK, level, x, y, relHt, length);
        GPath& p = b.paths[nr - 1];
        p.flags = PATH_WIND;
        setWind(b, level, relHt, facade, &p.wpf, &p.windConst, &p.windMod, &p.azimuth);
    }
}

// Two neighbouring zones share a wall crack and, as often as not, a door; otherwise a grille.
void addNeighbours(Building& b, int z1, int z2, int level, float x, float y, float wallLength, bool door)
{
    addPath(b, z1, z2, E_INT_CRACK, level, x, y, INNER_CRACK_HEIGHT, wallLength);
    if (door)
        addPath(b, z1, z2, E_DOOR, level, x, y, DOOR_MID, 1.0f);
    else
        addPath(b, z1, z2, E_GRILLE, level, x, y, GRILLE_HEIGHT, 1.0f);
}

// The stairwell of a floor, with its shaft opening to the stairwell below.
int addStair(Building& b, int level, float x, float y, float volume)
{
    char name[32];
    snprintf(name, sizeof name, "F%03d_Stair", level);
    int z = addZone(b, level, volume, 291.15f, name);
    b.stairZone[level] = z;
    if (level > 1) addPath(b, b.stairZone[level - 1], z, E_STAIR, level - 1, x, y, FLOOR_HEIGHT, 1.0f);
    return z;
}

int addJunction(Building& b, int terminal, int zone, int level, float x, float y, float relHt, float T)
{
    GJunction j{};
    j.terminal = terminal;
    j.zone = zone;
    j.level = level;
    j.x = x;
    j.y = y;
    j.relHt = relHt;
    j.T = T;
    j.word = "-";
    j.windMod = 1.0f;
    b.junctions.push_back(j);
    return (int)b.junctions.size();
}

int addDuct(Building& b, int jN, int jM, int elem, float len, float dh, float sumC)
{
    GDuct d{};
    d.jN = jN;
    d.jM = jM;
    d.elem = elem;
    d.len = len > 0.5f ? roundTo(len, 0.01f) : 0.5f;
    d.dh = dh;
    d.area = PI_F * dh * dh / 4.0f;
    d.sumC = sumC;
    b.ducts.push_back(d);
    return (int)b.ducts.size();
}

float distance(float x1, float y1, float x2, float y2)
{
    return std::sqrt((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2));
}

// One floor's supply system: an outdoor-air intake terminal, the fan duct to the first trunk
// junction, the trunk through the stops, and a branch with a terminal into every room. The
// ducts form a tree, so no fan sits in a loop.
void addDuctSystem(Building& b, int level, float intakeX, float intakeY, int intakeFacade,
                   const std::vector<TrunkStop>& stops)
{
    int fanElem = rngUniform(b.rng) < 0.5 ? D_FAN : D_CMF;

    int intake = addJunction(b, 1, AMBIENT, level, intakeX, intakeY, INTAKE_HEIGHT, T_AMBIENT);
    {
        GJunction& j = b.junctions[intake - 1];
        j.word = "intake";
        j.flags = PATH_WIND;
        setWind(b, level, INTAKE_HEIGHT, intakeFacade, &j.wpf, &j.windConst, &j.windMod, &j.azimuth);
        j.area = roundTo(b.floorFlow / (1.2f * 2.5f), 0.001f);
        if (j.area < 0.01f) j.area = 0.01f;
        j.Fdes = -b.floorFlow;
        j.loss1 = 3.0f;
    }

    std::vector<int> trunk(stops.size());
    for (size_t s = 0; s < stops.size(); s++)
        trunk[s] = addJunction(b, 0, stops[s].zone, level, stops[s].x, stops[s].y, DUCT_HEIGHT, SUPPLY_T);

    std::vector<int> term;
    for (const TrunkStop& st : stops) {
        for (int r = 0; r < st.nrooms; r++) {
            int t = addJunction(b, 1, st.room[r], level, st.roomX[r], st.roomY[r], DUCT_HEIGHT, SUPPLY_T);
            GJunction& j = b.junctions[t - 1];
            j.word = "supply";
            j.bal = 1;
            j.area = 0.04f;
            j.Fdes = ROOM_FLOW;
            j.loss1 = 2.0f;
            term.push_back(t);
        }
    }

    int fan = addDuct(b, intake, trunk[0], fanElem, distance(intakeX, intakeY, stops[0].x, stops[0].y),
                      b.trunkDh, 0.0f);
    b.junctions[intake - 1].duct = fan;
    b.junctions[trunk[0] - 1].duct = fan;
    b.fanDucts.push_back(fan);
    b.sensedZones.push_back(stops[0].room[0]);
    for (size_t s = 1; s < stops.size(); s++) {
        float len = distance(stops[s - 1].x, stops[s - 1].y, stops[s].x, stops[s].y);
        int d = addDuct(b, trunk[s - 1], trunk[s], D_TRUNK, len, b.trunkDh, 0.2f);
        b.junctions[trunk[s] - 1].duct = d;
    }
    size_t k = 0;
    for (size_t s = 0; s < stops.size(); s++) {
        for (int r = 0; r < stops[s].nrooms; r++, k++) {
            float len = distance(stops[s].x, stops[s].y, stops[s].roomX[r], stops[s].roomY[r]);
            int d = addDuct(b, trunk[s], term[k], D_BRANCH, len, b.branchDh, 1.5f);
            b.junctions[term[k] - 1].duct = d;
        }
    }
}

void pickFacadeProfiles(Building& b)
{
    for (int f = 0; f < 4; f++)
        b.facadeProfile[f] = 1 + (int)(rngNext(b.rng) % 3);
}

// Rooms on both sides of a corridor running east from the stairwell: south rooms from y = 0,
// the corridor, north rooms beyond it.
void corridorFloor(Building& b, int level)
{
    const int R = b.opt.roomsPerFloor;
    const int ns = (R + 1) / 2, nn = R - ns;
    const float W = ROOM_WIDTH;
    const float ySouth = ROOM_DEPTH / 2.0f;
    const float yCorr = ROOM_DEPTH + CORRIDOR_WIDTH / 2.0f;
    const float yNorth = ROOM_DEPTH + CORRIDOR_WIDTH + ROOM_DEPTH / 2.0f;
    const float yTop = 2.0f * ROOM_DEPTH + CORRIDOR_WIDTH;
    const float length = (float)ns * W;
    const float roomVolume = W * ROOM_DEPTH * ZONE_HEIGHT;
    char name[32];

    int first[2]; // first zone of the south and the north side
    const int count[2] = {ns, nn};
    for (int side = 0; side < 2; side++) {
        first[side] = (int)b.zones.size() + 1;
        for (int i = 1; i <= count[side]; i++) {
            snprintf(name, sizeof name, "F%03d_%c%04d", level, side == 0 ? 'S' : 'N', i);
            addZone(b, level, roomVolume, roomTemperature(b), name);
        }
    }
    snprintf(name, sizeof name, "F%03d_Corr", level);
    int corr = addZone(b, level, length * CORRIDOR_WIDTH * ZONE_HEIGHT, 292.15f, name);
    int stair = addStair(b, level, -STAIR_WIDTH / 2.0f, yCorr, STAIR_WIDTH * yTop * ZONE_HEIGHT);

    for (int side = 0; side < 2; side++) {
        const float y = side == 0 ? ySouth : yNorth;
        const float yWall = side == 0 ? 0.0f : yTop;
        const float yDoor = side == 0 ? ROOM_DEPTH : ROOM_DEPTH + CORRIDOR_WIDTH;
        const int facade = side == 0 ? SOUTH : NORTH;
        for (int i = 1; i <= count[side]; i++) {
            int z = first[side] + i - 1;
            float xc = ((float)i - 0.5f) * W;
            addWall(b, z, level, xc, yWall, facade, W);
            addPath(b, z, corr, E_DOOR, level, xc, yDoor, DOOR_MID, 1.0f);
            if (i == 1) addPath(b, z, stair, E_INT_CRACK, level, 0.0f, y, INNER_CRACK_HEIGHT, ROOM_DEPTH);
            if (i < count[side])
                addPath(b, z, z + 1, E_INT_CRACK, level, (float)i * W, y, INNER_CRACK_HEIGHT, ROOM_DEPTH);
            else
                addWall(b, z, level, (float)i * W, y, EAST, ROOM_DEPTH);
        }
    }
    addWall(b, corr, level, length, yCorr, EAST, CORRIDOR_WIDTH);
    addPath(b, stair, corr, E_DOOR, level, 0.0f, yCorr, DOOR_MID, 1.0f);
    addWall(b, stair, level, -STAIR_WIDTH, yTop / 2.0f, WEST, yTop);
    addWall(b, stair, level, -STAIR_WIDTH / 2.0f, 0.0f, SOUTH, STAIR_WIDTH);
    addWall(b, stair, level, -STAIR_WIDTH / 2.0f, yTop, NORTH, STAIR_WIDTH);

    if (!b.opt.ducts) return;
    // The trunk runs west along the corridor from the intake at its east end; each bay feeds
    // the south and the north room across it.
    std::vector<TrunkStop> stops;
    for (int bay = ns; bay >= 1; bay--) {
        TrunkStop st{};
        st.x = ((float)bay - 0.5f) * W;
        st.y = yCorr;
        st.zone = corr;
        st.room[st.nrooms] = first[0] + bay - 1;
        st.roomX[st.nrooms] = st.x;
        st.roomY[st.nrooms++] = ySouth;
        if (bay <= nn) {
            st.room[st.nrooms] = first[1] + bay - 1;
            st.roomX[st.nrooms] = st.x;
            st.roomY[st.nrooms++] = yNorth;
        }
        stops.push_back(st);
    }
    addDuctSystem(b, level, length + 0.5f, yCorr, EAST, stops);
}

// A grid of square rooms, row by row from the south-west corner; rooms with no neighbour on
// a side have an exterior wall there. The stairwell stands west of the first room.
void gridFloor(Building& b, int level)
{
    const int R = b.opt.roomsPerFloor;
    int cols = (int)std::ceil(std::sqrt((double)R));
    while (cols * cols < R)
        cols++;
    const float G = ROOM_WIDTH;
    char name[64];

    const int first = (int)b.zones.size() + 1;
    for (int k = 0; k < R; k++) {
        snprintf(name, sizeof name, "F%03d_R%03d_%03d", level, k / cols + 1, k % cols + 1);
        addZone(b, level, G * G * ZONE_HEIGHT, roomTemperature(b), name);
    }
    int stair = addStair(b, level, -STAIR_WIDTH / 2.0f, G / 2.0f, STAIR_WIDTH * G * ZONE_HEIGHT);

    auto exists = [&](int r, int c) { return c < cols && r * cols + c < R; };
    for (int k = 0; k < R; k++) {
        int r = k / cols, c = k % cols, z = first + k;
        float xc = ((float)c + 0.5f) * G, yc = ((float)r + 0.5f) * G;
        if (exists(r, c + 1))
            addNeighbours(b, z, z + 1, level, (float)(c + 1) * G, yc, G, rngUniform(b.rng) < 0.5);
        if (exists(r + 1, c))
            addNeighbours(b, z, z + cols, level, xc, (float)(r + 1) * G, G, rngUniform(b.rng) < 0.5);
        if (r == 0) addWall(b, z, level, xc, 0.0f, SOUTH, G);
        if (!exists(r + 1, c)) addWall(b, z, level, xc, (float)(r + 1) * G, NORTH, G);
        if (c == 0 && r > 0) addWall(b, z, level, 0.0f, yc, WEST, G);
        if (!exists(r, c + 1)) addWall(b, z, level, (float)(c + 1) * G, yc, EAST, G);
    }
    addPath(b, stair, first, E_DOOR, level, 0.0f, G / 2.0f, DOOR_MID, 1.0f);
    addWall(b, stair, level, -STAIR_WIDTH, G / 2.0f, WEST, G);
    addWall(b, stair, level, -STAIR_WIDTH / 2.0f, 0.0f, SOUTH, STAIR_WIDTH);
    addWall(b, stair, level, -STAIR_WIDTH / 2.0f, G, NORTH, STAIR_WIDTH);

    if (!b.opt.ducts) return;
    // The trunk snakes through the rooms row by row, a junction above each room's door side
    // and a terminal in the middle of the room; the intake is on the south wall of the first.
    std::vector<TrunkStop> stops;
    for (int r = 0; r * cols < R; r++) {
        for (int i = 0; i < cols; i++) {
            int c = r % 2 == 0 ? i : cols - 1 - i;
            if (!exists(r, c)) continue;
            TrunkStop st{};
            st.x = ((float)c + 0.5f) * G;
            st.y = (float)r * G + 1.0f;
            st.zone = first + r * cols + c;
            st.nrooms = 1;
            st.room[0] = st.zone;
            st.roomX[0] = st.x;
            st.roomY[0] = ((float)r + 0.5f) * G;
            stops.push_back(st);
        }
    }
    addDuctSystem(b, level, G / 2.0f, -0.5f, SOUTH, stops);
}

// --- sections ------------------------------------------------------------------------------

void writeSectionEnd(std::string& out)
{
    out += "-999\n";
}

void writeEmptySection(std::string& out, const char* title)
{
    put(out, "0 ! %s\n", title);
    writeSectionEnd(out);
}

void writeHeader(std::string& out, const BuildingOptions& o)
{
    out += "Flowpad 3.4.1.0 0\n";
    put(out, "Synthetic building: %d floors of %d rooms, %s plan, seed %llu%s%s\n", o.floors, o.roomsPerFloor,
        o.plan == FloorPlan::Corridor ? "corridor" : "grid", (unsigned long long)o.seed,
        o.ducts ? ", supply ducts" : "", o.windProfiles ? ", wind profiles" : ", constant wind pressures");
}

// All 34 lines; the values the engine ignores are zeros. A steady run of one day.
void writeRunControl(std::string& out, int species)
{
    out += "! run control\n";
    out += "0 0 0 0 0 0 0 0 0 0 0\n";
    out += "0 0 0 0 0 0\n";
    out += "! Ta Pb Ws Wd rh day\n";
    put(out, "%g %g %g %g 0.5 1 0 0 0 0\n", T_AMBIENT, P_AMBIENT, WIND_SPEED, WIND_DIR);
    out += "0 0 0 0 0 0 0 0 0 0\n";
    for (int i = 0; i < 5; i++)
        out += "null\n"; // weather, contaminant, CVF, DVF, wind-pressure files
    out += "null\nnull\n";
    out += "0 0 0 0 0\n";
    out += "0 0 00:00:00 1/1 12/31 0 0 0\n";
    out += "0 0 0 0 0 0 0\n";
    out += "! afsim afNewton itmax relcnvg abscnvg relax - presTest -\n";
    out += "0 1 30 1e-05 1e-05 0.75 0 50 0\n";
    out += "0 1 0 1e-06 1 1\n";
    out += species > 0 ? "2 0 0.0001 1e-10 0 0\n" : "0 0 0.0001 1e-10 0 0\n";
    out += "1 0 100 0.0001 1e-15 1.25 0 0\n";
    // Transport by the skyline method (or its sparse LU), fully implicit.
    out += species > 0 ? "0 1 100 0.0001 1e-15 1.1 1 0\n" : "1 0 100 0.0001 1e-15 1.1 0 0\n";
    out += "1 0 100 0.0001 1e-15 1.1 0\n";
    out += "0 0 0 0.1 0 0\n";
    out += "0 1e-06 1e-13 100\n";
    out += "0 0.01 3 1 0 0 0\n";
    out += "Jan01 00:00:00 Jan01 00:00:00 Jan01 24:00:00 00:05:00 01:00:00 01:00:00\n";
    out += "0 Jan01 00:00:00\n";
    out += "0 0 1 1 1\n";
    out += "0 0 0 0 0 0 0 0\n";
    out += "0 0 0 0 0 0\n";
    out += "0 0 0 0 0\n";
    out += "1.2041 9.8055 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
    out += "0\n";
    out += "0 0 0\n";
    out += "0 0.001 0 0 10 1 0 0 0 0\n";
    writeSectionEnd(out);
}

// Two defined trace species: carbon dioxide and fine particles; the first `species` simulated.
void writeSpecies(std::string& out, int species)
{
    put(out, "%d", species);
    for (int i = 1; i <= species; i++) put(out, " %d", i);
    out += " ! species simulated\n";
    out += "2 ! species defined\n";
    out += "1 0 0 44.0098 0 0 0 1.6e-05 0.000608 844 0 0 0 0 0 0 CO2\n";
    out += "carbon dioxide\n";
    out += "2 0 0 100 2.5e-06 0 0 0 0 1000 0 0 0 0 0 0 PM25\n";
    out += "fine particles\n";
    writeSectionEnd(out);
}

// One constant source per species: occupants' carbon dioxide and a particle source.
void writeSourceElements(std::string& out, int species)
{
    put(out, "%d ! source/sink elements\n", species);
    if (species >= 1) out += "1 CO2 ccf people\noccupants\n 6e-06 0 0 0\n";
    if (species >= 2) out += "2 PM25 ccf printer\nprinter\n 1e-09 0 0 0\n";
    writeSectionEnd(out);
}

// Carbon dioxide in every zone, particles in the first zone of every floor.
void writeSources(std::string& out, const Building& b, int species)
{
    std::string lines;
    int n = 0, lastLevel = 0;
    for (size_t i = 0; i < b.zones.size(); i++) {
        if (species >= 1) put(lines, "%d %d 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n", ++n, (int)i + 1);
        if (species >= 2 && b.zones[i].level != lastLevel)
            put(lines, "%d %d 2 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n", ++n, (int)i + 1);
        lastLevel = b.zones[i].level;
    }
    put(out, "%d ! sources and sinks\n", n);
    out += lines;
    writeSectionEnd(out);
}

// Initial mass fractions of records 1..n: the outdoor carbon dioxide, no particles.
void writeMassFractions(std::string& out, const char* what, int n, int species)
{
    put(out, "%d ! %s initial mass fractions\n", n * species, what);
    for (int i = 1; i <= n && species > 0; i++) {
        put(out, "%d", i);
        for (int j = 0; j < species; j++) out += j == 0 ? " 0.000608" : " 0";
        out += "\n";
    }
    writeSectionEnd(out);
}

void writeLevels(std::string& out, int floors)
{
    put(out, "%d ! levels\n", floors);
    for (int f = 1; f <= floors; f++)
        put(out, "%d %g %g 0 0 0 L%03d\n", f, levelElevation(f), FLOOR_HEIGHT, f);
    writeSectionEnd(out);
}

// Three profiles of one wall, each with one kind of fit: linear, periodic spline and
// trigonometric. Angles cover 0 to 360 so every wind angle has a value.
int writeWindProfiles(std::string& out, bool withProfiles)
{
    if (!withProfiles) {
        writeEmptySection(out, "wind pressure profiles");
        return 0;
    }
    struct Profile {
        int type, step;
        const char* name;
        const char* desc;
    };
    const Profile profiles[3] = {
        {1, 45, "WallLinear", "wall, linear interpolation"},
        {2, 30, "WallSpline", "wall, periodic cubic spline"},
        {3, 90, "WallTrig", "wall, trigonometric fit"},
    };
    out += "3 ! wind pressure profiles\n";
    for (int i = 0; i < 3; i++) {
        const Profile& p = profiles[i];
        put(out, "%d %d %d %s\n%s\n", i + 1, 360 / p.step + 1, p.type, p.name, p.desc);
        for (int a = 0; a <= 360; a += p.step)
            put(out, "%d %.3f\n", a, cpWall((float)a));
    }
    writeSectionEnd(out);
    return 3;
}

void writeElement(std::string& out, int nr, const char* keyword, const char* name, const char* desc)
{
    put(out, "%d 0 %s %s\n%s\n", nr, keyword, name, desc);
}

void writePlr(std::string& out, float turb, float expt, float area, float dh)
{
    put(out, "%.6g %.6g %.6g\n", lamCoef(turb, expt, area, dh), turb, expt);
}

int writePathElements(std::string& out)
{
    out += "5 ! flow elements\n";
    writeElement(out, E_EXT_CRACK, "plr_crack", "ExtCrack", "exterior wall crack, per m");
    writePlr(out, 2.2e-4f, 0.65f, 0.001f, 0.002f);
    writeElement(out, E_INT_CRACK, "plr_crack", "IntCrack", "interior wall crack, per m");
    writePlr(out, 3.0e-4f, 0.65f, 0.0015f, 0.003f);

    const float ht = 2.0f, wd = 0.9f, cd = 0.6f;
    float turb = orificeCoef(ht * wd, cd);
    writeElement(out, E_DOOR, "dor_door", "Door", "interior door 0.9 x 2.0 m");
    put(out, "%.6g %.6g 0.5 0 %g %g %g\n", lamCoef(turb, 0.5f, ht * wd, 4.0f * ht * wd / (2.0f * (ht + wd))),
        turb, ht, wd, cd);

    writeElement(out, E_GRILLE, "plr_orfc", "Grille", "transfer grille 0.05 m2");
    writePlr(out, orificeCoef(0.05f, 0.6f), 0.5f, 0.05f, std::sqrt(0.05f));
    writeElement(out, E_STAIR, "plr_stair", "StairOpen", "stair opening between floors, 2 m2");
    writePlr(out, orificeCoef(2.0f, 0.6f), 0.5f, 2.0f, std::sqrt(2.0f));
    writeSectionEnd(out);
    return 5;
}

void writeDuctBlock(std::string& out, float dh, float leak, float lpres)
{
    put(out, "%.6g %.6g %.6g 0 0 0 %g %g\n", dh, PI_F * dh, PI_F * dh * dh / 4.0f, leak, lpres);
    out += "0 0 0 0 0 0 0 0\n";
}

// Supply fan curve p(q) = a0 (1 - 0.2x - 0.1x^2 - 0.7x^3) with x = q/qmax: its slope never
// changes sign, so the flow on the curve is unique.
void writeFan(std::string& out, float design, float dh)
{
    const float a0 = 400.0f;
    const float qmax = 1.6f * design;
    const float a1 = -0.2f * a0 / qmax;
    const float a2 = -0.1f * a0 / (qmax * qmax);
    const float a3 = -0.7f * a0 / (qmax * qmax * qmax);
    float area = PI_F * dh * dh / 4.0f;
    float turb = orificeCoef(0.05f * area, 0.6f); // a stopped fan leaks like a small orifice
    put(out, "%.6g %.6g 0.5 1.2041 %.6g %g 0\n", lamCoef(turb, 0.5f, 0.05f * area, 0.22f * dh), turb, qmax,
        a0);
    put(out, "%.6g %.6g %.6g %.6g\n", a0, a1, a2, a3);
    out += "5\n";
    for (int i = 0; i <= 4; i++) {
        float x = 0.25f * (float)i;
        put(out, "%.6g %.6g\n", x * qmax, a0 * (1.0f - 0.2f * x - 0.1f * x * x - 0.7f * x * x * x));
    }
    writeDuctBlock(out, dh, 0.0f, 0.0f);
}

int writeDuctElements(std::string& out, const Building& b)
{
    if (!b.opt.ducts) {
        writeEmptySection(out, "duct elements");
        return 0;
    }
    out += "4 ! duct elements\n";
    writeElement(out, D_FAN, "dct_fan", "SupplyFan", "floor supply fan");
    writeFan(out, b.floorFlow, b.trunkDh);
    writeElement(out, D_CMF, "dct_cmf", "SupplyCMF", "floor supply fan, constant mass flow");
    put(out, "%.6g\n", b.floorFlow);
    writeDuctBlock(out, b.trunkDh, 0.0f, 0.0f);
    writeElement(out, D_TRUNK, "dct_dwc", "Trunk", "galvanised steel trunk duct");
    out += "9e-05 0 0\n";
    writeDuctBlock(out, b.trunkDh, 0.3f, 250.0f);
    writeElement(out, D_BRANCH, "dct_dwc", "Branch", "galvanised steel branch duct");
    out += "9e-05 0 0\n";
    writeDuctBlock(out, b.branchDh, 0.3f, 250.0f);
    writeSectionEnd(out);
    return 4;
}

// One flat day schedule and its week schedule: the network is evaluated every step while the
// fans keep their design flows, so that a run with controls costs only their evaluation.
void writeSchedules(std::string& out, bool controls)
{
    if (!controls) {
        writeEmptySection(out, "day schedules");
        writeEmptySection(out, "week schedules");
        return;
    }
    out += "1 ! day schedules\n1 3 1 0 0\nfans on\n00:00:00 1\n12:00:00 1\n24:00:00 1\n";
    writeSectionEnd(out);
    out += "1 ! week schedules\n1 0 0 fans\nfans every day\n1 1 1 1 1 1 1 1 1 1 1 1\n";
    writeSectionEnd(out);
}

// Per floor: the fan schedule, a room temperature sensor with a time constant, its set point,
// the error, a PI controller held at 1 and the fan duct's multiplier, their product.
void writeControls(std::string& out, Building& b)
{
    int floors = b.opt.controls ? (int)b.fanDucts.size() : 0;
    put(out, "%d ! control nodes\n", 6 * floors);
    for (int f = 0; f < floors; f++) {
        int k = 6 * f;
        put(out, "%d sch %d 0 0 0 0 fan%d\nfan schedule\n1\n", k + 1, k + 1, f + 1);
        put(out, "%d sns %d 3 0 0 0 room%d\nroom temperature\n273.15 1 600 0 %d 1 1 0 0 0 0 none\n", k + 2, k + 2,
            f + 1, b.sensedZones[f]);
        put(out, "%d set %d 0 0 0 0 setpt%d\nset point\n21\n", k + 3, k + 3, f + 1);
        put(out, "%d sub %d 0 0 %d %d error%d\ntemperature error\n", k + 4, k + 4, k + 2, k + 3, f + 1);
        put(out, "%d pi1 %d 0 0 %d 0 pi%d\ncontroller\n0 0 1 0\n", k + 5, k + 5, k + 4, f + 1);
        put(out, "%d mul %d 0 0 %d %d fanmul%d\nfan multiplier\n", k + 6, k + 6, k + 1, k + 5, f + 1);
        b.ducts[b.fanDucts[f] - 1].ctrl = k + 6;
    }
    writeSectionEnd(out);
}

void writeZones(std::string& out, const Building& b)
{
    put(out, "%d ! zones\n", (int)b.zones.size());
    // nr flags wsh ctrl knr level relHt V T P name, five ignored, 1-D, value file, CFD
    for (size_t i = 0; i < b.zones.size(); i++) {
        const GZone& z = b.zones[i];
        put(out, "%d %d 0 0 0 %d 0 %.6g %.6g 0 %s 0 0 0 0 0 0 0 0\n", (int)i + 1, ZONE_FLAGS, z.level,
            z.volume, z.T, z.name);
    }
    writeSectionEnd(out);
    writeMassFractions(out, "zone", (int)b.zones.size(), b.opt.species);
}

void writePaths(std::string& out, const Building& b)
{
    put(out, "%d ! paths\n", (int)b.paths.size());
    // nr flags N M elem flt wpf ahs wsh ctrl level x y relHt mult windConst windMod azimuth
    // designFlow, two reals, seven shorts, value file, CFD
    for (size_t i = 0; i < b.paths.size(); i++) {
        const GPath& p = b.paths[i];
        put(out, "%d %d %d %d %d 0 %d 0 0 0 %d %g %g %g %g %g %g %g 0 0 0 0 0 0 0 0 0 0 0 0\n", (int)i + 1,
            p.flags, p.n, p.m, p.elem, p.wpf, p.level, p.x, p.y, p.relHt, p.mult, p.windConst, p.windMod,
            p.azimuth);
    }
    writeSectionEnd(out);
}

void writeJunctions(std::string& out, const Building& b)
{
    put(out, "%d ! duct junctions\n", (int)b.junctions.size());
    // nr flags terminal zone duct knr wsh ctrl level x y relHt T, a real, six shorts, value file;
    // terminals: word flt wpf windConst windMod azimuth bal area, a real, Fdes loss1 loss2,
    // a real, four shorts
    for (size_t i = 0; i < b.junctions.size(); i++) {
        const GJunction& j = b.junctions[i];
        put(out, "%d %d %d %d %d 0 0 0 %d %g %g %g %g 0 0 0 0 0 0 0 0", (int)i + 1, j.terminal ? j.flags : 0,
            j.terminal, j.zone, j.duct, j.level, j.x, j.y, j.relHt, j.T);
        if (j.terminal)
            put(out, " %s 0 %d %g %g %g %d %g 0 %.6g %g %g 0 0 0 0 0", j.word, j.wpf, j.windConst, j.windMod,
                j.azimuth, j.bal, j.area, j.Fdes, j.loss1, j.loss2);
        out += "\n";
    }
    writeSectionEnd(out);
    writeMassFractions(out, "junction", (int)b.junctions.size(), b.opt.species);
}

void writeDucts(std::string& out, const Building& b)
{
    put(out, "%d ! duct segments\n", (int)b.ducts.size());
    // nr flags jN jM elem flt wsh ctrl, a short, length, two values the assembly replaces,
    // loss coefficient sum, three shorts, value file
    for (size_t i = 0; i < b.ducts.size(); i++) {
        const GDuct& d = b.ducts[i];
        put(out, "%d 0 %d %d %d 0 0 %d 0 %g %.6g %.6g %g 0 0 0 0\n", (int)i + 1, d.jN, d.jM, d.elem, d.ctrl,
            d.len, d.dh, d.area, d.sumC);
    }
    writeSectionEnd(out);
}

void writeNotes(std::string& out, const BuildingOptions& o, const BuildingCounts& c)
{
    out += "1 ! notes\n";
    put(out, "1 0 generated: %d zones, %d paths, %d junctions, %d ducts, seed %llu\n", c.zones, c.paths,
        c.junctions, c.ducts, (unsigned long long)o.seed);
    writeSectionEnd(out);
    out += "* end project file.\n";
}

// Diameter of a round duct carrying flow at velocity v, rounded up to 25 mm, at least dmin.
float ductDiameter(float flow, float v, float dmin)
{
    float area = flow / (1.2f * v);
    float d = std::sqrt(4.0f * area / PI_F);
    d = std::ceil(d / 0.025f) * 0.025f;
    return d > dmin ? d : dmin;
}

} // namespace

int extraZonesPerFloor(FloorPlan plan)
{
    return plan == FloorPlan::Corridor ? 2 : 1;
}

void sizeForZones(BuildingOptions& opt, int zones)
{
    int extra = extraZonesPerFloor(opt.plan);
    if (zones < extra + 1) zones = extra + 1;
    // Floors grow with the cube root: a tall building of wide floors, as real ones are.
    int floors = (int)std::lround(std::cbrt((double)zones));
    if (floors < 1) floors = 1;
    int perFloor = (int)std::lround((double)zones / floors);
    if (perFloor < extra + 1) perFloor = extra + 1;
    opt.floors = floors;
    opt.roomsPerFloor = perFloor - extra;
}

std::string generateBuilding(const BuildingOptions& options, BuildingCounts* counts)
{
    Building b;
    b.opt = options;
    if (b.opt.floors < 1) b.opt.floors = 1;
    if (b.opt.roomsPerFloor < 1) b.opt.roomsPerFloor = 1;
    b.rng = b.opt.seed;
    b.stairZone.assign(b.opt.floors + 1, 0);
    b.floorFlow = roundTo(ROOM_FLOW * (float)b.opt.roomsPerFloor, 0.0001f);
    b.trunkDh = ductDiameter(b.floorFlow, 6.0f, 0.2f);
    b.branchDh = ductDiameter(ROOM_FLOW, 3.0f, 0.1f);

    for (int level = 1; level <= b.opt.floors; level++) {
        pickFacadeProfiles(b);
        if (b.opt.plan == FloorPlan::Corridor)
            corridorFloor(b, level);
        else
            gridFloor(b, level);
    }

    BuildingCounts c;
    c.levels = b.opt.floors;
    c.zones = (int)b.zones.size();
    c.paths = (int)b.paths.size();
    c.junctions = (int)b.junctions.size();
    c.ducts = (int)b.ducts.size();

    std::string out;
    out.reserve((size_t)c.paths * 96 + (size_t)c.zones * 64 + (size_t)c.junctions * 128 + 8192);
    writeHeader(out, b.opt);
    int species = b.opt.species < 0 ? 0 : b.opt.species > 2 ? 2 : b.opt.species;
    writeRunControl(out, species);
    writeSpecies(out, species);
    writeLevels(out, b.opt.floors);
    writeSchedules(out, b.opt.controls && !b.fanDucts.empty());
    c.windProfiles = writeWindProfiles(out, b.opt.windProfiles);
    writeEmptySection(out, "kinetic reactions");
    writeEmptySection(out, "filter elements");
    writeEmptySection(out, "filters");
    writeSourceElements(out, species);
    c.elements = writePathElements(out);
    c.ductElements = writeDuctElements(out, b);
    writeEmptySection(out, "unused by the engine");
    writeControls(out, b);
    writeEmptySection(out, "simple air-handling systems");
    writeZones(out, b);
    writePaths(out, b);
    writeJunctions(out, b);
    writeDucts(out, b);
    writeSources(out, b, species);
    writeEmptySection(out, "occupancy schedules");
    writeEmptySection(out, "exposures");
    writeNotes(out, b.opt, c);

    if (counts) *counts = c;
    return out;
}

bool writeBuilding(const std::string& path, const BuildingOptions& options, BuildingCounts* counts)
{
    std::string text = generateBuilding(options, counts);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    if (fclose(f) != 0) ok = false;
    return ok;
}

std::string makeScratchFolder(const char* prefix)
{
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    return mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
}

std::string monthDay(int day)
{
    static const int monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    while (month < 11 && day > monthDays[month]) day -= monthDays[month++];
    return std::to_string(month + 1) + "/" + std::to_string(day);
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    if (at == std::string::npos) {
        fprintf(stderr, "bench: the generated project has no \"%s\"\n", from.c_str());
        exit(2);
    }
    return text.replace(at, from.size(), to);
}

bool writeText(const std::string& path, const std::string& text)
{
    FILE* f = fopen(path.c_str(), "w");
    if (!f) return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}
