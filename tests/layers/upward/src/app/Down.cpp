// Reaching down is allowed.
#include "platform/Files.h"
