// Setting and removing environment variables in tests, on Linux and on Windows (whose C runtime
// has _putenv_s instead of setenv).
#pragma once

#include <cstdlib>

inline void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

inline void UnsetEnvironment(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");  // an empty value removes the variable
#else
  unsetenv(name);
#endif
}
