// The one value the program changes, as the tests and the fuzz target spell
// it: where it is kept (relative to HKEY_LOCAL_MACHINE), the keyword the
// program looks for in it and the text that adds the parameter. It needs no
// test framework, so that the fuzz target can share it.
#ifndef TREVASK_DRIVER_KEY_H
#define TREVASK_DRIVER_KEY_H

namespace trevask_test {

inline constexpr char kDriverKey[] = "System\\CurrentControlSet\\Services\\Tv38_410\\Parameters\\Device";
inline constexpr char kValueName[] = "DriverParameter";
inline constexpr char kKeyword[] = "AdapterScansUp";
inline constexpr char kParameter[] = "AdapterScansUp=1";

}  // namespace trevask_test

#endif
