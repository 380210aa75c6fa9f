// Broken case files: each is refused with its message before anything is solved or written.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <vector>

#include "cfd_fixture.h"

namespace
{

struct Edit {
    const char* from;
    const char* to;
};

struct Broken {
    const char* name;
    std::vector<Edit> edits;
    const char* message; // the whole message, or its start when it ends in "..."
};

std::string edited(const Broken& k)
{
    std::string text = cfdFixture("cfd_room.CFD");
    for (const Edit& e : k.edits)
        text = replaceFirst(text, e.from, e.to);
    return text;
}

void expectMessage(const ChildResult& r, const std::string& message)
{
    EXPECT_EQ(r.status, 2) << r.err;
    std::string want = "FATAL " + message;
    if (want.size() > 3 && want.compare(want.size() - 3, 3, "...") == 0)
        EXPECT_EQ(r.err.substr(0, want.size() - 3), want.substr(0, want.size() - 3)) << r.err;
    else
        EXPECT_EQ(r.err, want + "\n");
}

} // namespace

TEST(CfdErrors, BrokenCaseFiles)
{
    const std::string longLine(1100, 'x');
    // clang-format off
    const std::vector<Broken> cases = {
        {"grid count", {{"128,1,128", "0,1,128"}}, "CFD input file error: grid of 0 x 1 x 128 cells"},
        {"width", {{"0.05 0.05", "0.05 -0.05"}}, "CFD input file error: cell width x 2: -0.05"},
        {"widths sum", {{"6.4,1.0,3.2", "6.0,1.0,3.2"}}, "CFD input file error: cell widths in x sum to 6.4, domain length 6"},
        {"width missing", {{"0.05 0.05 0.05 0.05 0.05 0.05 0.05 0.05\n! y", "0.05 0.05 0.05 0.05 0.05 0.05 0.05\n! y"}},
         "CFD input file error: cell width expected at line 56"},
        {"inlets", {{"\n1,2\n", "\n-1,2\n"}}, "CFD input file error: negative number of inlets: -1"},
        {"inlet type", {{"0,1,0.5,", "0,4,0.5,"}}, "CFD input error for inlet"},
        {"outlet type", {{"0,1,-0.3,", "0,5,-0.3,"}}, "Error setup outlet boundary condition"},
        {"inlet concentrations", {{"20.0,1\n1,0.001", "20.0,-1\n1,0.001"}}, "Inlet contamniant concentration must be set"},
        {"inlet six", {{"20.0,1\n1,0.001", "20.0,6\n1,0.001"}}, "Total number of contamniants at inlet must less than 5"},
        {"inlet above species", {{"20.0,1\n1,0.001", "20.0,2\n1,0.001"}}, "Total number of contamniants at inlet must be less than 1"},
        {"inlet contaminant", {{"\n1,0.001", "\n2,0.001"}}, "CFD input file error: contaminant number 2 at inlet Supply, expected 1..1"},
        {"outlet concentrations", {{"0,1,-0.3,0.2,20.0", "0,1,-0.3,0.2,20.0,-1"}}, "Outlet contamniant concentration must be set"},
        {"wall sources", {{"10.0,1\n", "10.0,-1\n"}}, "Wall contamniant source must be set"},
        {"wall above species", {{"10.0,1\n", "10.0,3\n"}}, "Total number of contamniants at wall must be less than 1"},
        {"wall contaminant", {{"\n1,1e-6", "\n0,1e-6"}}, "CFD input file error: contaminant number 0 at wall patch, expected 1..1"},
        {"inlet outside", {{"120,124", "120,140"}}, "CFD input file error inlet location setup"},
        {"inlet inside", {{"! i range\n1,1\n", "! i range\n2,2\n"}}, "CFD input file error inlet location setup"},
        {"outlet outside", {{"128,128\n! j", "129,129\n! j"}}, "CFD input file error outlet location setup"},
        {"temperature wall", {{"1,1\n! temperature", "0,0\n! temperature"}}, "CFD input file error constant temperature wall location setup"},
        {"heat flux wall", {{"128,128\n! flux", "129,129\n! flux"}}, "CFD input file error constant heat flux wall location setup"},
        {"block", {{"1,20\n", "1,200\n"}}, "CFD input file error block location setup: REFBLOCK desk"},
        {"blocks", {{"! number\n1\n! block", "! number\n-1\n! block"}}, "CFD input file error: negative number of blocks: -1"},
        {"monitor", {{"64,2,64", "64,3,64"}}, "CFD input file error monitor cell location setup: 64,3,64"},
        {"reference cell", {{"0,2,-1.0,0.01,0.5,22.0", "0,1,0.0,0.0,22.0"}, {"10,2,10", "10,2,0"}},
         "CFD input file error pressure reference cell location setup: 10,2,0"},
        {"report step", {{"1,128,64 1,1,1", "1,128,0 1,1,1"}}, "CFD input file error result report range setup: I 1,128,0"},
        {"report range", {{"1,128,64 1,1,1", "1,128,64 1,2,1"}}, "CFD input file error result report range setup: J 1,2,1"},
        {"slice", {{"2,10,100", "2,10,200"}}, "CFD input file error slice location setup: z 200"},
        {"slices", {{"3,32,64,96", "-3,32,64,96"}}, "CFD input file error: negative number of x slices: -3"},
        {"schemes", {{"2,2,2,2,2", "upwind"}}, "CFD input file error convective differential schemes needed"},
        {"relaxation", {{"0.5,0.5,0.5,0.8,0.9,0.7,0.7,0.9", "0,0.5,0.5,0.8,0.9,0.7,0.7,0.9"}},
         "CFD input file error: under relaxation of U must be positive: 0"},
        {"contaminant relaxation", {{"0.5,0.5,0.5,0.8,0.9,0.7,0.7,0.9", "0.5,0.5,0.5,0.8,0.9,0.7,0.7,0"}},
         "CFD input file error under relaxation for contaminant needed"},
        {"false time step", {{"0.1,0.1,0.1,1.0,5,5,10.0", "0.1,0.1,0.1,-1.0,5,5,10.0"}},
         "CFD input file error: false time step of T must be positive: -1"},
        {"contaminant false time step", {{"0.1,0.1,0.1,1.0,5,5,10.0", "0.1,0.1,0.1,1.0,5,5,0"}},
         "CFD input file error false time step for contaminant needed"},
        {"variable false time step", {{"100,0.5,0.5,0.5,2.0,5,5,20.0", "100,0.5,0.5,0.5,2.0,5,5,0"}},
         "CFD input file error variable false time step for contaminant needed"},
        {"second false time step", {{"100,0.5,0.5,0.5,2.0", "100,0,0.5,0.5,2.0"}},
         "CFD input file error: false time step of U must be positive: 0"},
        {"reference temperature", {{"20.0,20.0", "20.0,-300.0"}}, "CFD input file error: reference temperature (K) must be positive: -27"},
        {"density", {{"! air density\n1.2", "! air density\n0"}}, "CFD input file error: air density must be positive: 0"},
        {"viscosity", {{"1.5e-5", "-1.5e-5"}}, "CFD input file error: kinematic viscosity must be positive: -1.5e-05"},
        {"specific heat", {{"1005.0", "0.0"}}, "CFD input file error: specific heat must be positive: 0"},
        {"Prandtl number", {{"0.71\n", "0\n"}}, "CFD input file error: Prandtl number must be positive: 0"},
        {"comma", {{"64,2,64", "64 2 64"}}, "CFD input file error: monitor cell expected at line 182"},
        {"short file", {{"! Prandtl number\n0.71\n", "! Prandtl number\n"}}, "CFD input file error: Prandtl number expected at line 219"},
        {"label line", {{"! grid label 2", longLine.c_str()}}, "Buffer overflow: xxxxx..."},
    };
    // clang-format on
    for (const Broken& k : cases) {
        SCOPED_TRACE(k.name);
        std::string text = edited(k);
        ChildResult r = runChild([&] {
            CfdCase c(text);
            c.read();
        });
        expectMessage(r, k.message);
    }
}

TEST(CfdErrors, CaseFileAndCalls)
{
    // No case file.
    CfdCase none("");
    std::string path = none.path(".CFD");
    remove(path.c_str());
    expectMessage(runChild([&] { none.read(); }), "Unable to locate input file " + path);

    // A title longer than its buffer is refused, not split into the values.
    CfdCase title(std::string(5000, 't') + "\n" + cfdFixture("cfd_room.CFD"));
    expectMessage(runChild([&] { title.read(); }), "Buffer overflow: ttt...");

    // A report that cannot be created is not written through a missing stream.
    CfdCase held(cfdFixture("cfd_room.CFD"));
    mkdir(held.path(".bal.part").c_str(), 0755);
    expectMessage(runChild([&] { held.read(); }),
                  "Unable to create CFD file " + held.path(".bal") + "; is it already open?");

    // An opening name longer than its record.
    CfdCase name(replaceFirst(cfdFixture("cfd_room.CFD"), "\nSupply\n", "\n" + std::string(300, 'n') + "\n"));
    expectMessage(runChild([&] { name.read(); }),
                  "CFD input file error: inlet name longer than 255 characters at line 79");

    // The arrays are sized by the first reading: a later one with another grid is refused.
    CfdCase again(cfdFixture("cfd_room.CFD"));
    expectMessage(runChild([&] {
                      again.read();
                      writeFile(again.path(".CFD"),
                                replaceFirst(cfdFixture("cfd_room.CFD"), "128,1,128", "64,1,128"));
                      input(again.s.fms, 0);
                  }),
                  "CFD input file error: grid of 64 x 1 x 128 cells, first read 128 x 1 x 128");
}
