// Fault-loop support: a data file whose every record can be checked on its own.
//
// Record k (k >= 1) holds NAME "R<k>", AMOUNT k * 1.25 and a memo of k * 37 bytes
// ("k:" followed by letters), or, once rewritten, NAME "R<k>" with AMOUNT -k and the
// memo text changedMemo(k).  checkFile() opens a file with the fault wrapper gone and
// says what is wrong with it: the count the engine derives must equal the complete
// records the file holds, and every record must be whole, each value from one of
// those versions.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/scratch_dir.h"
#include "xbase/data/code4.h"
#include "xbase/data/data.h"
#include "xbase/data/dbf_format.h"
#include "xbase/data/error.h"
#include "xbase/file/os.h"

namespace faults {

inline std::string memoFor(int32_t k) {
  std::string text = std::to_string(k) + ":";
  while (static_cast<int32_t>(text.size()) < k * 37) text += static_cast<char>('a' + text.size() % 26);
  return text;
}
// Odd records grow past their memo blocks when changed, even ones fit in place.
inline std::string changedMemo(int32_t k) {
  return "changed " + std::to_string(k) + std::string(k % 2 ? 700 : 0, 'x');
}

inline const FieldDef kFields[] = {
    {"NAME", 'C', 10, 0}, {"AMOUNT", 'N', 10, 2}, {"NOTES", 'M', 0, 0}};

// Fills the prepared record buffer with record k (or its changed version).
inline void fillRecord(DataFile* d, int32_t k, bool changed = false) {
  std::string name = "R" + std::to_string(k);
  fieldAssignText(dataFieldByName(d, "NAME"), name.data(), static_cast<int32_t>(name.size()));
  fieldAssignDouble(dataFieldByName(d, "AMOUNT"), changed ? -k : k * 1.25);
  std::string memo = changed ? changedMemo(k) : memoFor(k);
  memoAssign(dataFieldByName(d, "NOTES"), memo.data(), static_cast<int32_t>(memo.size()));
}

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_.enter("drift-fault");
    if (HasFatalFailure()) return;
    errorSetKeyWaiter(&noKey);
  }
  void TearDown() override {
    errorSetKeyWaiter(nullptr);
    scratch_.leave();
  }
  static void noKey() {}

  // BASE.DBF / BASE.DBT with records 1..count; the run copies start from it.
  void makeBase(int32_t count) {
    CODE4 c;
    engineInit(&c);
    c.errQuiet = 1;
    DataFile* d = dataCreate(&c, "BASE.DBF", kFields, 3);
    ASSERT_NE(d, nullptr) << c.errorCode;
    for (int32_t k = 1; k <= count; ++k) {
      ASSERT_EQ(dataAppendStart(d, 0), 0);
      dataBlank(d);
      fillRecord(d, k);
      ASSERT_EQ(dataAppend(d), 0);
    }
    ASSERT_EQ(dataClose(d), 0);
    engineRelease(&c);
  }
  // Fresh RUN.DBF / RUN.DBT from the base.
  static void freshRun() {
    namespace fs = std::filesystem;
    for (const char* ext : {".DBF", ".DBT"})
      fs::copy_file(std::string("BASE") + ext, std::string("RUN") + ext,
                    fs::copy_options::overwrite_existing);
  }

  // Empty when the file is sound; else what is wrong.  maxK: the highest record
  // number the file may hold.
  static std::string checkFile(const char* name, int32_t maxK, int32_t* countOut = nullptr) {
    OsFiles* previous = osInstall(nullptr);  // the real system calls
    std::string problem = checkFileNow(name, maxK, countOut);
    osInstall(previous);
    return problem;
  }

  ScratchDir scratch_;

 private:
  static std::string checkFileNow(const char* name, int32_t maxK, int32_t* countOut) {
    CODE4 c;
    engineInit(&c);
    c.errQuiet = 1;
    std::string problem;
    DataFile* d = dataOpen(&c, name);
    if (d == nullptr) {
      problem = "does not open: " + std::to_string(c.errorCode);
      engineRelease(&c);
      return problem;
    }
    struct stat st {};
    std::string path = std::string(name) + ".DBF";
    stat(path.c_str(), &st);
    int64_t body = st.st_size - d->header.headerLength;
    int64_t whole = body > 0 ? body / d->recordLength : 0;
    int32_t count = dataRecordCount(d);
    if (countOut) *countOut = count;
    if (count != whole) problem = "count " + std::to_string(count) + " for " + std::to_string(whole) + " records";
    FieldInfo* nameField = dataFieldByName(d, "NAME");
    FieldInfo* amount = dataFieldByName(d, "AMOUNT");
    FieldInfo* notes = dataFieldByName(d, "NOTES");
    for (int32_t n = 1; problem.empty() && n <= count; ++n) {
      if (dataGo(d, n) != 0) {
        problem = "record " + std::to_string(n) + " unreadable: " + std::to_string(c.errorCode);
        break;
      }
      char flag = d->record[0];
      std::string text(fieldPtr(nameField), 10);
      int32_t k = text[0] == 'R' ? atoi(text.c_str() + 1) : 0;
      const char* memo = memoText(notes);
      std::string memoText = memo ? std::string(memo, memoLength(notes)) : "<error>";
      double value = fieldDouble(amount);
      // A memo that fits its old blocks is rewritten in place before the record is
      // written, so a failure between the two leaves the old record with the new
      // memo: each value is whole, from one version or the other.
      bool valueWhole = value == k * 1.25 || value == -k;
      bool memoWhole = memoText == memoFor(k) || memoText == changedMemo(k);
      if ((flag != ' ' && flag != '*') || k < 1 || k > maxK || !valueWhole || !memoWhole)
        problem = "record " + std::to_string(n) + " is not whole: [" +
                  std::string(d->record, d->recordLength) + "] memo [" + memoText.substr(0, 40) + "]";
    }
    dataClose(d);
    engineRelease(&c);
    return problem;
  }
};

// What the engine printed for a failure: code and table text, and the file's name.
inline ::testing::AssertionResult reportedError(const std::string& printed, int32_t code) {
  if (code >= 0) return ::testing::AssertionFailure() << "no error code: " << code;
  if (printed.find("Error Number") == std::string::npos)
    return ::testing::AssertionFailure() << "nothing printed for " << code;
  char number[12];
  snprintf(number, sizeof number, "%6d", code);
  if (printed.find(number) == std::string::npos)
    return ::testing::AssertionFailure() << "code " << code << " not in [" << printed << "]";
  if (const char* text = errorCodeText(code); text && printed.find(text) == std::string::npos)
    return ::testing::AssertionFailure() << "text of " << code << " not in [" << printed << "]";
  return ::testing::AssertionSuccess();
}

}  // namespace faults
