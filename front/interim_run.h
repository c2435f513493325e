// The run of a program before its transfer driver exists: reads the
// configuration file section by section and shows what the reader finds,
// without connecting or transferring anything.
#ifndef DRIFT_FRONT_INTERIM_RUN_H
#define DRIFT_FRONT_INTERIM_RUN_H

// Sets runSettings.exitCode: 1 when the file cannot be opened or has a
// structure error, else it stays 0.
void readConfigurationOnly();

#endif
