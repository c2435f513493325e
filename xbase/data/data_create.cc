// dataCreate: a new, empty data file (and memo file) in the layout of dbf_format.h.
#include "xbase/data/data_create.h"

#include <cstring>
#include <string>
#include <vector>

#include "xbase/data/dbf_format.h"
#include "xbase/data/error.h"
#include "xbase/file/conv.h"
#include "xbase/file/file_name.h"

namespace {

constexpr size_t kMaxNameLength = 257;  // what dataOpen's name buffer holds

// A field definition after checking, ready for its descriptor.
struct CheckedField {
  char name[dbf::kNameSize];
  unsigned char type;
  int32_t length;
  int32_t decimals;
};

// Checks one definition; returns null when it is good, else what is wrong with it
// (and *code: -220 for the type letter, else -930).
const char* checkField(const FieldDef& def, CheckedField* out, int32_t* code) {
  *code = errorParameter;
  const char* name = def.name ? def.name : "";
  size_t n = std::strlen(name);
  if (n == 0 || n > static_cast<size_t>(dbf::kNameMax))
    return "Field name must have 1 to 10 characters";
  std::memset(out->name, 0, sizeof out->name);
  for (size_t i = 0; i < n; ++i) {
    char ch = name[i];
    bool letter = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
    bool digit = ch >= '0' && ch <= '9';
    if (!letter && (i == 0 || (!digit && ch != '_')))
      return "Field name must be a letter followed by letters, digits or _";
    out->name[i] = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch;
  }
  int type = def.type;
  if (type >= 'a' && type <= 'z') type -= 32;
  out->type = static_cast<unsigned char>(type);
  out->length = def.length;
  out->decimals = def.decimals;
  switch (type) {
    case 'C':
      if (def.length < 1 || def.length > 254) return "Character field length must be 1 to 254";
      break;
    case 'N':
    case 'F':
      if (def.length < 1 || def.length > 20) return "Numeric field length must be 1 to 20";
      if (def.decimals < 0 || def.decimals > 15 ||
          (def.decimals > 0 && def.decimals > def.length - 2))
        return "Decimals must be 0 to 15 and leave room for a digit and the point";
      break;
    case 'D':
    case 'L':
    case 'M': {
      int32_t standard = type == 'D' ? 8 : type == 'L' ? 1 : dbf::kMemoFieldLength;
      if (def.length != 0 && def.length != standard)
        return type == 'D'   ? "Date field length must be 8"
               : type == 'L' ? "Logical field length must be 1"
                             : "Memo field length must be 10";
      out->length = standard;
      break;
    }
    default:
      *code = errorFieldType;
      return "Field type must be C, N, F, D, L or M";
  }
  if (type != 'N' && type != 'F' && def.decimals != 0) return "Only N and F fields have decimals";
  return nullptr;
}

// Checks every definition and the whole; fills checked.  Null when all is good.
const char* checkAll(const FieldDef* fields, int32_t count, std::vector<CheckedField>* checked,
                     int32_t* index, int32_t* code) {
  *index = -1;
  *code = errorParameter;
  if (count < 1 || !fields) return "A data file needs at least one field";
  if (dbf::kHeaderSize + static_cast<int64_t>(count) * dbf::kDescriptorSize + 1 >
      dbf::kMaxHeaderLength)
    return "Too many fields";
  checked->assign(static_cast<size_t>(count), CheckedField{});
  int64_t recordLength = 1;
  for (int32_t i = 0; i < count; ++i) {
    *index = i;
    if (const char* problem = checkField(fields[i], &(*checked)[i], code)) return problem;
    for (int32_t j = 0; j < i; ++j)
      if (std::strcmp((*checked)[j].name, (*checked)[i].name) == 0)
        return "Field name is used twice";
    recordLength += (*checked)[i].length;
  }
  *index = -1;
  if (recordLength > dbf::kMaxRecordLength) {
    *code = errorRecordLength;
    return "Record Length is too Large";
  }
  return nullptr;
}

bool hasExtension(const std::string& name) {
  return fileBaseName(name).find('.') != std::string_view::npos;
}

// The memo file's name: the data file's with its extension replaced by DBT, in the
// case of the data file's extension.
std::string memoName(const std::string& name) {
  size_t dot = name.find_last_of('.');
  bool lower = dot + 1 < name.size() && name[dot + 1] >= 'a' && name[dot + 1] <= 'z';
  return name.substr(0, dot + 1) + (lower ? "dbt" : "DBT");
}

// Creates `name` holding `bytes`.  A file that could not be written completely is
// removed again, so a failure never leaves a half-made file behind.
int writeNewFile(CODE4* c, const std::string& name, const std::vector<unsigned char>& bytes) {
  EngineFile file;
  fileInit(&file);
  int rc = fileCreate(&file, c, name.c_str(), 1);
  if (rc != 0) return rc;
  rc = fileWrite(&file, 0, bytes.data(), static_cast<uint32_t>(bytes.size()));
  if (rc != 0) file.removeOnClose = 1;
  int32_t pending = engineErrorSet(c, 0);
  int closeRc = fileClose(&file);
  if (pending < 0) engineErrorSet(c, pending);
  return rc != 0 ? rc : closeRc;
}

void removeFile(CODE4* c, const std::string& name) {
  // Reopen and delete through the file layer so the same name resolution applies.
  int32_t pending = engineErrorSet(c, 0);
  int32_t quiet = c->errOpenFile;
  c->errOpenFile = 0;
  EngineFile file;
  fileInit(&file);
  if (fileOpen(&file, c, name.c_str(), 1) == 0) {
    file.removeOnClose = 1;
    fileClose(&file);
  }
  c->errOpenFile = quiet;
  engineErrorSet(c, pending);
}

}  // namespace

const char* fieldDefProblem(const FieldDef* fields, int32_t count, int32_t* index) {
  std::vector<CheckedField> checked;
  int32_t at = -1;
  int32_t code = 0;
  const char* problem = checkAll(fields, count, &checked, &at, &code);
  if (index) *index = at;
  return problem;
}

DataFile* dataCreate(CODE4* c, const char* name, const FieldDef* fields, int32_t count) {
  if (!c || c->errorCode < 0) return nullptr;
  if (!name || !*name) {
    errorReport(c, errorParameter, "No data file name");
    return nullptr;
  }
  std::vector<CheckedField> checked;
  int32_t index = -1;
  int32_t code = 0;
  if (const char* problem = checkAll(fields, count, &checked, &index, &code)) {
    const char* field = index >= 0 && fields[index].name ? fields[index].name : name;
    errorReport(c, code, problem, field);
    return nullptr;
  }
  int64_t headerLength = dbf::kHeaderSize + static_cast<int64_t>(count) * dbf::kDescriptorSize + 1;
  int64_t recordLength = 1;
  bool memo = false;
  for (const CheckedField& f : checked) {
    recordLength += f.length;
    if (f.type == 'M') memo = true;
  }

  std::vector<unsigned char> bytes(static_cast<size_t>(headerLength) + 1, 0);
  bytes[dbf::kVersionOffset] = memo ? dbf::kVersionWithMemo : dbf::kVersionPlain;
  todayHeaderDate(&bytes[dbf::kDateOffset]);
  dbf::put32(&bytes[dbf::kRecordCountOffset], 0);
  dbf::put16(&bytes[dbf::kHeaderLengthOffset], static_cast<uint32_t>(headerLength));
  dbf::put16(&bytes[dbf::kRecordLengthOffset], static_cast<uint32_t>(recordLength));
  int64_t offset = 1;
  for (int32_t i = 0; i < count; ++i) {
    unsigned char* slot = &bytes[dbf::kHeaderSize + i * dbf::kDescriptorSize];
    std::memcpy(slot + dbf::kNameOffset, checked[i].name, dbf::kNameSize);
    slot[dbf::kTypeOffset] = checked[i].type;
    dbf::put32(slot + dbf::kAddressOffset, static_cast<uint32_t>(offset));
    slot[dbf::kLengthOffset] = static_cast<unsigned char>(checked[i].length);
    slot[dbf::kDecimalsOffset] = static_cast<unsigned char>(checked[i].decimals);
    offset += checked[i].length;
  }
  bytes[headerLength - 1] = dbf::kTerminator;
  bytes[headerLength] = dbf::kEndOfFile;

  std::string dataName = name;
  if (!hasExtension(dataName)) dataName += ".dbf";
  // dataOpen takes names of at most 257 characters: a longer one is refused here,
  // before anything is written, rather than creating a file that cannot be opened.
  if (dataName.size() > kMaxNameLength) {
    errorReport(c, errorCreate, "File Name:", name);
    return nullptr;
  }
  if (memo) {
    // The memo file first: a data file that says it has a memo file is never left
    // without one.
    std::vector<unsigned char> block(dbf::kMemoBlockSize, 0);
    dbf::put32(&block[dbf::kMemoNextFreeOffset], 1);
    if (writeNewFile(c, memoName(dataName), block) != 0) return nullptr;
  }
  if (writeNewFile(c, dataName, bytes) != 0) {
    if (memo) removeFile(c, memoName(dataName));
    return nullptr;
  }
  return dataOpen(c, dataName.c_str());
}
