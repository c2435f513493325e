// The dbf data file and its DBT memo file, byte by byte.
//
// Every multi-byte integer in both files is little-endian.
//
// DATA FILE HEADER (the first 32 bytes)
//
//   OFFSET SIZE DESCRIPTION
//      0     1  version byte; bit 7 set means a memo file goes with the data file.
//               Not interpreted otherwise; written back unchanged with the date.
//      1     1  year of last update, years since 1900 (1999 is 99, 2000 is 100)
//      2     1  month of last update, 1 to 12
//      3     1  day of last update, 1 to 31
//      4     4  number of records, unsigned.  Written after an append and a zap;
//               weighed against the file length for the count (below).
//      8     2  header length: bytes from offset 0 to the first record; must be
//               more than 32
//     10     2  record length, deletion flag included; must equal 1 + the sum of
//               the field lengths.  Never written.
//     12    16  not interpreted, never written
//     28     1  flag byte: kept with the open file, given no meaning, never written
//     29     1  language driver: the code page of the file's text (code_page.h);
//               kept with the open file, never written after dataCreate
//     30     2  not interpreted, never written
//
// Only bytes 0 to 9 are ever rewritten, and only from the copy kept in the open
// DataFile (HeaderImage), so the descriptors and bytes 10 to 31 stay as found.
//
// FIELD DESCRIPTOR (32 bytes a field, from offset 32, in record order)
//
//   OFFSET SIZE DESCRIPTION
//      0    11  field name, NUL-padded; the name is the bytes before the first NUL,
//               at most 10 (byte 10 is never part of it); kept as stored
//     11     1  type letter; a lower-case letter counts as its capital
//     12     4  field address: not read, offsets are computed from the lengths;
//               dataCreate stores the field's offset in the record here
//     16     1  field length (low byte)
//     17     1  N, F: decimal count.  L, D, M, G: ignored.  Any other type (C among
//               them): high byte of the length, so a C field may be 65535 long.
//     18    14  not interpreted
//
// The descriptor list ends at the first slot whose first byte is 0x0D, or where the
// header ends.  Slot position p (0, 32, 64 ... from offset 32) is looked at while
// p < header length - 32; bytes after the terminator are not interpreted.
//
// Worked example: one field NAME C(10), no memo, created on 2026-12-07:
//   03 7E 0C 07 | 00 00 00 00 | 41 00 | 0B 00 | 00 .. 00
//   'N' 'A' 'M' 'E' 00 00 00 00 00 00 00 | 'C' | 01 00 00 00 | 0A | 00 | 00 .. 00
//   0D                 <- terminator at offset 64; header length 65 (0x41)
//   1A                 <- end-of-file byte; the empty file is 66 bytes
//
// RECORDS
//
// Record n (from 1) starts at header length + (n - 1) * record length.  Byte 0 is the
// deletion flag: blank (0x20) for a live record; any other byte, normally '*', marks
// it deleted.  The fields follow in descriptor order without gaps, the first at
// offset 1.  The whole records are (file length - header length) / record length,
// rounded down, so a trailing 0x1A or a partial record is not counted.  The number
// of records is that, unless the header counts fewer and an 0x1A (or a zero byte)
// stands where its count ends: then the header's count (record_count.h has the whole
// rule).  One 0x1A
// is written after the last record by every append and zap, and never required on
// read.
//
// FIELD CONTENTS (all bytes are characters)
//
//   C     text, left-aligned, blank-padded
//   N, F  decimal text, right-aligned, blank-padded on the left, '.' before decimals
//   D     "CCYYMMDD", or 8 blanks for no date
//   L     one of T t Y y (true) or anything else (false)
//   M, G  first block number of the memo, right-aligned, or blanks for no memo
//
// MEMO FILE (DBT), blocks of 512 bytes
//
//   OFFSET SIZE DESCRIPTION
//      0     4  number of the next free block, where the next new memo goes.
//               Written after each new memo; the engine itself takes the first
//               block past the end of the file, so a damaged number can neither
//               overwrite a memo nor send a write far past the end.
//      4   508  not interpreted
//
// A memo starts at byte (block number * 512) and runs to the first 0x1A; its text is
// the bytes before.  A memo of L bytes is written as the L bytes and the pair 0x1A
// 0x1A and takes (L + 2 + 511) / 512 blocks: this engine stops at the first 0x1A,
// but other readers stop only at the pair, so the pair is always written, in a new
// block when need be.  A new text that fits with its pair into the old memo's run
// (whole blocks up to the one holding its first 0x1A) overwrites it in place;
// otherwise it goes to the next free block and the next-free number grows.  Freed
// runs are not reused, but a zap that leaves no record cuts the memo file back to
// its header block.  A memo of length 0 is not written: the field becomes blanks.
#pragma once

#include <cstdint>

#include "xbase/file/le_bytes.h"

namespace dbf {

// Header offsets.
inline constexpr int kVersionOffset = 0;
inline constexpr int kDateOffset = 1;           // 3 bytes: year - 1900, month, day
inline constexpr int kRecordCountOffset = 4;    // uint32
inline constexpr int kHeaderLengthOffset = 8;   // uint16
inline constexpr int kRecordLengthOffset = 10;  // uint16
inline constexpr int kFlagByteOffset = 28;
inline constexpr int kLanguageDriverOffset = 29;
inline constexpr int kHeaderSize = 32;          // fixed part before the descriptors
inline constexpr int kHeaderImageSize = 10;     // bytes 0 to 9: all that is rewritten

// Field descriptor offsets.
inline constexpr int kDescriptorSize = 32;
inline constexpr int kNameOffset = 0;
inline constexpr int kNameSize = 11;            // NUL-padded
inline constexpr int kNameMax = 10;             // characters of a name
inline constexpr int kTypeOffset = 11;
inline constexpr int kAddressOffset = 12;
inline constexpr int kLengthOffset = 16;
inline constexpr int kDecimalsOffset = 17;

// Marker bytes.
inline constexpr unsigned char kTerminator = 0x0D;  // ends the descriptor list
inline constexpr unsigned char kEndOfFile = 0x1A;   // after the last record; ends a memo
inline constexpr unsigned char kLiveFlag = ' ';
inline constexpr unsigned char kDeletedFlag = '*';

// Version bytes written by dataCreate.
inline constexpr unsigned char kVersionPlain = 0x03;
inline constexpr unsigned char kVersionWithMemo = 0x83;
inline constexpr unsigned char kMemoBit = 0x80;

// Memo file.
inline constexpr int kMemoBlockSize = 512;
inline constexpr int kMemoNextFreeOffset = 0;      // uint32
inline constexpr int kMemoFieldLength = 10;       // standard width of an M field

// Limits that the 16-bit header and record lengths impose.
inline constexpr int kMaxHeaderLength = 65535;
inline constexpr int kMaxRecordLength = 65535;

// Byte-range lock offsets, far beyond any data.
inline constexpr long kRecordLockBase = 1000000000L;  // append lock; record n at base + n
inline constexpr long kFileLockLength = 1000000000L;  // whole-file lock from base
// In the memo file: held while a new memo run is placed past the file's end.
inline constexpr long kMemoEndLock = kRecordLockBase;

// Little-endian helpers over raw header bytes.
using le::get16;
using le::get32;
using le::put16;
using le::put32;

}  // namespace dbf
