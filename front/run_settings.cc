#include "front/run_settings.h"

RunSettings runSettings;

bool isSectionSelected(const std::string& name) {
  if (runSettings.sectionFilter.empty()) return true;
  for (const std::string& entry : runSettings.sectionFilter)
    if (entry == name) return true;
  return false;
}
