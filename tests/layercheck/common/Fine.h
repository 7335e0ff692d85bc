#pragma once
#include "common/Other.h"
#include <QString>
