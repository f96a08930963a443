#pragma once
#include <chrono>
#include <cstdio>
inline void kovaStamp(const char *tag) { static const bool on = std::getenv("KOVA_STAMP"); if (!on) return; std::fprintf(stderr, "T %-28s %.3f\n", tag, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count()); }
