// Field lookup, attributes, raw and typed access to the record buffer.
#include "xbase/data/field.h"

#include <cstring>
#include <string>

#include "xbase/data/data_internal.h"
#include "xbase/data/error.h"
#include "xbase/data/pool.h"
#include "xbase/file/conv.h"

namespace {

constexpr int kDateLength = 8;

bool fieldInError(const FieldInfo* f) { return f->owner->context->errorCode < 0; }

char* bytes(FieldInfo* f) { return f->owner->record + f->offset; }

void markChanged(FieldInfo* f) { f->owner->recordChanged = 1; }

// A date field may be shorter than 8 bytes in a damaged file: the date code always
// sees 8 characters, blank-padded, and writes back only what the field holds.
void readDate(FieldInfo* f, char date[kDateLength]) {
  std::memset(date, ' ', kDateLength);
  std::memcpy(date, bytes(f), f->length < kDateLength ? f->length : kDateLength);
}

void writeDate(FieldInfo* f, int32_t day) {
  char date[kDateLength];
  julianToDate(day, date);
  char* p = bytes(f);
  std::memset(p, ' ', f->length);
  std::memcpy(p, date, f->length < kDateLength ? f->length : kDateLength);
}

}  // namespace

int32_t dataFieldCount(DataFile* data) { return data ? data->fieldCount : -1; }

FieldInfo* dataField(DataFile* data, int32_t j) {
  if (!data || j < 1 || j > data->fieldCount) return nullptr;
  return &data->fields[j - 1];
}

namespace {

// The wanted name as the look-up compares it: trailing blanks cut, upper-cased.
void lookupName(const char* name, char wanted[256]) {
  copyBounded(wanted, name ? name : "", 256);
  trimTrailing(wanted, 256);
  for (char* p = wanted; *p; ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 32);
}

bool equalIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
    char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

// Exact match first; else the fields equal ignoring ASCII case: the first in
// *first, the second (when there is one) in *second.  Numbers are 1-based, 0: none.
int32_t matchField(DataFile* data, const char* wanted, int32_t* first, int32_t* second) {
  *first = *second = 0;
  for (int32_t i = 0; i < data->fieldCount; ++i)
    if (std::strcmp(wanted, data->fields[i].name) == 0) return i + 1;
  for (int32_t i = 0; i < data->fieldCount; ++i) {
    if (!equalIgnoringCase(wanted, data->fields[i].name)) continue;
    if (*first == 0) *first = i + 1;
    else if (*second == 0) *second = i + 1;
  }
  return *second == 0 ? *first : 0;
}

}  // namespace

int32_t dataFieldNumber(DataFile* data, const char* name) {
  if (!data) return 0;
  char wanted[256];
  lookupName(name, wanted);
  int32_t first, second;
  int32_t found = matchField(data, wanted, &first, &second);
  if (found > 0) return found;
  if (data->context->errFieldLookup) {
    if (second > 0) {
      // Two stored names equal to it ignoring case: the detail names both.
      std::string both = std::string("'") + data->fields[first - 1].name + "' and '" +
                         data->fields[second - 1].name + "' both match it";
      errorReport(data->context, errorFieldName, wanted, both.c_str());
    } else {
      errorReport(data->context, errorFieldName, wanted);
    }
  }
  return -1;
}

void dataFieldClash(DataFile* data, const char* name, int32_t* first, int32_t* second) {
  *first = *second = 0;
  if (!data) return;
  char wanted[256];
  lookupName(name, wanted);
  if (matchField(data, wanted, first, second) > 0 || *second == 0) *first = *second = 0;
}

FieldInfo* dataFieldByName(DataFile* data, const char* name) {
  int32_t j = dataFieldNumber(data, name);
  return j > 0 ? dataField(data, j) : nullptr;
}

const char* fieldName(FieldInfo* field) { return field->name; }
int fieldType(FieldInfo* field) { return field->type == 'F' ? 'N' : field->type; }
int32_t fieldLength(FieldInfo* field) { return field->length; }
int32_t fieldDecimals(FieldInfo* field) { return field->decimals; }
DataFile* fieldOwner(FieldInfo* field) { return field->owner; }

char* fieldPtr(FieldInfo* field) { return bytes(field); }

char* fieldPtrForWrite(FieldInfo* field) {
  markChanged(field);
  return bytes(field);
}

void fieldBlank(FieldInfo* field) {
  if (fieldInError(field)) return;
  std::memset(bytes(field), ' ', field->length);
  markChanged(field);
}

int32_t fieldCopyOut(FieldInfo* field, char* buffer, int32_t size) {
  if (size <= 0) return 0;
  int32_t n = field->length < size - 1 ? field->length : size - 1;
  std::memcpy(buffer, bytes(field), n);
  buffer[n] = '\0';
  return n;
}

const char* fieldString(FieldInfo* field) {
  CODE4* c = field->owner->context;
  WorkBuffer* b = &c->fieldBuffer;
  if (engineBufferGrow(c, &b->data, &b->size, static_cast<uint32_t>(field->length) + 1) != 0)
    return nullptr;
  std::memcpy(b->data, bytes(field), field->length);
  b->data[field->length] = '\0';
  return b->data;
}

const char* fieldText(FieldInfo* field) {
  static char text[257];
  int32_t n = field->length < 256 ? field->length : 256;
  std::memcpy(text, bytes(field), n);
  text[n] = '\0';
  return text;
}

void fieldAssignText(FieldInfo* field, const char* text, int32_t count) {
  if (fieldInError(field)) return;
  char* p = bytes(field);
  int32_t n = count < 0 ? 0 : (count < field->length ? count : field->length);
  std::memcpy(p, text, n);
  std::memset(p + n, ' ', field->length - n);
  markChanged(field);
}

void fieldAssignLong(FieldInfo* field, int32_t value) {
  if (fieldInError(field)) return;
  if (field->type == 'D') {
    writeDate(field, value);
  } else if (field->decimals > 0) {
    doubleToText(value, bytes(field), field->length, field->decimals);
  } else {
    numToText(value, bytes(field), field->length);
  }
  markChanged(field);
}

void fieldAssignDouble(FieldInfo* field, double value) {
  if (fieldInError(field)) return;
  if (field->type == 'D')
    writeDate(field, static_cast<int32_t>(value));
  else
    doubleToText(value, bytes(field), field->length, field->decimals);
  markChanged(field);
}

int32_t fieldLong(FieldInfo* field) {
  if (fieldInError(field)) return -1;
  if (field->type == 'D') {
    char date[kDateLength];
    readDate(field, date);
    return dateToJulian(date);
  }
  // A value beyond 32 bits reads as the nearest limit, never as its wrapped low bits.
  return textToInt(bytes(field), field->length);
}

double fieldDouble(FieldInfo* field) {
  if (fieldInError(field)) return -1;
  if (field->type == 'D') {
    char date[kDateLength];
    readDate(field, date);
    return dateToJulian(date);
  }
  return textToDouble(bytes(field), field->length);
}
