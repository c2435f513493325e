// What a program outside the engine may ask of an open data file beyond its records
// and fields: its context, its header, and its files.  The DataFile record itself is
// the engine's; callers go through these functions.
#pragma once

#include <cstdint>
#include <string>

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
// Whether the dbf file has a case twin beside it (DataFile::caseTwin).
bool dataHasCaseTwin(const DataFile* data);
// The file beside the dbf file with the extension ext, in the dbf file's spelling
// (fileSpelling), or "" when the dbf file's path was not kept.
std::string dataBesideSpelling(const DataFile* data, const char* ext);
// Writes ldid as the header's language driver byte and keeps it as the file's code
// page.  0, or the negative code of the failed write.
int dataLanguageDriverSet(DataFile* data, uint8_t ldid);
