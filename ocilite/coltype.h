// Oracle column types from the declared type names of SQLite columns.
//
// Tables are created with Oracle type names (VARCHAR2(30), NUMBER(10,2),
// DATE, RAW(16) ...).  SQLite keeps the declared text; this module reads it
// back into the Oracle type code and size that a describe reports and into
// the rules that a stored value must follow.
//
//   declared type                       code  size   kind
//   VARCHAR2(n [BYTE|CHAR]), VARCHAR(n),   1    n     Text (length checked;
//     NVARCHAR2(n) (n characters: 4n)                 no n: 4000, unchecked)
//   CHAR(n), NCHAR(n), CHARACTER(n)       96    n     Char (blank-padded;
//                                                     no n: CHAR(1))
//   NUMBER[(p[,s])], NUMERIC, DECIMAL,     2   22     Number (rounded to s)
//     INTEGER, INT, SMALLINT, FLOAT, REAL, DOUBLE PRECISION
//   DATE                                  12    7     Date
//   RAW(n)                                23    n     Raw (no n: 2000)
//   LONG RAW                              24    0     Raw
//   CLOB, NCLOB, TEXT                    112 4000     Clob
//   BLOB                                 113 4000     Blob
//   LONG                                   8    0     Long
//   BINARY_FLOAT / BINARY_DOUBLE       100/101  4/8   Number
//   anything else (no type, unknown)       1 4000     Text, unchecked
#ifndef DRIFT_OCILITE_COLTYPE_H
#define DRIFT_OCILITE_COLTYPE_H

#include <string_view>

#include "ocilite/oci.h"

namespace ocilite {

enum class ColumnKind { Text, Char, Number, Date, Raw, Clob, Blob, Long, Unknown };

struct ColumnType {
  ColumnKind kind = ColumnKind::Unknown;
  unsigned short oraType = SQLT_CHR; // OCI_ATTR_DATA_TYPE
  unsigned short dataSize = 4000; // OCI_ATTR_DATA_SIZE, bytes
  int length = 0;                // n of VARCHAR2(n)/CHAR(n)/RAW(n); 0 = unchecked
  bool charSemantics = false;    // VARCHAR2(n CHAR): n counts characters
  int precision = 0;             // NUMBER(p,s): p; 0 = unconstrained
  int scale = -127;              // NUMBER(p,s): s; -127 = unconstrained (float)
};

ColumnType columnTypeFromDeclared(std::string_view declared);

}  // namespace ocilite

#endif
