#include "xbase/data/code_page.h"

#include <fcntl.h>

#include <array>
#include <cstdio>
#include <memory>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "text/single_byte.h"
#include "xbase/file/file_internal.h"
#include "xbase/file/file_name.h"
#include "xbase/file/os.h"

namespace {

struct DriverEntry {
  uint8_t id;
  int codePage;
};

// Language-driver bytes and their code pages.  Where a code page has several
// bytes, the first listed is the one a new file records.
constexpr DriverEntry kDrivers[] = {
    {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x08, 865},  {0x09, 437},  {0x0A, 850},
    {0x0B, 437},  {0x0D, 437},  {0x0E, 850},  {0x0F, 437},  {0x10, 850},  {0x11, 437},
    {0x12, 850},  {0x13, 932},  {0x14, 850},  {0x15, 437},  {0x16, 850},  {0x17, 865},
    {0x18, 437},  {0x19, 437},  {0x1A, 850},  {0x1B, 437},  {0x1C, 863},  {0x1D, 850},
    {0x1F, 852},  {0x22, 852},  {0x23, 852},  {0x24, 860},  {0x25, 850},  {0x26, 866},
    {0x37, 850},  {0x40, 852},  {0x4D, 936},  {0x4E, 949},  {0x4F, 950},  {0x50, 874},
    {0x57, 1252}, {0x58, 1252}, {0x59, 1252}, {0x64, 852},  {0x65, 866},  {0x66, 865},
    {0x67, 861},  {0x6A, 737},  {0x6B, 857},  {0x78, 950},  {0x79, 949},  {0x7A, 936},
    {0x7B, 932},  {0x7C, 874},  {0x7D, 1255}, {0x7E, 1256}, {0xC8, 1250}, {0xC9, 1251},
    {0xCA, 1254}, {0xCB, 1253}, {0xCC, 1257},
};

// The byte a new file records, where it is not the first of kDrivers.
constexpr DriverEntry kPreferred[] = {{0x65, 866}, {0x66, 865}, {0x7C, 874}, {0x64, 852}};

// One code page's characters, decoded byte by byte through iconv.
std::unique_ptr<std::array<uint32_t, 256>> buildTable(int codePage) {
  char name[16];
  std::snprintf(name, sizeof name, "CP%d", codePage);
  auto table = std::make_unique<std::array<uint32_t, 256>>();
  if (!text::decodeSingleByteSet(name, *table)) return nullptr;
  return table;
}

}  // namespace

int codePageOfLanguageDriver(uint8_t languageDriver) {
  for (const DriverEntry& e : kDrivers)
    if (e.id == languageDriver) return e.codePage;
  return kDefaultCodePage;
}

int languageDriverOfCodePage(int codePage) {
  for (const DriverEntry& e : kPreferred)
    if (e.codePage == codePage) return e.id;
  if (codePageIsMultiByte(codePage)) return -1;
  for (const DriverEntry& e : kDrivers)
    if (e.codePage == codePage) return e.id;
  return -1;
}

bool codePageIsMultiByte(int codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 ||
         codePage == kUtf8CodePage;
}

int dataCodePage(const DataFile* data) {
  for (const DriverEntry& e : kDrivers)
    if (e.id == data->languageDriver) return e.codePage;
  const int fromCpg =
      data->file.name ? cpgCodePage(data->file.name, data->systemPath, data->caseTwin) : 0;
  return fromCpg != 0 ? fromCpg : kDefaultCodePage;
}

int cpgCodePage(const char* dataName, const char* spelling, bool exactName) {
  // The side file: the data file's name with the extension CPG.
  std::string name = dataName;
  const std::string_view base = fileBaseName(name);
  const size_t dot = base.rfind('.');
  if (dot != std::string_view::npos) name.resize(name.size() - base.size() + dot);
  name += ".CPG";
  const std::string spelled = spelling != nullptr ? fileSpelling(spelling, "CPG", true) : "";
  std::string path;
  const char* hint = spelling != nullptr ? spelled.c_str() : nullptr;
  if (osPathOf(name.c_str(), &path, hint, exactName) != 0) return 0;
  OsFiles& os = osFiles();
  int fd = -1;
  if (os.open(path.c_str(), O_RDONLY, 0, &fd) != 0) return 0;
  char text[64];
  size_t got = 0;
  const int err = os.pread(fd, text, sizeof text - 1, 0, &got);
  os.close(fd);
  if (err != 0) return 0;
  return parseCpgText(std::string(text, got));
}

int parseCpgText(const std::string& text) {
  std::string t;
  for (char ch : text) {
    if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n') {
      if (!t.empty() && t.back() != ' ') t += ' ';
      continue;
    }
    t += static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
  }
  while (!t.empty() && t.back() == ' ') t.pop_back();
  if (t == "UTF-8" || t == "UTF8") return kUtf8CodePage;
  // CP1251, 1251, ANSI 1251, OEM 866, WINDOWS-1251, IBM866.
  for (const char* prefix : {"CP", "ANSI ", "OEM ", "WINDOWS-", "IBM", ""}) {
    const size_t n = std::strlen(prefix);
    if (t.compare(0, n, prefix) != 0) continue;
    const std::string digits = t.substr(n);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
      continue;
    const int codePage = std::atoi(digits.c_str());
    if (languageDriverOfCodePage(codePage) >= 0 || codePageIsMultiByte(codePage) || codePage == 1258)
      return codePage;
  }
  return 0;
}

const uint32_t* codePageCharacters(int codePage) {
  if (codePage <= 0 || codePageIsMultiByte(codePage)) return nullptr;
  static std::mutex mutex;
  struct Slot {
    int codePage;
    std::unique_ptr<std::array<uint32_t, 256>> table;
  };
  static Slot slots[64];  // more than the code pages iconv is asked about
  std::lock_guard<std::mutex> lock(mutex);
  for (Slot& s : slots) {
    if (s.codePage == codePage) return s.table ? s.table->data() : nullptr;
    if (s.codePage == 0) {
      s.codePage = codePage;
      s.table = buildTable(codePage);
      return s.table ? s.table->data() : nullptr;
    }
  }
  return nullptr;
}
