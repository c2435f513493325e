// exdrift: copies the rows of Oracle tables into existing dbf files, as its
// configuration file says.
#include "export/export_run.h"
#include "front/driver_run.h"
#include "ocilite/oci.h"

int main(int argc, char** argv) {
  // OCI is initialised before anything else; its result is not needed.
  OCIInitialize(OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr);
  return runProgram<ExportRun>(ProgramKind::Export, argc, argv);
}
