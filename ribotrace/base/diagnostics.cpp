#include "base/diagnostics.h"

bool show_debug_info = false;
