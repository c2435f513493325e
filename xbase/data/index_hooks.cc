// The index hooks: each passes the operation to the installed index table
// (index_seam.h) when the data file has index files open, and otherwise does nothing.
#include "xbase/data/index_hooks.h"

#include <cassert>

#include "xbase/data/data_file.h"
#include "xbase/data/index_seam.h"

namespace {

// The table, for a data file with open index files; null otherwise.  A data file gets
// index files only from the index code, which installs its table first.
const IndexOps* opsFor(DataFile* data) {
  if (data->indexes.count == 0) return nullptr;
  assert(dataIndexOps() != nullptr);
  return dataIndexOps();
}

}  // namespace

int indexHookOpen(DataFile* data) {
  const IndexOps* ops = dataIndexOps();
  return ops ? ops->open(data) : 0;
}

void indexHookClose(DataFile* data) {
  if (const IndexOps* ops = opsFor(data)) ops->close(data);
}

int indexHookLock(DataFile* data) {
  const IndexOps* ops = opsFor(data);
  return ops ? ops->lock(data) : 0;
}

void indexHookUnlock(DataFile* data) {
  if (const IndexOps* ops = opsFor(data)) ops->unlock(data);
}

int indexHookAppend(DataFile* data, int32_t recno) {
  const IndexOps* ops = opsFor(data);
  return ops ? ops->append(data, recno) : 0;
}

int indexHookAppendEnd(DataFile* data, int32_t recno, bool written) {
  const IndexOps* ops = opsFor(data);
  return ops ? ops->appendEnd(data, recno, written) : 0;
}

int indexHookZapStart(DataFile* data) {
  const IndexOps* ops = opsFor(data);
  return ops ? ops->zapStart(data) : 0;
}

int indexHookRewrite(DataFile* data, int32_t recno) {
  const IndexOps* ops = opsFor(data);
  return ops ? ops->rewrite(data, recno) : 0;
}

int indexHookRewriteEnd(DataFile* data) {
  const IndexOps* ops = opsFor(data);
  return ops ? ops->rewriteEnd(data) : 0;
}

int indexHookRebuild(DataFile* data) {
  const IndexOps* ops = opsFor(data);
  return ops ? ops->rebuild(data) : 0;
}

int indexHookFlush(DataFile* data) {
  const IndexOps* ops = opsFor(data);
  return ops ? ops->flush(data) : 0;
}

bool indexHookAny(DataFile* data) { return opsFor(data) != nullptr; }

bool indexHookSelected(DataFile* data) {
  const IndexOps* ops = opsFor(data);
  return ops && ops->selected(data);
}

// Called only after indexHookSelected said yes.
int indexHookTop(DataFile* data) {
  assert(indexHookSelected(data));
  return dataIndexOps()->top(data);
}
int indexHookBottom(DataFile* data) {
  assert(indexHookSelected(data));
  return dataIndexOps()->bottom(data);
}
int indexHookSkip(DataFile* data, int32_t n) {
  assert(indexHookSelected(data));
  return dataIndexOps()->skip(data, n);
}
