// Hooks of a graphical host. This engine has no dialogs: reaching one is a fatal error.
#include "engine/run.h"
#include "support/error.h"

extern "C" int DlgStat(FlowmirState* fms, void* window, int date, int time, int day, int step)
{
    (void)window, (void)date, (void)time, (void)day, (void)step;
    error(fms, FATAL, __FILE__, __LINE__, "No dialog calls allowed", "");
    return 0;
}

extern "C" long SimRunDlgProc(void* window, unsigned message, unsigned long wParam, long lParam)
{
    (void)window, (void)message, (void)wParam, (void)lParam;
    error(nullptr, FATAL, __FILE__, __LINE__, "No dialog calls allowed", "");
    return 0;
}
