// The code pages a section may name with %CODEPAGE, and the Oracle character set
// that carries each one on a bind or define.
#pragma once

#include <cstdint>

// The Oracle character-set id of a single-byte code page (152 for 866); 0 when the
// code page has none here.
std::uint16_t oracleCharsetOfCodePage(int codePage);
