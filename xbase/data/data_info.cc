// The data file's public face for programs outside the engine.
#include "xbase/data/data_info.h"

#include "xbase/data/dbf_format.h"
#include "xbase/file/file_name.h"

CODE4* dataContext(const DataFile* data) { return data->context; }

const HeaderImage& dataHeader(const DataFile* data) { return data->header; }

int32_t dataRecordLength(const DataFile* data) { return data->recordLength; }

EngineFile* dataDbfFile(DataFile* data) { return &data->file; }

EngineFile* dataMemoFile(DataFile* data) { return data->memoFile.handle >= 0 ? &data->memoFile : nullptr; }
bool dataHasCaseTwin(const DataFile* data) { return data->caseTwin; }
std::string dataBesideSpelling(const DataFile* data, const char* ext) {
  return data->systemPath ? fileSpelling(data->systemPath, ext, true) : std::string();
}

int dataLanguageDriverSet(DataFile* data, uint8_t ldid) {
  if (int rc = fileWrite(&data->file, dbf::kLanguageDriverOffset, &ldid, 1)) return rc;
  data->languageDriver = ldid;
  return 0;
}
