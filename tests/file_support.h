#ifndef WDOG_TESTS_FILE_SUPPORT_H
#define WDOG_TESTS_FILE_SUPPORT_H

#include <ctime>
#include <string>

// Replaces the file's contents with bytes, creating it when missing.
void WriteFile(const std::string& path, const std::string& bytes);
// The same; false instead of an exception when it cannot be written.
bool TryWriteFile(const std::string& path, const std::string& bytes);
// Writes text to path and makes it executable.
void WriteExecutable(const std::string& path, const std::string& text);
// The file's contents, or what could be read of them ("" when nothing).
std::string ReadFile(const std::string& path);
// Sets the file's access and modification times.
void SetFileTimes(const std::string& path, time_t when);
// The file's size, or -1 when it cannot be examined.
long FileSize(const std::string& path);

#endif
