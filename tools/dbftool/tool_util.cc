#include "tools/dbftool/tool_util.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "xbase/data/code_page.h"
#include "xbase/data/dbf_format.h"
#include "xbase/data/error.h"

namespace dbftool {

bool parseOptions(int argc, char** argv, Options* out) {
  for (int i = 0; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--json") == 0) {
      out->json = true;
    } else if (std::strcmp(a, "--encoding") == 0 || std::strncmp(a, "--encoding=", 11) == 0) {
      const char* value = nullptr;
      if (a[10] == '=') value = a + 11;
      else if (i + 1 < argc) value = argv[++i];
      if (!value || !parseEncoding(value, &out->encoding)) {
        std::fprintf(stderr, "dbftool: --encoding takes a single-byte code page (cp866, cp1251, "
                             "cp437 ...), latin1 or utf8\n");
        return false;
      }
      out->encodingGiven = true;
    } else if (a[0] == '-' && a[1] == '-' && a[2] != '\0') {
      std::fprintf(stderr, "dbftool: unknown option '%s'\n", a);
      return false;
    } else {
      out->args.push_back(a);
    }
  }
  return true;
}

bool fileEncoding(const std::string& path, DataFile* data, Options* options) {
  if (options->encodingGiven) return true;
  const int codePage = dataCodePage(data);
  options->encoding = Encoding::ofCodePage(codePage);
  if (encodingUsable(options->encoding)) return true;
  fail(path, "code page " + std::to_string(codePage) +
                 (codePageIsMultiByte(codePage) ? " is a multi-byte code page" : " is not known here") +
                 ": name an encoding with --encoding");
  return false;
}

bool recordCodePage(DataFile* data, int codePage) {
  unsigned char ldid = static_cast<unsigned char>(languageDriverOfCodePage(codePage));
  return dataLanguageDriverSet(data, ldid) == 0;
}

int fail(const std::string& file, const std::string& message) {
  std::fprintf(stderr, "dbftool: %s: %s\n", file.c_str(), message.c_str());
  return 1;
}

std::string engineMessage(int code) {
  const char* text = errorCodeText(code);
  if (code == resultNotOpened) text = "Opening File";
  if (code == resultNotCreated) text = "Creating File";
  if (code == resultLocked) text = "Locked by another process";
  std::string message = text ? text : "Engine error";
  return message + " (" + std::to_string(code) + ")";
}

std::string engineDetail(const CODE4* context) {
  std::string line;
  std::string_view detail = errorDetail(context);
  while (!detail.empty()) {
    size_t nl = detail.find('\n');
    std::string_view text = detail.substr(0, nl);
    line += !line.empty() && line.back() == ':' ? " " : ": ";
    line += displayText(text, Encoding::Latin1);
    detail = nl == std::string_view::npos ? std::string_view() : detail.substr(nl + 1);
  }
  return line;
}

int failEngine(const std::string& file, const CODE4* context) {
  return fail(file, engineMessage(engineErrorCode(context)));
}

ReadOnlyData::ReadOnlyData(const std::string& path) {
  engineInit(&context_);
  context_.errQuiet = 1;
  context_.openReadOnly = 1;
  context_.openExclusive = 0;
  context_.autoOpen = 0;
  context_.bufferingMode = 1;  // records are read a block at a time
  data_ = dataOpen(&context_, path.c_str());
}

ReadOnlyData::~ReadOnlyData() {
  if (data_) dataClose(data_);
  engineRelease(&context_);
}

}  // namespace dbftool
