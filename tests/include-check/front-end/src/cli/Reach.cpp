// A front end that reaches a cutter past the use-case headers.
#include "engine/cut/Cutter.h"
