// flowmir: run one project in batch.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "flowmir/flowmir.h"

static const char* usage =
    "usage: flowmir [options] PROJECT\n"
    "Simulates the airflow and contaminant transport of a building project (.prj; the\n"
    "extension may be left out). Results and the log (PROJECT.xlog) are written beside it.\n"
    "\n"
    "options:\n"
    "  -t, --input-test       read and check the input, then stop\n"
    "      --check            input test that also reports, as PATH:LINE:FIELD: kind: message\n"
    "                         on standard output, values left over on a line, octal integers,\n"
    "                         section counts that do not match, results switches that are not\n"
    "                         written and every error; exit status 2 when anything is found\n"
    "      --describe         read and assemble the network, write it to standard output as\n"
    "                         JSON (levels, zones, paths with their ends, junctions, ducts,\n"
    "                         terminals, species, elements, control nodes), then stop\n"
    "      --set CHANGE       change the project as read, before the network is assembled;\n"
    "                         repeatable. CHANGE is one of (N a week schedule, 0 none):\n"
    "                           element:NAME.lam|turb|expt|flow|scale=X\n"
    "                           zone:NAME.T|volume=X, zone:NAME.schedule=N\n"
    "                           path:NR.mult=X, path:NR.schedule=N, path:NR.element=NAME\n"
    "                           source:NR.mult=X, source:NR.schedule=N\n"
    "                           sourceElement:NAME.rate|scale=X\n"
    "                           weather=FILE, contaminants=FILE\n"
    "  -q, --quiet            no progress text on standard error\n"
    "  -p, --pause            wait for a key before the transient simulation starts\n"
    "  -b, --bridge HOST:PORT run as a client of a co-simulation server\n"
    "      --solver auto|skyline|sparse\n"
    "                         factorisation of the airflow and transport equations when the\n"
    "                         project asks for the skyline method: the one needing fewer\n"
    "                         operations (auto, the default), the skyline, or a sparse\n"
    "                         factorisation (LDLT of the airflow, LU of the transport; ldlt\n"
    "                         is another name for it)\n"
    "  -h, --help             show this text\n"
    "      --version          show the engine version\n"
    "\n"
    "exit status: 0 success or input test completed, 1 stopped by the user,\n"
    "             2 any failure (fatal error, unreadable input, results not written,\n"
    "             no log file), 128+N stopped by signal N\n";

// The factorisation named by a --solver value, or -1.
static int factorisation(const char* name)
{
    if (!strcmp(name, "auto")) return FLOWMIR_FACTOR_AUTO;
    if (!strcmp(name, "skyline")) return FLOWMIR_FACTOR_SKYLINE;
    if (!strcmp(name, "ldlt") || !strcmp(name, "sparse")) return FLOWMIR_FACTOR_LDLT;
    return -1;
}

int main(int argc, char** argv)
{
    int inputTest = 0, check = 0, describe = 0, quiet = 0, pause = 0, factor = FLOWMIR_FACTOR_AUTO;
    const char* bridge = nullptr;
    const char* project = nullptr;
    std::vector<const char*> changes;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (!strcmp(a, "-t") || !strcmp(a, "--input-test")) {
            inputTest = 1;
        } else if (!strcmp(a, "--check")) {
            check = 1;
        } else if (!strcmp(a, "--describe")) {
            describe = 1;
        } else if (!strcmp(a, "--set")) {
            if (i + 1 >= argc) {
                fprintf(stderr, "flowmir: --set needs a change\n%s", usage);
                return 2;
            }
            changes.push_back(argv[++i]);
        } else if (!strncmp(a, "--set=", 6)) {
            changes.push_back(a + 6);
        } else if (!strcmp(a, "-q") || !strcmp(a, "--quiet")) {
            quiet = 1;
        } else if (!strcmp(a, "-p") || !strcmp(a, "--pause")) {
            pause = 1;
        } else if (!strcmp(a, "-b") || !strcmp(a, "--bridge")) {
            if (i + 1 >= argc) {
                fprintf(stderr, "flowmir: %s needs HOST:PORT\n%s", a, usage);
                return 2;
            }
            bridge = argv[++i];
        } else if (!strncmp(a, "--bridge=", 9)) {
            bridge = a + 9;
        } else if (!strcmp(a, "--solver") || !strncmp(a, "--solver=", 9)) {
            const char* name = a[8] == '=' ? a + 9 : i + 1 < argc ? argv[++i] : "";
            factor = factorisation(name);
            if (factor < 0) {
                fprintf(stderr, "flowmir: --solver takes auto, skyline or sparse, not \"%s\"\n%s", name, usage);
                return 2;
            }
        } else if (!strcmp(a, "-h") || !strcmp(a, "--help")) {
            fputs(usage, stdout);
            return 0;
        } else if (!strcmp(a, "--version")) {
            printf("flowmir %s\n", FLOWMIR_VERSION);
            return 0;
        } else if (a[0] == '-' && a[1] != '\0') {
            fprintf(stderr, "flowmir: unknown option %s\n%s", a, usage);
            return 2;
        } else if (!project) {
            project = a;
        } else {
            fprintf(stderr, "flowmir: one project at a time\n%s", usage);
            return 2;
        }
    }
    if (!project) {
        fputs(usage, stderr);
        return 2;
    }
    // An empty address would quietly run without the server.
    if (bridge && !*bridge) {
        fprintf(stderr, "flowmir: --bridge needs HOST:PORT\n%s", usage);
        return 2;
    }

    FlowmirState* fms = flowmirNewState();
    if (!fms) return 2;
    flowmirSetInputTest(fms, inputTest);
    if (check) flowmirSetCheck(fms, 1);
    if (describe) flowmirSetDescribe(fms, 1);
    flowmirSetChanges(fms, changes.data(), (int)changes.size());
    flowmirSetQuiet(fms, quiet);
    flowmirSetPauseAtStart(fms, pause);
    flowmirSetFactorisation(fms, factor);
    int rc = SetupSimulation(fms, project, 0, "", bridge);
    flowmirFreeState(fms);
    return rc == 0 ? 0 : 2;
}
