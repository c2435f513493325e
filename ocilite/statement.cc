// Statements: prepare, execute (queries, array DML, the statements run here),
// array fetch into defines, binds.
#include "ocilite/charset.h"
#include "ocilite/handles.h"
#include "ocilite/users.h"
#include "ocilite/values.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace ocilite {

namespace {


std::vector<TableColumn> readTableColumns(sqlite3 *db, const std::string &table) {
  std::vector<TableColumn> out;
  char *sql = sqlite3_mprintf("PRAGMA table_info(\"%w\")", table.c_str());
  sqlite3_stmt *st = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      TableColumn c;
      const char *name = reinterpret_cast<const char *>(sqlite3_column_text(st, 1));
      const char *decl = reinterpret_cast<const char *>(sqlite3_column_text(st, 2));
      c.name = upperAscii(name ? name : "");
      c.type = columnTypeFromDeclared(decl ? decl : "");
      c.notNull = sqlite3_column_int(st, 3) != 0;
      out.push_back(std::move(c));
    }
  }
  sqlite3_finalize(st);
  sqlite3_free(sql);
  return out;
}

bool tableExists(sqlite3 *db, const std::string &table) {
  sqlite3_stmt *st = nullptr;
  bool found = false;
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE",
                         -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_STATIC);
    found = sqlite3_step(st) == SQLITE_ROW;
  }
  sqlite3_finalize(st);
  return found;
}

const TableColumn *findColumn(const std::vector<TableColumn> &cols, std::string_view name) {
  std::string upper = upperAscii(name);
  for (const TableColumn &c : cols)
    if (c.name == upper) return &c;
  return nullptr;
}

bool isAggregate(const std::string &name) {
  static const char *const fns[] = {"COUNT(", "SUM(", "AVG(", "LENGTH(", "TO_NUMBER("};
  for (const char *f : fns)
    if (name.compare(0, std::strlen(f), f) == 0) return true;
  return false;
}

bool isBlankTail(const char *tail) {
  for (; tail && *tail; ++tail) {
    if (*tail == ';' || *tail == ' ' || *tail == '\t' || *tail == '\n' || *tail == '\r') continue;
    if (tail[0] == '-' && tail[1] == '-') {
      while (*tail && *tail != '\n') ++tail;
      if (!*tail) break;
      continue;
    }
    return false;
  }
  return true;
}

// Compiles the statement for its connection: the table columns it refers to,
// the SQLite text, the SQLite statement and the result columns.
OraError compile(StmtHandle *s) {
  Connection &c = *s->conn;
  if (s->sqlite && s->compiledFor == &c && s->compiledGeneration == c.schemaGeneration) return {};
  s->finalize();
  s->textUtf8 = -1;
  std::vector<TableColumn> all;
  for (size_t k = 0; k < s->parsed.tables.size(); ++k) {
    std::vector<TableColumn> cols = readTableColumns(c.db, s->parsed.tables[k]);
    if (k == 0) s->tableColumns = cols;
    all.insert(all.end(), cols.begin(), cols.end());
  }
  std::string sql = rewriteForSqlite(s->sql, [&](std::string_view column) {
    const TableColumn *tc = nullptr;
    if (!column.empty() && column[0] == '#') {
      size_t k = static_cast<size_t>(std::atoi(std::string(column.substr(1)).c_str()));
      if (k < s->tableColumns.size()) tc = &s->tableColumns[k];
    } else {
      tc = findColumn(all, column);
    }
    return tc ? tc->type.kind : ColumnKind::Unknown;
  });
  const char *tail = nullptr;
  int rc = sqlite3_prepare_v3(c.db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &s->sqlite,
                              &tail);
  if (rc != SQLITE_OK) {
    OraError e = fromSqlite(c.db, rc, c.context());
    s->finalize();
    return e;
  }
  if (!s->sqlite) return oraError(900);
  if (!isBlankTail(tail)) {
    s->finalize();
    return oraError(911);
  }
  int n = sqlite3_column_count(s->sqlite);
  bool named = static_cast<int>(s->parsed.selectItems.size()) == n;
  for (int i = 0; i < n; ++i) {
    ResultColumn rc2;
    const char *decl = sqlite3_column_decltype(s->sqlite, i);
    if (named) {
      rc2.name = s->parsed.selectItems[static_cast<size_t>(i)].name;
    } else {
      const char *name = sqlite3_column_name(s->sqlite, i);
      rc2.name = upperAscii(name ? name : "");
    }
    if (decl) {
      rc2.type = columnTypeFromDeclared(decl);
      const char *table = sqlite3_column_table_name(s->sqlite, i);
      const char *origin = sqlite3_column_origin_name(s->sqlite, i);
      int notNull = 0;
      if (table && origin &&
          sqlite3_table_column_metadata(c.db, sqlite3_column_database_name(s->sqlite, i), table, origin, nullptr,
                                        nullptr, &notNull, nullptr, nullptr) == SQLITE_OK)
        rc2.nullable = notNull == 0;
    } else if (named && s->parsed.selectItems[static_cast<size_t>(i)].toChar) {
      rc2.type.kind = ColumnKind::Unknown;
      rc2.type.oraType = SQLT_CHR;
      rc2.type.dataSize = 40;
    } else if (isAggregate(rc2.name)) {
      rc2.type.kind = ColumnKind::Unknown;
      rc2.type.oraType = SQLT_NUM;
      rc2.type.dataSize = 22;
    }
    s->columns.push_back(std::move(rc2));
  }
  s->bindForParam.assign(static_cast<size_t>(sqlite3_bind_parameter_count(s->sqlite)), nullptr);
  s->compiledFor = &c;
  s->compiledGeneration = c.schemaGeneration;
  return {};
}

// Matches the binds to SQLite's parameters and to their target columns.
OraError resolveBinds(StmtHandle *s) {
  for (size_t i = 0; i < s->bindForParam.size(); ++i) {
    const char *name = sqlite3_bind_parameter_name(s->sqlite, static_cast<int>(i + 1));
    BindHandle *found = nullptr;
    for (BindHandle *b : s->binds)
      if (name && b->name == name) found = b;
    if (!found) return oraError(1008);
    s->bindForParam[i] = found;
    found->target = ColumnType{};
    found->targetColumn.clear();
    for (const auto &[placeholder, column] : s->parsed.boundColumns) {
      if (placeholder != found->name) continue;
      const TableColumn *tc = nullptr;
      if (!column.empty() && column[0] == '#') {
        size_t k = static_cast<size_t>(std::atoi(column.c_str() + 1));
        if (k < s->tableColumns.size()) tc = &s->tableColumns[k];
      } else {
        tc = findColumn(s->tableColumns, column);
      }
      if (tc) {
        found->target = tc->type;
        found->targetColumn = tc->name;
      }
    }
  }
  return {};
}

// Gathers row `row`'s value of an OCI_DATA_AT_EXEC bind from its callback:
// one piece (OCI_ONE_PIECE) or several up to OCI_LAST_PIECE.  An indicator of
// -1 makes the value NULL.
OraError pullPieces(BindHandle *b, ub4 row, bool &isNull) {
  b->pieces.clear();
  isNull = false;
  if (!b->inCallback) return oraError(1008);
  for (ub1 piece = OCI_FIRST_PIECE;;) {
    void *buffer = nullptr;
    ub4 length = 0;
    void *indicator = nullptr;
    ub1 given = piece;
    if (b->inCallback(b->inContext, reinterpret_cast<OCIBind *>(b), row, 0, &buffer, &length, &given,
                      &indicator) != OCI_CONTINUE)
      return oraError(24343);
    if (indicator && *static_cast<sb2 *>(indicator) == -1) isNull = true;
    if (buffer && length) b->pieces.append(static_cast<const char *>(buffer), length);
    if (given == OCI_ONE_PIECE || given == OCI_LAST_PIECE) break;
    if (given != OCI_FIRST_PIECE && given != OCI_NEXT_PIECE) return oraError(24343);
    piece = OCI_NEXT_PIECE;
  }
  if (b->pieces.empty()) isNull = true;  // the empty text is NULL
  return {};
}

// The single-byte set of a bind's or define's character set id, asked of the
// set registry only when the id changed since the last value.
template <class Handle>
const SingleByteSet *setOf(Handle *h) {
  if (h->setFor != h->charset) {
    h->set = singleByteSet(h->charset);
    h->setFor = h->charset;
  }
  return h->set;
}

// True when none of the `n` bytes has its high bit set: such text reads the
// same in every single-byte set here as in UTF-8, so it needs no conversion.
bool isAscii(const unsigned char *p, size_t n) {
  size_t i = 0;
  uint64_t any = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    any |= w;
  }
  for (; i < n; ++i) any |= p[i];
  return (any & UINT64_C(0x8080808080808080)) == 0;
}

// Binds row `row` of bind `b` to parameter `idx` of `st`.  A converted value
// is kept in `text` and `stored`, which must stay untouched until the
// statement has run (SQLite reads the bytes in place).
OraError bindValue(StmtHandle *s, BindHandle *b, ub4 row, sqlite3_stmt *st, int idx, std::string &text,
                   std::string &stored) {
  Connection &c = *s->conn;
  std::string_view table = s->parsed.tables.empty() ? std::string_view() : std::string_view(s->parsed.tables[0]);
  Stored out;
  Target names{c.schema, table, b->targetColumn};
  OraError err, e2;
  bool isNull = b->atExec ? false : !b->value || (b->ind && b->ind[row] == -1);
  if (b->atExec) {
    e2 = pullPieces(b, row, isNull);
    if (e2.failed()) return e2;
  }
  if (!isNull) {
    size_t size = b->size > 0 ? static_cast<size_t>(b->size) : 0;
    const unsigned char *p = b->atExec ? nullptr : b->value + (b->fixed ? 0 : static_cast<size_t>(row) * size);
    size_t len = 0;
    bool binary = false, numeric = false;
    if (b->atExec) {
      p = reinterpret_cast<const unsigned char *>(b->pieces.data());
      len = b->pieces.size();
    } else switch (b->dty) {
      case SQLT_STR:
      case SQLT_AVC:
        len = strnlen(reinterpret_cast<const char *>(p), size);
        // The terminator must lie inside the element.
        if (len == size && size > 0) return oraError(1480);
        break;
      case SQLT_CHR:
      case SQLT_AFC:
      case SQLT_LNG:
      case SQLT_LVC: len = b->alen ? b->alen[row] : size; break;
      case SQLT_VCS: {
        ub2 n;
        if (size < 2) return oraError(1459);
        std::memcpy(&n, p, 2);
        len = n;
        p += 2;
        break;
      }
      case SQLT_BIN:
      case SQLT_LBI:
      case SQLT_LVB:
        len = b->alen ? b->alen[row] : size;
        binary = true;
        break;
      case SQLT_VBI: {
        ub2 n;
        if (size < 2) return oraError(1459);
        std::memcpy(&n, p, 2);
        len = n;
        p += 2;
        binary = true;
        break;
      }
      case SQLT_INT:
      case SQLT_UIN: {
        int64_t v = 0;
        if (size == 1) v = b->dty == SQLT_INT ? static_cast<int64_t>(*reinterpret_cast<const int8_t *>(p)) : *p;
        if (size == 2) {
          uint16_t u;
          std::memcpy(&u, p, 2);
          v = b->dty == SQLT_INT ? static_cast<int16_t>(u) : u;
        }
        if (size == 4) {
          uint32_t u;
          std::memcpy(&u, p, 4);
          v = b->dty == SQLT_INT ? static_cast<int32_t>(u) : static_cast<int64_t>(u);
        }
        if (size == 8) std::memcpy(&v, p, 8);
        b->number = decimalFromInt(v);
        numeric = true;
        break;
      }
      case SQLT_FLT:
      case SQLT_BFLOAT:
      case SQLT_BDOUBLE:
      case SQLT_IBFLOAT:
      case SQLT_IBDOUBLE: {
        double v = 0;
        if (size == 4) {
          float f;
          std::memcpy(&f, p, 4);
          v = f;
        } else if (size == 8) {
          std::memcpy(&v, p, 8);
        }
        // Oracle's NUMBER has no infinity and no NaN.
        if (!std::isfinite(v)) return oraError(1426);
        b->number = decimalFromDouble(v);
        numeric = true;
        break;
      }
      case SQLT_NUM:
        // Only numeric literals of the SQL text come this way, written
        // with '.' whatever the session's decimal character.
        if (!b->fixed || !parseDecimal(b->literal, '.', b->number)) return oraError(1460);
        numeric = true;
        break;
      default: return oraError(1460);
    }
    // A length beyond the element would read past the caller's slot.
    if (!numeric && len > size - ((b->dty == SQLT_VCS || b->dty == SQLT_VBI) ? 2 : 0)) return oraError(1459);
    if (numeric) {
      err = numberToStored(b->number, b->target, c.nls, names, stored, b->number, out);
    } else if (binary) {
      err = bytesToStored(std::string_view(reinterpret_cast<const char *>(p), len), b->target, c.nls, names,
                          stored, b->number, out);
    } else {
      std::string_view utf8(reinterpret_cast<const char *>(p), len);
      if (const SingleByteSet *set = setOf(b); set && !isAscii(p, len)) {
        // The buffer only grows: what a conversion leaves in it is overwritten by
        // the next, never cleared first.
        if (text.size() < 3 * static_cast<size_t>(len) + 1) text.resize(3 * static_cast<size_t>(len) + 1);
        utf8 = std::string_view(text.data(), singleByteToUtf8(*set, p, len, text.data()));
      }
      err = textToStored(utf8, b->target, c.nls, names, stored, b->number, out);
    }
    if (err.failed()) return nameColumn(err, names);
  }
  int rc;
  if (isNull) out.type = Stored::Type::Null;
  switch (out.type) {
    case Stored::Type::Null: rc = sqlite3_bind_null(st, idx); break;
    case Stored::Type::Int: rc = sqlite3_bind_int64(st, idx, out.i); break;
    case Stored::Type::Real: rc = sqlite3_bind_double(st, idx, out.d); break;
    case Stored::Type::Text:
      rc = sqlite3_bind_text(st, idx, out.bytes, static_cast<int>(out.size), SQLITE_STATIC);
      break;
    default: rc = sqlite3_bind_blob(st, idx, out.bytes, static_cast<int>(out.size), SQLITE_STATIC); break;
  }
  if (rc != SQLITE_OK) return fromSqlite(c.db, rc, c.context());
  return {};
}

// Binds row `row` of every bound array to the SQLite statement.
OraError bindRow(StmtHandle *s, ub4 row) {
  for (size_t i = 0; i < s->bindForParam.size(); ++i) {
    BindHandle *b = s->bindForParam[i];
    OraError e = bindValue(s, b, row, s->sqlite, static_cast<int>(i + 1), b->text, b->stored);
    if (e.failed()) return e;
  }
  return {};
}

// True when the database keeps text as UTF-8 (SQLite's default encoding).
bool textIsUtf8(sqlite3 *db) {
  sqlite3_stmt *st = nullptr;
  bool utf8 = false;
  if (sqlite3_prepare_v2(db, "PRAGMA encoding", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
    const unsigned char *e = sqlite3_column_text(st, 0);
    utf8 = e != nullptr && std::strcmp(reinterpret_cast<const char *>(e), "UTF-8") == 0;
  }
  sqlite3_finalize(st);
  return utf8;
}

bool supportedDefineType(ub2 dty) {
  switch (dty) {
    case SQLT_STR: case SQLT_AVC: case SQLT_CHR: case SQLT_AFC: case SQLT_LNG: case SQLT_LVC: case SQLT_VCS:
    case SQLT_BIN: case SQLT_LBI: case SQLT_LVB: case SQLT_VBI: case SQLT_INT: case SQLT_UIN: case SQLT_FLT:
    case SQLT_BFLOAT: case SQLT_BDOUBLE: case SQLT_IBFLOAT: case SQLT_IBDOUBLE: case SQLT_DAT:
      return true;
    default: return false;
  }
}

enum class Put { Ok, Truncated, NullNoIndicator, Error };

// A piece of a value of an OCI_DYNAMIC_FETCH define: the buffer its callback gave,
// the size offered there (the piece's length goes back through it), and where the
// indicator and return code go.
struct Piece {
  void *buffer = nullptr;
  ub4 *length = nullptr;
  void *indicator = nullptr;
  ub2 *rcode = nullptr;
};

// Asks the define's callback for the next piece of row `row` (OCI_FIRST_PIECE, then
// OCI_NEXT_PIECE); `more` says bytes are left, so that an empty piece is refused.
bool askPiece(DefineHandle *d, ub4 row, ub1 piece, bool more, Piece &p, OraError &err) {
  ub1 given = piece;
  if (!d->callback ||
      d->callback(d->context, reinterpret_cast<OCIDefine *>(d), row, &p.buffer, &p.length, &given, &p.indicator,
                  &p.rcode) != OCI_CONTINUE ||
      !p.length || (!p.buffer && *p.length > 0) || (*p.length == 0 && more)) {
    err = oraError(24343);
    return false;
  }
  return true;
}

// Says the piece holds n bytes of a value (or of a NULL).
void endPiece(const Piece &p, size_t n, bool isNull) {
  *p.length = static_cast<ub4>(n);
  if (p.indicator) *static_cast<sb2 *>(p.indicator) = isNull ? -1 : 0;
  if (p.rcode) *p.rcode = 0;
}

// Hands a value of an OCI_DYNAMIC_FETCH define to its callback: the callback
// gives a buffer and its size for each piece, the piece's length comes back
// through the same ub4, until the whole value has gone.  A NULL is one call whose
// indicator becomes -1.  `first`, when given, is the first piece, asked for already.
Put deliverPieces(DefineHandle *d, ub4 row, const unsigned char *src, size_t len, bool isNull, OraError &err,
                  const Piece *first = nullptr) {
  size_t offset = 0;
  ub1 piece = OCI_FIRST_PIECE;
  do {
    Piece p;
    if (first) {
      p = *first;
      first = nullptr;
    } else if (!askPiece(d, row, piece, offset < len, p, err)) {
      return Put::Error;
    }
    size_t n = len - offset < *p.length ? len - offset : *p.length;
    if (n) std::memcpy(p.buffer, src + offset, n);
    offset += n;
    endPiece(p, n, isNull);
    piece = OCI_NEXT_PIECE;
  } while (offset < len);
  return Put::Ok;
}

// deliverPieces for UTF-8 text going to a single-byte set: converted straight into
// the first piece when it has room for the longest result (a character per byte of
// UTF-8), as the buffers of whole values do, ASCII going over as it is in the same
// pass; otherwise through `scratch`, unless it is all ASCII.
Put deliverConverted(DefineHandle *d, ub4 row, const SingleByteSet &set, const unsigned char *src, size_t len,
                     std::string &scratch, OraError &err) {
  Piece first;
  if (!askPiece(d, row, OCI_FIRST_PIECE, len > 0, first, err)) return Put::Error;
  if (*first.length >= len) {
    endPiece(first, utf8ToSingleByte(set, src, len, static_cast<unsigned char *>(first.buffer), len), false);
    return Put::Ok;
  }
  if (isAscii(src, len)) return deliverPieces(d, row, src, len, false, err, &first);
  scratch.resize(len);
  size_t n = utf8ToSingleByte(set, src, len, reinterpret_cast<unsigned char *>(scratch.data()), len);
  scratch.resize(n < len ? n : len);
  return deliverPieces(d, row, reinterpret_cast<const unsigned char *>(scratch.data()), scratch.size(), false, err,
                       &first);
}

// Writes column `col` of the current row into row `row` of define `d`.
Put putValue(StmtHandle *s, DefineHandle *d, ub4 row, int col, OraError &err) {
  Connection &c = *s->conn;
  const ColumnType &t = s->columns[static_cast<size_t>(col)].type;
  size_t size = d->size > 0 ? static_cast<size_t>(d->size) : 0;
  unsigned char *base = d->value ? d->value + static_cast<size_t>(row) * size : nullptr;
  sb2 *ind = d->ind ? d->ind + row : nullptr;
  ub2 *rlen = d->rlen ? d->rlen + row : nullptr;
  ub2 *rcode = d->rcode ? d->rcode + row : nullptr;
  sqlite3_value *v = sqlite3_column_value(s->sqlite, col);
  int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL && d->dynamic) return deliverPieces(d, row, nullptr, 0, true, err);
  if (type == SQLITE_NULL) {
    if (rlen) *rlen = 0;
    if (ind) {
      *ind = -1;
      if (rcode) *rcode = 0;
      return Put::Ok;
    }
    if (rcode) *rcode = 1405;
    return Put::NullNoIndicator;
  }
  if (!base && !d->dynamic) {
    if (ind) *ind = 0;
    return Put::Ok;
  }

  switch (d->dty) {
    case SQLT_INT:
    case SQLT_UIN:
    case SQLT_FLT:
    case SQLT_BFLOAT:
    case SQLT_BDOUBLE:
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE: {
      Decimal num;
      if (!storedNumber(v, num)) {
        err = oraError(1722);
        return Put::Error;
      }
      if (d->dty == SQLT_INT || d->dty == SQLT_UIN) {
        roundToScale(num, 0);
        int64_t i;
        if (!toInt64(num, i)) {
          err = oraError(1455);
          return Put::Error;
        }
        if (size == 1) *base = static_cast<unsigned char>(i);
        if (size == 2) {
          int16_t x = static_cast<int16_t>(i);
          std::memcpy(base, &x, 2);
        }
        if (size == 4) {
          int32_t x = static_cast<int32_t>(i);
          std::memcpy(base, &x, 4);
        }
        if (size == 8) std::memcpy(base, &i, 8);
      } else {
        double x = std::strtod(toPlainText(num).c_str(), nullptr);
        if (size == 4) {
          float f = static_cast<float>(x);
          std::memcpy(base, &f, 4);
        } else if (size >= 8) {
          std::memcpy(base, &x, 8);
        }
      }
      if (ind) *ind = 0;
      if (rlen) *rlen = static_cast<ub2>(size);
      if (rcode) *rcode = 0;
      return Put::Ok;
    }
    case SQLT_DAT: {
      Date dt;
      std::string_view text(reinterpret_cast<const char *>(sqlite3_value_text(v)),
                            static_cast<size_t>(sqlite3_value_bytes(v)));
      if (!readStoredDate(text, dt)) {
        int rc = c.nls.dateFormat.parse(text, dt);
        if (rc) {
          err = oraError(rc);
          return Put::Error;
        }
      }
      if (size >= 7) {
        base[0] = static_cast<unsigned char>(dt.year / 100 + 100);
        base[1] = static_cast<unsigned char>(dt.year % 100 + 100);
        base[2] = static_cast<unsigned char>(dt.month);
        base[3] = static_cast<unsigned char>(dt.day);
        base[4] = static_cast<unsigned char>(dt.hour + 1);
        base[5] = static_cast<unsigned char>(dt.minute + 1);
        base[6] = static_cast<unsigned char>(dt.second + 1);
      }
      if (ind) *ind = 0;
      if (rlen) *rlen = 7;
      if (rcode) *rcode = 0;
      return Put::Ok;
    }
    default: break;
  }

  // Character and binary defines: find the source bytes.
  bool binary = d->dty == SQLT_BIN || d->dty == SQLT_LBI || d->dty == SQLT_LVB || d->dty == SQLT_VBI;
  const unsigned char *src;
  size_t len;
  bool direct = type == SQLITE_BLOB ? (binary || t.kind == ColumnKind::Unknown || t.kind == ColumnKind::Clob ||
                                       t.kind == ColumnKind::Long)
                                    : type == SQLITE_TEXT && t.kind != ColumnKind::Date &&
                                          t.kind != ColumnKind::Number && t.kind != ColumnKind::Char;
  if (direct) {
    // Text of a UTF-8 database is taken in place: sqlite3_value_text would first
    // copy every value read from a database page, only to end it with a NUL.
    bool inPlace = type == SQLITE_BLOB || s->textUtf8 == 1;
    src = static_cast<const unsigned char *>(inPlace ? sqlite3_value_blob(v) : sqlite3_value_text(v));
    len = static_cast<size_t>(sqlite3_value_bytes(v));
  } else {
    if (t.kind == ColumnKind::Date && type != SQLITE_BLOB) {
      // As TO_CHAR: a stored value that is no date is an error.
      Date dt;
      std::string_view text(reinterpret_cast<const char *>(sqlite3_value_text(v)),
                            static_cast<size_t>(sqlite3_value_bytes(v)));
      if (!readStoredDate(text, dt)) {
        err = oraError(1858);
        return Put::Error;
      }
    }
    s->scratch.clear();
    storedToText(v, t, c.nls, s->scratch);
    src = reinterpret_cast<const unsigned char *>(s->scratch.data());
    len = s->scratch.size();
  }

  if (d->dynamic) {
    const SingleByteSet *set = binary ? nullptr : setOf(d);
    if (set) return deliverConverted(d, row, *set, src, len, s->pieceScratch, err);
    return deliverPieces(d, row, src, len, false, err);
  }

  // Destination layout by external type.
  unsigned char *dest = base;
  size_t cap = size;
  if (d->dty == SQLT_STR || d->dty == SQLT_AVC) cap = size > 0 ? size - 1 : 0;
  if (d->dty == SQLT_VCS || d->dty == SQLT_VBI) {
    dest = base + 2;
    cap = size >= 2 ? size - 2 : 0;
  }

  size_t full, copied;
  const SingleByteSet *set = binary ? nullptr : setOf(d);
  if (set && !isAscii(src, len)) {
    full = utf8ToSingleByte(*set, src, len, dest, cap);
    copied = full < cap ? full : cap;
  } else {
    full = len;
    copied = full < cap ? full : cap;
    if (copied) std::memcpy(dest, src, copied);
  }
  if (d->dty == SQLT_STR || d->dty == SQLT_AVC) {
    if (size > 0) dest[copied] = '\0';
  } else if (d->dty == SQLT_AFC && copied < cap) {
    std::memset(dest + copied, ' ', cap - copied);
  } else if (d->dty == SQLT_VCS || d->dty == SQLT_VBI) {
    if (size >= 2) {
      ub2 n = static_cast<ub2>(copied);
      std::memcpy(base, &n, 2);
    }
  }
  bool truncated = full > cap;
  if (ind) *ind = truncated ? (full > 32767 ? -2 : static_cast<sb2>(full)) : 0;
  if (rlen) *rlen = static_cast<ub2>(d->dty == SQLT_AFC ? cap : copied);
  if (rcode) *rcode = truncated ? 1406 : 0;
  return truncated ? Put::Truncated : Put::Ok;
}

// Fetches up to `nrows` rows into the defines.
sword fetchRows(StmtHandle *s, ErrorHandle *err, ub4 nrows) {
  s->rowsFetched = 0;
  if (!s->executed || !s->sqlite) return fail(err, oraError(24338));
  if (s->conn->loggedOff) return fail(err, oraError(3114));
  // A define beyond the select list would never be filled.
  for (size_t k = s->columns.size(); k < s->defines.size(); ++k)
    if (s->defines[k]) return fail(err, oraError(1007));
  if (nrows == 0) {
    // Cancels the cursor.
    sqlite3_reset(s->sqlite);
    s->eof = true;
    return OCI_SUCCESS;
  }
  if (s->eof) return OCI_NO_DATA;
  bool truncated = false;
  ub4 row = 0;
  int ncol = static_cast<int>(s->columns.size());
  if (s->textUtf8 < 0) s->textUtf8 = textIsUtf8(s->conn->db) ? 1 : 0;
  while (row < nrows) {
    int rc = sqlite3_step(s->sqlite);
    if (rc == SQLITE_DONE) {
      s->eof = true;
      sqlite3_reset(s->sqlite);  // releases the read lock at once
      break;
    }
    if (rc != SQLITE_ROW) {
      OraError e = fromSqlite(s->conn->db, rc, s->conn->context());
      sqlite3_reset(s->sqlite);
      s->eof = true;
      s->rowsFetched = row;
      s->rowCount += row;
      return fail(err, e);
    }
    for (DefineHandle *d : s->defines) {
      if (!d) continue;
      int col = static_cast<int>(d->position) - 1;
      if (col >= ncol) continue;
      OraError e;
      Put put = putValue(s, d, row, col, e);
      if (put == Put::Truncated) {
        truncated = true;
      } else if (put == Put::NullNoIndicator || put == Put::Error) {
        s->rowsFetched = row + 1;
        s->rowCount += row + 1;
        return fail(err, put == Put::Error ? e : oraError(1405));
      }
    }
    ++row;
  }
  s->rowsFetched = row;
  s->rowCount += row;
  // A value cut to its buffer is a warning on the rows delivered, also in
  // the last, short block (the next fetch then answers OCI_NO_DATA): the
  // caller must hear of the cut before it hears of the end.
  if (truncated) {
    setErrors(err, oraError(1406));
    return OCI_SUCCESS_WITH_INFO;
  }
  if (row < nrows) return OCI_NO_DATA;
  return OCI_SUCCESS;
}

// ALTER SESSION SET ...
OraError alterSession(Connection &c, const ParsedSql &p) {
  if (p.settings.empty()) return oraError(922);
  for (const auto &[name, value] : p.settings) {
    if (name == "NLS_DATE_FORMAT") {
      DateFormat f;
      int rc = f.compile(value);
      if (rc) return oraError(rc);
      c.nls.dateFormat = f;
    } else if (name == "NLS_TERRITORY") {
      // The territory sets the date format and the numeric characters.
      std::string t = upperAscii(value);
      struct Territory {
        const char *name, *dateFormat;
        char decimal, group;
      };
      static const Territory territories[] = {
          {"AMERICA", "DD-MON-RR", '.', ','},     {"UNITED KINGDOM", "DD-MON-RR", '.', ','},
          {"RUSSIA", "DD.MM.RR", ',', ' '},       {"CIS", "DD.MM.RR", ',', ' '},
          {"GERMANY", "DD.MM.RR", ',', '.'},      {"FRANCE", "DD/MM/RR", ',', ' '},
          {"UKRAINE", "DD.MM.RR", ',', ' '},      {"CANADA", "RR-MM-DD", '.', ','},
      };
      const Territory *found = nullptr;
      for (const Territory &tr : territories)
        if (t == tr.name) found = &tr;
      if (!found) return oraError(12705);
      c.nls.territory = t;
      c.nls.dateFormat.compile(found->dateFormat);
      c.nls.decimal = found->decimal;
      c.nls.group = found->group;
    } else if (name == "NLS_NUMERIC_CHARACTERS") {
      if (value.size() != 2 || value[0] == value[1]) return oraError(922);
      c.nls.decimal = value[0];
      c.nls.group = value[1];
    } else if (name.compare(0, 4, "NLS_") == 0 || name == "CURRENT_SCHEMA" || name == "TIME_ZONE" ||
               name == "OPTIMIZER_MODE" || name == "SQL_TRACE" || name == "SKIP_UNUSABLE_INDEXES" ||
               name == "DDL_LOCK_TIMEOUT" || name == "CURSOR_SHARING") {
      // Accepted; nothing here depends on them.
    } else {
      return oraError(2248);
    }
  }
  return {};
}

// Runs a statement that libocilite handles itself; false when `s` is not one.
bool runOwnStatement(StmtHandle *s, OraError &err) {
  Connection &c = *s->conn;
  const ParsedSql &p = s->parsed;
  switch (p.kind) {
    case StmtKind::AlterSession: err = alterSession(c, p); return true;
    case StmtKind::Commit: err = c.commit(); return true;
    case StmtKind::Rollback: err = c.rollback(); return true;
    case StmtKind::SetTransaction:
      if (c.inTransaction) {
        err = oraError(1453);
      } else {
        c.readOnly = p.readOnlyTransaction;
      }
      return true;
    case StmtKind::Truncate:
    case StmtKind::AlterTableDeallocate: {
      // DDL: commits the open work before it runs.
      if (p.tables.empty()) {
        err = oraError(903);
        return true;
      }
      err = c.commit();
      if (err.failed()) return true;
      if (!tableExists(c.db, p.tables[0]) || isUsersTableName(p.tables[0])) {
        err = oraError(942);
        return true;
      }
      if (p.kind == StmtKind::Truncate) {
        char *sql = sqlite3_mprintf("DELETE FROM \"%w\"", p.tables[0].c_str());
        int rc = sqlite3_exec(c.db, sql, nullptr, nullptr, nullptr);
        sqlite3_free(sql);
        if (rc != SQLITE_OK) err = fromSqlite(c.db, rc, c.context());
      }
      return true;
    }
    default: return false;
  }
}

bool isDml(StmtKind k) {
  return k == StmtKind::Insert || k == StmtKind::Update || k == StmtKind::Delete || k == StmtKind::Merge;
}

bool isDdl(StmtKind k) { return k == StmtKind::Create || k == StmtKind::Drop || k == StmtKind::Alter; }

// ---- Array INSERT as statements of many rows
//
// "INSERT INTO t (a, b) VALUES (:A, :B)" executed for n rows runs as
// "INSERT INTO t (a, b) VALUES (?1, ?2), (?3, ?4), ..." over chunks of rows:
// SQLite's cost per row is about half that of one execution per row.  A
// chunk either goes in whole or, when SQLite refuses it, leaves nothing
// behind (its statement is undone), and its rows are then run one by one, so
// that the rows before a refused row go in and the row count and the error
// are those of one execution per row.

constexpr ub4 kMultiRows = 50;

// A placeholder inside the VALUES list: where it stands and its parameter.
struct TuplePlaceholder {
  size_t pos, len;
  int index;
};

bool isNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '#' || static_cast<unsigned char>(c) >= 0x80;
}

// The text of `st` (one row) made into the text of `rows` rows; empty when its
// shape is not a plain "... VALUES (...)" whose every parameter is a named
// placeholder inside the list.
std::string multiRowText(sqlite3_stmt *st, ub4 rows) {
  const char *sqlText = sqlite3_sql(st);
  if (!sqlText) return {};
  std::string_view sql(sqlText);
  int params = sqlite3_bind_parameter_count(st);
  if (params <= 0) return {};
  size_t open = std::string_view::npos, close = std::string_view::npos;
  std::vector<TuplePlaceholder> found;
  int depth = 0;
  for (size_t i = 0; i < sql.size();) {
    char c = sql[i];
    if (c == '\'' || c == '"') {
      size_t end = i + 1;
      while (end < sql.size() && !(sql[end] == c && (end + 1 >= sql.size() || sql[end + 1] != c)))
        end += sql[end] == c ? 2 : 1;
      if (end >= sql.size()) return {};
      i = end + 1;
      continue;
    }
    if ((c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') || (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*')) {
      if (open != std::string_view::npos) return {};  // keeps the rows' text plain
      size_t end = c == '-' ? sql.find('\n', i) : sql.find("*/", i + 2);
      if (end == std::string_view::npos) return {};
      i = end + (c == '-' ? 1 : 2);
      continue;
    }
    if (c == '?' || c == '@' || c == '[' || c == '`') return {};
    if (c == ':' && open != std::string_view::npos && close == std::string_view::npos) {
      size_t end = i + 1;
      while (end < sql.size() && isNameChar(sql[end])) ++end;
      std::string name(sql.substr(i, end - i));
      int index = sqlite3_bind_parameter_index(st, name.c_str());
      if (end == i + 1 || index <= 0) return {};
      found.push_back({i, end - i, index});
      i = end;
      continue;
    }
    if (c == '$') return {};
    if (isNameChar(c)) {
      size_t end = i;
      while (end < sql.size() && isNameChar(sql[end])) ++end;
      if (depth == 0 && end - i == 6 && upperAscii(sql.substr(i, 6)) == "VALUES") {
        if (open != std::string_view::npos) return {};
        size_t k = end;
        while (k < sql.size() && (sql[k] == ' ' || sql[k] == '\t' || sql[k] == '\n' || sql[k] == '\r')) ++k;
        if (k >= sql.size() || sql[k] != '(') return {};
        open = k;
        i = k;
        continue;
      }
      // A subquery among the values would read the table as it stood before
      // the whole statement rather than before its own row.
      if (open != std::string_view::npos && upperAscii(sql.substr(i, end - i)) == "SELECT") return {};
      i = end;
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')' && --depth == 0 && open != std::string_view::npos && close == std::string_view::npos) close = i;
    if (depth < 0) return {};
    if (close != std::string_view::npos && i > close && c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != ';')
      return {};
    ++i;
  }
  if (open == std::string_view::npos || close == std::string_view::npos || depth != 0) return {};
  // Every parameter of the statement lies in the list.
  std::vector<bool> seen(static_cast<size_t>(params) + 1, false);
  int distinct = 0;
  for (const TuplePlaceholder &t : found)
    if (!seen[static_cast<size_t>(t.index)]) {
      seen[static_cast<size_t>(t.index)] = true;
      ++distinct;
    }
  if (distinct != params) return {};
  std::string out(sql.substr(0, open));
  for (ub4 r = 0; r < rows; ++r) {
    if (r) out += ',';
    size_t at = open;
    for (const TuplePlaceholder &t : found) {
      out.append(sql.substr(at, t.pos - at));
      out += '?';
      out += std::to_string(static_cast<long>(r) * params + t.index);
      at = t.pos + t.len;
    }
    out.append(sql.substr(at, close + 1 - at));
  }
  return out;
}

// True when the count `sql` makes of the catalogue for table ?1 is zero.
bool countsNothing(sqlite3 *db, const char *sql, const std::string &table) {
  sqlite3_stmt *st = nullptr;
  bool none = false;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_STATIC);
    none = sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int(st, 0) == 0;
  }
  sqlite3_finalize(st);
  return none;
}

// Whether rows inserted into `table` by one statement behave as the same rows
// inserted one statement each: no trigger sees them (a trigger may keep a
// partial statement or undo the transaction) and no ON CONFLICT clause of the
// table picks a resolution that keeps part of a refused statement.  Asked at
// every array execution: another connection may add a trigger meanwhile.
bool plainInsertTarget(sqlite3 *db, const std::string &table) {
  static const char *const kSql =
      "SELECT (SELECT count(*) FROM sqlite_master WHERE (type = 'trigger' AND tbl_name = ?1 COLLATE NOCASE) OR "
      "(type = 'table' AND name = ?1 COLLATE NOCASE AND upper(sql) LIKE '%CONFLICT%')) + "
      "(SELECT count(*) FROM sqlite_temp_master WHERE type = 'trigger')";
  return countsNothing(db, kSql, table);
}

// True when rows inserted into `table` only add pages at the end of the
// database file: a rowid table of the main database without indexes (those of
// its keys included) and without triggers (Connection::noteDirectPathLoad).
bool directPathTarget(sqlite3 *db, const std::string &table) {
  static const char *const kSql =
      "SELECT (SELECT count(*) FROM sqlite_master WHERE type IN ('index', 'trigger') AND tbl_name = ?1 COLLATE NOCASE) "
      "+ (SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE AND "
      "upper(sql) LIKE '%WITHOUT%ROWID%') + (SELECT count(*) FROM sqlite_temp_master WHERE type = 'trigger') + "
      "(SELECT count(*) = 0 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE)";
  return countsNothing(db, kSql, table);
}

// Builds the statement of many rows once per compile; false when the INSERT
// must run row by row.
bool multiInsertReady(StmtHandle *s) {
  if (!s->multiTried) {
    s->multiTried = true;
    sqlite3 *db = s->conn->db;
    int params = sqlite3_bind_parameter_count(s->sqlite);
    int limit = sqlite3_limit(db, SQLITE_LIMIT_VARIABLE_NUMBER, -1);
    ub4 rows = params > 0 ? std::min<ub4>(kMultiRows, static_cast<ub4>(limit / params)) : 0;
    std::string text = rows >= 2 ? multiRowText(s->sqlite, rows) : std::string();
    sqlite3_stmt *st = nullptr;
    if (!text.empty() &&
        sqlite3_prepare_v3(db, text.c_str(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT, &st,
                           nullptr) == SQLITE_OK &&
        st && sqlite3_bind_parameter_count(st) == static_cast<int>(rows) * params) {
      s->multi = st;
      s->multiRows = rows;
      s->multiText.assign(static_cast<size_t>(rows) * static_cast<size_t>(params), std::string());
      s->multiStored.assign(s->multiText.size(), std::string());
    } else {
      sqlite3_finalize(st);
    }
  }
  return s->multi != nullptr;
}

// Runs a statement that returns no rows to its end; on a refusal the statement is
// reset and SQLite's error given.
OraError stepToEnd(Connection &c, sqlite3_stmt *st) {
  int rc = sqlite3_step(st);
  while (rc == SQLITE_ROW) rc = sqlite3_step(st);
  if (rc == SQLITE_DONE) return {};
  OraError e = fromSqlite(c.db, rc, c.context());
  sqlite3_reset(st);
  return e;
}

// Rows ahead of the one being bound whose values are fetched into the cache,
// and how much of each value: a memo of a few hundred bytes in a slot sized for
// thousands spans several cache lines, and each one missed is a wait for memory.
constexpr ub4 kPrefetchRows = 2;
constexpr size_t kPrefetchBytes = 256;
constexpr size_t kCacheLine = 64;

// The first bytes of row `row`'s value of `b`, to be fetched into the cache ahead
// of its bind; null when the value is not in the caller's array.
const unsigned char *valueAhead(const BindHandle *b, ub4 row) {
  if (b->atExec || b->fixed || !b->value || b->size <= 0) return nullptr;
  return b->value + static_cast<size_t>(row) * static_cast<size_t>(b->size);
}

// Runs rows `first` .. `first` + multiRows - 1 as one statement.  False when
// they must be run one by one instead (a value refused in conversion, or a
// statement SQLite refused and undid); true with `fatal` set when SQLite's
// refusal also ended the transaction, so that nothing may be retried.
bool runMultiRows(StmtHandle *s, ub4 first, OraError &fatal) {
  Connection &c = *s->conn;
  size_t params = s->bindForParam.size();
  sqlite3_reset(s->multi);
  for (ub4 r = 0; r < s->multiRows; ++r) {
    // The caller's arrays hold a whole block, far more than the caches keep: the
    // values of a row a few ahead are asked for now, so that they are at hand
    // when their row is bound.
    for (size_t i = 0; i < params; ++i) {
      // A hint only: an address past the caller's array is never read.
      if (const unsigned char *ahead = valueAhead(s->bindForParam[i], first + r + kPrefetchRows)) {
        const size_t size = static_cast<size_t>(s->bindForParam[i]->size);
        for (size_t k = 0; k < size && k < kPrefetchBytes; k += kCacheLine) __builtin_prefetch(ahead + k);
      }
      size_t slot = static_cast<size_t>(r) * params + i;
      OraError e = bindValue(s, s->bindForParam[i], first + r, s->multi, static_cast<int>(slot + 1),
                             s->multiText[slot], s->multiStored[slot]);
      if (e.failed()) return false;
    }
  }
  OraError e = stepToEnd(c, s->multi);
  if (e.failed()) {
    if (c.inTransaction && sqlite3_get_autocommit(c.db)) fatal = e;
    return fatal.failed();
  }
  s->rowCount += static_cast<ub8>(sqlite3_changes(c.db));
  sqlite3_reset(s->multi);
  return true;
}

sword execute(SvcHandle *svc, StmtHandle *s, ErrorHandle *err, ub4 iters, ub4 rowoff, ub4 mode) {
  if (!s->preparedText) return fail(err, oraError(24338));
  if (s->conn != svc->conn) {
    s->finalize();
    s->conn = svc->conn;
  }
  Connection &c = *s->conn;
  s->executed = false;
  s->eof = true;
  s->rowCount = 0;
  s->rowsFetched = 0;
  const ParsedSql &p = s->parsed;
  bool describeOnly = (mode & OCI_DESCRIBE_ONLY) != 0;

  if (p.kind != StmtKind::Select && iters == 0 && !describeOnly) return fail(err, oraError(24333));

  OraError e;
  if (runOwnStatement(s, e)) {
    if (e.failed()) return fail(err, e);
    return OCI_SUCCESS;
  }

  if (isDml(p.kind) && c.readOnly && !describeOnly) return fail(err, oraError(1456));
  if (isDdl(p.kind) && !describeOnly) {
    e = c.commit();
    if (e.failed()) return fail(err, e);
  }

  e = compile(s);
  if (e.failed()) return fail(err, e);
  s->described = true;
  if (describeOnly) return OCI_SUCCESS;

  e = resolveBinds(s);
  if (e.failed()) return fail(err, e);

  if (p.kind == StmtKind::Select) {
    sqlite3_reset(s->sqlite);
    if (!s->bindForParam.empty()) {
      e = bindRow(s, rowoff);
      if (e.failed()) return fail(err, e);
    }
    s->executed = true;
    s->eof = false;
    if (iters == 0) return OCI_SUCCESS;
    bool anyDefine = false;
    for (DefineHandle *d : s->defines) anyDefine = anyDefine || d;
    if (!anyDefine && !s->columns.empty()) return fail(err, oraError(24374));
    return fetchRows(s, err, iters);
  }

  if (isDml(p.kind)) {
    e = c.beginWrite();
    if (e.failed()) return fail(err, e);
    if (p.directPath && iters > 0 && !p.tables.empty() && directPathTarget(c.db, p.tables[0])) c.noteDirectPathLoad();
  }
  // One prepared statement, reset and rebound for every row.  Rows before a
  // failing row stay done in the open transaction.
  auto runRow = [&](ub4 k) -> OraError {
    sqlite3_reset(s->sqlite);
    if (!s->bindForParam.empty()) {
      OraError be = bindRow(s, rowoff + k);
      if (be.failed()) return be;
    }
    OraError se = stepToEnd(c, s->sqlite);
    if (se.failed()) return se;
    if (isDml(p.kind)) s->rowCount += static_cast<ub8>(sqlite3_changes(c.db));
    return {};
  };
  ub4 k = 0;
  if (p.kind == StmtKind::Insert && iters >= 2 && !p.tables.empty()) {
    bool callbacks = false;
    for (BindHandle *b : s->bindForParam) callbacks = callbacks || b->atExec;
    if (!callbacks && multiInsertReady(s) && iters >= s->multiRows && plainInsertTarget(c.db, p.tables[0])) {
      for (; iters - k >= s->multiRows; k += s->multiRows) {
        OraError fatal;
        if (runMultiRows(s, rowoff + k, fatal)) {
          if (fatal.failed()) return fail(err, fatal);
          continue;
        }
        for (ub4 r = 0; r < s->multiRows; ++r) {
          e = runRow(k + r);
          if (e.failed()) return fail(err, e);
        }
      }
    }
  }
  for (; k < iters; ++k) {
    e = runRow(k);
    if (e.failed()) return fail(err, e);
  }
  sqlite3_reset(s->sqlite);
  if (isDdl(p.kind)) {
    ++c.schemaGeneration;
    c.readOnly = false;
  }
  if (mode & OCI_COMMIT_ON_SUCCESS) {
    e = c.commit();
    if (e.failed()) return fail(err, e);
  }
  return OCI_SUCCESS;
}

}  // namespace

}  // namespace ocilite

using namespace ocilite;

extern "C" {

sword OCIStmtPrepare(OCIStmt *stmtp, OCIError *errhp, const OraText *stmt, ub4 stmt_len, ub4 language, ub4 mode) {
  auto *s = live<StmtHandle>(stmtp, OCI_HTYPE_STMT);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!s || !err) return OCI_INVALID_HANDLE;
  err->records.clear();
  s->finalize();
  for (BindHandle *b : s->binds) destroy(b);
  for (DefineHandle *d : s->defines) destroy(d);
  for (ParamHandle *p : s->params) destroy(p);
  s->binds.clear();
  s->defines.clear();
  s->params.clear();
  s->executed = false;
  s->described = false;
  s->eof = true;
  s->rowCount = 0;
  s->rowsFetched = 0;
  s->preparedText = false;
  if (!stmt || stmt_len == 0) return fail(err, oraError(900));
  s->sql.assign(reinterpret_cast<const char *>(stmt), stmt_len);
  s->parsed = parseSql(s->sql);
  if (s->parsed.kind == StmtKind::Empty) return fail(err, oraError(900));
  // Literal values get binds of their own, used when the rewrite for SQLite
  // turns them into placeholders.
  for (size_t k = 0; k < s->parsed.literals.size(); ++k) {
    const ParsedSql::Literal &lit = s->parsed.literals[k];
    auto *b = new BindHandle;
    b->stmt = s;
    b->name = literalPlaceholder(k);
    b->fixed = true;
    b->literal = lit.text;
    b->value = reinterpret_cast<unsigned char *>(b->literal.data());
    b->size = static_cast<sb4>(b->literal.size());
    b->dty = lit.number ? SQLT_NUM : SQLT_CHR;
    s->binds.push_back(b);
    s->parsed.boundColumns.push_back({b->name, lit.column});
  }
  s->preparedText = true;
  return OCI_SUCCESS;
}

sword OCIStmtExecute(OCISvcCtx *svchp, OCIStmt *stmtp, OCIError *errhp, ub4 iters, ub4 rowoff,
                     const OCISnapshot *snap_in, OCISnapshot *snap_out, ub4 mode) {
  auto *svc = live<SvcHandle>(svchp, OCI_HTYPE_SVCCTX);
  auto *s = live<StmtHandle>(stmtp, OCI_HTYPE_STMT);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!svc || !s || !err) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (!svc->conn || svc->conn->loggedOff) return fail(err, oraError(3114));
  return execute(svc, s, err, iters, rowoff, mode);
}

sword OCIStmtFetch(OCIStmt *stmtp, OCIError *errhp, ub4 nrows, ub2 orientation, ub4 mode) {
  auto *s = live<StmtHandle>(stmtp, OCI_HTYPE_STMT);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!s || !err) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (orientation != OCI_FETCH_NEXT && orientation != OCI_DEFAULT) return fail(err, oraError(3001));
  return fetchRows(s, err, nrows);
}

sword OCIDefineByPos(OCIStmt *stmtp, OCIDefine **defnp, OCIError *errhp, ub4 position, void *valuep, sb4 value_sz,
                     ub2 dty, void *indp, ub2 *rlenp, ub2 *rcodep, ub4 mode) {
  auto *s = live<StmtHandle>(stmtp, OCI_HTYPE_STMT);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!s || !err || !defnp) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (position == 0 || position > 1000) return fail(err, oraError(24334));
  if (!supportedDefineType(dty) || value_sz < 0) return fail(err, oraError(1460));
  if (s->defines.size() < position) s->defines.resize(position, nullptr);
  DefineHandle *&d = s->defines[position - 1];
  if (!d) {
    d = new DefineHandle;
    track(d);
  }
  d->stmt = s;
  d->position = position;
  d->value = static_cast<unsigned char *>(valuep);
  d->size = value_sz;
  d->dty = dty;
  d->ind = static_cast<sb2 *>(indp);
  d->rlen = rlenp;
  d->rcode = rcodep;
  d->dynamic = (mode & OCI_DYNAMIC_FETCH) != 0;
  d->context = nullptr;
  d->callback = nullptr;
  *defnp = reinterpret_cast<OCIDefine *>(d);
  return OCI_SUCCESS;
}

sword OCIDefineDynamic(OCIDefine *defnp, OCIError *errhp, void *octxp, OCICallbackDefine ocbfp) {
  auto *d = live<DefineHandle>(defnp, OCI_HTYPE_DEFINE);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!d || !err) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (!d->dynamic || !ocbfp) return fail(err, oraError(24343));
  d->context = octxp;
  d->callback = ocbfp;
  return OCI_SUCCESS;
}

sword OCIBindDynamic(OCIBind *bindp, OCIError *errhp, void *ictxp, OCICallbackInBind icbfp, void *octxp,
                     OCICallbackOutBind ocbfp) {
  auto *b = live<BindHandle>(bindp, OCI_HTYPE_BIND);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!b || !err) return OCI_INVALID_HANDLE;
  err->records.clear();
  (void)octxp;
  (void)ocbfp;  // no OUT binds here: nothing is returned into binds
  if (!b->atExec || !icbfp) return fail(err, oraError(24343));
  b->inContext = ictxp;
  b->inCallback = icbfp;
  return OCI_SUCCESS;
}

sword OCIBindByName(OCIStmt *stmtp, OCIBind **bindp, OCIError *errhp, const OraText *placeholder, sb4 placeh_len,
                    void *valuep, sb4 value_sz, ub2 dty, void *indp, ub2 *alenp, ub2 *rcodep, ub4 maxarr_len,
                    ub4 *curelep, ub4 mode) {
  auto *s = live<StmtHandle>(stmtp, OCI_HTYPE_STMT);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!s || !err || !bindp) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (!placeholder) return fail(err, oraError(1036));
  // A length of -1 means a NUL-terminated name.
  std::string name = placeh_len < 0 ? std::string(reinterpret_cast<const char *>(placeholder))
                                    : std::string(reinterpret_cast<const char *>(placeholder),
                                                  static_cast<size_t>(placeh_len));
  if (name.empty() || name[0] != ':') name.insert(name.begin(), ':');
  name = upperAscii(name);
  const auto &names = s->parsed.placeholders;
  if (std::find(names.begin(), names.end(), name) == names.end()) return fail(err, oraError(1036));
  if (value_sz < 0) return fail(err, oraError(1460));
  BindHandle *b = nullptr;
  for (BindHandle *existing : s->binds)
    if (existing->name == name) b = existing;
  if (!b) {
    b = new BindHandle;
    track(b);
    s->binds.push_back(b);
  }
  b->stmt = s;
  b->name = name;
  b->value = static_cast<unsigned char *>(valuep);
  b->size = value_sz;
  b->dty = dty;
  b->ind = static_cast<sb2 *>(indp);
  b->alen = alenp;
  b->rcode = rcodep;
  b->atExec = (mode & OCI_DATA_AT_EXEC) != 0;
  b->inContext = nullptr;
  b->inCallback = nullptr;
  *bindp = reinterpret_cast<OCIBind *>(b);
  return OCI_SUCCESS;
}

}  // extern "C"
