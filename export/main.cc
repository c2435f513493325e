// exdrift: copies the rows of Oracle tables into existing dbf files, as its
// configuration file says.
#include "export/export_run.h"
#include "front/command_line.h"
#include "front/password.h"
#include "front/run_settings.h"
#include "ocilite/oci.h"

int main(int argc, char** argv) {
  // OCI is initialised before anything else; its result is not needed.
  OCIInitialize(OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr);
  runSettings.program = ProgramKind::Export;
  if (!parseCommandLine(argc, argv)) return runSettings.exitCode;
  if (passwordCancelled()) return cancelRun();
  exportRun();
  return runSettings.exitCode;
}
