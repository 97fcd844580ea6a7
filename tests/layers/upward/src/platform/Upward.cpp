// A lower layer reaching up: check-layers must refuse this tree.
#include "app/MainCycle.h"
