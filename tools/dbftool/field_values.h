// Setting fields from NAME=VALUE arguments, as append and replace take them.
#pragma once

#include <string>
#include <vector>

#include "xbase/data/data.h"

namespace dbftool {

// Assigns every NAME=VALUE of args[first...] to the record buffer of d: numbers as
// numbers (refused when not finite or too wide for the field), dates as CCYYMMDD (or
// empty for the blank date), text given as UTF-8 and stored as code page 866, no
// longer than the field; memo fields are refused.  On the first bad pair prints
// "dbftool: FILE: ..." and returns 1, leaving the fields before it assigned; else 0.
int assignFieldValues(DataFile* d, const std::string& file, const std::vector<std::string>& args,
                      size_t first);

}  // namespace dbftool
