// Console output, the report file and the progress counter.
//
// Every message is written by its caller in one of five patterns:
//
//   pattern        console (standard output)          report file
//   plain          the text, unless compact           the text
//   error          "\n" + text, unless compact        the text
//   console only   the text, unless compact           nothing
//   report only    nothing                            the text
//   always         the text, also in compact mode     nothing
//
// In compact mode reportLine echoes each report record (time stamp
// included) to standard output, so the console shows exactly the report
// records plus the "always" messages.
//
// Console text goes to consoleStream() (standard output; unit tests may
// point it elsewhere).  The console device is the controlling terminal
// (/dev/tty); without one, output meant for it is dropped.
#ifndef DRIFT_FRONT_CONSOLE_H
#define DRIFT_FRONT_CONSOLE_H

#include <cstdio>
#include <string>
#include <string_view>

// printf into a std::string.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The stream behind "standard output" for all front-end and driver text.
std::FILE* consoleStream();
void setConsoleStream(std::FILE* stream);  // nullptr: back to stdout

// Message patterns.  The text is written as it is (it is never used as a
// format), and carries its own line feeds.
void messagePlain(std::string_view text);
void messageError(std::string_view text);
void messageConsole(std::string_view text);
void messageReport(std::string_view text);
void messageAlways(std::string_view text);

// Appends "HH:MM:SS text" to the report file, opening and closing it for
// this one record.  In compact mode echoes the same record to the console
// first.  A report file that cannot be opened prints
// "!!! Can't open report file\n" (in every mode) and the run goes on.  A
// record that cannot be written (disk full, file size limit) prints
// "!!! Can't write report file\n" (in every mode) the first time only, and
// the run goes on.  Without -R: nothing is written to disk.
//
// The report holds row dumps: a new report file is created with mode 0600,
// and a symbolic link in its place is followed only when the user owns it.
void reportLine(std::string_view text);

// Local time "HH:MM:SS" and local date "MM/DD/YY".
std::string currentTimeStamp();
std::string currentDateText();

// Writes raw bytes to the console device (the controlling terminal);
// dropped when there is none.  Standard output is flushed first so the two
// channels stay in order.
void writeConsoleDevice(std::string_view bytes);

// Progress counter.  The driver prints its label ("Processing line:" and
// blanks) with messageConsole; progressUpdate then rewinds with eight
// backspaces on the console device and prints "%8i" to standard output.
// progressDone does the same and adds "...Done\n".  Nothing in compact mode.
void progressUpdate(int count);
void progressDone(int count);

#endif
