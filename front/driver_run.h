// The frame both drivers run in: connect the session, set its territory and date
// format, transfer the configuration file section by section, hand every failure
// raised on the way to the driver's failure handler, print the summary, log off.
//
// The session and statement types are template parameters: each program links its
// own build of the session layer, and this header must not pick one.
#pragma once

#include <cstdio>
#include <new>
#include <string>

#include "front/config_reader.h"
#include "front/console.h"
#include "front/run_settings.h"

// Connects with the user, password and service of the run.
template <class Session>
void connectSession(Session& session) {
  messageConsole("\nConnecting... ");
  messageReport("Connect...");
  session.open(runSettings.user.c_str(), runSettings.password.c_str(),
               runSettings.service.c_str());
  messagePlain("Done\n");
  // Logged on with the server's warning (a password about to expire): the run
  // goes on, the user is told.
  if (!session.logonWarning().empty())
    messagePlain("Warning: " + session.logonWarning() + "\n");
}

// Territory AMERICA and dates as YYYYMMDD for the whole session.
template <class Statement>
void setSessionFormats(Statement& territory, Statement& dateFormat) {
  territory.prepare("ALTER SESSION SET NLS_TERRITORY=AMERICA");
  territory.execute(1);
  dateFormat.prepare("ALTER SESSION SET NLS_DATE_FORMAT=\"YYYYMMDD\"");
  dateFormat.execute(1);
}

// Reads the configuration file section by section while the run is sound: a
// section of bad structure ends the run with exit code 1; a selected section with
// field lines goes to `transfer`.  `reset` follows every section.
template <class Transfer, class Reset>
void transferSections(std::FILE* config, SectionState& section, Transfer transfer,
                      Reset reset) {
  while (!configAtEnd(config) && runSettings.exitCode == 0) {
    section.tableName = runSettings.tableName;
    if (!readSection(config)) {
      runSettings.exitCode = 1;
      messageConsole("\nIncorrect structure of configuration file\n");
      messageReport("Incorrect structure of configuration file.\n");
    } else if (section.fieldCount() > 0 && isSectionSelected(section.sectionName)) {
      transfer(section);
    }
    reset();
  }
}

// Runs `body`; whatever it raises comes to `report` as one message: the text of
// the driver's own failure (DriverError), the session layer's text for an error
// code (int), or `outOfMemory`.
template <class DriverError, class Session, class Body, class Report>
void runGuarded(Session& session, const char* outOfMemory, Body body, Report report) {
  try {
    body();
  } catch (const DriverError& error) {
    report(std::string(error.what()));
  } catch (int code) {
    report(session.errorText(code));
  } catch (const std::bad_alloc&) {
    report(std::string(outOfMemory));
  }
}

// The last line of a run that got as far as reading the configuration file.
inline void printRunSummary(int sectionsTransferred) {
  if (runSettings.exitCode == 0)
    messagePlain(formatText("Process successfully complited, %i section(s) transfered.\n",
                            sectionsTransferred));
  else
    messagePlain(
        formatText("Some error has occurred. Process terminated. %i section(s) transfered.\n",
                   sectionsTransferred));
}

// Logs off; a failure there is the run's failure.
template <class Session>
void closeSession(Session& session) {
  try {
    session.close();
  } catch (int code) {
    runSettings.exitCode = 2;
    messageError(session.errorText(code) + "\n");
  }
}
