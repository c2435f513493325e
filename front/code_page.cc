#include "front/code_page.h"

namespace {

struct CharsetEntry {
  int codePage;
  std::uint16_t oracleId;
};

constexpr CharsetEntry kCharsets[] = {
    {437, 4},     {850, 10},    {852, 150},   {857, 156},   {866, 152},
    {737, 382},   {1250, 170},  {1251, 171},  {1252, 178},  {1253, 174},
    {1254, 177},  {1255, 175},  {1256, 560},  {1257, 179},  {1258, 45},
};

}  // namespace

std::uint16_t oracleCharsetOfCodePage(int codePage) {
  for (const CharsetEntry& e : kCharsets)
    if (e.codePage == codePage) return e.oracleId;
  return 0;
}
