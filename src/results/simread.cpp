// Reading a ".sim" results file. The file has no record tags: the header fixes the size of every
// record, a day summary is the record that closes a day (the next record starts the next day, or
// the trailer follows), and the trailer is told from a record by its first int, a small
// histogram index where a record has its day type in the upper half.
#include "results/simread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

const int HEADER_INTS = 17;
const long HEADER_BYTES = 4 * HEADER_INTS;
const int TRAILER_INTS = 16;
const long TRAILER_MIN_BYTES = 4 * (TRAILER_INTS + 1);  // with the one histogram entry of n = 0
const int32_t SIM_TYPE = 24;
// Contaminants take bytes only in records, and a file may hold none; beyond this many the count
// must be backed by room for at least one record, since it alone sets the width of some tables.
const int32_t MAX_UNBACKED_CONTAMINANTS = 1024;

struct Cursor {
    const unsigned char* d;
    long size;
    long pos;
};

int32_t getI32(const unsigned char* p)
{
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

int16_t getI16(const unsigned char* p)
{
    return (int16_t)((uint16_t)p[0] | (uint16_t)p[1] << 8);
}

float getF32(const unsigned char* p)
{
    uint32_t bits = (uint32_t)getI32(p);
    float v;
    memcpy(&v, &bits, 4);
    return v;
}

int32_t nextI32(Cursor* c)
{
    int32_t v = getI32(c->d + c->pos);
    c->pos += 4;
    return v;
}

float nextF32(Cursor* c)
{
    float v = getF32(c->d + c->pos);
    c->pos += 4;
    return v;
}

bool fail(std::string* why, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool fail(std::string* why, const char* format, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (why) *why = buf;
    return false;
}

// Sizes are products of header counts: a product or sum no file could hold saturates, so that it
// compares as too large instead of wrapping round to something small. Both operands are >= 0.
int64_t satMul(int64_t a, int64_t b)
{
    int64_t r;
    return __builtin_mul_overflow(a, b, &r) ? INT64_MAX : r;
}

int64_t satAdd(int64_t a, int64_t b)
{
    int64_t r;
    return __builtin_add_overflow(a, b, &r) ? INT64_MAX : r;
}

// A record as stored, before its kind is known.
struct RawRow {
    int32_t nr;
    float a, b, c;
    int32_t cBits;  // the last field as an integer: 0 in day summaries
};

struct RawRecord {
    SimRecord rec;
    float v[4];
    std::vector<RawRow> paths, nodes;
};

bool checkHeader(const SimHeader& h, std::string* why)
{
    const struct {
        const char* name;
        int32_t value, lo, hi;
    } fields[] = {
        {"nnode", h.nnode, 0, INT32_MAX}, {"npath", h.npath, 0, INT32_MAX}, {"ncont", h.ncont, 0, INT32_MAX},
        {"njct", h.njct, 0, INT32_MAX},   {"ndct", h.ndct, 0, INT32_MAX},   {"step", h.step, 1, INT32_MAX},
        {"date0", h.date0, 1, 365},       {"time0", h.time0, 0, 86400},     {"date1", h.date1, 1, 365},
        {"time1", h.time1, 0, 86400},     {"pfres", h.pfres, 0, 1},         {"zfres", h.zfres, 0, 1},
        {"zcres", h.zcres, 0, 1},         {"nafnd", h.nafnd, 1, INT32_MAX}, {"nccnd", h.nccnd, 0, INT32_MAX},
        {"nafpt", h.nafpt, 0, INT32_MAX},
    };
    for (const auto& f : fields)
        if (f.value < f.lo || f.value > f.hi)
            return fail(why, "not a results file: header field %s = %d is out of range", f.name, f.value);
    // Zones, junctions and the ambient node make the airflow nodes.
    if ((int64_t)h.nnode + h.njct + 1 != h.nafnd)
        return fail(why, "not a results file: %d zones and %d junctions do not make %d airflow nodes", h.nnode,
                    h.njct, h.nafnd);
    if ((int64_t)h.npath + h.ndct > h.nafpt)
        return fail(why, "not a results file: %d paths and %d ducts exceed %d airflow paths", h.npath, h.ndct,
                    h.nafpt);
    if (h.nccnd != (h.zcres ? h.nafnd : 0))
        return fail(why, "not a results file: nccnd = %d with zcres = %d and nafnd = %d", h.nccnd, h.zcres,
                    h.nafnd);
    return true;
}

int64_t idBytes(const SimHeader& h)
{
    return satMul(8, satAdd(satAdd(h.nafnd, h.nccnd), h.nafpt));
}

int64_t recordSize(const SimHeader& h)
{
    int64_t nodes = h.nafnd - 1;  // the ambient node has no rows
    int64_t size = 0;
    if (h.pfres || h.zfres || h.zcres) size = satAdd(size, satAdd(24, satMul(4, h.ncont)));
    if (h.pfres) size = satAdd(size, satMul(16, h.nafpt));
    if (h.zfres) size = satAdd(size, satMul(16, nodes));
    if (h.zcres) size = satAdd(size, satMul(satAdd(4, satMul(4, h.ncont)), nodes));
    return size;
}

// The bytes the contaminants add to every record: the ambient's and, with concentrations, each node's.
int64_t contaminantBytes(const SimHeader& h)
{
    if (!(h.pfres || h.zfres || h.zcres)) return 0;
    return satMul(satMul(4, h.ncont), h.zcres ? h.nafnd : 1);
}

bool failContaminants(const SimHeader& h, long size, std::string* why)
{
    return fail(why,
                "truncated: the header claims %d contaminants, which make every record %lld bytes; the file "
                "holds only %ld bytes",
                h.ncont, (long long)recordSize(h), size);
}

// Whether the blocks the header's counts imply fit in a file of the given size: the
// identification block and the shortest trailer always, a record's worth of contaminants when
// their count is beyond belief otherwise. Done before anything is allocated from the counts.
bool checkFits(const SimHeader& h, long size, std::string* why)
{
    int64_t least = satAdd(HEADER_BYTES + TRAILER_MIN_BYTES, idBytes(h));
    if (least > size)
        return fail(why,
                    "truncated: the header claims %d airflow nodes, %d concentration nodes and %d airflow paths, "
                    "which take at least %lld bytes; the file holds only %ld bytes",
                    h.nafnd, h.nccnd, h.nafpt, (long long)least, size);
    if (h.ncont > MAX_UNBACKED_CONTAMINANTS) {
        int64_t R = recordSize(h);
        if (R == 0)
            return fail(why, "not a results file: the header claims %d contaminants and no results that hold them",
                        h.ncont);
        if (satAdd(least, R) > size) return failContaminants(h, size, why);
    }
    return true;
}

// The header's fixed part, its fields and whether the file is large enough for what it claims.
bool readHeader(const unsigned char* data, long size, SimHeader* h, std::string* why)
{
    if (size == 0) return fail(why, "truncated: the file is empty");
    if (size >= 4 && getI32(data) != SIM_TYPE) return fail(why, "not a results file: it does not begin with 24");
    if (size < HEADER_BYTES)
        return fail(why, "truncated: the file ends at byte %ld inside the header (%ld bytes)", size, HEADER_BYTES);
    int32_t* hv[HEADER_INTS] = {&h->type,  &h->nnode, &h->npath, &h->ncont, &h->njct,  &h->ndct,
                                &h->step,  &h->date0, &h->time0, &h->date1, &h->time1, &h->pfres,
                                &h->zfres, &h->zcres, &h->nafnd, &h->nccnd, &h->nafpt};
    for (int i = 0; i < HEADER_INTS; i++) *hv[i] = getI32(data + 4 * i);
    return checkHeader(*h, why) && checkFits(*h, size, why);
}

bool readIds(Cursor* c, SimFile* f, std::string* why)
{
    const SimHeader& h = f->h;
    int64_t need = idBytes(h);
    if (c->size - c->pos < need)
        return fail(why, "truncated: the file ends at byte %ld inside the identification block (%lld bytes)",
                    c->size, (long long)need);
    auto ints = [c](std::vector<int32_t>* v, int n) {
        v->resize(n);
        for (int i = 0; i < n; i++) (*v)[i] = nextI32(c);
    };
    ints(&f->nodeStyp, h.nafnd);
    ints(&f->nodeSnr, h.nafnd);
    ints(&f->concStyp, h.nccnd);
    ints(&f->concSnr, h.nccnd);
    ints(&f->pathStyp, h.nafpt);
    ints(&f->pathSnr, h.nafpt);
    for (int i = 0; i < h.nafnd; i++)
        if (f->nodeStyp[i] < 0 || f->nodeStyp[i] > 2)
            return fail(why, "not a results file: node %d has structure type %d", i + 1, f->nodeStyp[i]);
    if (f->nodeStyp[h.nafnd - 1] != 0 || f->nodeSnr[h.nafnd - 1] != 0)
        return fail(why, "not a results file: the last node (%d) is not the ambient node", h.nafnd);
    if (f->concStyp != (h.nccnd ? f->nodeStyp : std::vector<int32_t>()) ||
        f->concSnr != (h.nccnd ? f->nodeSnr : std::vector<int32_t>()))
        return fail(why, "not a results file: the concentration nodes differ from the airflow nodes");
    for (int i = 0; i < h.nafpt; i++)
        if (f->pathStyp[i] < 0 || f->pathStyp[i] > 3)
            return fail(why, "not a results file: path %d has structure type %d", i + 1, f->pathStyp[i]);
    return true;
}

bool readRecord(Cursor* c, const SimHeader& h, int index, RawRecord* r, std::string* why)
{
    SimRecord& rec = r->rec;
    rec.offset = c->pos;
    if (h.pfres || h.zfres || h.zcres) {
        rec.day = getI16(c->d + c->pos);
        rec.dayType = getI16(c->d + c->pos + 2);
        c->pos += 4;
        rec.time = nextI32(c);
        for (float& v : r->v) v = nextF32(c);
        rec.ambMf.resize(h.ncont);
        for (float& v : rec.ambMf) v = nextF32(c);
        if (rec.day < 1 || rec.day > 365 || rec.dayType < 1 || rec.dayType > 12 || rec.time < 0 ||
            rec.time > 86400)
            return fail(why, "record %d at byte %ld: day %d, day type %d, time %d out of range", index,
                        rec.offset, rec.day, rec.dayType, rec.time);
    }
    auto rows = [c](std::vector<RawRow>* v, int n) {
        v->resize(n);
        for (RawRow& w : *v) {
            w.nr = nextI32(c);
            w.a = nextF32(c);
            w.b = nextF32(c);
            w.cBits = getI32(c->d + c->pos);
            w.c = nextF32(c);
        }
    };
    if (h.pfres) rows(&r->paths, h.nafpt);
    if (h.zfres) rows(&r->nodes, h.nafnd - 1);
    if (h.zcres) {
        rec.concs.resize(h.nafnd - 1);
        for (SimConcRow& w : rec.concs) {
            w.nr = nextI32(c);
            w.mf.resize(h.ncont);
            for (float& v : w.mf) v = nextF32(c);
        }
    }
    for (int i = 0; i < (int)r->paths.size(); i++)
        if (r->paths[i].nr != i + 1)
            return fail(why, "record %d at byte %ld: path number %d in place %d", index, rec.offset,
                        r->paths[i].nr, i + 1);
    for (int i = 0; i < (int)r->nodes.size(); i++)
        if (r->nodes[i].nr != i + 1)
            return fail(why, "record %d at byte %ld: node number %d in place %d", index, rec.offset,
                        r->nodes[i].nr, i + 1);
    for (int i = 0; i < (int)rec.concs.size(); i++)
        if (rec.concs[i].nr != i + 1)
            return fail(why, "record %d at byte %ld: node number %d in place %d", index, rec.offset,
                        rec.concs[i].nr, i + 1);
    return true;
}

// Gives the record its meaning once its kind is known.
bool settle(RawRecord* r, int kind, int index, std::string* why)
{
    SimRecord& rec = r->rec;
    rec.kind = kind;
    if (kind == SIM_STEP_RECORD) {
        rec.Ta = r->v[0], rec.Pb = r->v[1], rec.Ws = r->v[2], rec.Wd = r->v[3];
    } else {
        rec.Tmax = r->v[0], rec.Tmin = r->v[1], rec.Wmax = r->v[2], rec.Wmin = r->v[3];
    }
    for (const RawRow& w : r->paths) {
        SimPathRow p{};
        p.nr = w.nr;
        if (kind == SIM_STEP_RECORD) {
            p.dP = w.a, p.F0 = w.b, p.F1 = w.c;
        } else {
            if (w.cBits != 0)
                return fail(why, "record %d at byte %ld: a day summary must end path rows with 0", index, rec.offset);
            p.dPmax = w.a, p.Fmax = w.b;
        }
        rec.paths.push_back(p);
    }
    for (const RawRow& w : r->nodes) {
        SimNodeRow n{};
        n.nr = w.nr;
        if (kind == SIM_STEP_RECORD) {
            n.T = w.a, n.Pg = w.b, n.D = w.c;
        } else {
            if (w.cBits != 0)
                return fail(why, "record %d at byte %ld: a day summary must end node rows with 0", index, rec.offset);
            n.Pgmax = w.a, n.Pgmin = w.b;
        }
        rec.nodes.push_back(n);
    }
    return true;
}

bool readTrailer(Cursor* c, SimFile* f, std::string* why)
{
    long start = c->pos;
    int32_t n = getI32(c->d + c->pos);
    int64_t need = 4 * ((int64_t)TRAILER_INTS + n + 1);
    if (c->size - start < need)
        return fail(why, "truncated: the file ends at byte %ld inside the trailer that starts at byte %ld", c->size,
                    start);
    for (int32_t& v : f->trailer) v = nextI32(c);
    f->jfacBins.resize(n + 1);
    for (int32_t& v : f->jfacBins) v = nextI32(c);
    if (f->trailer[14] != 0 || f->trailer[15] != 0)
        return fail(why, "not a results file: the trailer at byte %ld does not end in two zeros", start);
    if (c->pos != c->size)
        return fail(why, "not a results file: %ld bytes follow the trailer", c->size - c->pos);
    return true;
}

const char* fileKind(mode_t mode)
{
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    return "a special file";
}

bool failKind(mode_t mode, std::string* why)
{
    return fail(why, "is %s, not a regular file", fileKind(mode));
}

// Reads up to n bytes from offset 0; the count read (less at an early end), or -1 on an error.
long readAt(int fd, unsigned char* buf, long n)
{
    long got = 0;
    while (got < n) {
        ssize_t r = pread(fd, buf + got, (size_t)(n - got), got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        got += r;
    }
    return got;
}

bool readOpenFile(int fd, SimFile* out, std::string* why)
{
    struct stat st;
    if (fstat(fd, &st) != 0) return fail(why, "cannot read: %s", strerror(errno));
    if (!S_ISREG(st.st_mode)) return failKind(st.st_mode, why);
    long size = (long)st.st_size;

    // The header first, judged against the size the file has, before the rest is read.
    unsigned char head[HEADER_BYTES];
    long want = std::min(size, HEADER_BYTES);
    long got = readAt(fd, head, want);
    if (got < 0) return fail(why, "cannot read: %s", strerror(errno));
    if (got < want) size = got;  // it shrank since fstat
    SimHeader h;
    if (!readHeader(head, size, &h, why)) return false;

    std::vector<unsigned char> data;
    try {
        data.resize((size_t)size);
    } catch (const std::bad_alloc&) {
        return fail(why, "cannot read: %ld bytes do not fit in memory", size);
    }
    got = readAt(fd, data.data(), size);
    if (got < 0) return fail(why, "cannot read: %s", strerror(errno));
    try {
        return simParse(data.data(), got, out, why);
    } catch (const std::bad_alloc&) {
        *out = SimFile{};
        return fail(why, "cannot read: the results of %ld bytes do not fit in memory", size);
    }
}

}  // namespace

bool simParse(const unsigned char* data, long size, SimFile* out, std::string* why)
{
    *out = SimFile{};
    out->size = size;
    SimHeader& h = out->h;
    if (!readHeader(data, size, &h, why)) return false;
    Cursor c{data, size, HEADER_BYTES};
    if (!readIds(&c, out, why)) return false;

    int64_t R = recordSize(h);
    out->recordSize = (long)R;
    std::vector<RawRecord> raw;
    for (;;) {
        long left = size - c.pos;
        if (left < 4)
            return fail(why, "truncated: the file ends at byte %ld where a record or the trailer should follow",
                        size);
        int32_t first = getI32(data + c.pos);
        // A record's first int holds its day type (1 or more) in the upper half.
        if (first >= 0 && first < 65536) break;
        if (R == 0) return fail(why, "not a results file: no trailer at byte %ld", c.pos);
        if (left < R) {
            if (contaminantBytes(h) > left) return failContaminants(h, size, why);
            return fail(why, "truncated: the file ends at byte %ld inside record %d (%lld bytes from byte %ld)", size,
                        (int)raw.size() + 1, (long long)R, c.pos);
        }
        raw.emplace_back();
        if (!readRecord(&c, h, (int)raw.size(), &raw.back(), why)) return false;
    }
    if (!readTrailer(&c, out, why)) return false;

    // A day closes with its summary: the last record, or one whose successor is on another day.
    for (size_t i = 0; i < raw.size(); i++) {
        bool last = i + 1 == raw.size();
        int kind = last || raw[i + 1].rec.day != raw[i].rec.day ? SIM_DAY_SUMMARY : SIM_STEP_RECORD;
        if (!settle(&raw[i], kind, (int)i + 1, why)) return false;
        if (kind == SIM_DAY_SUMMARY && !last) {
            const SimRecord& next = raw[i + 1].rec;
            int nextDay = raw[i].rec.day >= 365 ? 1 : raw[i].rec.day + 1;
            if (next.day != nextDay || next.time != 0)
                return fail(why, "record %d at byte %ld: a new day must start on day %d at time 0, not day %d at %d",
                            (int)i + 2, next.offset, nextDay, next.day, next.time);
        }
        out->records.push_back(std::move(raw[i].rec));
    }
    return true;
}

bool simRead(const char* path, SimFile* out, std::string* why)
{
    *out = SimFile{};
    // A look before opening: a FIFO without a writer would hold a blocking open, and a device
    // such as /dev/zero would never end.
    struct stat st;
    if (stat(path, &st) != 0) return fail(why, "cannot open: %s", strerror(errno));
    if (!S_ISREG(st.st_mode)) return failKind(st.st_mode, why);
    // Non-blocking all the same, for a FIFO put in its place since the look; fstat then refuses it.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return fail(why, "cannot open: %s", strerror(errno));
    bool ok = readOpenFile(fd, out, why);
    close(fd);
    return ok;
}
