// The password prompt.
//
// On a terminal (standard input is one and the controlling terminal can be
// opened) keys are read one at a time without echo: a printable key adds
// its character and shows "X", Backspace (8 or 127) removes the last one,
// Enter (13 or 10) ends, Esc replaces the password by the cancel marker and
// ends; every other key is ignored, and keys past 255 characters are
// ignored too.  (127 is what the Backspace key of a POSIX terminal sends.)
// Ctrl-C and the other ending signals still end the process, after putting
// the terminal's echo back.  Without a terminal the prompt goes to standard
// error and the password is one line of standard input.
#ifndef DRIFT_FRONT_PASSWORD_H
#define DRIFT_FRONT_PASSWORD_H

#include <string>

// Shows "          Password: " and reads into `password`.  Returns false
// only when the password could not be taken (a line of standard input
// longer than 255 characters); the message has been printed then.
bool readPassword(std::string& password);

// True when the password is the cancel marker (Esc at the prompt, -P:').
bool passwordCancelled();

// The cancel path: prints "Process aborted\n" (unless compact), reports
// "Process canceled by user\n" and returns the exit code of a usage error.
int cancelRun();

#endif
