#include "import/memo_block.h"

#include <cstring>

void MemoBlock::reset() {
  active = false;
  std::vector<char>().swap(bytes);
  std::vector<std::pair<size_t, size_t>>().swap(spans);
  indicator = 0;
}

void MemoBlock::start(int32_t blockSize) {
  spans.assign(blockSize > 0 ? static_cast<size_t>(blockSize) : 0, {0, 0});
  bytes.clear();
}

void MemoBlock::set(int32_t row, const char* text, size_t length) {
  if (row < 0 || static_cast<size_t>(row) >= spans.size()) return;
  if (row == 0) bytes.clear();
  spans[static_cast<size_t>(row)] = {bytes.size(), length};
  bytes.insert(bytes.end(), text, text + length);
}

std::string_view MemoBlock::text(int32_t row) const {
  if (row < 0 || static_cast<size_t>(row) >= spans.size()) return {};
  const auto& span = spans[static_cast<size_t>(row)];
  if (span.first + span.second > bytes.size()) return {};
  return {bytes.data() + span.first, span.second};
}

sb4 memoBlockPiece(void* context, OCIBind*, ub4 iteration, ub4, void** buffer, ub4* length,
                   ub1* piece, void** indicator) {
  auto* block = static_cast<MemoBlock*>(context);
  const std::string_view memo = block->text(static_cast<int32_t>(iteration));
  *buffer = const_cast<char*>(memo.data());
  *length = static_cast<ub4>(memo.size());
  *piece = OCI_ONE_PIECE;
  block->indicator = memo.empty() ? -1 : 0;
  *indicator = &block->indicator;
  return OCI_CONTINUE;
}

bool takesWholeMemo(uint16_t type) { return type == SQLT_LNG || type == SQLT_CLOB; }
