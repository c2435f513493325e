// Creating a new, empty data file.
//
// Layout: version 0x03, or 0x83 with an empty memo file beside it (same name,
// extension DBT) when a field is of type M; header with today's date, count 0,
// one descriptor per field, 0x0D, and the end-of-file byte 0x1A.  The empty file is
// 34 + 32 * field count bytes; the empty memo file is one 512-byte block whose
// next-free number is 1.
#pragma once

#include <cstdint>

#include "xbase/data/data_file.h"

// One field to create.  decimals only for N and F; a length of 0 for D, L and M
// takes the standard length (8, 1, 10).
struct FieldDef {
  const char* name;     // 1 to 10 of A-Z a-z 0-9 _, starting with a letter; stored upper-case
  int type;             // C, N, F, D, L or M (either case)
  int32_t length;       // C 1..254, N and F 1..20, D 8, L 1, M 10
  int32_t decimals;     // N and F: 0..15 and below length - 1; else 0
};

// Null when the definitions are good; else a sentence saying what is wrong, and
// *index (when not null) the 0-based number of the field at fault, or -1.
const char* fieldDefProblem(const FieldDef* fields, int32_t count, int32_t* index);

// Creates the data file (and memo file) and opens it as dataOpen would.  The name is
// used as given; ".dbf" is added when it has no extension.  Refuses bad definitions
// before creating anything (texts: fieldDefProblem's sentence and the field name):
// -220 "Unrecognized Field Type" for a type letter, -930 "Unexpected Parameter" for a
// name, length, decimal count or duplicate, -230 "Record Length is too Large".  An existing file is not
// overwritten while createFailsIfExists is set (-20 "Creating File").
// Returns the open DataFile or null, the reason in the context's error code.
DataFile* dataCreate(CODE4* context, const char* name, const FieldDef* fields, int32_t count);
