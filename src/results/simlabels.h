// Names for the rows of a results file: zones by name, junctions as J<n>, and links as P<n>
// (paths), D<n> (duct segments), T<n> (terminals) and L<n> (duct leaks) with the names of
// their two ends; the ambient node is "ambient". They come from the project, read by the engine's own reader; without it
// zones are Z<n> and ends are left empty.
#ifndef FLOWMIR_RESULTS_SIMLABELS_H
#define FLOWMIR_RESULTS_SIMLABELS_H

#include <string>
#include <vector>

#include "results/simread.h"

struct SimLabels {
    std::vector<std::string> node;            // [0..nafnd-1]
    std::vector<std::string> path;            // [0..nafpt-1] P7, D2, ...
    std::vector<std::string> from, to;        // [0..nafpt-1] names of node N and node M
    std::vector<std::string> species;         // [0..ncont-1], empty without the project
};

// Labels by structure type and number alone.
void simLabelsPlain(const SimFile& f, SimLabels* out);
// Labels from the project at prjPath. False, with the reason, when it cannot be read or does
// not describe the network of the results (out then keeps the plain labels).
bool simLabelsFromProject(const SimFile& f, const char* prjPath, SimLabels* out, std::string* why);

#endif
