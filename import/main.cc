// indrift: inserts the records of dbf files into Oracle tables, as its
// configuration file says.
#include "front/driver_run.h"
#include "import/import_run.h"
#include "ocilite/oci.h"

int main(int argc, char** argv) {
  // OCI is initialised before anything else; its result is not needed.
  OCIInitialize(OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr);
  return runProgram<ImportRun>(ProgramKind::Import, argc, argv);
}
