#pragma once
// The run log: one plain-text file per run that records what an import did. Every line starts with
// "DD-MM-YYYY HH:MM:SS [tid]: ", trailing white space is removed, and each line is flushed at once so
// that a crash loses nothing already logged. Nothing is filtered; severity is a text prefix
// ("**Error**: ", "**Warning**: ", "(MI): ", ...). Safe to call from any thread.

#include <cstdarg>
#include <ctime>
#include <string>

// Opens (creating or truncating) the log file; it replaces and closes the current one.
// Returns false when the file cannot be opened; the log then stays closed.
bool OpenLogFile(const std::string& path);

// Closes the current log file; later lines are dropped until a file is opened again.
void CloseLogFile();

// The path of the open log file, empty when none is open.
std::string LogFilePath();

// Formats one line (printf-style, UTF-8) and appends it to the open log. Without an open log the
// line is dropped silently. Header and message together are cut to LogLineCapacity characters.
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogLineV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// The longest line, line break included, in characters (Unicode code points).
inline constexpr size_t LogLineCapacity = 6144;

// The name of a run's log inside workDirectory:
// "PstImportWiz_<pstBaseName>_MMDDYYYY_HHMMSS.log" in the local time of `when`.
std::string LogFileName(const std::string& workDirectory, const std::string& pstBaseName, time_t when);

struct ImportParams;

// Names the run's log from the job's workDirectory, pstBaseName and the present time, opens it
// (truncating a file of the same name) and appends its path to the job's logFiles. Returns false,
// leaving logFiles as it was, when the file cannot be opened.
bool NameLogFile(ImportParams& params);
bool NameLogFile();  // for GetImportParams()
