// dbftool's index commands: index, list, seek, check, append, zap and eval.
//
// Commands that change a file open it shared and read-write; a group file named with
// --group is opened with it (without --group, FILE.CGP is opened when it exists).
// Commands that only read open everything read-only and shared.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/dbftool/command.h"
#include "tools/dbftool/field_values.h"
#include "tools/dbftool/tool_util.h"
#include "xbase/data/code_page.h"
#include "xbase/data/error.h"
#include "xbase/file/conv.h"
#include "xbase/index/expr.h"
#include "xbase/index/ntx.h"

namespace dbftool {
namespace {

struct IndexArgs {
  std::vector<std::string> args;
  std::string group, filter;
  bool unique = false, descending = false, hasRecno = false;
  long recno = 1;
  long wait = kDefaultWait;  // seconds a lock held by another process is waited for

  static constexpr long kDefaultWait = 10;
};

// Reads the options a command allows; anything else starting with "--" is refused.
bool parseIndexArgs(int argc, char** argv, const std::vector<std::string>& allowed,
                    IndexArgs* out) {
  auto allows = [&](const char* o) {
    for (const std::string& a : allowed)
      if (a == o) return true;
    return false;
  };
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--", 0) != 0 || a == "--") {
      out->args.push_back(a);
      continue;
    }
    if (!allows(a.c_str())) {
      std::fprintf(stderr, "dbftool: unknown option '%s'\n", a.c_str());
      return false;
    }
    if (a == "--unique") {
      out->unique = true;
    } else if (a == "--descending") {
      out->descending = true;
    } else {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "dbftool: %s needs a value\n", a.c_str());
        return false;
      }
      std::string v = argv[++i];
      if (a == "--group") out->group = v;
      else if (a == "--for") out->filter = v;
      else if (a == "--wait") {
        char* end = nullptr;
        out->wait = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || out->wait < 0 || out->wait > 3600) {
          std::fprintf(stderr, "dbftool: --wait takes seconds from 0 to 3600\n");
          return false;
        }
      }
      else if (a == "--recno") {
        char* end = nullptr;
        out->recno = std::strtol(v.c_str(), &end, 10);
        out->hasRecno = true;
        if (v.empty() || *end != '\0' || out->recno < 1) {
          std::fprintf(stderr, "dbftool: --recno takes a record number from 1\n");
          return false;
        }
      }
    }
  }
  return true;
}

// A data file with its own context, opened for the index commands.
class IndexedData {
 public:
  IndexedData(const std::string& path, bool writable, const std::string& group,
              long wait = IndexArgs::kDefaultWait) {
    engineInit(&context_);
    context_.errQuiet = 1;
    // Locks held by another process are tried once a second for `wait` seconds, then
    // the command gives up (50) instead of waiting without end.
    context_.lockTries = static_cast<int32_t>(wait);
    wait_ = wait;
    context_.openReadOnly = writable ? 0 : 1;
    if (!writable) context_.bufferingMode = 1;  // records read a block at a time
    context_.autoOpen = group.empty() && writable ? 1 : 0;
    data_ = dataOpen(&context_, path.c_str());
    if (data_ && !group.empty() && writable && !i4open(data_, group.c_str())) {
      dataClose(data_);
      data_ = nullptr;
    }
  }
  ~IndexedData() {
    if (data_) dataClose(data_);
    exprCalcClearAll(&context_);
    engineRelease(&context_);
  }
  DataFile* data() const { return data_; }
  CODE4* context() { return &context_; }
  // Fails with the engine's text for the error (rc when the context holds none: a
  // lock refused is only returned), the detail of its report (which tag, why), and
  // for a lock how long was waited.
  int fail(const std::string& file, int rc = 0) {
    int code = engineErrorCode(&context_);
    if (code == 0 && rc != 0) code = rc;
    std::string message = engineMessage(code);
    if (code < 0) message += engineDetail(&context_);
    if (code == resultLocked || code == errorLock)
      message += "; gave up after " + std::to_string(wait_) + " s";
    return dbftool::fail(file, message);
  }
  // The tag opened alone, or the open tag of that file: found by the file itself, not
  // by its name, which a twin differing only in case shares.
  IndexTag* tag(const std::string& name) { return t4open(data_, nullptr, name.c_str()); }

 private:
  CODE4 context_;
  DataFile* data_ = nullptr;
  long wait_ = 0;
};

std::string shownKey(IndexTag* tag, const uint8_t* key) {
  std::string s(reinterpret_cast<const char*>(key), tag->keySize);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

int runIndex(int argc, char** argv) {
  IndexArgs a;
  if (!parseIndexArgs(argc, argv, {"--unique", "--descending", "--for", "--group", "--wait"}, &a))
    return 1;
  if (a.args.size() != 3) {
    std::fprintf(stderr, "usage: dbftool index FILE TAG.NTX EXPR [--unique] [--descending] "
                         "[--for EXPR] [--group GROUP.CGP] [--wait SECONDS]\n");
    return 1;
  }
  IndexedData file(a.args[0], true, "", a.wait);
  if (!file.data()) return file.fail(a.args[0]);
  // Text constants of the expressions compare with the bytes of the file's code page.
  std::string keyExpr = utf8ToCodePage(a.args[2], dataCodePage(file.data())),
              filter = utf8ToCodePage(a.filter, dataCodePage(file.data()));
  TagCreateInfo info{a.args[1].c_str(), keyExpr.c_str(), filter.empty() ? nullptr : filter.c_str(),
                     a.unique ? 1 : 0, a.descending ? 1 : 0};
  IndexTag* tag = tagCreate(file.data(), &info, a.group.empty() ? nullptr : a.group.c_str());
  if (!tag) return file.fail(a.args[1]);
  int32_t entries = 0;
  for (int rc = tagFirst(tag); rc == 0; rc = tagNext(tag)) ++entries;
  std::printf("%s: %d keys of %d bytes\n", a.args[1].c_str(), entries, tag->keySize);
  return 0;
}

int runList(int argc, char** argv) {
  IndexArgs a;
  if (!parseIndexArgs(argc, argv, {}, &a)) return 1;
  if (a.args.size() != 2) {
    std::fprintf(stderr, "usage: dbftool list FILE TAG.NTX\n");
    return 1;
  }
  IndexedData file(a.args[0], false, "");
  if (!file.data()) return file.fail(a.args[0]);
  IndexTag* tag = file.tag(a.args[1]);
  if (!tag) return file.fail(a.args[1]);
  const Encoding shown = Encoding::ofCodePage(dataCodePage(file.data()));
  int rc = tag->descending ? tagLast(tag) : tagFirst(tag);
  while (rc == 0) {
    std::printf("%d\t%s\n", tagCurrentRecno(tag),
                displayText(shownKey(tag, tagCurrentKey(tag)), shown).c_str());
    rc = tag->descending ? tagPrevious(tag) : tagNext(tag);
  }
  if (rc < 0) return file.fail(a.args[1]);
  return 0;  // standard output is checked at exit (process.cc)
}

int runSeek(int argc, char** argv) {
  IndexArgs a;
  if (!parseIndexArgs(argc, argv, {}, &a)) return 1;
  if (a.args.size() != 3) {
    std::fprintf(stderr, "usage: dbftool seek FILE TAG.NTX VALUE\n");
    return 1;
  }
  IndexedData file(a.args[0], false, "");
  if (!file.data()) return file.fail(a.args[0]);
  IndexTag* tag = file.tag(a.args[1]);
  if (!tag) return file.fail(a.args[1]);
  std::vector<uint8_t> key(tag->keySize);
  std::string value =
      tag->keyType == 'C' ? utf8ToCodePage(a.args[2], dataCodePage(file.data())) : a.args[2];
  int32_t len = tagKeyFromText(tag, value.c_str(), key.data());
  if (len < 0)
    return fail(a.args[1], "'" + a.args[2] + "' is not a value of the key's type " +
                               std::string(1, tag->keyType));
  auto equal = [&]() { return std::memcmp(tagCurrentKey(tag), key.data(), static_cast<size_t>(len)) == 0; };
  int rc = tagSeek(tag, key.data(), len);
  bool exact = rc == 0 && equal();
  if (tag->descending && rc >= 0) {
    // In descending order "at or after" means the last key at or below the value.
    if (exact) {
      int32_t recno = tagCurrentRecno(tag);
      std::vector<uint8_t> at(tagCurrentKey(tag), tagCurrentKey(tag) + tag->keySize);
      while ((rc = tagNext(tag)) == 0 && equal()) {
        recno = tagCurrentRecno(tag);
        at.assign(tagCurrentKey(tag), tagCurrentKey(tag) + tag->keySize);
      }
      if (rc < 0) return file.fail(a.args[1]);
      std::string shown = shownKey(tag, at.data());
      std::printf("{\"recno\":%d,\"key\":%s,\"exact\":true}\n", recno,
                  jsonString(shown, Encoding::ofCodePage(dataCodePage(file.data()))).c_str());
      return 0;
    }
    rc = rc == resultAtEnd ? tagLast(tag) : tagPrevious(tag);
    if (rc == resultAtBeginning) rc = resultAtEnd;
  }
  if (rc < 0) return file.fail(a.args[1]);
  if (rc != 0) return 1;
  std::printf("{\"recno\":%d,\"key\":%s,\"exact\":%s}\n", tagCurrentRecno(tag),
              jsonString(shownKey(tag, tagCurrentKey(tag)), Encoding::ofCodePage(dataCodePage(file.data())))
                  .c_str(),
              exact ? "true" : "false");
  return 0;
}

int runCheck(int argc, char** argv) {
  IndexArgs a;
  if (!parseIndexArgs(argc, argv, {}, &a)) return 1;
  if (a.args.size() < 2) {
    std::fprintf(stderr, "usage: dbftool check FILE TAG.NTX...\n");
    return 1;
  }
  IndexedData file(a.args[0], false, "");
  if (!file.data()) return file.fail(a.args[0]);
  for (size_t i = 1; i < a.args.size(); ++i) {
    IndexTag* tag = file.tag(a.args[i]);
    if (!tag) return file.fail(a.args[i]);
    char message[400];
    if (tagCheck(tag, message, sizeof message) != 0) return fail(a.args[i], message);
    std::printf("%s: sound\n", a.args[i].c_str());
  }
  return 0;
}

int runAppend(int argc, char** argv) {
  IndexArgs a;
  if (!parseIndexArgs(argc, argv, {"--group", "--wait"}, &a)) return 1;
  if (a.args.size() < 1) {
    std::fprintf(stderr, "usage: dbftool append FILE [--group GROUP.CGP] [--wait SECONDS] "
                         "NAME=VALUE ...\n");
    return 1;
  }
  IndexedData file(a.args[0], true, a.group, a.wait);
  DataFile* d = file.data();
  if (!d) return file.fail(a.args[0]);
  if (int rc = dataAppendStart(d, 0); rc != 0) return file.fail(a.args[0], rc);
  dataBlank(d);
  if (assignFieldValues(d, a.args[0], a.args, 1) != 0) return 1;
  int rc = dataAppend(d);
  if (rc == resultUniqueKey) return fail(a.args[0], "a unique tag refused the key; nothing was appended");
  if (rc != 0) return file.fail(a.args[0], rc);
  std::printf("%d\n", dataRecordNumber(d));
  return 0;
}

int runZap(int argc, char** argv) {
  IndexArgs a;
  if (!parseIndexArgs(argc, argv, {"--group", "--wait"}, &a)) return 1;
  if (a.args.size() != 1) {
    std::fprintf(stderr, "usage: dbftool zap FILE [--group GROUP.CGP] [--wait SECONDS]\n");
    return 1;
  }
  IndexedData file(a.args[0], true, a.group, a.wait);
  if (!file.data()) return file.fail(a.args[0]);
  if (int rc = dataZap(file.data(), 1, kZapThroughLast); rc != 0) return file.fail(a.args[0], rc);
  return 0;
}

int runEval(int argc, char** argv) {
  IndexArgs a;
  if (!parseIndexArgs(argc, argv, {"--recno"}, &a)) return 1;
  if (a.args.size() != 2) {
    std::fprintf(stderr, "usage: dbftool eval FILE EXPR [--recno N]\n");
    return 1;
  }
  IndexedData file(a.args[0], false, "");
  DataFile* d = file.data();
  if (!d) return failEngine(a.args[0], file.context());
  int32_t count = dataRecordCount(d);
  if (a.hasRecno || count > 0) {
    if (a.recno > count) return fail(a.args[0], "no record " + std::to_string(a.recno));
    if (dataGo(d, static_cast<int32_t>(a.recno)) != 0) return failEngine(a.args[0], file.context());
  }
  std::string text = utf8ToCodePage(a.args[1], dataCodePage(d));  // constants as the file's bytes
  CompiledExpr* expr = exprCompile(d, text.c_str());
  if (!expr) {
    const int code = engineErrorCode(file.context());
    std::string message = engineMessage(code);
    // Two stored names equal to a name of the expression ignoring case: name them.
    const std::string detail = errorDetail(file.context());
    const size_t both = detail.find('\n');
    if (code == errorFieldName && both != std::string::npos) message += ": " + detail.substr(both + 1);
    return fail(a.args[1], message);
  }
  char* result = nullptr;
  int32_t len = exprEvaluate(expr, &result);
  if (len < 0) {
    exprFree(expr);
    // A memo that cannot be read says what is wrong with it.
    return fail(a.args[1], engineMessage(engineErrorCode(file.context())) + engineDetail(file.context()));
  }
  char type = exprType(expr);
  std::string value;
  if (type == 'L') {
    int32_t v;
    std::memcpy(&v, result, sizeof v);
    value = v ? ".T." : ".F.";
  } else if (type == 'n') {
    double v;
    std::memcpy(&v, result, sizeof v);
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", v);
    value = text;
  } else if (type == 'd') {
    double v;
    std::memcpy(&v, result, sizeof v);
    char date[9] = {};
    julianToDate(static_cast<int32_t>(v), date);
    value = date;
  } else {
    value.assign(result, static_cast<size_t>(len));
  }
  exprFree(expr);
  std::printf("{\"type\":\"%c\",\"length\":%d,\"value\":%s}\n", type, len,
              jsonString(value, Encoding::ofCodePage(dataCodePage(d))).c_str());
  return 0;
}

}  // namespace

DBFTOOL_COMMAND("index",
                "index FILE TAG.NTX EXPR [--unique] [--descending] [--for EXPR] [--group GROUP.CGP] "
                "[--wait SECONDS]",
                runIndex);
DBFTOOL_COMMAND("list", "list FILE TAG.NTX", runList);
DBFTOOL_COMMAND("seek", "seek FILE TAG.NTX VALUE", runSeek);
DBFTOOL_COMMAND("check", "check FILE TAG.NTX...", runCheck);
DBFTOOL_COMMAND("append", "append FILE [--group GROUP.CGP] [--wait SECONDS] NAME=VALUE ...",
                runAppend);
DBFTOOL_COMMAND("zap", "zap FILE [--group GROUP.CGP] [--wait SECONDS]", runZap);
DBFTOOL_COMMAND("eval", "eval FILE EXPR [--recno N]", runEval);

}  // namespace dbftool
