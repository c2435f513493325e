// The frame both drivers run in: start-up, the session, the configuration file
// section by section, one failure handler, the summary, logging off, and the exit
// code.  A driver (ExportRun, ImportRun) plugs in only its own steps: what to do
// after logging on, how to transfer one section, how to forget a section, and what
// to show about a failure.
//
// The session and statement types come from the driver: each program links its own
// build of the session layer, and this header must not pick one.
#pragma once

#include <concepts>
#include <csignal>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "front/command_line.h"
#include "front/config_reader.h"
#include "front/console.h"
#include "front/password.h"
#include "front/run_outcome.h"
#include "front/run_settings.h"

// The steps a driver gives the frame.  The driver is made once per run from the
// session it is to use, and owns everything else the run holds (statements, column
// buffers); the frame ends it, so that all of that is released, before logging off.
//   Session, Error   the session type; the type of the driver's own failures
//   kOutOfMemory     the message shown when an allocation fails
//   startSession()   what follows the logon (transaction mode, session formats)
//   transferSection  one selected section with field lines: Ok, or SetupError
//                    when it moved nothing; every other failure is raised
//   endSection()     forgets what the last section set up
//   reportFailure    shows a failure raised while a section was transferred
template <class D>
concept DriverSteps =
    std::constructible_from<D, typename D::Session&> &&
    requires(D& driver, SectionState& section, const std::string& message) {
      typename D::Error;
      { D::kOutOfMemory } -> std::convertible_to<const char*>;
      driver.startSession();
      { driver.transferSection(section) } -> std::same_as<RunOutcome>;
      driver.endSection();
      driver.reportFailure(section, message);
    };

// What every driver holds for the whole run: the session, the statements that set
// it up and describe a section's columns, and the date the run started.  A driver
// derives from it and adds its own statements and columns.
template <class SessionType, class Statement>
struct DriverState {
  using Session = SessionType;

  explicit DriverState(Session& runSession) : session(runSession) {
    std::snprintf(runDate, sizeof runDate, "%s", currentDateText().c_str());
  }

  Session& session;
  Statement territory{&session};   // ALTER SESSION SET NLS_TERRITORY
  Statement dateFormat{&session};  // ALTER SESSION SET NLS_DATE_FORMAT
  Statement describe{&session};    // the section's columns, described
  char runDate[16] = "";           // MM/DD/YY, taken when the run starts
};

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

namespace driver_frame {

struct ConfigCloser {
  void operator()(std::FILE* file) const { closeConfig(file); }
};
using ConfigFile = std::unique_ptr<std::FILE, ConfigCloser>;

// The last line of a run that got as far as reading the configuration file.
inline void printRunSummary(RunOutcome outcome, int sectionsTransferred) {
  if (outcome == RunOutcome::Ok)
    messagePlain(formatText("Process successfully complited, %i section(s) transfered.\n",
                            sectionsTransferred));
  else
    messagePlain(
        formatText("Some error has occurred. Process terminated. %i section(s) transfered.\n",
                   sectionsTransferred));
}

// Reads the configuration file section by section while every section went well:
// a section of bad structure ends the run as a set-up error; a selected section
// with field lines goes to the driver.  Counts the sections transferred.
template <DriverSteps Driver>
RunOutcome transferSections(Driver& driver, std::FILE* config, SectionState& section,
                            int& sectionsTransferred) {
  RunOutcome outcome = RunOutcome::Ok;
  while (!configAtEnd(config) && outcome == RunOutcome::Ok) {
    section.tableName = runSettings.tableName;
    if (!readSection(config, section)) {
      outcome = RunOutcome::SetupError;
      messageConsole("\nIncorrect structure of configuration file\n");
      messageReport("Incorrect structure of configuration file.\n");
    } else if (section.fieldCount() > 0 && isSectionSelected(section.sectionName)) {
      outcome = driver.transferSection(section);
      if (outcome == RunOutcome::Ok) ++sectionsTransferred;
    }
    resetSection(section);
    driver.endSection();
  }
  return outcome;
}

// Logs off; a failure there is the run's failure.
template <class Session>
bool closeSession(Session& session) {
  try {
    session.close();
    return true;
  } catch (int code) {
    messageError(session.errorText(code) + "\n");
    return false;
  }
}

}  // namespace driver_frame

// The whole work of a program after start-up; returns the exit code: 0 on success,
// 1 for a configuration or set-up error (and for a configuration file that cannot
// be opened), 2 for a failure during a transfer or while logging off.
template <DriverSteps Driver>
int runDriver() {
  using namespace driver_frame;
  // Nothing is connected and no summary follows when the configuration file
  // cannot be read (openConfig has said so).
  SectionState section;
  ConfigFile config(openConfig(section));
  if (!config) return exitCodeOf(RunOutcome::SetupError);

  typename Driver::Session session;
  RunOutcome outcome = RunOutcome::Ok;
  int sectionsTransferred = 0;
  {
    Driver driver(session);
    // Whatever a step raises ends the run here, as one message: the driver's own
    // failure text, the session layer's text for an error code (int), or the
    // driver's out-of-memory text.
    auto fail = [&](const std::string& message) {
      outcome = RunOutcome::TransferFailure;
      driver.reportFailure(section, message);
    };
    try {
      connectSession(session);
      driver.startSession();
      outcome = transferSections(driver, config.get(), section, sectionsTransferred);
    } catch (const typename Driver::Error& error) {
      fail(std::string(error.what()));
    } catch (int code) {
      fail(session.errorText(code));
    } catch (const std::bad_alloc&) {
      fail(std::string(Driver::kOutOfMemory));
    }
  }
  config.reset();
  printRunSummary(outcome, sectionsTransferred);
  if (!closeSession(session)) outcome = RunOutcome::TransferFailure;
  return exitCodeOf(outcome);
}

// main of a driver program, after the session layer's own initialisation: the
// command line, the password, the run.  Returns the exit code.
template <DriverSteps Driver>
int runProgram(ProgramKind program, int argc, char** argv) {
  // A write past the file-size limit then fails with EFBIG, which the engine
  // reports like any failed write, instead of the signal ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  runSettings.program = program;
  if (!parseCommandLine(argc, argv)) return exitCodeOf(RunOutcome::SetupError);
  if (passwordCancelled()) return cancelRun();
  return runDriver<Driver>();
}
