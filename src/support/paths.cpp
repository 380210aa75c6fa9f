// Project paths: every output file is the project's drive, directory and name with its own
// extension, so a path is split once and merged again per file. The separator of the
// project path is remembered so that merged names use the same one.
//
// Overruns are reported with errorMinimal: error() splits paths itself and must not be
// re-entered from here.
#include "support/paths.h"

#include <cstring>

#include "support/error.h"
#include "support/platform.h"

static bool isDirChar(char c)
{
    return c == '\\' || c == '/';
}

// Copies n characters of src into a buffer of length bytes, terminated; a part that does
// not fit is cut to length - 1 characters and false is returned.
static bool copyPart(char* out, int length, const char* src, size_t n)
{
    if (length <= 0) return n == 0;
    bool fits = n <= (size_t)(length - 1);
    if (!fits) n = (size_t)(length - 1);
    memcpy(out, src, n);
    out[n] = '\0';
    return fits;
}

int pathsplit(FlowmirState* fms, const char* path, char* drive, int driveLength, char* dir, int dirLength,
              char* name, int nameLength, char* ext, int extLength)
{
    const char* rest = path ? path : "";

    if (drive && driveLength > 0) drive[0] = '\0';
    if (rest[0] && rest[1] == ':') {
        if (drive) {
            if (driveLength > 2)
                copyPart(drive, driveLength, rest, 2);
            else
                errorMinimal(fms, ERROR, "pathsplit: file drive overrun");
        }
        rest += 2;
    }

    // The first separator decides which one the project uses.
    const char* file = rest;
    const char* sep = strpbrk(rest, "\\/");
    if (sep) {
        setDirChar(fms, *sep);
        file = strrchr(rest, *sep) + 1;
    }
    if (dir && !copyPart(dir, dirLength, rest, (size_t)(file - rest)))
        errorMinimal(fms, ERROR, "pathsplit: file path overrun");

    const char* dot = strrchr(file, '.');
    size_t nameLen = dot ? (size_t)(dot - file) : strlen(file);
    size_t extLen = dot ? strlen(dot) : 0;
    int result = 0;
    if (name) {
        if (!copyPart(name, nameLength, file, nameLen))
            errorMinimal(fms, ERROR, "pathsplit: file name overrun");
        result = (int)strlen(name);
    }
    if (ext) {
        if (!copyPart(ext, extLength, dot ? dot : "", extLen))
            errorMinimal(fms, ERROR, "pathsplit: file extension overrun");
        result = (int)strlen(ext);
    }
    return result;
}

// Appends text to a merged path of at most length - 1 characters; false once it is full.
static bool appendPart(char* out, int length, size_t* used, const char* text, size_t n)
{
    size_t room = (size_t)(length - 1) - *used;
    bool fits = n <= room;
    if (!fits) n = room;
    memcpy(out + *used, text, n);
    *used += n;
    return fits;
}

void pathmerge(FlowmirState* fms, char* out, int outLength, const char* drive, const char* dir,
               const char* name, const char* ext)
{
    if (!out || outLength <= 0) return;
    size_t used = 0;
    bool fits = true;
    if (drive) fits = appendPart(out, outLength, &used, drive, strlen(drive)) && fits;
    // An empty directory means the current one: no separator, or the name would move to the root.
    if (dir && dir[0]) {
        size_t n = strlen(dir);
        fits = appendPart(out, outLength, &used, dir, n) && fits;
        if (!isDirChar(dir[n - 1])) {
            char sep = getDirChar(fms);
            fits = appendPart(out, outLength, &used, &sep, 1) && fits;
        }
    }
    if (name) fits = appendPart(out, outLength, &used, name, strlen(name)) && fits;
    // An empty extension adds nothing: "office" must not become "office.".
    if (ext && ext[0]) {
        if (ext[0] != '.') fits = appendPart(out, outLength, &used, ".", 1) && fits;
        fits = appendPart(out, outLength, &used, ext, strlen(ext)) && fits;
    }
    out[used] = '\0';
    if (!fits) errorMinimal(fms, ERROR, "PathMerge: fullpath overrun");
}

void convertDirChars(FlowmirState* fms, char* text)
{
    if (!text) return;
    char to = getDirChar(fms);
    if (!isDirChar(to)) return;
    char from = to == '/' ? '\\' : '/';
    for (char* p = text; *p; p++)
        if (*p == from) *p = to;
}

void setDirChar(FlowmirState* fms, char c)
{
    fms->dirChar = c;
}

char getDirChar(FlowmirState* fms)
{
    return fms->dirChar;
}

int fileCopy(FILE* logStream, const char* from, const char* to)
{
    if (!from) from = "";
    if (!to) to = "";
    fprintf(logStream ? logStream : stderr, "fileCopy\n  from %s\n  to %s\n", from, to);
    // Identity, not the name: another path to the same file would be truncated before it is read.
    if (strcmp(from, to) == 0 || platformSameFile(from, to)) {
        fprintf(stderr, "Cannot copy file %s to itself\n", from);
        return 0;
    }
    FILE* in = openFile(from, "r");
    if (!in) {
        fprintf(stderr, "Failed to open file %s\n", from);
        return 1;
    }
    FILE* out = openFile(to, "w");
    if (!out) {
        fclose(in);
        fprintf(stderr, "Failed to open file %s\n", to);
        return 1;
    }
    int c;
    while ((c = fgetc(in)) != EOF) fputc(c, out);
    bool failed = ferror(in) || ferror(out);
    fclose(in);
    failed = fclose(out) != 0 || failed;
    if (failed) {
        fprintf(stderr, "Failed to write file %s\n", to);
        return 1;
    }
    return 0;
}

FILE* openFile(const char* path, const char* mode)
{
    if (!path || !mode) return nullptr;
    return fopen(path, mode);
}
