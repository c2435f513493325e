// Memo fields (M and G): the field holds a block number of the memo file, the text
// lives in the field's MemoFieldState.  Texts are loaded on first use after each
// move and written with the record (record.h) when they were assigned.
//
// A memo is read up to its 0x1A and never past the end of the memo file: a block
// number beyond the end, or a memo with no 0x1A before the end, is error -910
// "Unexpected Information" with a text saying which and the memo file's name.
#pragma once

#include <cstdint>

#include "xbase/data/data_file.h"

// The memo text, NUL-terminated (the text may itself hold NULs: use memoLength).
// Empty with no current record.  For a non-memo field: fieldString.  The buffer
// stays with the field until the next move or assignment.  Null after an error.
const char* memoText(FieldInfo* field);

// Length of the memo text in bytes (loading it when needed); for a non-memo field
// its length.  -1 after an error.
int32_t memoLength(FieldInfo* field);

// Stores the bytes as the field's new memo text and marks the memo and the record
// changed; for a non-memo field acts as fieldAssignText.  0 or a negative code.
int memoAssign(FieldInfo* field, const char* text, int32_t length);

// As fieldCopyOut, on the memo text.
int32_t memoCopyOut(FieldInfo* field, char* buffer, int32_t size);

// Forgets the loaded text; the next use reads it again.
void memoReset(FieldInfo* field);

// Writes a changed memo to the memo file (in place when it fits the old run, else at
// the next free block) and stores the block number in the field.  0 or a negative
// code.
int memoWrite(FieldInfo* field);
