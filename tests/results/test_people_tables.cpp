// The network as JSON (flowmir --describe) and flowmir-sim's tables for people: names and path
// ends from the project, wide tables, date and clock columns and one file per table.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.h"

static const std::string kExamples = FLOWMIR_EXAMPLES;

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// What follows the n-th comma of a line.
std::string after(const std::string& line, int n)
{
    size_t at = 0;
    for (int k = 0; k < n; k++) at = line.find(',', at) + 1;
    return line.substr(at);
}

size_t fields(const std::string& line)
{
    size_t n = 1;
    for (char c : line) n += c == ',';
    return n;
}

// The office example run once in a scratch folder.
const std::string& officeRun()
{
    static std::string dir;
    if (dir.empty()) {
        dir = scratchDir();
        writeFile(dir + "/office.prj", readFile(kExamples + "/office.prj"));
        writeFile(dir + "/office.wth", readFile(kExamples + "/office.wth"));
        ChildResult r = runHost("-q office.prj", dir);
        EXPECT_EQ(r.status, 0) << r.err;
    }
    return dir;
}

}  // namespace

TEST(Describe, WritesTheAssembledNetworkAndNothingElse)
{
    ChildResult r = runHost("-q --describe office.prj", officeRun());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"project\":\"office\",", 0), 0u) << r.out.substr(0, 80);
    EXPECT_EQ(r.out.substr(r.out.size() - 3), "\n}\n");
    EXPECT_NE(r.out.find("\"counts\":{\"levels\":2,\"zones\":4,\"paths\":10,\"junctions\":0,\"ducts\":0,\"species\":0,"
                         "\"controls\":0,\"nodes\":5,\"links\":10,\"envelope\":7}"),
              std::string::npos);
    // The stair between the corridor and the upper floor, as the project gives it.
    EXPECT_NE(r.out.find("{\"nr\":7,\"from\":2,\"fromName\":\"Corridor\",\"to\":4,\"toName\":\"UpperOpen\","
                         "\"elementNr\":3,\"element\":\"stair\",\"elementType\":\"plr_stair\",\"level\":1,"
                         "\"levelName\":\"Ground\",\"relHeight\":3,\"height\":3,\"multiplier\":1,"),
              std::string::npos);
    EXPECT_NE(r.out.find("{\"nr\":4,\"name\":\"UpperOpen\",\"level\":2,\"levelName\":\"Upper\",\"volume\":150,"
                         "\"temperature\":295.15,\"height\":3.2,"),
              std::string::npos);
    EXPECT_NE(r.out.find("\"weather\":\"office.wth\""), std::string::npos);
}

TEST(Describe, AnUnreadableProjectWritesNoJson)
{
    std::string dir = scratchDir();
    writeFile(dir + "/bad.prj", "Flowpad 3.4.1.0 0\nnothing else\n");
    ChildResult r = runHost("-q --describe bad.prj", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
}

TEST(PeopleTables, ProjectNamesZonesAndPathEnds)
{
    ChildResult plain = runSimTool("--table paths office.sim", officeRun());
    ChildResult named = runSimTool("--table paths --project office.prj office.sim", officeRun());
    ASSERT_EQ(named.status, 0) << named.err;
    std::vector<std::string> p = lines(plain.out), n = lines(named.out);
    ASSERT_EQ(p.size(), n.size());
    EXPECT_EQ(n[0], "day,time,date,clock,path,styp,s_nr,label,from,to,dP_Pa,F0_kg/s,F1_kg/s");
    // Row 7 of the first listing: the same numbers, with the date, clock, label and ends.
    EXPECT_EQ(p[7].substr(0, 10), "1,0,7,0,7,");
    EXPECT_EQ(n[7], "1,0,Jan01,00:00:00,7,0,7,P7,Corridor,UpperOpen," + after(p[7], 5));
    EXPECT_EQ(n[8].substr(0, 46), "1,0,Jan01,00:00:00,8,0,8,P8,Corridor,ambient,-");

    ChildResult nodes = runSimTool("--table nodes --project office.prj office.sim", officeRun());
    EXPECT_EQ(lines(nodes.out)[4].substr(0, 43), "1,0,Jan01,00:00:00,4,0,4,UpperOpen,295.1499");
}

TEST(PeopleTables, WideHasOneRowPerListingTime)
{
    ChildResult longForm = runSimTool("--table nodes office.sim", officeRun());
    ChildResult wide = runSimTool("--table nodes --wide --project office.prj office.sim", officeRun());
    ASSERT_EQ(wide.status, 0) << wide.err;
    std::vector<std::string> l = lines(longForm.out), w = lines(wide.out);
    // Four zones a listing time; the ambient has no row.
    ASSERT_EQ(l.size() - 1, (w.size() - 1) * 4);
    EXPECT_EQ(w[0], "day,time,date,clock,OfficeWest:T_K,OfficeWest:Pg_Pa,OfficeWest:D_kg/m3,Corridor:T_K,"
                    "Corridor:Pg_Pa,Corridor:D_kg/m3,OfficeEast:T_K,OfficeEast:Pg_Pa,OfficeEast:D_kg/m3,"
                    "UpperOpen:T_K,UpperOpen:Pg_Pa,UpperOpen:D_kg/m3");
    // The 3 am row of the second day carries the long form's four rows at that time.
    std::string row;
    for (const std::string& s : w)
        if (s.rfind("2,10800,Jan02,03:00:00,", 0) == 0) row = s;
    ASSERT_FALSE(row.empty());
    std::string values;  // T, Pg and D of each node: the long rows after day, time, node, styp, s_nr
    for (const std::string& s : l)
        if (s.rfind("2,10800,", 0) == 0) values += "," + after(s, 5);
    EXPECT_EQ(row, "2,10800,Jan02,03:00:00" + values);
    EXPECT_EQ(fields(w[0]), fields(w[1]));

    ChildResult plainWide = runSimTool("--table paths --wide office.sim", officeRun());
    EXPECT_EQ(lines(plainWide.out)[0].rfind("day,time,date,clock,P1:dP_Pa,P1:F0_kg/s,P1:F1_kg/s,P2:dP_Pa,", 0), 0u);
    ChildResult namedWide = runSimTool("--table paths --wide --project office.prj office.sim", officeRun());
    EXPECT_NE(namedWide.out.find(",P7 Corridor>UpperOpen:dP_Pa,"), std::string::npos);
}

TEST(PeopleTables, OutWritesEachTableToItsFile)
{
    std::string dir = officeRun();
    ChildResult r = runSimTool("--project office.prj --out tables.csv office.sim", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    for (const char* t : {"header", "nodes", "paths"})
        EXPECT_EQ(readFile(dir + "/tables-" + t + ".csv"),
                  runSimTool(std::string("--table ") + t + " --project office.prj office.sim", dir).out)
            << t;
    r = runSimTool("--table ambient --out amb.csv office.sim", dir);
    EXPECT_EQ(readFile(dir + "/amb.csv"), runSimTool("--table ambient office.sim", dir).out);
    r = runSimTool("--table nodes --out /nonexistent/x.csv office.sim", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "flowmir-sim: /nonexistent/x.csv: cannot be written\n");
}

TEST(PeopleTables, AProjectThatIsNotTheResultsIsRefused)
{
    std::string dir = officeRun();
    writeFile(dir + "/small.prj", readFile(std::string(FLOWMIR_TEST_PROJECTS) + "/prj_minimal.prj"));
    ChildResult r = runSimTool("--table paths --project small.prj office.sim", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "flowmir-sim: small.prj: the project does not have the results' zones and paths\n");
    EXPECT_EQ(r.out, "");
    r = runSimTool("--table paths --project missing.prj office.sim", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "flowmir-sim: missing.prj: the project cannot be read\n");
}
