// indrift: inserts the records of dbf files into Oracle tables, as its
// configuration file says.
#include <csignal>

#include "front/command_line.h"
#include "front/password.h"
#include "front/run_settings.h"
#include "import/import_run.h"
#include "ocilite/oci.h"

int main(int argc, char** argv) {
  // OCI is initialised before anything else; its result is not needed.
  OCIInitialize(OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr);
  // A write past the file-size limit then fails with EFBIG, which the engine
  // reports like any failed write, instead of the signal ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  runSettings.program = ProgramKind::Import;
  if (!parseCommandLine(argc, argv)) return runSettings.exitCode;
  if (passwordCancelled()) return cancelRun();
  importRun();
  return runSettings.exitCode;
}
