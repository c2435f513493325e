// What a program outside the engine may ask of an open data file beyond its records
// and fields: its context, its header, and its files.  The DataFile record itself is
// the engine's; callers go through these functions.
#pragma once

#include <cstdint>

#include "xbase/data/data_file.h"

// The context the data file was opened in.
CODE4* dataContext(const DataFile* data);
// The header bytes 0 to 9 as the engine keeps them (version, date, count, length).
const HeaderImage& dataHeader(const DataFile* data);
// Bytes of one record, the deletion mark included.
int32_t dataRecordLength(const DataFile* data);
// The dbf file itself, and its memo file (null when the data file has none).
EngineFile* dataDbfFile(DataFile* data);
EngineFile* dataMemoFile(DataFile* data);
// The system's path the dbf file was found at (null when not kept): the spelling in
// which the files beside it are looked up.
const char* dataSystemPath(const DataFile* data);
// Writes ldid as the header's language driver byte and keeps it as the file's code
// page.  0, or the negative code of the failed write.
int dataLanguageDriverSet(DataFile* data, uint8_t ldid);
