// Fields of an open data file: lookup, attributes, and access to the field's bytes
// in the DataFile's record buffer.  Nothing here touches the file; a changed field
// reaches it when the record is written (record.h).
#pragma once

#include <cstdint>

#include "xbase/data/data_file.h"

// Number of fields.
int32_t dataFieldCount(DataFile* data);

// The j-th field, counted from 1; null for a null data file or j outside 1..count.
FieldInfo* dataField(DataFile* data, int32_t j);

// 1-based number of the named field: trailing blanks are removed and the name is
// upper-cased, then compared byte for byte with the stored names; when none is
// equal, the one stored name equal to it ignoring ASCII case (files written with
// lower-case names).  -1 when none matches, or when two or more match only ignoring
// case (and -210 "Unrecognized Field Name" when errFieldLookup is set); 0 for a
// null data file.
int32_t dataFieldNumber(DataFile* data, const char* name);

// Why dataFieldNumber found nothing when two stored names equal `name` ignoring
// case (`name` and `Name`): their 1-based numbers in *first and *second.  Both 0
// when the name is found, or matches no stored name at all.
void dataFieldClash(DataFile* data, const char* name, int32_t* first, int32_t* second);

// The field dataFieldNumber finds, or null.
FieldInfo* dataFieldByName(DataFile* data, const char* name);

const char* fieldName(FieldInfo* field);
int fieldType(FieldInfo* field);          // the type letter, F reported as N
int32_t fieldLength(FieldInfo* field);
int32_t fieldDecimals(FieldInfo* field);
DataFile* fieldOwner(FieldInfo* field);

// Address of the field's bytes in the owner's record buffer (no terminator).
// fieldPtrForWrite also marks the record changed.
char* fieldPtr(FieldInfo* field);
char* fieldPtrForWrite(FieldInfo* field);

// Fills the field with blanks and marks the record changed.
void fieldBlank(FieldInfo* field);

// Copies min(length, size - 1) bytes and a NUL; returns the count copied.  A size
// of 0 copies nothing.
int32_t fieldCopyOut(FieldInfo* field, char* buffer, int32_t size);

// The field's bytes and a NUL in the context's first work buffer (grown to fit);
// valid until the next call that uses that buffer.  Null on allocation failure.
const char* fieldString(FieldInfo* field);

// The field's bytes, at most 256 of them, and a NUL in one buffer shared by every
// field of every data file: the next call overwrites it.
const char* fieldText(FieldInfo* field);

// Copies min(count, length) bytes and blank-fills the rest; longer text is cut.
void fieldAssignText(FieldInfo* field, const char* text, int32_t count);

// D field: a Julian day number (0 or less stores 8 blanks).  Field with decimals:
// as fieldAssignDouble.  Else the value right-aligned over the field length.
void fieldAssignLong(FieldInfo* field, int32_t value);

// D field: the whole day number.  Else the value with the field's decimals.
void fieldAssignDouble(FieldInfo* field, double value);

// D field: Julian day number of the stored date.  Else the text read as a number.
// -1 while the context holds an error.
int32_t fieldLong(FieldInfo* field);
double fieldDouble(FieldInfo* field);
