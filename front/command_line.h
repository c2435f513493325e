// The command line of both programs.
//
// Arguments take an optional prefix character ('-', '/', '\' or a blank),
// then a two-character key ("U:", case-insensitive) and a value kept in its
// case, or the lone switch "C".  See the usage texts in command_line.cc and
// the README for the options of each program.
#ifndef DRIFT_FRONT_COMMAND_LINE_H
#define DRIFT_FRONT_COMMAND_LINE_H

// Fills runSettings from the arguments, prints the settings (unless
// compact) and, when no -P: was given, asks for the password
// (password.h).  Returns false after a usage error, a bad -L: list or an
// unreadable -D:@ file: the message has been printed and the caller ends
// the process as for a usage error.  runSettings.program must
// be set before the call.
bool parseCommandLine(int argc, char** argv);

// Prints the usage text of the running program to standard output (in
// every mode).
void printUsage();

#endif
