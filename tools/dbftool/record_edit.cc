// dbftool's record edits: replace, delete and recall change one record in place
// through the engine, so every open tag follows the change.
//
// The data file is opened shared and read-write with its group file (the one named
// with --group, else FILE.CGP when it exists).  Unique tags refuse an equal key: a
// change that one of them refuses is not made, in the record or in any tag.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/dbftool/command.h"
#include "tools/dbftool/field_values.h"
#include "tools/dbftool/tool_util.h"
#include "xbase/data/error.h"
#include "xbase/index/expr.h"
#include "xbase/index/ntx.h"

namespace dbftool {
namespace {

struct EditArgs {
  std::vector<std::string> args;
  std::string group;
  long wait = 10;  // seconds a lock held by another process is waited for
};

// FILE RECNO ... with --group GROUP.CGP and --wait SECONDS anywhere; other options
// are refused.
bool parseEditArgs(int argc, char** argv, EditArgs* out) {
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--group" || a == "--wait") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "dbftool: %s needs a value\n", a.c_str());
        return false;
      }
      std::string v = argv[++i];
      if (a == "--group") {
        out->group = v;
        continue;
      }
      char* end = nullptr;
      out->wait = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || out->wait < 0 || out->wait > 3600) {
        std::fprintf(stderr, "dbftool: --wait takes seconds from 0 to 3600\n");
        return false;
      }
    } else if (a.rfind("--", 0) == 0 && a != "--") {
      std::fprintf(stderr, "dbftool: unknown option '%s'\n", a.c_str());
      return false;
    } else {
      out->args.push_back(a);
    }
  }
  return true;
}

// The data file with its own context and tags, positioned on one record.
class EditedRecord {
 public:
  EditedRecord(const std::string& path, const std::string& group, long wait)
      : path_(path), wait_(wait) {
    engineInit(&context_);
    context_.errQuiet = 1;
    // Locks held by another process are tried once a second for `wait` seconds, then
    // the edit gives up (50) instead of waiting without end.
    context_.lockTries = static_cast<int32_t>(wait);
    context_.openReadOnly = 0;
    context_.autoOpen = group.empty() ? 1 : 0;
    context_.uniqueKeyCode = resultUniqueKey;
    data_ = dataOpen(&context_, path.c_str());
    if (data_ && !group.empty() && !i4open(data_, group.c_str())) {
      dataClose(data_);
      data_ = nullptr;
    }
  }
  ~EditedRecord() {
    if (data_) {
      // A refused change stays out of the file.
      if (!written_) dataChanged(data_, 0);
      dataClose(data_);
    }
    exprCalcClearAll(&context_);
    engineRelease(&context_);
  }
  EditedRecord(const EditedRecord&) = delete;
  EditedRecord& operator=(const EditedRecord&) = delete;

  DataFile* data() const { return data_; }

  // Goes to record `text` (digits, 1 to the record count); on a failure, also of the
  // open, prints it and returns false.
  bool go(const std::string& text) {
    if (!data_) {
      failEngine(path_, &context_);
      return false;
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
      fail(path_, "'" + text + "' is not a record number");
      return false;
    }
    int32_t count = dataRecordCount(data_);
    if (count < 0) {
      failEngine(path_, &context_);
      return false;
    }
    long long n = text.size() > 10 ? -1 : std::strtoll(text.c_str(), nullptr, 10);
    if (n < 1 || n > count) {
      fail(path_, "no record " + text + " (the file has " + std::to_string(count) + ")");
      return false;
    }
    if (dataGo(data_, static_cast<int32_t>(n)) != 0) {
      failEngine(path_, &context_);
      return false;
    }
    return true;
  }

  // Writes the changed record back, and the tags with it; prints the failure.
  int write() {
    int rc = dataFlush(data_);
    if (rc == 0) {
      written_ = true;
      return 0;
    }
    std::string recno = std::to_string(dataRecordNumber(data_));
    if (rc == resultUniqueKey)
      return fail(path_, "a unique tag refused the key; record " + recno + " was not changed");
    if (rc == resultLocked)
      return fail(path_, "record " + recno + " or a tag is locked by another process; nothing was changed "
                         "(gave up after " + std::to_string(wait_) + " s)");
    return failEngine(path_, &context_);
  }

 private:
  std::string path_;
  CODE4 context_;
  DataFile* data_ = nullptr;
  long wait_ = 0;
  bool written_ = false;
};

int runReplace(int argc, char** argv) {
  EditArgs a;
  if (!parseEditArgs(argc, argv, &a)) return 1;
  if (a.args.size() < 3) {
    std::fprintf(stderr, "usage: dbftool replace FILE RECNO [--group GROUP.CGP] [--wait SECONDS] NAME=VALUE ...\n");
    return 1;
  }
  EditedRecord record(a.args[0], a.group, a.wait);
  if (!record.go(a.args[1])) return 1;
  if (assignFieldValues(record.data(), a.args[0], a.args, 2) != 0) return 1;
  return record.write();
}

// delete and recall: the deletion mark of one record.
int runMark(int argc, char** argv, const char* command, void (*mark)(DataFile*)) {
  EditArgs a;
  if (!parseEditArgs(argc, argv, &a)) return 1;
  if (a.args.size() != 2) {
    std::fprintf(stderr, "usage: dbftool %s FILE RECNO [--group GROUP.CGP] [--wait SECONDS]\n", command);
    return 1;
  }
  EditedRecord record(a.args[0], a.group, a.wait);
  if (!record.go(a.args[1])) return 1;
  mark(record.data());
  return record.write();
}

int runDelete(int argc, char** argv) { return runMark(argc, argv, "delete", dataDelete); }
int runRecall(int argc, char** argv) { return runMark(argc, argv, "recall", dataRecall); }

}  // namespace

DBFTOOL_COMMAND("replace", "replace FILE RECNO [--group GROUP.CGP] [--wait SECONDS] NAME=VALUE ...", runReplace);
DBFTOOL_COMMAND("delete", "delete FILE RECNO [--group GROUP.CGP] [--wait SECONDS]", runDelete);
DBFTOOL_COMMAND("recall", "recall FILE RECNO [--group GROUP.CGP] [--wait SECONDS]", runRecall);

}  // namespace dbftool
