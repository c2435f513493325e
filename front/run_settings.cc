#include "front/run_settings.h"

RunSettings runSettings;

bool isSectionSelected(const std::string& name) {
  if (runSettings.sectionFilter.empty()) return true;
  for (const std::string& entry : runSettings.sectionFilter)
    if (entry == name) return true;
  return false;
}

std::string upperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}
