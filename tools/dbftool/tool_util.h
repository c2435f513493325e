// What the dbftool commands share: option parsing, opening a data file for reading,
// and the one-line failure message.
#pragma once

#include <string>
#include <vector>

#include "tools/dbftool/text_out.h"
#include "xbase/data/code4.h"
#include "xbase/data/data.h"

namespace dbftool {

struct Options {
  bool json = false;
  Encoding encoding = Encoding::Cp866;
  bool encodingGiven = false;  // else the file's own code page (fileEncoding)
  std::vector<std::string> args;  // what is not an option, in order
};

// Reads --json and --encoding E (or --encoding=E) among the arguments.  On a bad
// option prints a message and returns false.
bool parseOptions(int argc, char** argv, Options* out);

// The encoding for reading an open file: --encoding when given, else the code page
// of the file's language-driver byte.  False, with a message printed, for a file in
// a multi-byte code page (or one iconv lacks) and no --encoding.
bool fileEncoding(const std::string& path, DataFile* data, Options* options);

// Records a code page in the language-driver byte of a data file just made and
// still open (the engine leaves that byte alone).  False when it cannot be written.
bool recordCodePage(DataFile* data, int codePage);

// Prints "dbftool: FILE: MESSAGE" on standard error and returns 1 (the exit status).
int fail(const std::string& file, const std::string& message);
// The same with the engine's text for the context's error code.
int failEngine(const std::string& file, const CODE4* context);
// "Text of the code (code)" for an engine code.
std::string engineMessage(int code);
// The engine's detail texts of the pending error on one line, each after ": " (a
// blank after a text that ends in a colon: "File Name: X.DBT"); "" when it has none.
std::string engineDetail(const CODE4* context);

// A data file opened read-only and shared, with its own context; closed and released
// by the destructor.
class ReadOnlyData {
 public:
  explicit ReadOnlyData(const std::string& path);
  ~ReadOnlyData();
  ReadOnlyData(const ReadOnlyData&) = delete;
  ReadOnlyData& operator=(const ReadOnlyData&) = delete;

  DataFile* data() const { return data_; }
  CODE4* context() { return &context_; }

 private:
  CODE4 context_;
  DataFile* data_ = nullptr;
};

}  // namespace dbftool
