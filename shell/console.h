// Where the Windows program's log and failure lines go. morvane-control-center.exe is a GUI
// program: Windows gives it usable standard handles only when they were redirected (a file, a
// pipe, NUL), so a start from cmd.exe or PowerShell would otherwise write into nothing.
#pragma once

#ifdef _WIN32

// Called first at start-up: standard output and standard error that lead nowhere are opened
// on the console of the process that started the program, when it has one. Redirected ones
// stay as they are. The program keeps no log file of its own.
void attach_parent_console();

// Writes LINE (no line end) and a line end to standard error; when standard error leads
// nowhere (no console, no redirection: started from the Start menu), the line is also shown
// in a message box, which waits to be dismissed. For a start that fails.
void report_failed_start(const char* line);

#endif // _WIN32
