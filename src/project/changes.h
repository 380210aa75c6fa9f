// Named changes to a project once it is read (flowmir --set), so that a parameter study runs
// variants of one project file without edited copies of it. A change is
//   KIND:NAME.FIELD=VALUE   or   weather=FILE   or   contaminants=FILE
// with kinds element (airflow or duct element by name: lam, turb, expt, flow, scale), zone (by
// name: T, volume, schedule), path (by number: mult, schedule, element), source (source/sink
// by number: mult, schedule) and sourceElement (by name: rate, scale). A schedule is a week
// schedule number, 0 for none; an element is given by name. A change that names nothing in
// the project, a field the thing does not have, or a value that does not read is an ERROR.
#ifndef FLOWMIR_PROJECT_CHANGES_H
#define FLOWMIR_PROJECT_CHANGES_H

#include "engine/state.h"

// Applies fms->changes[0..nchanges-1]; returns the number of changes refused.
int prj_apply_changes(FlowmirState* fms);

#endif
