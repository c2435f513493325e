#include "tools/dbftool/field_values.h"

#include <cmath>
#include <cstdlib>

#include "front/field_lookup.h"
#include "tools/dbftool/text_out.h"
#include "tools/dbftool/tool_util.h"
#include "xbase/data/code_page.h"
#include "xbase/file/conv.h"

namespace dbftool {

int assignFieldValues(DataFile* d, const std::string& file, const std::vector<std::string>& args,
                      size_t first) {
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& pair = args[i];
    size_t eq = pair.find('=');
    if (eq == std::string::npos || eq == 0) return fail(file, "'" + pair + "' is not NAME=VALUE");
    std::string name = pair.substr(0, eq), value = pair.substr(eq + 1);
    std::string clash;
    const int32_t number = findDbfField(d, name, &clash);
    if (number < 0) return fail(file, "no field named " + name + clash);
    FieldInfo* f = dataField(d, number);
    int type = fieldType(f);
    if (type == 'N') {
      char* end = nullptr;
      double v = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !std::isfinite(v))
        return fail(file, name + ": '" + value + "' is not a number");
      fieldAssignDouble(f, v);
      // The engine writes a number too wide for the field as asterisks; refuse it
      // rather than store a record that lost the value.
      if (fieldPtr(f)[0] == '*')
        return fail(file, name + ": " + value + " does not fit the field (width " +
                              std::to_string(fieldLength(f)) + ", " +
                              std::to_string(fieldDecimals(f)) + " decimals)");
    } else if (type == 'D') {
      if (!value.empty() && (value.size() != 8 || value.find_first_not_of("0123456789") != std::string::npos ||
                             dateToJulian(value.c_str()) <= 0))
        return fail(file, name + ": '" + value + "' is not a date CCYYMMDD");
      fieldAssignText(f, value.data(), static_cast<int32_t>(value.size()));
    } else if (type == 'M') {
      return fail(file, name + ": memo fields cannot be set here");
    } else {
      // Text arrives as UTF-8 and is stored in the file's code page.
      if (type == 'C') value = utf8ToCodePage(value, dataCodePage(d));
      if (static_cast<int32_t>(value.size()) > fieldLength(f))
        return fail(file, name + ": value longer than the field (" + std::to_string(fieldLength(f)) + ")");
      fieldAssignText(f, value.data(), static_cast<int32_t>(value.size()));
    }
  }
  return 0;
}

}  // namespace dbftool
