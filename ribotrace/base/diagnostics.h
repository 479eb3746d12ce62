// The run's diagnostic switch: when set, every stage prints its
// intermediate results on standard output.
#pragma once

extern bool show_debug_info;
