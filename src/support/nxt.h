// The text stream reader: one input stream per state record, words, lines and comments.
#ifndef FLOWMIR_SUPPORT_NXT_H
#define FLOWMIR_SUPPORT_NXT_H

#include "engine/state.h"

int nxtopen(FlowmirState* fms, const char* path, const char* callerFile, int callerLine);
int nxtclose(FlowmirState* fms);
void nxtrewind(FlowmirState* fms);
int nxtseek(FlowmirState* fms, long offset, int origin);
int nxttell(FlowmirState* fms);
// Whether the input has ended (or none is open): loops over counts read from the input stop
// there instead of reading nothing for as long as the count says.
int nxt_at_end(FlowmirState* fms);
// Bytes left in the input (a large number when the stream cannot tell). A count read from the
// file that exceeds it cannot be followed by that many records: readers refuse it before they
// size a table by it.
long nxt_remaining(FlowmirState* fms);
// Line (from 1) of a byte offset of the current input, for messages: the file is read again
// from its start without moving the reader. 0 when the input is gone (a "*" closed it).
long nxt_line_at(FlowmirState* fms, long offset);

// Modes: 0 next word; 1 skip rest of line, then word; 2 rest of line;
// 3 next whole line skipping "!" lines; 4 next whole line.
char* nxtwrd(FlowmirState* fms, char* buffer, int mode, int bufferLength);

// Where the reader stands, kept only while a project check reads (fms->nxtTrack set; the
// normal run leaves it null and pays one test per character). Lines and words are counted as
// characters are consumed, the same way the word reader splits them; words that a skip of the
// rest of a line passes over are handed to `leftover`, and the typed field readers hand each
// converted word to `fieldRead`.
struct NxtTrack {
    int line;                 // line of the next character, from 1
    int fields;               // words begun on the line so far (comments excluded)
    int wordLine, wordField;  // where the word (or line) last handed out begins
    int lineReads;            // reads that started on a new line (modes 1 to 4)
    int fieldReads;           // reads since the last of those, that one included
    int skipFrom;             // words on the line when a skip of its rest began; -1 none
    int commaField;           // first word on the line after a comma between digits; 0 none
    int freeText;             // the rest of the line is free text: a skip of it is no finding
    int inWord, inComment;
    int prev1, prev2;         // the last two characters consumed
    int skippedLength;
    char skipped[48];         // the start of the words a skip passed over
    void* owner;
    void (*leftover)(FlowmirState* fms, int line, int field, int count);
    // integer: 1 when the word was converted as an integer
    void (*fieldRead)(FlowmirState* fms, const char* word, int mode, int integer);
};

int skip_data(FlowmirState* fms);
int same_data(FlowmirState* fms, FILE* out);
int same_line(FlowmirState* fms, FILE* out);

#endif
