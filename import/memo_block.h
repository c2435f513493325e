// Memos bound whole into LONG, CLOB and NCLOB columns.
//
// Such a column takes a memo of any length, so its values cannot sit in fixed
// slots sized from the column.  The memos of the rows gathered for a block are
// kept back to back in one buffer (`bytes`), each row's place in `spans`; the
// INSERT's parameter is bound for execution-time data (bindWhole), and at
// every execution OCI asks memoBlockPiece for row k's memo, handed over as one
// piece.  The import executes a block early once the memos gathered pass
// kMemoBlockBytes, so the buffer stays bounded by that plus one memo, however
// large the block size and the memos are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "ocilite/oci.h"

// Bytes of memo text a block gathers at most before it is executed.
constexpr size_t kMemoBlockBytes = 16u << 20;

struct MemoBlock {
  bool active = false;  // the pair's memo is bound whole
  std::vector<char> bytes;
  std::vector<std::pair<size_t, size_t>> spans;  // by row slot: offset and length
  sb2 indicator = 0;    // handed to OCI with each value

  // Back to an inactive pair, its buffers freed.
  void reset();
  // Room for blockSize rows, no memo gathered.
  void start(int32_t blockSize);
  // Forgets the gathered memos (after an execution), keeping the buffers.
  void clear() { bytes.clear(); }
  // Sets row `row`'s memo; the rows of a block are set in order from 0.
  void set(int32_t row, const char* text, size_t length);
  std::string_view text(int32_t row) const;
  size_t gathered() const { return bytes.size(); }
};

// OCI's in-bind callback: row `iteration`'s memo as one piece; an empty memo
// goes as NULL, as any empty text does.
sb4 memoBlockPiece(void* context, OCIBind* bind, ub4 iteration, ub4 index, void** buffer,
                   ub4* length, ub1* piece, void** indicator);

// Column types that take a memo whole: LONG (8) and CLOB/NCLOB (112).
bool takesWholeMemo(uint16_t type);
