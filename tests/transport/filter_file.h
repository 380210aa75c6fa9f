// A species section followed by filter sections in a scratch file, opened as the input stream
// of a fresh state with a log; the species are read on construction.
#ifndef FLOWMIR_TESTS_TRANSPORT_FILTER_FILE_H
#define FLOWMIR_TESTS_TRANSPORT_FILTER_FILE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/error.h"
#include "support/heap.h"
#include "support/nxt.h"
#include "testutil.h"
#include "transport/filter.h"
#include "transport/species.h"

struct SpeciesDef {
    const char* name;
    double diameter;  // m, 0 for a gas
    double kUV;       // m2/J
};

// The "Species" section defining `defs`, of which the first `simulated` are simulated.
inline std::string speciesSection(const std::vector<SpeciesDef>& defs, int simulated = -1)
{
    int nsim = simulated < 0 ? (int)defs.size() : simulated;
    std::string s = std::to_string(nsim);
    for (int i = 1; i <= nsim; i++)
        s += " " + std::to_string(i);
    s += " ! simulated\n" + std::to_string(defs.size()) + " ! defined\n";
    for (size_t i = 0; i < defs.size(); i++) {
        char line[256];
        snprintf(line, sizeof line, "%d 0 0 28.97 %.9g 0 0 0 0 1000 %.9g 0 0 0 0 0 %s\n%s species\n", (int)i + 1,
                 defs[i].diameter, defs[i].kUV, defs[i].name, defs[i].name);
        s += line;
    }
    return s + "-999\n";
}

struct FilterFile {
    TestState s;

    static int quiet(FlowmirState*, const char*, const char*, int*) { return 0; }

    FilterFile(const std::string& species, const std::string& sections)
    {
        s.openLog();
        s->errorFcn = quiet;
        s->msBlock = alc_eci(s.fms, 32000, "ms-block");
        std::string path = scratchDir() + "/filters.prj";
        writeFile(path, "-999\n" + species + sections);  // the reader stands after a section's end
        EXPECT_EQ(nxtopen(s.fms, path.c_str(), __FILE__, __LINE__), 0);
        species_read(s.fms);
        EXPECT_EQ(errors(), 0) << log();
    }
    ~FilterFile() { release(); }

    FlowmirState* fms() { return s.fms; }
    int errors() { return error(s.fms, -1, __FILE__, __LINE__, ""); }
    std::string log() { return s.log(); }
    bool logHas(const std::string& text) { return log().find(text) != std::string::npos; }
    int logCount(const std::string& text)
    {
        std::string l = log();
        int n = 0;
        for (size_t at = l.find(text); at != std::string::npos; at = l.find(text, at + 1))
            n++;
        return n;
    }

    // Both filter sections; the errors counted.
    int readFilters()
    {
        flte_read(s.fms);
        if (errors() == 0) filter_read(s.fms);
        return errors();
    }
    Filter* filter(int nr) { return s->FltLst[nr]; }
    FilterElement* element(int nr) { return s->FlteLst[nr]; }

    void release()
    {
        if (s->_UNXT) nxtclose(s.fms);
        filter_free_paths(s.fms);
        filter_free_lists(s.fms);
        species_free(s.fms);
        if (s->msBlock) fre_ec(s.fms, s->msBlock, "ms-block");
        s->msBlock = nullptr;
    }
    // Releases everything and tells whether every tracked byte came back.
    bool balanced()
    {
        release();
        return s->bytesAllocated == s->bytesFreed;
    }
};

#endif
