// Field lookup, attributes, raw and typed access to the record buffer.
#include "xbase/data/field.h"

#include <cstring>

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

int32_t dataFieldNumber(DataFile* data, const char* name) {
  if (!data) return 0;
  char wanted[256];
  copyBounded(wanted, name ? name : "", sizeof wanted);
  trimTrailing(wanted, sizeof wanted);
  for (char* p = wanted; *p; ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 32);
  for (int32_t i = 0; i < data->fieldCount; ++i)
    if (std::strcmp(wanted, data->fields[i].name) == 0) return i + 1;
  if (data->context->errFieldLookup) errorReport(data->context, errorFieldName, wanted);
  return -1;
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
