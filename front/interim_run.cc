#include "front/interim_run.h"

#include "front/config_reader.h"
#include "front/console.h"
#include "front/run_settings.h"

void readConfigurationOnly() {
  std::FILE* file = openConfig();
  if (!file) return;  // openConfig has reported it and set the exit code
  while (!configAtEnd(file) && runSettings.exitCode == 0) {
    sectionState.tableName = runSettings.tableName;
    if (!readSection(file)) {
      runSettings.exitCode = 1;
      messageConsole("\nIncorrect structure of configuration file\n");
      messageReport("Incorrect structure of configuration file.\n");
    }
    resetSection();
  }
  closeConfig(file);
}
