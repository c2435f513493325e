// How many records a data file holds, when its header and its length disagree.
//
// The header's count (bytes 4 to 7) and the whole records within the file length
// agree in a sound file.  When they do not, the engine decides as careful readers do:
//
//   header count  whole records  bytes at record header count + 1  count used
//   H             H              (any)                             H
//   H             more than H    0x1A, the end mark (or 0x00,      H: what follows
//                                a zero-filled tail)               is padding or
//                                                                  left-overs that
//                                                                  other readers
//                                                                  ignore too
//   H             more than H    anything else (a record)          the whole records:
//                                                                  a writer put them
//                                                                  there and had not
//                                                                  yet counted them
//   H             fewer than H   -                                 the whole records:
//                                                                  the file is cut
//                                                                  short
//
// So an append lands directly after the records that other readers see, over any
// padding, never beyond it; and a record written before the header caught up (a
// writer killed between the two writes, or one still at work) is counted.
#pragma once

#include <cstdint>

#include "xbase/data/data_file.h"
#include "xbase/data/dbf_format.h"

// A byte that, where a record would start, says the records have ended: the end
// mark, or the zero of a tail filled with zeros.  No record starts with either (a
// record starts with its deletion flag, a blank or '*').
inline bool dataEndsRecords(unsigned char byte) { return byte == dbf::kEndOfFile || byte == 0; }

struct RecordCountFacts {
  int64_t headerCount = 0;   // header bytes 4 to 7 as the file holds them now
  int64_t wholeRecords = 0;  // whole records within the file length
  int64_t tailBytes = 0;     // bytes after the last whole record
  bool partialRecord = false;  // the tail is the start of a record, not an end
                               // mark or padding (dataEndsRecords)
  int32_t count = 0;         // the count the engine works with (table above)
};

// Measures the file: its length, the header's count, and the bytes the decision
// needs.  0, or -1 (the context's code) when the file cannot be measured or read.
// Reads the file every time; the kept count (dataRecordCount) is not consulted.
int dataCountFacts(DataFile* data, RecordCountFacts* facts);
