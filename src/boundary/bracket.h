// The bracket: the two records of a time-series input file that enclose the current time, and
// the forward reading shared by the weather, ambient contaminant, wind pressure and control
// value files.
#ifndef FLOWMIR_BOUNDARY_BRACKET_H
#define FLOWMIR_BOUNDARY_BRACKET_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct FlowmirState;

struct Bracket {
    int prevDay;   // day of year of the earlier record
    int nextDay;   // day of year of the later record
    int prevTime;  // time of day of the earlier record, s
    int nextTime;  // time of day of the later record, s
    uint8_t atEof; // the end of the file has been reached
};

void initBracket(Bracket* b);

// "1/2 06:00:00": the record the bracket has just accepted, for messages.
const char* bracket_record_text(FlowmirState* fms, const Bracket* b, char* out, size_t length);
// " (line 7 of WPC file a.wpc)": where a fault of a boundary file lies, by the line of the
// input at `offset` (-1: the reader's position); kind names the file ("WPC", "CTM").
const char* bracket_place(FlowmirState* fms, long offset, const char* kind, const char* path, char* out,
                          size_t length);

// Reads the next record's date (on a new line) and time from the current input and shifts the
// bracket onto it. *ahead: seconds from (day, time) to the record. 0 accepted, 1 end of file,
// 2 error (reported). The input is left after the time, before the record's values.
int readDayTime_bracket(FlowmirState* fms, int day, int time, Bracket* b, int* ahead);

// Seconds from (day, time) to the bracket's later record.
int bracketAhead(const Bracket* b, int day, int time);

// The file takes the record just accepted by the bracket: it moves its later values into the
// earlier slots and reads the record's values from the current input.
typedef void (*BracketTakeFcn)(FlowmirState* fms);

// Lends a file's own stream to the text reader as its current input; returns the input it
// replaced, to be given back to releaseInput_bracket. While lent the stream is held by the reader
// alone and *stream is cleared: a run that stops meanwhile, or a "*" that makes the reader close
// the file, can then never close it a second time through *stream.
FILE* useInput_bracket(FlowmirState* fms, FILE** stream);
// Takes the lent stream back into *stream (none when the reader met a "*" and closed it) and
// gives the reader its previous input back.
void releaseInput_bracket(FlowmirState* fms, FILE** stream, FILE* saved);

// Opens path as a file's own stream and lends it to the text reader as its current input, as
// useInput_bracket does: *stream is set by releaseInput_bracket. Only a regular file is opened,
// and one that holds a NUL byte is refused: the run stops (FATAL, exit status 2) with the reason,
// "Could not open <word> file <path>: <why>" or "NUL byte on line <n> of <word> file <path>".
// Returns the input it replaced.
FILE* openInput_bracket(FlowmirState* fms, const char* path, FILE** stream, const char* word);

// Checks the three words of the first line. On a mismatch: WARNING badText + path, then FATAL
// "Invalid header: " + the first line.
void checkHeader_bracket(FlowmirState* fms, const char* const words[3], const char* badText,
                         const char* path);

// Resets the bracket and accepts the file's first record; FATAL "Bad day, bad time, or
// end-of-file, in first hourly entry of <word> file" when there is none.
void firstRecord_bracket(FlowmirState* fms, Bracket* b, const char* word);

// Brings the bracket forward until its later record lies after (day, time), or at it unless
// advancePastNow. The current input must be the file's stream. Every accepted record is handed
// to take, so the values always belong to the records the bracket holds. End of file: NOTE,
// values held; read error: FATAL. Returns the seconds to the later record; *taken (optional)
// counts the records taken.
int advance_bracket(FlowmirState* fms, Bracket* b, const char* word, int day, int time, int advancePastNow,
                    BracketTakeFcn take, int* taken);

// Weight of the earlier record at `ahead` seconds before the later one: 0 at or past the later
// record, 1 at or before the earlier one. Interpolate as next + (prev - next) * weight.
// FATAL "<word> file day-times must increase" when the two records are at the same instant.
double bracketWeight(FlowmirState* fms, const Bracket* b, int ahead, const char* word);

#endif
