// Airflow matrix set-up on building-like networks: floors of rooms in a square grid or
// along a corridor, joined by two stairwells, with the exterior rooms open to the ambient.
// Nodes are listed floor by floor as a project lists its zones, or shuffled. Reports the
// average skyline profile before and after reordering and the time of mat_init (transient
// run, skyline solver, reordering on).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "engine/run.h"
#include "network/mat_init.h"
#include "support/heap.h"

namespace {

// Zones 1..n (all variable-pressure) and the ambient n + 1; links between zone numbers.
struct Plan {
    int n = 0;
    std::vector<std::pair<int, int>> links;
    int add() { return ++n; }
    static constexpr int AMBIENT = 0;  // resolved to n + 1 once the plan is complete
};

// A square grid of rooms, each opening to its neighbours, the edge rooms to the outside;
// returns two corner rooms for the stairwells.
std::pair<int, int> gridFloor(Plan& plan, int side)
{
    int first = plan.n + 1;
    for (int r = 0; r < side; r++)
        for (int c = 0; c < side; c++) {
            int room = plan.add();
            if (c > 0) plan.links.push_back({room - 1, room});
            if (r > 0) plan.links.push_back({room - side, room});
            if (r == 0 || c == 0 || r == side - 1 || c == side - 1) plan.links.push_back({room, Plan::AMBIENT});
        }
    return {first, plan.n};
}

// Corridor segments with a room on each side; rooms share doors with their neighbours and
// have an outside wall.
std::pair<int, int> corridorFloor(Plan& plan, int segments)
{
    int first = 0, prevHall = 0, prevA = 0, prevB = 0;
    for (int s = 0; s < segments; s++) {
        int hall = plan.add(), a = plan.add(), b = plan.add();
        if (!first) first = hall;
        plan.links.push_back({hall, a});
        plan.links.push_back({hall, b});
        plan.links.push_back({a, Plan::AMBIENT});
        plan.links.push_back({Plan::AMBIENT, b});
        if (prevHall) {
            plan.links.push_back({prevHall, hall});
            plan.links.push_back({prevA, a});
            plan.links.push_back({prevB, b});
        }
        prevHall = hall;
        prevA = a;
        prevB = b;
    }
    return {first, prevHall};
}

enum Kind { GRID = 0, CORRIDOR = 1 };

// About `zones` zones on floors of about 250 (at least two floors).
Plan building(Kind kind, int zones)
{
    int floors = std::max(2, zones / 250);
    int perFloor = std::max(1, zones / floors - 2);
    Plan plan;
    int prevWest = 0, prevEast = 0;
    for (int f = 0; f < floors; f++) {
        std::pair<int, int> ends = kind == GRID
                                       ? gridFloor(plan, std::max(1, (int)std::lround(std::sqrt((double)perFloor))))
                                       : corridorFloor(plan, std::max(1, perFloor / 3));
        int west = plan.add(), east = plan.add();
        plan.links.push_back({west, ends.first});
        plan.links.push_back({east, ends.second});
        if (prevWest) {
            plan.links.push_back({prevWest, west});
            plan.links.push_back({prevEast, east});
        }
        prevWest = west;
        prevEast = east;
    }
    for (auto& l : plan.links) {
        if (l.first == Plan::AMBIENT) l.first = plan.n + 1;
        if (l.second == Plan::AMBIENT) l.second = plan.n + 1;
    }
    return plan;
}

void shuffle(Plan& plan, unsigned seed)
{
    std::vector<int> label(plan.n + 2);
    std::iota(label.begin(), label.end(), 0);
    std::mt19937 rng(seed);
    std::shuffle(label.begin() + 1, label.begin() + plan.n + 1, rng);
    for (auto& l : plan.links) l = {label[l.first], label[l.second]};
}

// The plan as the engine's node and link lists.
struct Lists {
    std::vector<AirNode> nodes;
    std::vector<AirLink> links;
};

Lists makeLists(const Plan& plan)
{
    Lists lists;
    lists.nodes.resize(plan.n + 1);
    lists.links.resize(plan.links.size());
    for (int i = 0; i <= plan.n; i++) {
        AirNode& node = lists.nodes[i];
        node = AirNode{};
        node.nr = i + 1;
        node.s_nr = i < plan.n ? i + 1 : 0;
        node.styp = NODE_ZONE;
        node.flags = i < plan.n ? NF_VARP : 0;
        node.next = i < plan.n ? &lists.nodes[i + 1] : nullptr;
    }
    for (size_t k = 0; k < plan.links.size(); k++) {
        AirLink& link = lists.links[k];
        link = AirLink{};
        link.nr = link.s_nr = (int)k + 1;
        link.styp = LINK_PATH;
        link.nodeN = &lists.nodes[plan.links[k].first - 1];
        link.nodeM = &lists.nodes[plan.links[k].second - 1];
        link.next = k + 1 < plan.links.size() ? &lists.links[k + 1] : nullptr;
    }
    return lists;
}

// Average skyline profile of the variable equations with every zone numbered eqn(zone).
template <class Eqn>
double averageProfile(const Plan& plan, Eqn eqn)
{
    std::vector<int> low(plan.n + 1);
    for (int z = 1; z <= plan.n; z++) low[eqn(z)] = eqn(z);
    for (auto [a, b] : plan.links) {
        if (a > plan.n || b > plan.n) continue;
        int hi = std::max(eqn(a), eqn(b)), lo = std::min(eqn(a), eqn(b));
        low[hi] = std::min(low[hi], lo);
    }
    int64_t sum = 0;
    for (int i = 1; i <= plan.n; i++) sum += i - low[i] + 1;
    return plan.n ? (double)sum / plan.n : 0.0;
}

// Arguments: kind, zones, shuffled.
void BM_MatInit(benchmark::State& state)
{
    Plan plan = building((Kind)state.range(0), (int)state.range(1));
    if (state.range(2)) shuffle(plan, 23);
    Lists lists = makeLists(plan);

    FlowmirState* fms = static_cast<FlowmirState*>(calloc(1, sizeof(FlowmirState)));
    initFlowmirState(fms);
    fms->nodeList = &lists.nodes[0];
    fms->ambt = &lists.nodes.back();
    fms->nafnd = plan.n + 1;
    fms->linkList = lists.links.empty() ? nullptr : &lists.links[0];
    fms->nafpt = (int)lists.links.size();
    fms->afsim = 1;
    fms->afNewton = 1;
    fms->afItmax = 30;
    fms->afSlae = 0;
    fms->afReorder = 1;

    for (auto _ : state) {
        mat_init(fms);
        state.PauseTiming();
        mat_fre(fms);
        fre_v(fms, fms->JfacBins, 0, fms->nJfacBins - 1, sizeof(int));
        fms->JfacBins = nullptr;
        state.ResumeTiming();
    }

    // The last set-up's numbering stays on the nodes.
    state.counters["zones"] = plan.n;
    state.counters["profile_before"] = averageProfile(plan, [](int z) { return z; });
    state.counters["profile_after"] =
        averageProfile(plan, [&lists](int z) { return lists.nodes[z - 1].eqn; });
    free(fms);
}

}  // namespace

BENCHMARK(BM_MatInit)
    ->ArgNames({"kind", "zones", "shuffled"})
    ->Args({GRID, 100, 0})
    ->Args({GRID, 1000, 0})
    ->Args({GRID, 10000, 0})
    ->Args({CORRIDOR, 100, 0})
    ->Args({CORRIDOR, 1000, 0})
    ->Args({CORRIDOR, 10000, 0})
    ->Args({GRID, 10000, 1})
    ->Args({CORRIDOR, 10000, 1})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
