// The version both programs print for --version.
#pragma once

inline constexpr const char* kProgramVersion = "0.1.0";
