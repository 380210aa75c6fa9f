// A mutation fuzzer for the engine's readers: the project reader (through the input test), the
// weather reader (a short transient run under the mutated weather file) and the results-file
// reader. Inputs run in a child process each (a fatal error ends the process) under a time
// limit, except the results-file reader, which reports failures by its return and runs in
// process. Any ending other than a completed run or a reported failure (exit status 0 or 2) is a
// finding: a crash, a sanitizer report, a hang or any other status. Findings are saved for a
// look and to be kept as regression cases.
//
//   flowmir_fuzz fuzz TARGET --seeds FILE... [--seconds S] [--seed N] [--limit S] [--save DIR]
//   flowmir_fuzz replay TARGET FILE...
//
// TARGET is project, weather or sim. For weather the project is the first seed that ends in
// .prj and the weather seeds the rest; sim seeds may be projects, run once to make a results
// file to start from.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "flowmir/flowmir.h"
#include "results/simread.h"

namespace
{

using Bytes = std::string;

Bytes readAll(const std::string& path)
{
    Bytes out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

bool writeAll(const std::string& path, const Bytes& data)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

bool endsWith(const std::string& s, const char* tail)
{
    size_t n = strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// --- mutation ---------------------------------------------------------------------------------

const char* const TOKENS[] = {"0",      "-1",         "1",    "2147483647", "-2147483648", "4294967296",
                              "1e300",  "-1e300",     "1e-300", "nan",      "inf",         "1e20",
                              "014",    "1,35",       "*",    "!",          "-999",        "99999999999999999999",
                              "24:00:00", "12/31",    "Jan01", "x",         "",            "0.5"};
const int32_t INTS[] = {0, -1, 1, 24, 0x7fffffff, (int32_t)0x80000000, 2000000000, 65535, 1024, 3};

struct Mutator {
    std::mt19937_64 rng;
    explicit Mutator(uint64_t seed) : rng(seed) {}
    size_t below(size_t n) { return n ? (size_t)(rng() % n) : 0; }

    // A word of the text (maximal run without blanks), as [begin, end).
    void word(const Bytes& s, size_t* b, size_t* e)
    {
        size_t at = below(s.size());
        size_t i = at, j = at;
        while (i > 0 && !isspace((unsigned char)s[i - 1])) i--;
        while (j < s.size() && !isspace((unsigned char)s[j])) j++;
        *b = i;
        *e = j;
    }

    void text(Bytes& s)
    {
        int ops = 1 + (int)below(4);
        for (int k = 0; k < ops; k++) {
            if (s.empty()) {
                s = TOKENS[below(sizeof TOKENS / sizeof *TOKENS)];
                continue;
            }
            size_t b, e;
            switch (below(7)) {
            case 0: // replace a word by an interesting one
            case 1:
                word(s, &b, &e);
                s.replace(b, e - b, TOKENS[below(sizeof TOKENS / sizeof *TOKENS)]);
                break;
            case 2: // flip a bit
                s[below(s.size())] ^= (char)(1 << below(8));
                break;
            case 3: { // delete a stretch
                size_t at = below(s.size());
                s.erase(at, 1 + below(std::min<size_t>(64, s.size() - at)));
                break;
            }
            case 4: { // repeat a line
                size_t at = below(s.size());
                size_t ls = s.rfind('\n', at);
                ls = ls == Bytes::npos ? 0 : ls + 1;
                size_t le = s.find('\n', at);
                le = le == Bytes::npos ? s.size() : le + 1;
                s.insert(le, s.substr(ls, le - ls));
                break;
            }
            case 5: // a special character
                s[below(s.size())] = "\0*!\n\t,-."[below(8)];
                break;
            default: // cut the end
                s.resize(below(s.size()));
            }
        }
    }

    void binary(Bytes& s)
    {
        int ops = 1 + (int)below(3);
        for (int k = 0; k < ops; k++) {
            if (s.size() < 4) {
                s.append(4, '\0');
                continue;
            }
            switch (below(4)) {
            case 0: { // an interesting 32-bit value at an aligned offset
                size_t at = below(s.size() / 4) * 4;
                int32_t v = INTS[below(sizeof INTS / sizeof *INTS)];
                memcpy(&s[at], &v, 4);
                break;
            }
            case 1:
                s[below(s.size())] ^= (char)(1 << below(8));
                break;
            case 2:
                s.resize(below(s.size()));
                break;
            default: {
                size_t at = below(s.size());
                s.insert(at, s.substr(at, below(256)));
            }
            }
        }
    }
};

// --- running one input -----------------------------------------------------------------------

enum Outcome { FINE, FINDING };

struct Runner {
    std::string target;
    std::string dir;      // scratch folder of the inputs
    Bytes project;        // the project of weather runs
    double timeLimit = 5.0;
    std::string lastWhy;

    // Runs SetupSimulation on a project in a child; FINE when it ends with status 0 or 2 in time.
    Outcome runProject(const std::string& path, bool inputTest)
    {
        fflush(stdout);
        fflush(stderr);
        pid_t pid = fork();
        if (pid < 0) return FINE;
        if (pid == 0) {
            int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            FlowmirState* fms = flowmirNewState();
            flowmirSetQuiet(fms, 1);
            flowmirSetInputTest(fms, inputTest);
            int rc = SetupSimulation(fms, path.c_str(), 0, "", nullptr);
            exit(rc == 0 ? 0 : 2); // as the host ends: exit handlers (coverage counters) run

        }
        auto start = std::chrono::steady_clock::now();
        int st = 0;
        for (;;) {
            pid_t w = waitpid(pid, &st, WNOHANG);
            if (w == pid) break;
            if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > timeLimit) {
                kill(pid, SIGKILL);
                waitpid(pid, &st, 0);
                lastWhy = "no end within the time limit";
                return FINDING;
            }
            usleep(200);
        }
        if (WIFEXITED(st) && (WEXITSTATUS(st) == 0 || WEXITSTATUS(st) == 2)) return FINE;
        char why[64];
        if (WIFEXITED(st))
            snprintf(why, sizeof why, "exit status %d", WEXITSTATUS(st));
        else
            snprintf(why, sizeof why, "signal %d", WTERMSIG(st));
        lastWhy = why;
        return FINDING;
    }

    Outcome run(const Bytes& input)
    {
        if (target == "sim") {
            SimFile f;
            std::string why;
            simParse(reinterpret_cast<const unsigned char*>(input.data()), (long)input.size(), &f, &why);
            return FINE;
        }
        if (target == "project") {
            std::string path = dir + "/fz.prj";
            writeAll(path, input);
            return runProject(path, true);
        }
        std::string path = dir + "/fz.prj";
        writeAll(dir + "/fz.wth", input);
        writeAll(path, project);
        return runProject(path, false);
    }
};

// The project of weather runs: the seed with its weather file named fz.wth, results off.
Bytes weatherProject(const Bytes& prj)
{
    Bytes out = prj;
    size_t at = out.find(".wth\n");
    if (at == Bytes::npos) return out;
    size_t ls = out.rfind('\n', at) + 1;
    out.replace(ls, at + 4 - ls, "fz.wth");
    return out;
}

// A results file from a project seed, written by a run in a child.
Bytes simFrom(Runner& r, const std::string& prj)
{
    std::string base = r.dir + "/seed";
    Bytes text = readAll(prj);
    writeAll(base + ".prj", text);
    // A weather file beside the seed goes along.
    std::string wth = prj.substr(0, prj.size() - 4) + ".wth";
    struct stat st;
    if (stat(wth.c_str(), &st) == 0) {
        size_t at = text.find(".wth\n");
        if (at != Bytes::npos) {
            size_t ls = text.rfind('\n', at) + 1;
            writeAll(r.dir + "/" + text.substr(ls, at + 4 - ls), readAll(wth));
        }
    }
    r.runProject(base + ".prj", false);
    return readAll(base + ".sim");
}

std::string makeScratch()
{
    char tmpl[] = "/tmp/flowmir-fuzz-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return d ? d : "";
}

void removeScratch(const std::string& dir)
{
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "flowmir_fuzz: could not remove %s\n", dir.c_str());
}

int usage()
{
    fprintf(stderr, "usage: flowmir_fuzz fuzz TARGET --seeds FILE... [--seconds S] [--seed N] [--limit S] [--save DIR]\n"
                    "       flowmir_fuzz replay TARGET FILE...\n"
                    "TARGET: project, weather or sim\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return usage();
    std::string mode = argv[1];
    Runner r;
    r.target = argv[2];
    if (r.target != "project" && r.target != "weather" && r.target != "sim") return usage();
    std::vector<std::string> files;
    double seconds = 10.0;
    uint64_t seed = (uint64_t)time(nullptr);
    std::string save = ".";
    for (int i = 3; i < argc; i++) {
        if (!strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = atof(argv[++i]);
        else if (!strcmp(argv[i], "--limit") && i + 1 < argc)
            r.timeLimit = atof(argv[++i]);
        else if (!strcmp(argv[i], "--seed") && i + 1 < argc)
            seed = strtoull(argv[++i], nullptr, 10);
        else if (!strcmp(argv[i], "--save") && i + 1 < argc)
            save = argv[++i];
        else if (!strcmp(argv[i], "--seeds"))
            continue;
        else
            files.push_back(argv[i]);
    }
    r.dir = makeScratch();
    if (r.dir.empty()) {
        perror("flowmir_fuzz: scratch folder");
        return 2;
    }

    // Seeds: for weather the first project names the run; sim seeds may be projects to run.
    std::vector<Bytes> seeds;
    for (const std::string& f : files) {
        if (r.target == "weather" && endsWith(f, ".prj")) {
            if (r.project.empty()) r.project = weatherProject(readAll(f));
            continue;
        }
        if (r.target == "sim" && endsWith(f, ".prj")) {
            Bytes sim = simFrom(r, f);
            if (!sim.empty()) seeds.push_back(sim);
            continue;
        }
        seeds.push_back(readAll(f));
    }
    if (seeds.empty() || (r.target == "weather" && r.project.empty())) {
        fprintf(stderr, "flowmir_fuzz: no seeds for %s\n", r.target.c_str());
        removeScratch(r.dir);
        return 2;
    }

    int findings = 0;
    if (mode == "replay") {
        for (size_t i = 0; i < seeds.size(); i++)
            if (r.run(seeds[i]) == FINDING) {
                fprintf(stderr, "flowmir_fuzz: %s: %s\n", files[i].c_str(), r.lastWhy.c_str());
                findings++;
            }
        printf("%s: %zu regression inputs, %d findings\n", r.target.c_str(), seeds.size(), findings);
        removeScratch(r.dir);
        return findings ? 1 : 0;
    }
    if (mode != "fuzz") return usage();

    Mutator m(seed);
    long execs = 0;
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
        Bytes input = seeds[m.below(seeds.size())];
        if (r.target == "sim")
            m.binary(input);
        else
            m.text(input);
        execs++;
        if (r.run(input) == FINE) continue;
        char name[128];
        snprintf(name, sizeof name, "%s/finding-%s-%llu-%ld", save.c_str(), r.target.c_str(),
                 (unsigned long long)seed, execs);
        writeAll(name, input);
        fprintf(stderr, "flowmir_fuzz: %s (%s)\n", name, r.lastWhy.c_str());
        findings++;
    }
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("%s: %ld executions in %.0f s (%.0f/s), seed %llu, %d findings\n", r.target.c_str(), execs, took,
           execs / took, (unsigned long long)seed, findings);
    removeScratch(r.dir);
    return findings ? 1 : 0;
}
