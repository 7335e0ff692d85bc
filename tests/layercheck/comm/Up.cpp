#include "../device/Record.h"
#include "settings/Trace.h"
#include "Near.h"
