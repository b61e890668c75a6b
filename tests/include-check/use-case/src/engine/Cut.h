// A use-case header that includes a mechanism.
#pragma once

#include "engine/output/OutputSet.h"
