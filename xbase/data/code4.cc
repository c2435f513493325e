#include "xbase/data/code4.h"

#include <cstring>

void engineInit(CODE4* context) {
  if (context == nullptr) return;
  std::memset(context, 0, sizeof *context);
  std::strcpy(context->datePicture, "MM/DD/YY");
  context->zapBufferSize = 16384;
  context->dataPoolGrowth = 5;
  context->dataPoolFirst = 5;
  context->autoOpen = 1;
  context->errCreateFile = 1;
  context->errQuiet = 0;
  context->openExclusive = 0;
  context->commitEveryWrite = 0;
  context->errFieldLookup = 1;
  context->errRecordRead = 1;
  context->errOpenFile = 1;
  context->bufferingMode = -1;
  context->lockOnRead = 0;
  context->openReadOnly = 0;
  context->createFailsIfExists = 1;
  context->errSkipInvalid = 1;
  context->lockTries = -1;
  context->errorCode = 0;

  context->memoExprLength = 1024;
  context->sortBlockSize = 61440;
  context->sortWriteBufferSize = 4096;
  context->memoBlockSize = 512;
  context->blockSize = 1024;
  context->indexPoolFirst = 10;
  context->indexPoolGrowth = 5;
  context->tagPoolFirst = 10;
  context->tagPoolGrowth = 10;
  context->pagePoolFirst = 5;
  context->pagePoolGrowth = 10;
  context->uniqueKeyCode = 25;
  context->bufferMemory = 327680;
  context->pageCheck = 1;
  context->exprErrors = 1;
  context->errTagName = 1;
  context->errRelate = 1;
  context->readShareWait = 1;
  context->optimizeMode = -1;
  context->numericKeyLength = 17;
  context->keyDecimals = 2;

  // ---- Index machinery: defaults of the settings appended to CODE4 go below. ----
}
