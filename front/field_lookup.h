// Finding a configured field in a dbf file, shared by both drivers.
#pragma once

#include <string>

#include "xbase/data/data.h"

// The 1-based number of the field the pair names (exact stored name first, else the
// one stored name equal to it ignoring ASCII case), or -1.  When two stored names
// match only ignoring case, *clash receives " ('name' and 'Name' both match it)" to
// follow the not-found message; otherwise it is emptied.
inline int32_t findDbfField(DataFile* data, const std::string& name, std::string* clash) {
  clash->clear();
  CODE4* context = dataContext(data);
  const int32_t saved = context->errFieldLookup;
  context->errFieldLookup = 0;
  const int32_t number = dataFieldNumber(data, name.c_str());
  context->errFieldLookup = saved;
  if (number > 0) return number;
  int32_t first, second;
  dataFieldClash(data, name.c_str(), &first, &second);
  if (first > 0)
    *clash = std::string(" ('") + fieldName(dataField(data, first)) + "' and '" +
             fieldName(dataField(data, second)) + "' both match it)";
  return -1;
}
