#include "xbase/data/error.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "xbase/data/code4.h"
#include "xbase/file/conv.h"

namespace {

struct ErrorText {
  int32_t code;
  const char* text;
};

// Every code is unique; the table ends with code 0.  The rows from -810 on are raised
// by nothing in this engine but keep their texts for anyone who records them.
const ErrorText kErrorTable[] = {
    {-10, "Closing File"},
    {-20, "Creating File"},
    {-30, "Determining File Length"},
    {-40, "Setting File Length"},
    {-50, "Locking File"},
    {-60, "Opening File"},
    {-70, "Reading File"},
    {-80, "Removing File"},
    {-90, "Renaming File"},
    {-100, "Seeking to File Position"},
    {-110, "Unlocking File"},
    {-120, "Writing to File"},
    {-200, "File is not a Data File"},
    {-210, "Unrecognized Field Name"},
    {-220, "Unrecognized Field Type"},
    {-230, "Record Length is too Large"},
    {-300, "Tag Entry Missing"},
    {-310, "Not a Correct Index File"},
    {-330, "Tag Name not Found"},
    {-340, "Unique Key Error"},
    {-400, "Comma or Bracket Expected"},
    {-410, "Expression not Complete"},
    {-420, "Data File Name not Located"},
    {-422, "IIF() Needs Parameters of Same Length"},
    {-425, "SUBSTR() and STR() need Constant Parameters"},
    {-430, "Number of Parameters is Wrong"},
    {-440, "Overflow while Evaluating Expression"},
    {-450, "Right Bracket Missing"},
    {-460, "Sub-expression Type is Wrong"},
    {-470, "Unrecognized Function"},
    {-480, "Unrecognized Operator"},
    {-490, "Unrecognized Value"},
    {-500, "Unterminated String"},
    {-610, "Optimization Error"},
    {-620, "Optimization Removal Failure"},
    {-630, "Optimization File Flushing Failure"},
    {-710, "Matching Slave Record Not Located"},
    {-720, "Relation Error"},
    {-810, "Report Error"},
    {-811, "Error Creating Style"},
    {-812, "Error Selecting Style"},
    {-813, "Error Finding Style"},
    {-814, "Error Creating Area"},
    {-815, "Error Creating Group"},
    {-816, "Error Setting Group Reset-Expression"},
    {-817, "Error Creating Total"},
    {-818, "Error Creating Object"},
    {-819, "Error In Windows Output"},
    {-820, "Error In Report Output"},
    {-821, "Error Saving Report"},
    {-822, "Error Retrieving Report"},
    {-823, "Error In Sending Report to Data File"},
    {-910, "Unexpected Information"},
    {-920, "Out of Memory"},
    {-930, "Unexpected Parameter"},
    {-950, "Unexpected Result"},
    {-1010, "Function unsupported: library compiled with S4OFF_INDEX"},
    {-1020, "Function unsupported: library compiled with S4OFF_MEMO"},
    {-1030, "Function unsupported: library compiled with S4NO_RENAME"},
    {-1040, "Function unsupported: library compiled with S4OFF_WRITE"},
    {-1050, "Function unsupported: library not compiled with S4CLIPPER"},
    {-1060, "Function unsupported: library not compiled with S4LOCK_HOOK"},
    {-1070, "Function unsupported: library not compiled with S4ERROR_HOOK"},
    {0, nullptr},
};

// Waits for one key without echo on the controlling terminal.  It waits only when
// standard output is a terminal as well: with output going to a file or a pipe nobody
// sees the prompt, and a batch run (or a test under a harness) must never block.
void terminalKeyWaiter() {
  if (!isatty(STDOUT_FILENO)) return;
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  termios saved;
  if (tcgetattr(fd, &saved) == 0) {
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &raw) == 0) {
      char key;
      while (read(fd, &key, 1) < 0 && errno == EINTR) {
      }
      tcsetattr(fd, TCSANOW, &saved);
    }
  }
  close(fd);
}

KeyWaiter keyWaiter = terminalKeyWaiter;

// "code" right-aligned in 6 characters, then "\r\n" and the table text when there is
// one.
void appendCode(std::string& out, int32_t code) {
  char number[6];
  numToText(code, number, 6);
  out.append(number, sizeof number);
  if (const char* text = errorCodeText(code)) {
    out += "\r\n";
    out += text;
  }
}

void printUnbuffered(const std::string& text) {
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

void errorSetKeyWaiter(KeyWaiter waiter) {
  keyWaiter = waiter != nullptr ? waiter : terminalKeyWaiter;
}

const char* errorCodeText(int32_t code) {
  for (const ErrorText* row = kErrorTable; row->code != 0; row++) {
    if (row->code == code) return row->text;
  }
  return nullptr;
}

const char* errorDetail(const CODE4* context) {
  if (context == nullptr || context->errorCode == 0 ||
      context->errorDetailCode != context->errorCode)
    return "";
  return context->errorDetail;
}

int32_t engineErrorCode(const CODE4* context) {
  return context == nullptr ? -1 : context->errorCode;
}

int32_t engineErrorSet(CODE4* context, int32_t code) {
  if (context == nullptr) return -1;
  int32_t previous = context->errorCode;
  context->errorCode = code;
  context->errorDetailCode = 0;
  return previous;
}

int32_t errorReport(CODE4* context, int32_t code, const char* text1, const char* text2,
                    const char* text3) {
  if (context != nullptr) {
    context->errorCode = code;
    std::string detail;
    for (const char* text : {text1, text2, text3}) {
      if (text == nullptr) break;
      if (!detail.empty()) detail += '\n';
      detail += text;
    }
    size_t n = std::min(detail.size(), sizeof context->errorDetail - 1);
    std::memcpy(context->errorDetail, detail.data(), n);
    context->errorDetail[n] = '\0';
    context->errorDetailCode = code;
    if (context->errQuiet) return code;
  }
  std::string out = "\r\n\r\nError Number";
  appendCode(out, code);
  for (const char* text : {text1, text2, text3}) {
    if (text == nullptr) break;
    out += "\r\n";
    out += text;
  }
  out += "\r\nPress a key ...";
  printUnbuffered(out);
  keyWaiter();
  return code;
}

void errorSevere(int32_t code, const char* text) {
  std::string out = "\r\n\r\nSevere Error Number";
  appendCode(out, code);
  out += "\r\n";
  if (text != nullptr) out += text;
  out += "\r\nPress a key ...";
  printUnbuffered(out);
  keyWaiter();
  std::exit(1);
}

void engineExitOnError(const CODE4* context) {
  if (context != nullptr && context->errorCode < 0) {
    std::fflush(nullptr);
    std::exit(context->errorCode);
  }
}
