// Where the program keeps the one value it changes, as the tests and the fuzz
// target spell it (relative to HKEY_LOCAL_MACHINE). It needs no test framework,
// so that the fuzz target can share it.
#ifndef TREVASK_DRIVER_KEY_H
#define TREVASK_DRIVER_KEY_H

namespace trevask_test {

inline constexpr char kDriverKey[] = "System\\CurrentControlSet\\Services\\Tv38_410\\Parameters\\Device";
inline constexpr char kValueName[] = "DriverParameter";

}  // namespace trevask_test

#endif
