#ifndef WDOG_APP_OWN_ARGUMENTS_H
#define WDOG_APP_OWN_ARGUMENTS_H

#include <string>
#include <vector>

// The arguments the watchdog was started with, program name first, byte for
// byte as the kernel keeps them in cmdlineFile. The framework's own copy is
// converted to text through the locale, which loses or drops arguments that
// are not valid text in it. False when the file cannot be read.
bool ReadOwnArguments(std::vector<std::string>& arguments,
                      const char* cmdlineFile = "/proc/self/cmdline");

// Splits the NUL-terminated strings of a cmdline file.
std::vector<std::string> SplitCmdline(const std::string& bytes);

#endif
