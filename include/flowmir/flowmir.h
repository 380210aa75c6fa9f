/* flowmir: multizone building airflow and contaminant transport engine. C interface. */
#ifndef FLOWMIR_FLOWMIR_H
#define FLOWMIR_FLOWMIR_H

#ifdef __cplusplus
extern "C" {
#endif

#define FLOWMIR_VERSION "3.4.1.4"

/* One run's state record. Hosts get one from flowmirNewState (or fmiGetNimbalState when
   co-simulating), set options, then call SetupSimulation. */
typedef struct FlowmirState FlowmirState;

FlowmirState* flowmirNewState(void);
void flowmirFreeState(FlowmirState* fms);

/* Host options, to set before SetupSimulation. */
void flowmirSetGuiMode(FlowmirState* fms, int on);
void flowmirSetPauseAtStart(FlowmirState* fms, int on);
void flowmirSetInputTest(FlowmirState* fms, int on);
void flowmirSetQuiet(FlowmirState* fms, int on);
/* Strict project check: the project is read as by the input test (which on also sets), and
   values left over on record lines, integers that read as octal, section counts that do not
   match their records, results switches this engine does not write and every reported
   error are written to standard output, one per line as PATH:LINE:FIELD: kind: message.
   An input test that completes exits with status 2 when anything was found. */
void flowmirSetCheck(FlowmirState* fms, int on);
/* Network description: the project is read and assembled as by the input test (turning this
   on turns the input test on), the network is written to standard output as one JSON document, and the run ends
   with status 0 (2 when the project has errors, and then nothing is written). */
void flowmirSetDescribe(FlowmirState* fms, int on);
/* Named changes applied to the project once it is read, before the network is assembled:
   "KIND:NAME.FIELD=VALUE" (element, zone, path, source, sourceElement) or "weather=FILE",
   "contaminants=FILE". The strings must last until SetupSimulation returns. A change that
   names nothing in the project is an ERROR and the run stops as for an unreadable project. */
void flowmirSetChanges(FlowmirState* fms, const char* const* changes, int count);

/* Factorisation of the airflow Jacobian when the project asks for the symmetric skyline
   method: the one needing fewer operations (the default), the skyline itself, or a sparse
   L D L' on a minimum-degree ordering. Both give the same flows to rounding. Returns 0, or 1
   for an unknown choice (nothing changed). */
enum { FLOWMIR_FACTOR_AUTO = 0, FLOWMIR_FACTOR_SKYLINE = 1, FLOWMIR_FACTOR_LDLT = 2 };
int flowmirSetFactorisation(FlowmirState* fms, int choice);

/* Run entry points. SetupSimulation returns 0 after a complete run (or a co-simulation set-up),
   nonzero when the project could not be read or there is nothing to simulate. */
int SetupSimulation(FlowmirState* fms, const char* projectPath, int cosim, const char* extraLogText,
                    const char* bridgeAddress);
int flowmir(FlowmirState* fms);
int SimEnd(FlowmirState* fms, int steadyOnly);
void finish(FlowmirState* fms, int status);
int initFlowmirState(FlowmirState* fms);
int initCommonState(FlowmirState* fms);
int initCFDState(FlowmirState* fms);
void logRunStatistics(FlowmirState* fms);

/* Results database: finalizes the prepared statements and closes the connection, leaving the
   file (still under its temporary name until the run completes). The end of a run closes it
   anyway; a second close does nothing. */
void sqliteCloseDatabase(FlowmirState* fms);

/* Dialog hooks of a graphical host: not available in this engine (FATAL). */
int DlgStat(FlowmirState* fms, void* window, int date, int time, int day, int step);
long SimRunDlgProc(void* window, unsigned message, unsigned long wParam, long lParam);

/* Last reported message: 0 copied, -1 no state, 1 no buffer, 2 buffer too short.
   The buffer must hold length + 1 bytes. */
int getLastError(FlowmirState* fms, char* buffer, int length);

#ifdef __cplusplus
}
#endif

#endif
