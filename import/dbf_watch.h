// The dbf file of an import, watched for what other programs do to it meanwhile.
//
// indrift opens the file deny-none, so that an application may go on appending while
// it is read; records appended meanwhile are simply read too.  What it must not miss
// is a file that loses records under it (emptied, packed, cut short, its header count
// lowered): the records read so far and those still to come no longer belong to one
// file, and the import would end "successfully" with a part of it.
//
//   as the import begins   header count and file disagree   warning, import goes on
//                          cut short inside a record         refused (ImportError)
//   before each INSERT     fewer records than seen before,  ImportError naming the
//   and at the end         or a lower header count          file
#pragma once

#include <string>

#include "xbase/data/data.h"

class DbfWatch {
 public:
  // name: the dbf file as the section names it, for the messages.
  explicit DbfWatch(std::string name) : name_(std::move(name)) {}

  // Measures the freshly opened file.  Prints (console and report) a warning when
  // the header's record count and the records in the file disagree, saying which
  // count the import uses; raises ImportError when the file is cut short inside a
  // record.
  void begin(DataFile* data);

  // Measures the file again; raises ImportError when it holds fewer records than
  // when last measured, or its header counts fewer.  Nothing before begin.
  void check();

 private:
  std::string name_;
  DataFile* data_ = nullptr;
  int64_t records_ = 0;      // records the file held when last measured
  int64_t headerFloor_ = 0;  // the header's count may not drop below this
};
