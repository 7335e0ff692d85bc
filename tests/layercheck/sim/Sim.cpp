#include "device/Record.h"
#include "comm/Near.h"
