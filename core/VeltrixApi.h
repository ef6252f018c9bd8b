// The engine's exported interface and its callback protocol, as seen by a
// host: the codes, the callback types and the five functions are the public
// header's.
#pragma once

#include "core/CopyRec.h"
#include "veltrix/VeltrixCore.h"
