#pragma once
// The OLAI_* environment variables that steer unattended runs are read
// strictly: a value that is set but wrong is refused with the variable's
// name, and the program ends with exit code 2 (as for a bad command line),
// instead of running on as if the variable were unset.

/// The whole number (decimal digits, nothing else) in the environment
/// variable `name`, from `least` to `most`; `fallback` when unset or empty.
/// Any other value prints "<name>=<value>: not a whole number from <least>
/// to <most>" on standard error and ends the program with exit code 2.
long Win32EnvironmentNumber(const char* name, long least, long most, long fallback);
/// Ends the program with exit code 2 after "<name>=<value>: <why>" on
/// standard error: the refusal of a value of another kind.
[[noreturn]] void Win32RefuseEnvironment(const char* name, const char* value, const char* why);
