#pragma once
#include <core/MainCore.h>
#include "comm/Near.h"
