// Test helpers for the data-file tests: a temporary directory, dbf images built byte
// by byte (independently of dataCreate), a byte patcher, and an engine context that
// closes what it opened.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/scratch_dir.h"
#include "xbase/data/code4.h"
#include "xbase/data/data.h"
#include "xbase/data/error.h"

namespace dbftest {

using Bytes = std::vector<unsigned char>;

// A scratch directory whose files file() names.
class TempDir {
 public:
  std::string file(const std::string& name) const { return dir_.path(name); }

 private:
  ScratchDir dir_{"xdata"};
};

inline Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t le32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline uint16_t le16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

struct Field {
  std::string name;
  char type;
  int length;       // low byte goes to offset 16, high byte to 17 for C
  int decimals = 0;
};

// A dbf image: header, descriptors, 0x0D, the records (each given without its deletion
// flag unless flagged is set), and 0x1A.
struct Image {
  unsigned char version = 0x03;
  std::vector<Field> fields;
  std::vector<std::string> records;  // each: flag byte + field bytes
  bool terminator = true;
  bool endByte = true;

  int recordLength() const {
    int n = 1;
    for (const Field& f : fields) n += f.length;
    return n;
  }
  int headerLength() const {
    return 32 + 32 * static_cast<int>(fields.size()) + (terminator ? 1 : 0);
  }
  Bytes bytes() const {
    Bytes b(32, 0);
    b[0] = version;
    b[1] = 99;  // 1999-04-29: a date that is obviously not today
    b[2] = 4;
    b[3] = 29;
    uint32_t count = static_cast<uint32_t>(records.size());
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<unsigned char>(count >> (8 * i));
    b[8] = static_cast<unsigned char>(headerLength());
    b[9] = static_cast<unsigned char>(headerLength() >> 8);
    b[10] = static_cast<unsigned char>(recordLength());
    b[11] = static_cast<unsigned char>(recordLength() >> 8);
    for (const Field& f : fields) {
      Bytes slot(32, 0);
      std::memcpy(slot.data(), f.name.data(), f.name.size() < 11 ? f.name.size() : 11);
      slot[11] = static_cast<unsigned char>(f.type);
      if (f.type == 'C' || f.type == 'c') {
        slot[16] = static_cast<unsigned char>(f.length & 0xFF);
        slot[17] = static_cast<unsigned char>(f.length >> 8);
      } else {
        slot[16] = static_cast<unsigned char>(f.length);
        slot[17] = static_cast<unsigned char>(f.decimals);
      }
      b.insert(b.end(), slot.begin(), slot.end());
    }
    if (terminator) b.push_back(0x0D);
    for (const std::string& r : records) b.insert(b.end(), r.begin(), r.end());
    if (endByte) b.push_back(0x1A);
    return b;
  }
};

// An engine context for one test; quiet, no index group files, released at the end.
class Engine {
 public:
  Engine() {
    engineInit(&c);
    c.errQuiet = 1;
    c.autoOpen = 0;
  }
  ~Engine() { engineRelease(&c); }
  DataFile* open(const std::string& path) { return dataOpen(&c, path.c_str()); }
  int32_t code() const { return c.errorCode; }
  void clear() { engineErrorSet(&c, 0); }

  CODE4 c;
};

inline std::string fieldBytes(FieldInfo* f) { return std::string(fieldPtr(f), fieldLength(f)); }

}  // namespace dbftest
