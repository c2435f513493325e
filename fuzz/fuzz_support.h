// Helpers shared by the fuzz targets: a scratch directory that lives as long
// as the process, and a reader that cuts the fuzzer's bytes into parts.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

// A directory made once per process (on /dev/shm when there is one, so the
// file targets stay fast); the process works inside it.
// Never destroyed: the removal at exit runs after static destructors.
inline const std::string& scratchDir() {
  static const std::string* dir = [] {
    auto* pattern = new std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm/drift-fuzz-XXXXXX"
                                                                  : "/tmp/drift-fuzz-XXXXXX");
    if (mkdtemp(pattern->data()) == nullptr || chdir(pattern->c_str()) != 0) std::abort();
    std::atexit([] { std::system(("rm -rf " + scratchDir()).c_str()); });
    return pattern;
  }();
  return *dir;
}

inline void writeFile(const std::string& path, std::string_view bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  std::fclose(f);
}

// Splits the input at a separator line: part(0) is the bytes before the first
// separator, part(1) those between the first and the second, and so on.
class Parts {
 public:
  Parts(const uint8_t* data, size_t size, std::string_view separator)
      : rest_(reinterpret_cast<const char*>(data), size), separator_(separator) {}
  // The next part; the last one takes everything that is left.
  std::string_view next() {
    size_t at = rest_.find(separator_);
    std::string_view part = rest_.substr(0, at);
    rest_ = at == std::string_view::npos ? std::string_view() : rest_.substr(at + separator_.size());
    return part;
  }
  bool done() const { return rest_.empty(); }

 private:
  std::string_view rest_;
  std::string_view separator_;
};

}  // namespace fuzz
