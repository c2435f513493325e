// The index hooks with no index code: no tag is ever open, so nothing is to do.
#include "xbase/data/index_hooks.h"

#include "xbase/data/data_file.h"
#include "xbase/data/error.h"

int indexHookOpen(DataFile*) { return 0; }
void indexHookClose(DataFile*) {}
int indexHookLock(DataFile*) { return 0; }
void indexHookUnlock(DataFile*) {}
int indexHookAppend(DataFile*, int32_t) { return 0; }
int indexHookRewrite(DataFile*, int32_t) { return 0; }
int indexHookRebuild(DataFile*) { return 0; }
int indexHookFlush(DataFile*) { return 0; }
bool indexHookAny(DataFile* data) { return data->indexes.count > 0; }
bool indexHookSelected(DataFile* data) { return data->indexes.selected != nullptr; }
// Never reached without index code; refuse rather than move somewhere arbitrary.
int indexHookTop(DataFile* data) { return errorReport(data->context, errorInfo, "No tag code"); }
int indexHookBottom(DataFile* data) { return errorReport(data->context, errorInfo, "No tag code"); }
int indexHookSkip(DataFile* data, int32_t) {
  return errorReport(data->context, errorInfo, "No tag code");
}
