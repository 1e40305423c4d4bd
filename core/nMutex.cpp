// nMutex and nMutexScope are header-only; this unit keeps the header compiled on its own.
#include "core/nMutex.h"
