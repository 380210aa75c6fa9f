// Entry points and run sequence.
#ifndef FLOWMIR_ENGINE_RUN_H
#define FLOWMIR_ENGINE_RUN_H

#include "engine/state.h"
#include "flowmir/flowmir.h"

#endif
