#include "export/export_aside.h"

#include <fcntl.h>
#include <limits.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <vector>

#include "export/export_error.h"
#include "front/console.h"
#include "xbase/data/data.h"
#include "xbase/data/dbf_format.h"
#include "xbase/data/error.h"
#include "xbase/file/file.h"
#include "xbase/file/file_name.h"

namespace {

const char kNewData[] = ".exdrift-new.tmp";
const char kNewMemo[] = ".exdrift-new.dbt";
const char kBackup[] = ".exdrift-old";

// The path of the file open as `handle`, as the system knows it (symbolic links
// followed); empty when it cannot be told.
std::string pathOfHandle(int handle) {
  if (handle < 0) return {};
  char link[64], path[PATH_MAX];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", handle);
  const ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof path - 1) return {};
  return std::string(path, static_cast<size_t>(n));
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The file name without its directory and its last extension.
std::string stemOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

void removeIfThere(const std::string& path) {
  if (!path.empty()) unlink(path.c_str());
}

// Makes the renames in `directory` durable; a failure only costs durability
// against a power loss, so it is not reported.
void syncDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Creates `path` holding `bytes` through the engine's file layer, with `mode`.
// False when it could not be made whole (what was made is removed).
bool writeNewFile(CODE4* c, const std::string& path, const std::vector<unsigned char>& bytes,
                  mode_t mode) {
  EngineFile file;
  fileInit(&file);
  if (fileCreate(&file, c, path.c_str(), 1) != 0) return false;
  bool ok = fileWrite(&file, 0, bytes.data(), static_cast<uint32_t>(bytes.size())) == 0 &&
            fchmod(file.handle, mode) == 0;
  if (!ok) file.removeOnClose = 1;
  if (fileClose(&file) != 0) ok = false;
  if (!ok) removeIfThere(path);
  return ok;
}

mode_t modeOf(int handle) {
  struct stat st {};
  if (fstat(handle, &st) != 0) return 0644;
  return st.st_mode & 07777;
}

// Opens an existing file by its engine name, quietly and as the context's share
// settings say; the context's error code is left as it was.  True when it opened.
bool openQuietly(CODE4* c, EngineFile* file, const std::string& name) {
  const int32_t pending = engineErrorSet(c, 0);
  const int32_t loud = c->errOpenFile;
  c->errOpenFile = 0;
  fileInit(file);
  const bool opened = fileOpen(file, c, name.c_str(), 1) == 0;
  c->errOpenFile = loud;
  engineErrorSet(c, pending);
  return opened;
}

void closeQuietly(CODE4* c, EngineFile* file) {
  const int32_t pending = engineErrorSet(c, 0);
  fileClose(file);
  engineErrorSet(c, pending);
}

// The engine's form of a data file name with the extension `ext` (forced or as a
// default), upper case; empty when it does not fit.
std::string engineNameWith(const std::string& dbfPath, const char* ext, int force) {
  std::vector<char> name(dbfPath.size() + 8, 0);
  std::memcpy(name.data(), dbfPath.data(), dbfPath.size());
  if (fileSetExtension(name.data(), static_cast<int32_t>(name.size()), ext, force) != 0) return {};
  return name.data();
}

// A run ended by a signal (Ctrl-C, a hang-up, a kill) while the new files are
// being written removes them before it ends, as a failed section does; one that
// comes while they are put in place waits until the exchange is over, so that
// the exchange is never cut short by it.  Only async-signal-safe calls in the
// handler; the paths are those of the one AsideFile alive.
enum : sig_atomic_t { kNoNewFiles = 0, kWriting = 1, kExchanging = 2 };
volatile sig_atomic_t asideState = kNoNewFiles;
volatile sig_atomic_t heldSignal = 0;
const char* volatile asideData = nullptr;
const char* volatile asideMemo = nullptr;

void removeNewFilesAndEnd(int signalNumber) {
  if (asideState == kExchanging) {
    heldSignal = signalNumber;
    return;
  }
  if (asideState == kWriting) {
    if (asideData != nullptr) unlink(asideData);
    if (asideMemo != nullptr) unlink(asideMemo);
  }
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

}  // namespace

// The ending signals' handlers while the new files exist: installed before they are
// made, the caller's put back once they are gone or in place.  A signal the caller
// ignores (nohup, a background job) stays ignored.
class AsideFile::SignalGuard {
 public:
  SignalGuard(const std::string& data, const std::string& memo) {
    asideData = data.c_str();
    asideMemo = memo.empty() ? nullptr : memo.c_str();
    heldSignal = 0;
    asideState = kWriting;
    for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
      struct sigaction action {};
      action.sa_handler = removeNewFilesAndEnd;
      action.sa_flags = SA_RESTART;
      sigemptyset(&action.sa_mask);
      installed_[i] = sigaction(kEndingSignals[i], nullptr, &previous_[i]) == 0 &&
                      previous_[i].sa_handler != SIG_IGN &&
                      sigaction(kEndingSignals[i], &action, nullptr) == 0;
    }
  }
  ~SignalGuard() {
    asideState = kNoNewFiles;
    for (size_t i = 0; i < std::size(kEndingSignals); ++i)
      if (installed_[i]) sigaction(kEndingSignals[i], &previous_[i], nullptr);
    asideData = nullptr;
    asideMemo = nullptr;
  }
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;

  // Around the renames: a signal meanwhile is held, and acted on once they are over
  // (`placed`: whether the new files took the old ones' place).
  void beginExchange() { asideState = kExchanging; }
  void endExchange(bool placed) {
    asideState = placed ? kNoNewFiles : kWriting;
    if (const int held = heldSignal) removeNewFilesAndEnd(held);
  }

 private:
  struct sigaction previous_[std::size(kEndingSignals)]{};
  bool installed_[std::size(kEndingSignals)] = {};
};

AsideFile::AsideFile(DataFile* original, const std::string& dbfPath) : original_(original) {
  CODE4* c = dataContext(original);
  EngineFile* originalData = dataDbfFile(original);
  EngineFile* originalMemo = dataMemoFile(original);
  dataPath_ = pathOfHandle(originalData->handle);
  if (originalMemo != nullptr) memoPath_ = pathOfHandle(originalMemo->handle);
  if (dataPath_.empty() || (originalMemo != nullptr && memoPath_.empty()))
    throw ExportError("Can't tell where dbf-file lies, to write its new contents beside it");
  const std::string base = directoryOf(dataPath_) + "/" + stemOf(dataPath_);
  newDataPath_ = base + kNewData;
  if (!memoPath_.empty()) newMemoPath_ = base + kNewMemo;
  signals_ = std::make_unique<SignalGuard>(newDataPath_, newMemoPath_);

  // The header and field descriptors as they are, counting no records, then the
  // end-of-file byte.
  const uint32_t headerLength = dataHeader(original).headerLength;
  std::vector<unsigned char> header(headerLength + 1u, 0);
  bool ok = fileReadAll(originalData, 0, header.data(), headerLength) == 0;
  dbf::put32(&header[dbf::kRecordCountOffset], 0);
  header[headerLength] = dbf::kEndOfFile;

  // The memo file's first block as it is, its next free block the first after it.
  std::vector<unsigned char> memoHeader(dbf::kMemoBlockSize, 0);
  if (ok && !memoPath_.empty()) {
    fileRead(originalMemo, 0, memoHeader.data(), dbf::kMemoBlockSize);
    dbf::put32(&memoHeader[dbf::kMemoNextFreeOffset], 1);
  }
  ok = ok && c->errorCode >= 0;

  // Leftovers of a killed run were removed when the file was opened; a file of
  // that name now is not ours to overwrite, and the create fails on it.
  const int32_t mustBeNew = c->createFailsIfExists;
  c->createFailsIfExists = 1;
  if (ok && !newMemoPath_.empty())
    ok = writeNewFile(c, newMemoPath_, memoHeader, modeOf(originalMemo->handle));
  if (ok) ok = writeNewFile(c, newDataPath_, header, modeOf(originalData->handle));
  c->createFailsIfExists = mustBeNew;
  if (ok) {
    data_ = openNew(c, dbfPath);
    ok = data_ != nullptr;
  }
  if (!ok) {
    removeNewFiles();
    throw ExportError(formatText("Can't create '%s' for the new contents of dbf-file",
                                 newDataPath_.c_str()));
  }
}

DataFile* AsideFile::openNew(CODE4* c, const std::string& dbfPath) const {
  // By the directory the section names, so that the name is no longer than the one
  // the data file was opened by; by the full path when that directory is not where
  // the data file lies (a symbolic link).
  const size_t slash = newDataPath_.find_last_of('/');  // a system path: '/' only
  const std::string shortName = dbfPath.substr(0, dbfPath.size() - fileBaseName(dbfPath).size()) +
                                newDataPath_.substr(slash + 1);
  DataFile* data = dataOpen(c, shortName.c_str());
  if (data != nullptr && pathOfHandle(dataDbfFile(data)->handle) == newDataPath_) return data;
  if (data != nullptr) dataClose(data);
  engineErrorSet(c, 0);
  return dataOpen(c, newDataPath_.c_str());
}

AsideFile::~AsideFile() {
  if (!exchanged_) removeNewFiles();
}

void AsideFile::removeNewFiles() {
  if (data_ != nullptr) {
    CODE4* c = dataContext(data_);
    const int32_t pending = engineErrorSet(c, 0);
    dataChanged(data_, 0);  // a record a failure kept from being appended
    dataClose(data_);
    data_ = nullptr;
    engineErrorSet(c, pending);
  }
  removeIfThere(newDataPath_);
  removeIfThere(newMemoPath_);
}

void AsideFile::exchange() {
  if (dataFlush(data_) != 0)
    throw ExportError(formatText("Can't write the new contents of dbf-file to '%s'",
                                 newDataPath_.c_str()));
  const std::string dataBackup = dataPath_ + kBackup;
  const std::string memoBackup = memoPath_ + kBackup;
  struct Step {
    const std::string* from;
    const std::string* to;
  };
  std::vector<Step> steps;
  if (!memoPath_.empty()) {
    steps = {{&dataPath_, &dataBackup}, {&memoPath_, &memoBackup}, {&newMemoPath_, &memoPath_}};
  }
  steps.push_back({&newDataPath_, &dataPath_});

  signals_->beginExchange();
  for (size_t done = 0; done < steps.size(); ++done) {
    if (std::rename(steps[done].from->c_str(), steps[done].to->c_str()) == 0) continue;
    const int err = errno;
    while (done-- > 0) std::rename(steps[done].to->c_str(), steps[done].from->c_str());
    signals_->endExchange(false);
    throw ExportError(formatText("Can't put the new contents in place of dbf-file '%s': %s",
                                 dataPath_.c_str(), std::strerror(err)));
  }
  exchanged_ = true;
  syncDirectory(directoryOf(dataPath_));
  if (!memoPath_.empty()) {
    removeIfThere(dataBackup);
    removeIfThere(memoBackup);
  }
  signals_->endExchange(true);
  CODE4* c = dataContext(data_);
  const int32_t pending = engineErrorSet(c, 0);
  dataClose(data_);
  data_ = nullptr;
  engineErrorSet(c, pending);
}

void recoverInterruptedExchange(CODE4* c, const std::string& dbfPath) {
  const std::string dataName = engineNameWith(dbfPath, "DBF", 0);
  const std::string memoName = engineNameWith(dbfPath, "DBT", 1);
  if (dataName.empty() || memoName.empty()) return;
  EngineFile dataBackup, memoBackup;
  // A backup another run holds is part of an exchange under way: left alone.
  if (!openQuietly(c, &dataBackup, dataName + kBackup)) return;
  const std::string backupPath = pathOfHandle(dataBackup.handle);
  const size_t suffix = std::strlen(kBackup);
  if (backupPath.size() > suffix && !exists(backupPath.substr(0, backupPath.size() - suffix))) {
    // The memo file first: the old data file comes back only with its own memo file.
    bool memoBack = true;
    if (openQuietly(c, &memoBackup, memoName + kBackup)) {
      const std::string memoPath = pathOfHandle(memoBackup.handle);
      memoBack = memoPath.size() > suffix &&
                 std::rename(memoPath.c_str(),
                             memoPath.substr(0, memoPath.size() - suffix).c_str()) == 0;
      closeQuietly(c, &memoBackup);
    }
    if (memoBack)
      std::rename(backupPath.c_str(), backupPath.substr(0, backupPath.size() - suffix).c_str());
    syncDirectory(directoryOf(backupPath));
  }
  closeQuietly(c, &dataBackup);
}

void removeExchangeLeftovers(DataFile* data) {
  const std::string dataPath = pathOfHandle(dataDbfFile(data)->handle);
  if (dataPath.empty()) return;
  const std::string base = directoryOf(dataPath) + "/" + stemOf(dataPath);
  removeIfThere(base + kNewData);
  removeIfThere(base + kNewMemo);
  removeIfThere(dataPath + kBackup);
  if (EngineFile* memo = dataMemoFile(data)) {
    const std::string memoPath = pathOfHandle(memo->handle);
    if (!memoPath.empty()) removeIfThere(memoPath + kBackup);
  }
}

std::string groupFileOf(DataFile* data) {
  const std::string dataPath = pathOfHandle(dataDbfFile(data)->handle);
  if (dataPath.empty()) return {};
  const std::string wanted = stemOf(dataPath) + ".cgp";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directoryOf(dataPath), error)) {
    const std::string name = entry.path().filename().string();
    if (strcasecmp(name.c_str(), wanted.c_str()) == 0) return name;
  }
  return {};
}
