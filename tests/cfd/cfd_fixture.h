// CFD case files staged in a scratch folder as the case of zone "Office" of project "bldg".
#ifndef FLOWMIR_TESTS_CFD_FIXTURE_H
#define FLOWMIR_TESTS_CFD_FIXTURE_H

#include <cstdio>
#include <string>

#include "cfd/cfd.h"
#include "testutil.h"

inline std::string cfdFixture(const std::string& name)
{
    return readFile(std::string(FLOWMIR_TEST_PROJECTS) + "/" + name);
}

// A state whose project is dir/bldg, with the case text as the zone's case file.
struct CfdCase {
    TestState s;
    std::string dir;
    explicit CfdCase(const std::string& text, int species = 1)
    {
        dir = scratchDir();
        writeFile(dir + "/bldg_Office.CFD", text);
        snprintf(s->_pdir, sizeof s->_pdir, "%s/", dir.c_str());
        snprintf(s->_prjname, sizeof s->_prjname, "bldg");
        s->nctm = species;
        s->quiet = 1;
    }
    std::string path(const std::string& ext) const { return dir + "/bldg_Office" + ext; }
    // Reads the case as the first call of a run would.
    CfdRun* read(int coupled = 0)
    {
        CfdRun* r = cfd_run(s.fms);
        cfd_set_base(s.fms, "Office");
        input(s.fms, coupled);
        return r;
    }
};

#endif
