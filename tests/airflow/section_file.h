// A project section in a scratch file after the end of a previous one, opened as the input stream of a fresh
// state with a log.
#ifndef FLOWMIR_TESTS_AIRFLOW_SECTION_FILE_H
#define FLOWMIR_TESTS_AIRFLOW_SECTION_FILE_H

#include <gtest/gtest.h>

#include <string>

#include "airflow/afe_read.h"
#include "airflow/wind_read.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/nxt.h"
#include "testutil.h"

struct SectionFile {
    TestState s;
    MemBlock* pool = nullptr;

    static int quiet(FlowmirState*, const char*, const char*, int*) { return 0; }

    explicit SectionFile(const std::string& text)
    {
        s.openLog();
        s->errorFcn = quiet;
        std::string path = scratchDir() + "/section.prj";
        writeFile(path, "-999\n" + text); // the reader stands after the previous section's end
        EXPECT_EQ(nxtopen(s.fms, path.c_str(), __FILE__, __LINE__), 0);
        pool = alc_eci(s.fms, 32000, "ms-block");
    }
    ~SectionFile()
    {
        if (s->_UNXT) nxtclose(s.fms);
        afe_free_lists(s.fms);
        wind_free_list(s.fms);
        if (pool) fre_ec(s.fms, pool, "ms-block");
    }
    FlowmirState* fms() { return s.fms; }
    int errors() { return error(s.fms, -1, __FILE__, __LINE__, ""); }
    std::string log() { return s.log(); }
    bool logHas(const std::string& text) { return log().find(text) != std::string::npos; }
    // Releases the pool and tells whether every tracked byte came back.
    bool balanced()
    {
        fre_ec(s.fms, pool, "ms-block");
        pool = nullptr;
        return s->bytesAllocated == s->bytesFreed;
    }
};

#endif
