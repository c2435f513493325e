// The SQL texts of the client, read and rewritten for SQLite.
//
// This is the one place where Oracle forms become SQLite forms.  parseSql()
// reads a statement once, at prepare: its kind, its placeholders, the names
// Oracle gives its select-list items, the target columns of bound values in
// INSERT and UPDATE, and the pieces of the statements that libocilite runs
// itself (ALTER SESSION, COMMIT, ROLLBACK, TRUNCATE TABLE, ALTER TABLE ...
// DEALLOCATE UNUSED, SET TRANSACTION).  rewriteForSqlite() then produces the
// text SQLite prepares:
//
//   :name              -> :NAME (placeholders match ignoring case)
//   FROM s.t, INTO s.t -> FROM t, INTO t (a schema prefix names no SQLite schema)
//   FROM DUAL          -> dropped (SQLite selects without FROM)
//   TO_CHAR(column)    -> ocl_number_to_char(column) / ocl_date_to_char(column)
//                         by the column's declared type; other TO_CHAR calls
//                         go to the generic to_char function
//   SYSDATE            -> ocl_sysdate()
//   SELECT UNIQUE      -> SELECT DISTINCT
//   d > '20240101'     -> d > to_date('20240101') where d is a DATE column
//                         (also 'text' op d, d - 7 > 'text' and
//                         d BETWEEN 'a' AND 'b')
//   d - 1/24, SYSDATE+1 -> ocl_date_add(d, -(1.0*1/24)): DATE plus days, for a
//                         DATE column or SYSDATE and a number or a product
//                         or quotient of numbers
//   'text', 12.5       -> :OCL_LIT_k_ as the value of an INSERT or UPDATE
//                         column of a known type (ParsedSql::literals)
//
// Comments, hints (/*+ APPEND */ included) and everything else pass
// unchanged: SQLite ignores comments.
#ifndef DRIFT_OCILITE_SQLTEXT_H
#define DRIFT_OCILITE_SQLTEXT_H

#include "ocilite/coltype.h"
#include "text/ascii.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ocilite {

enum class StmtKind {
  Select, Insert, Update, Delete, Merge, Create, Drop, Alter,
  AlterSession, AlterTableDeallocate, Truncate, Commit, Rollback, SetTransaction, Other, Empty
};

struct SelectItem {
  std::string name;          // the name Oracle reports (OCI_ATTR_NAME)
  bool toChar = false;       // the item is a TO_CHAR(...) call
  std::string toCharColumn;  // its argument when that is a plain column name
};

struct ParsedSql {
  StmtKind kind = StmtKind::Empty;
  unsigned short ociType = 0;             // OCI_ATTR_STMT_TYPE
  std::vector<std::string> placeholders;  // ":NAME", upper case, each once
  std::vector<SelectItem> selectItems;    // empty when not a plain select list
  std::vector<std::string> tables;        // tables named after FROM / INTO / UPDATE / TABLE
  // Bound targets of INSERT / UPDATE: placeholder -> column of tables[0].
  std::vector<std::pair<std::string, std::string>> boundColumns;
  // ALTER SESSION SET name=value ... (names upper case, values unquoted).
  std::vector<std::pair<std::string, std::string>> settings;
  bool readOnlyTransaction = false;       // SET TRANSACTION READ ONLY
  bool directPath = false;                // INSERT /*+ APPEND */ (or APPEND_VALUES)
  // Literal values of INSERT ... VALUES and UPDATE ... SET col = value, with
  // their target columns (a name, or "#k" for position k of the table).
  // rewriteForSqlite() turns each one whose column takes it into the
  // placeholder literalPlaceholder(k), so that the literal goes through the
  // same conversions and checks as a bound value ('' is NULL, text into a
  // DATE column is read through NLS_DATE_FORMAT, lengths, NUMBER scales).
  struct Literal {
    size_t pos = 0, len = 0;  // the token in the text
    std::string text;         // its value (quotes removed)
    std::string column;
    bool number = false;      // a numeric token rather than a quoted string
  };
  std::vector<Literal> literals;
};

// ":OCL_LIT_k_", the placeholder of literal k.
std::string literalPlaceholder(size_t k);

ParsedSql parseSql(std::string_view sql);

// `kindOf(column)` gives the declared kind of a column of the statement's
// tables (ColumnKind::Unknown when there is no such column).
std::string rewriteForSqlite(std::string_view sql,
                             const std::function<ColumnKind(std::string_view column)> &kindOf);

// Upper-case ASCII copy.
using text::upperAscii;

}  // namespace ocilite

#endif
