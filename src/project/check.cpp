// The strict project check. It rides on the one project reader: the text reader counts lines
// and words while the check is on (NxtTrack), the typed field readers show it every word they
// convert, and the section readers tell it where sections and records begin and end. Findings
// are written as they are made, so that a fatal error, which ends the process, loses none.
#include "project/check.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "support/fields.h"
#include "support/nxt.h"
#include "support/strutil.h"

namespace {

// clang-format off
const char* const sectionNames[] = {
    "header", "Run Control", "Species", "Level", "Day Schedule", "Week Schedule", "WindP Profile",
    "Kinetic Reaction", "Filter Element", "Filter", "Source/Sink Element", "Airflow Element",
    "Airflow Element (ducts)", "editor data", "Controls", "AHS", "Zone", "Zone CC", "Path", "Duct Junction",
    "Duct Junction CC", "Duct Segment", "Source/Sink", "Occupant Day Schedule", "Occupant Exposure", "Note",
    "Cirdal data", "Cirdal data",
};
const int NSECTION_NAMES = (int)(sizeof sectionNames / sizeof sectionNames[0]);

// Names of the values whose place in their line or record is fixed: run-control values by
// line and value, component records by value (the record number is value 1).
struct FieldName {
    int section, line, value;
    const char* name;
};
const FieldName fieldNames[] = {
    {1, 3, 1, "Tambt"}, {1, 3, 2, "Pambt"}, {1, 3, 3, "Wspd"}, {1, 3, 4, "Wdir"}, {1, 3, 5, "ambRH"},
    {1, 3, 6, "dayType0"}, {1, 5, 1, "weather file"}, {1, 6, 1, "ambient-contaminant file"},
    {1, 7, 1, "CVF file"}, {1, 8, 1, "DVF file"}, {1, 9, 1, "wind-pressure file"}, {1, 13, 6, "_useWPCwp"},
    {1, 13, 7, "_useWPCmf"}, {1, 13, 8, "wpcOption"}, {1, 15, 1, "afsim"}, {1, 15, 2, "afNewton"},
    {1, 15, 3, "afItmax"}, {1, 15, 4, "afRelcnvg"}, {1, 15, 5, "afAbscnvg"}, {1, 15, 6, "afRelax"},
    {1, 15, 8, "presTestValue"}, {1, 16, 1, "afSlae"}, {1, 16, 2, "afReorder"}, {1, 16, 3, "cfdFlowOption"},
    {1, 16, 4, "afPcgCnvg"}, {1, 16, 5, "afInit"}, {1, 16, 6, "rhoMuCorr"}, {1, 17, 1, "mfsim"},
    {1, 17, 3, "cycRelTol"}, {1, 17, 4, "cycMinConc"}, {1, 21, 1, "mfsolver"}, {1, 21, 2, "cdzOn"},
    {1, 21, 3, "cdDucts"}, {1, 21, 4, "dxDuct"}, {1, 21, 5, "stsHeat"}, {1, 22, 1, "cvmethod"},
    {1, 22, 2, "cvrtol"}, {1, 22, 3, "cvatol"}, {1, 22, 4, "cvmaxstep"}, {1, 23, 1, "tsdens"},
    {1, 23, 3, "densItmax"}, {1, 23, 4, "cnvgSS"}, {1, 23, 5, "densZP"}, {1, 23, 6, "stackD"},
    {1, 23, 7, "dodMdt"}, {1, 24, 1, "dateSS"}, {1, 24, 2, "timeSS"}, {1, 24, 3, "date0"},
    {1, 24, 4, "time0"}, {1, 24, 5, "date1"}, {1, 24, 6, "time1"}, {1, 24, 7, "time_step"},
    {1, 24, 8, "listStep"}, {1, 24, 9, "screenStep"}, {1, 25, 1, "restartFlag"}, {1, 25, 2, "restartDate"},
    {1, 26, 1, "listSetting"}, {1, 26, 3, "pfres"}, {1, 26, 4, "zfres"}, {1, 26, 5, "zcres"},
    {1, 27, 2, "achStepOut"}, {1, 27, 3, "achSumOut"}, {1, 27, 4, "cbwSumOut"}, {1, 27, 5, "expStepOut"},
    {1, 27, 6, "expSumOut"}, {1, 27, 7, "ageStepOut"}, {1, 27, 8, "ageSumOut"}, {1, 28, 1, "rzfres"},
    {1, 28, 2, "rzmres"}, {1, 28, 3, "rz1res"}, {1, 28, 4, "csmOut"}, {1, 28, 5, "srfres"},
    {1, 28, 6, "logcOut"}, {1, 29, 1, "bcexres"}, {1, 29, 2, "dcexres"}, {1, 29, 3, "pfsql"},
    {1, 29, 4, "zfsql"}, {1, 29, 5, "zcsql"}, {1, 30, 1, "rhoRef"}, {1, 30, 2, "gravity"},
    {1, 30, 3, "afLogIter"}, {1, 30, 4, "afLogSolve"}, {1, 31, 1, "nrvals"}, {1, 32, 1, "valZones"},
    {1, 32, 2, "valJunctions"}, {1, 32, 3, "valClassified"}, {1, 33, 1, "cfdMode"}, {1, 33, 2, "cfdTol"},
    {1, 33, 3, "cfdRestart"}, {1, 33, 5, "cfdMaxIter"}, {1, 33, 6, "cfdReportInterval"},
    {1, 33, 7, "cfdMultigrid"}, {1, 33, 8, "cfdMgLineSmoother"}, {3, 0, 2, "elevation"},
    {3, 0, 4, "icon count"}, {3, 0, 7, "name"}, {15, 0, 4, "supply path"}, {15, 0, 5, "return path"},
    {15, 0, 6, "third path"}, {15, 0, 8, "name"}, {16, 0, 2, "flags"}, {16, 0, 3, "week schedule"},
    {16, 0, 4, "control node"}, {16, 0, 5, "reaction"}, {16, 0, 6, "level"}, {16, 0, 7, "relative height"},
    {16, 0, 8, "volume"}, {16, 0, 9, "temperature"}, {16, 0, 10, "pressure"}, {16, 0, 11, "name"},
    {16, 0, 17, "one-dimensional flag"}, {16, 0, 18, "value file"}, {18, 0, 2, "flags"}, {18, 0, 3, "zone N"},
    {18, 0, 4, "zone M"}, {18, 0, 5, "flow element"}, {18, 0, 6, "filter"}, {18, 0, 7, "wind profile"},
    {18, 0, 8, "AHS"}, {18, 0, 9, "week schedule"}, {18, 0, 10, "control node"}, {18, 0, 11, "level"},
    {18, 0, 12, "x"}, {18, 0, 13, "y"}, {18, 0, 14, "relative height"}, {18, 0, 15, "multiplier"},
    {18, 0, 16, "wind pressure"}, {18, 0, 17, "wind speed modifier"}, {18, 0, 18, "azimuth"},
    {18, 0, 19, "design flow"}, {18, 0, 29, "value file"}, {19, 0, 2, "flags"}, {19, 0, 3, "terminal flag"},
    {19, 0, 4, "zone"}, {19, 0, 5, "duct"}, {19, 0, 6, "reaction"}, {19, 0, 7, "week schedule"},
    {19, 0, 8, "control node"}, {19, 0, 9, "level"}, {19, 0, 10, "x"}, {19, 0, 11, "y"},
    {19, 0, 12, "relative height"}, {19, 0, 13, "temperature"}, {19, 0, 21, "value file"},
    {21, 0, 2, "flags"}, {21, 0, 3, "junction N"}, {21, 0, 4, "junction M"}, {21, 0, 5, "duct element"},
    {21, 0, 6, "filter"}, {21, 0, 7, "week schedule"}, {21, 0, 8, "control node"}, {21, 0, 10, "length"},
    {21, 0, 13, "loss coefficient"}, {21, 0, 17, "value file"},
};
// clang-format on
const int NFIELD_NAMES = (int)(sizeof fieldNames / sizeof fieldNames[0]);

const char* fieldName(int section, int line, int value)
{
    for (int i = 0; i < NFIELD_NAMES; i++) {
        const FieldName& f = fieldNames[i];
        if (f.section == section && f.line == line && f.value == value) return f.name;
    }
    return nullptr;
}

struct ProjectCheck {
    NxtTrack track;
    int section;        // section being read, in the file's order; 0 the header
    int runControlBase; // line-start reads before the run control
    int countArmed;     // the next line-start integer is a section count
    int countSkip;      // line-start integers to pass over before it
    int countKnown;
    int count;
    int records;         // records whose number matched so far
    int current;         // record being read, 0 none
    int recordLineReads; // line-start reads when its number was read
    int errorsAtCount;   // error count when the count was read
    int nextSection;     // section that begins with the next field read, 0 none
};

ProjectCheck* checkOf(FlowmirState* fms)
{
    return fms->nxtTrack ? static_cast<ProjectCheck*>(fms->nxtTrack->owner) : nullptr;
}

const char* sectionName(const ProjectCheck* pc)
{
    return pc->section >= 0 && pc->section < NSECTION_NAMES ? sectionNames[pc->section] : "";
}

// Where in the project a finding lies, for a reader who does not count lines: the run-control
// line and value, or the section and record. `skipped` for words a line skip passed over,
// which belong to the line before the read that skipped them.
void describePlace(const ProjectCheck* pc, bool skipped, char* out, size_t size)
{
    const NxtTrack* t = &pc->track;
    const char* name = nullptr;
    if (pc->section == 1) {
        int line = t->lineReads - pc->runControlBase - (skipped ? 1 : 0);
        if (!skipped) name = fieldName(1, line, t->fieldReads);
        if (skipped)
            snprintf(out, size, "Run Control line %d", line);
        else if (name)
            snprintf(out, size, "Run Control line %d, value %d: %s", line, t->fieldReads, name);
        else
            snprintf(out, size, "Run Control line %d, value %d", line, t->fieldReads);
    } else if (pc->current > 0) {
        // Only the record's first line has its values in a fixed place.
        if (!skipped && t->lineReads == pc->recordLineReads) name = fieldName(pc->section, 0, t->fieldReads);
        if (name)
            snprintf(out, size, "%s record %d, value %d: %s", sectionName(pc), pc->current, t->fieldReads,
                     name);
        else
            snprintf(out, size, "%s record %d", sectionName(pc), pc->current);
    } else {
        snprintf(out, size, "%s", sectionName(pc));
    }
}

// One finding; `place` names where it lies, or the reader's position does when it is null.
void vfinding(FlowmirState* fms, int line, int field, const char* kind, const char* place, bool skipped,
              const char* format, va_list ap)
{
    char message[512];
    vsnprintf(message, sizeof message, format, ap);
    char here[96] = "";
    if (!place) {
        if (const ProjectCheck* pc = checkOf(fms)) describePlace(pc, skipped, here, sizeof here);
        place = here;
    }
    if (place[0])
        printf("%s:%d:%d: %s: %s (%s)\n", fms->projectPath, line, field, kind, message, place);
    else
        printf("%s:%d:%d: %s: %s\n", fms->projectPath, line, field, kind, message);
    fms->checkFindings++;
}

void finding(FlowmirState* fms, int line, int field, const char* kind, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    vfinding(fms, line, field, kind, nullptr, false, format, ap);
    va_end(ap);
}

void findingAt(FlowmirState* fms, int line, int field, const char* kind, const char* place, bool skipped,
               const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    vfinding(fms, line, field, kind, place, skipped, format, ap);
    va_end(ap);
}

void onLeftover(FlowmirState* fms, int line, int field, int count)
{
    const NxtTrack* t = fms->nxtTrack;
    bool cut = t->skippedLength >= (int)sizeof t->skipped - 1;
    char comma[96] = "";
    if (t->commaField > 0)
        snprintf(comma, sizeof comma, "; field %d follows a comma between digits: a decimal comma?",
                 t->commaField);
    findingAt(fms, line, field, "leftover", nullptr, true,
              "%d value%s left over on the line, not read: \"%s%s\"%s", count, count == 1 ? "" : "s",
              t->skipped, cut ? "..." : "", comma);
}

// An integer written with a leading 0 is octal: 014 is 12, and 08 is no number at all.
void checkOctal(FlowmirState* fms, const char* word)
{
    const char* p = word;
    if (*p == '+' || *p == '-') p++;
    if (p[0] != '0' || p[1] < '0' || p[1] > '9') return;
    bool octal = true;
    for (const char* q = p; *q; q++) {
        if (*q < '0' || *q > '9') return; // not a plain number: the reader's own error says so
        if (*q > '7') octal = false;
    }
    const NxtTrack* t = fms->nxtTrack;
    if (!octal) {
        finding(fms, t->wordLine, t->wordField, "octal",
                "%s is not a number: its leading 0 makes it octal, which has no digit 8 or 9", word);
        return;
    }
    int32_t value;
    if (longcon(word, &value)) return;
    long decimal = strtol(word, nullptr, 10);
    if (value != decimal)
        finding(fms, t->wordLine, t->wordField, "octal", "%s reads as the octal number %d, not %ld", word,
                value, decimal);
}

void onField(FlowmirState* fms, const char* word, int mode, int integer)
{
    ProjectCheck* pc = checkOf(fms);
    if (!pc) return;
    if (pc->nextSection) check_section(fms, pc->nextSection);
    if (pc->countArmed && mode >= 1 && integer) {
        if (pc->countSkip > 0) {
            pc->countSkip--;
        } else {
            int32_t n = 0;
            longcon(word, &n);
            pc->countArmed = 0;
            pc->countKnown = 1;
            pc->count = n;
            pc->records = 0;
            pc->errorsAtCount = fms->errorCount;
        }
    }
    if (integer) checkOctal(fms, word);
}

// Every error is a finding too, placed at the word read last, and so is a warning about the
// project file itself; then the report goes where it would have gone without the check.
// Warnings about the network built from it are advice, not faults of the file.
int checkError(FlowmirState* fms, const char* word, const char* msg, int* errorCount)
{
    if (strcmp(word, "NOTE") != 0 && (strcmp(word, "WARNING") != 0 || fms->nxtTrack)) {
        char text[256];
        size_t n = 0;
        const char* p = msg;
        while (*p == ' ' || *p == '\n')
            p++;
        for (; *p && n < sizeof text - 4; p++) {
            char c = *p == '\n' || *p == '\r' ? ' ' : *p;
            if (c != ' ' || (n > 0 && text[n - 1] != ' ')) text[n++] = c;
        }
        if (*p) {
            memcpy(text + n, "...", 3);
            n += 3;
        }
        while (n > 0 && text[n - 1] == ' ')
            n--;
        text[n] = '\0';
        char kind[16];
        size_t k = 0;
        for (; word[k] && k < sizeof kind - 1; k++)
            kind[k] = (char)(word[k] >= 'A' && word[k] <= 'Z' ? word[k] + 32 : word[k]);
        kind[k] = '\0';
        const NxtTrack* t = fms->nxtTrack;
        finding(fms, t ? t->wordLine : 0, t ? t->wordField : 0, kind, "%s", text);
    }
    if (fms->checkChainedErrorFcn) return fms->checkChainedErrorFcn(fms, word, msg, errorCount);
    fprintf(stderr, "%s%s", word, msg);
    fflush(stderr);
    return 0;
}

} // namespace

void check_install(FlowmirState* fms)
{
    if (!fms->check || fms->errorFcn == checkError) return;
    fms->checkChainedErrorFcn = fms->errorFcn;
    fms->errorFcn = checkError;
}

void check_begin(FlowmirState* fms)
{
    if (!fms->check || fms->nxtTrack) return;
    ProjectCheck* pc = new (std::nothrow) ProjectCheck{};
    if (!pc) return;
    pc->track.line = 1;
    pc->track.skipFrom = -1;
    pc->track.owner = pc;
    pc->track.leftover = onLeftover;
    pc->track.fieldRead = onField;
    fms->nxtTrack = &pc->track;
}

void check_end(FlowmirState* fms)
{
    ProjectCheck* pc = checkOf(fms);
    if (!pc) return;
    fms->nxtTrack = nullptr;
    delete pc;
}

void check_section(FlowmirState* fms, int nr)
{
    ProjectCheck* pc = checkOf(fms);
    if (!pc) return;
    pc->section = nr;
    pc->nextSection = 0;
    pc->records = 0;
    pc->current = 0;
    pc->countKnown = 0;
    // The run control and the skipped sections have no count; species first say how many
    // of them are simulated, then how many records follow.
    pc->countArmed = nr != 1 && nr != 13 && nr < 26;
    pc->countSkip = nr == 2 ? 1 : 0;
    if (nr == 1) pc->runControlBase = pc->track.lineReads;
}

void check_section_end(FlowmirState* fms, const char* name, const char* word)
{
    ProjectCheck* pc = checkOf(fms);
    if (!pc) return;
    const NxtTrack* t = &pc->track;
    if (!streql(word, "-999") && pc->countKnown && fms->errorCount == pc->errorsAtCount) {
        int32_t nr;
        if (word[0] && longcon(word, &nr) == 0 && nr == pc->records + 1)
            finding(fms, t->wordLine, t->wordField, "count",
                    "the %s section's count is %d, but record %d follows where -999 should end the section",
                    name, pc->count, nr);
    }
    // The zone and junction sections go on with their mass fractions, which have a count too;
    // they begin with the count, after whatever the terminator's line still holds.
    if (pc->section == 16 || pc->section == 19) pc->nextSection = pc->section + 1;
    pc->countKnown = 0;
}

void check_record(FlowmirState* fms, int expected, int nr)
{
    ProjectCheck* pc = checkOf(fms);
    if (!pc) return;
    pc->current = expected;
    pc->recordLineReads = pc->track.lineReads;
    if (nr == expected) {
        pc->records = expected;
    } else if (nr == -999 && pc->countKnown && fms->errorCount == pc->errorsAtCount) {
        const NxtTrack* t = &pc->track;
        finding(fms, t->wordLine, t->wordField, "count",
                "the %s section's count is %d, but only %d %s before its -999", sectionName(pc), pc->count,
                expected - 1, expected == 2 ? "record comes" : "records come");
    }
}

void check_free_text(FlowmirState* fms)
{
    if (fms->nxtTrack) fms->nxtTrack->freeText = 1;
}

int check_status(FlowmirState* fms, int status)
{
    return fms->check && fms->checkFindings > 0 && status == 0 ? 2 : status;
}
