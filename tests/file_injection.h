// System calls of outputs failing on purpose, through the seam the
// output code calls them by.
#pragma once

#include <string>

/// While it lives, the call named fails with the error number after so
/// many calls of it went through, so many times (-1 for every time); a
/// write failing with error 0 takes nothing.  The system's calls are put
/// back when it ends.
struct Injection {
  Injection(const std::string &call, int error, int after = 0, int times = -1);
  ~Injection();
  Injection(const Injection &) = delete;
  Injection &operator=(const Injection &) = delete;
};
