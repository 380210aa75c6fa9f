// Equation reordering on building-like airflow networks: floors of rooms in a square grid
// or along a corridor, several floors joined by stairwells, numbered at random as a
// project file might list them. Reports the average profile before, after gpskca and after
// a reverse Cuthill-McKee ordering kept here as a reference.
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
#include "network/gpskca.h"

namespace {

struct Network {
    int n = 0;
    std::vector<std::pair<int, int>> links;
    int add() { return ++n; }
};

// A square grid of rooms, each opening to its four neighbours; returns the corner rooms.
std::pair<int, int> gridFloor(Network& net, int side)
{
    int first = net.n + 1;
    for (int r = 0; r < side; r++)
        for (int c = 0; c < side; c++) {
            int room = net.add();
            if (c > 0) net.links.push_back({room - 1, room});
            if (r > 0) net.links.push_back({room - side, room});
        }
    return {first, net.n};
}

// Rooms on both sides of a corridor of segments; neighbouring rooms share a door.
std::pair<int, int> corridorFloor(Network& net, int segments)
{
    int first = 0, prevHall = 0, prevA = 0, prevB = 0;
    for (int s = 0; s < segments; s++) {
        int hall = net.add(), a = net.add(), b = net.add();
        if (!first) first = hall;
        net.links.push_back({hall, a});
        net.links.push_back({hall, b});
        if (prevHall) {
            net.links.push_back({prevHall, hall});
            net.links.push_back({prevA, a});
            net.links.push_back({prevB, b});
        }
        prevHall = hall;
        prevA = a;
        prevB = b;
    }
    return {first, prevHall};
}

enum Kind { GRID = 0, CORRIDOR = 1 };

// floors of about perFloor nodes each, with a stairwell node per floor at both ends.
Network building(Kind kind, int floors, int perFloor)
{
    Network net;
    int prevWest = 0, prevEast = 0;
    for (int f = 0; f < floors; f++) {
        std::pair<int, int> ends;
        if (kind == GRID)
            ends = gridFloor(net, std::max(1, (int)std::lround(std::sqrt((double)perFloor))));
        else
            ends = corridorFloor(net, std::max(1, perFloor / 3));
        if (floors > 1) {
            int west = net.add(), east = net.add();
            net.links.push_back({west, ends.first});
            net.links.push_back({east, ends.second});
            if (prevWest) {
                net.links.push_back({prevWest, west});
                net.links.push_back({prevEast, east});
            }
            prevWest = west;
            prevEast = east;
        }
    }
    return net;
}

void shuffle(Network& net, unsigned seed)
{
    std::vector<int> label(net.n + 1);
    std::iota(label.begin(), label.end(), 0);
    std::mt19937 rng(seed);
    std::shuffle(label.begin() + 1, label.end(), rng);
    for (auto& l : net.links) l = {label[l.first], label[l.second]};
}

// Neighbour lists including the node itself, in gpskca's rstart/connec form.
struct Adjacency {
    std::vector<int> rstart, connec;
};

Adjacency adjacency(const Network& net)
{
    std::vector<std::vector<int>> rows(net.n + 1);
    for (int i = 1; i <= net.n; i++) rows[i].push_back(i);
    for (auto [a, b] : net.links) {
        rows[a].push_back(b);
        rows[b].push_back(a);
    }
    Adjacency adj;
    adj.rstart.assign(net.n + 2, 0);
    adj.connec.assign(1, 0);
    for (int i = 1; i <= net.n; i++) {
        std::sort(rows[i].begin(), rows[i].end());
        rows[i].erase(std::unique(rows[i].begin(), rows[i].end()), rows[i].end());
        adj.rstart[i] = (int)adj.connec.size();
        adj.connec.insert(adj.connec.end(), rows[i].begin(), rows[i].end());
    }
    adj.rstart[net.n + 1] = (int)adj.connec.size();
    return adj;
}

// Average row width of the lower envelope under perm (identity when empty).
double averageProfile(const Adjacency& adj, int n, const std::vector<int>& perm)
{
    int64_t sum = 0;
    for (int i = 1; i <= n; i++) {
        int row = perm.empty() ? i : perm[i], low = row;
        for (int k = adj.rstart[i]; k < adj.rstart[i + 1]; k++)
            low = std::min(low, perm.empty() ? adj.connec[k] : perm[adj.connec[k]]);
        sum += row - low + 1;
    }
    return n ? (double)sum / n : 0.0;
}

// Reverse Cuthill-McKee: per component, breadth-first from a pseudo-peripheral node found
// by repeated searches from a least-degree node of the last level, neighbours by
// increasing degree; the whole order is then reversed.
std::vector<int> reverseCuthillMcKee(const Adjacency& adj, int n)
{
    auto degree = [&](int x) { return adj.rstart[x + 1] - adj.rstart[x] - 1; };
    std::vector<int> order, level(n + 1, 0), queue;
    std::vector<char> done(n + 1, 0);
    auto bfs = [&](int root) {  // levels from root; returns the last level's first index
        queue.assign(1, root);
        std::vector<int> touched{root};
        level[root] = 1;
        size_t lastStart = 0;
        for (size_t h = 0; h < queue.size(); h++) {
            int x = queue[h];
            if (h > 0 && level[x] != level[queue[h - 1]]) lastStart = h;
            for (int k = adj.rstart[x]; k < adj.rstart[x + 1]; k++) {
                int y = adj.connec[k];
                if (!level[y]) {
                    level[y] = level[x] + 1;
                    queue.push_back(y);
                }
            }
        }
        int depth = level[queue.back()];
        for (int x : queue) level[x] = 0;
        return std::make_pair(depth, lastStart);
    };
    for (int s = 1; s <= n; s++) {
        if (done[s]) continue;
        int root = s;
        auto [depth, lastStart] = bfs(root);
        for (;;) {
            int best = queue[lastStart];
            for (size_t p = lastStart; p < queue.size(); p++)
                if (degree(queue[p]) < degree(best)) best = queue[p];
            auto [d, ls] = bfs(best);
            if (d <= depth) break;
            root = best;
            depth = d;
            lastStart = ls;
        }
        size_t head = order.size();
        order.push_back(root);
        done[root] = 1;
        std::vector<int> next;
        for (; head < order.size(); head++) {
            int x = order[head];
            next.clear();
            for (int k = adj.rstart[x]; k < adj.rstart[x + 1]; k++)
                if (!done[adj.connec[k]]) next.push_back(adj.connec[k]);
            std::sort(next.begin(), next.end(), [&](int a, int b) { return degree(a) < degree(b); });
            for (int y : next) {
                done[y] = 1;
                order.push_back(y);
            }
        }
    }
    std::vector<int> perm(n + 1);
    for (int p = 0; p < n; p++) perm[order[p]] = n - p;
    return perm;
}

// Arguments: kind, total nodes, floors.
void BM_Reorder(benchmark::State& state)
{
    Kind kind = (Kind)state.range(0);
    int total = (int)state.range(1), floors = (int)state.range(2);
    Network net = building(kind, floors, total / floors);
    shuffle(net, 17);
    Adjacency adj = adjacency(net);
    FlowmirState* fms = static_cast<FlowmirState*>(calloc(1, sizeof(FlowmirState)));
    initFlowmirState(fms);
    std::vector<int> perm(net.n + 1);
    for (auto _ : state) {
        int rc = gpskca(fms, net.n, adj.rstart.data(), adj.connec.data(), perm.data(), 1);
        benchmark::DoNotOptimize(rc);
    }
    state.counters["nodes"] = net.n;
    state.counters["profile_before"] = averageProfile(adj, net.n, {});
    state.counters["profile_gpskca"] = averageProfile(adj, net.n, perm);
    state.counters["profile_rcm"] = averageProfile(adj, net.n, reverseCuthillMcKee(adj, net.n));
    free(fms);
}

}  // namespace

BENCHMARK(BM_Reorder)
    ->ArgNames({"kind", "nodes", "floors"})
    ->Args({GRID, 100, 1})
    ->Args({GRID, 1000, 1})
    ->Args({GRID, 10000, 1})
    ->Args({CORRIDOR, 100, 1})
    ->Args({CORRIDOR, 1000, 1})
    ->Args({CORRIDOR, 10000, 1})
    ->Args({GRID, 100, 4})
    ->Args({GRID, 1000, 10})
    ->Args({GRID, 10000, 25})
    ->Args({CORRIDOR, 1000, 10})
    ->Args({CORRIDOR, 10000, 25})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
