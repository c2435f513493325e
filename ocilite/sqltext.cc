#include "ocilite/sqltext.h"

#include <algorithm>
#include <cctype>

#include "ocilite/oci.h"

namespace ocilite {

namespace {

enum class Tok { Word, Quoted, String, Number, Placeholder, Punct };

struct Token {
  Tok type;
  size_t pos;
  size_t len;
  std::string_view text;
  int depth;  // parenthesis depth at the token
};

bool isWordChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '$' || c == '#' || u >= 0x80;
}

std::vector<Token> tokenize(std::string_view sql) {
  std::vector<Token> out;
  int depth = 0;
  size_t i = 0, n = sql.size();
  while (i < n) {
    char c = sql[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      size_t end = sql.find("*/", i + 2);
      i = end == std::string_view::npos ? n : end + 2;
      continue;
    }
    size_t start = i;
    Tok type;
    if (c == '\'') {
      ++i;
      while (i < n) {
        if (sql[i] == '\'') {
          if (i + 1 < n && sql[i + 1] == '\'') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      type = Tok::String;
    } else if (c == '"') {
      size_t end = sql.find('"', i + 1);
      i = end == std::string_view::npos ? n : end + 1;
      type = Tok::Quoted;
    } else if (c == ':' && i + 1 < n && isWordChar(sql[i + 1])) {
      ++i;
      while (i < n && isWordChar(sql[i])) ++i;
      type = Tok::Placeholder;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
      while (i < n && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '.')) ++i;
      type = Tok::Number;
    } else if (isWordChar(c)) {
      while (i < n && isWordChar(sql[i])) ++i;
      type = Tok::Word;
    } else {
      ++i;
      type = Tok::Punct;
    }
    if (type == Tok::Punct && c == ')') --depth;
    out.push_back({type, start, i - start, sql.substr(start, i - start), depth});
    if (type == Tok::Punct && c == '(') ++depth;
  }
  return out;
}

bool is(const Token &t, std::string_view word) {
  if (t.type != Tok::Word || t.text.size() != word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(t.text[i])) != word[i]) return false;
  return true;
}

bool isPunct(const Token &t, char c) { return t.type == Tok::Punct && t.text[0] == c; }

// An identifier as Oracle names it: unquoted upper case, quoted as written.
std::string identName(const Token &t) {
  if (t.type == Tok::Quoted) return std::string(t.text.substr(1, t.text.size() >= 2 ? t.text.size() - 2 : 0));
  return upperAscii(t.text);
}

bool isIdent(const Token &t) { return t.type == Tok::Word || t.type == Tok::Quoted; }

const char *const kClauseWords[] = {"WHERE", "ORDER", "GROUP", "HAVING", "CONNECT", "START", "UNION",
                                    "INTERSECT", "MINUS", "EXCEPT", "FOR", "JOIN", "INNER", "LEFT",
                                    "RIGHT", "FULL", "CROSS", "NATURAL", "ON", "USING", "SET", "VALUES",
                                    "LIMIT", "FETCH", "OFFSET", "WITH", "DEALLOCATE", "SELECT"};

bool isClauseWord(const Token &t) {
  for (const char *w : kClauseWords)
    if (is(t, w)) return true;
  return false;
}

// Reads a possibly schema-qualified table name at `i`; returns the index after it.
size_t readTable(const std::vector<Token> &toks, size_t i, std::vector<std::string> &tables) {
  if (i >= toks.size() || !isIdent(toks[i]) || isClauseWord(toks[i])) return i;
  std::string name = identName(toks[i]);
  ++i;
  while (i + 1 < toks.size() && isPunct(toks[i], '.') && isIdent(toks[i + 1])) {
    name = identName(toks[i + 1]);
    i += 2;
  }
  tables.push_back(name);
  return i;
}

// The text of an expression as Oracle names it: upper case, no blanks,
// quoted parts as written.
std::string expressionName(std::string_view sql, const std::vector<Token> &toks, size_t from, size_t to) {
  std::string out;
  for (size_t k = from; k < to; ++k) {
    const Token &t = toks[k];
    if (t.type == Tok::String || t.type == Tok::Quoted)
      out += t.text;
    else
      out += upperAscii(t.text);
  }
  (void)sql;
  return out;
}

void parseSelectList(std::string_view sql, const std::vector<Token> &toks, size_t start, ParsedSql &p) {
  size_t i = start + 1;
  int depth = toks[start].depth;
  if (i < toks.size() && (is(toks[i], "DISTINCT") || is(toks[i], "ALL") || is(toks[i], "UNIQUE"))) ++i;
  std::vector<SelectItem> items;
  bool star = false;
  size_t itemStart = i;
  for (; i <= toks.size(); ++i) {
    bool end = i == toks.size() || (toks[i].depth == depth && is(toks[i], "FROM"));
    bool comma = !end && toks[i].depth == depth && isPunct(toks[i], ',');
    if (!end && !comma) continue;
    size_t n = i - itemStart;
    if (n == 0) return;
    SelectItem item;
    const Token &last = toks[i - 1];
    if (isPunct(last, '*')) star = true;
    bool alias = false;
    if (n >= 2 && isIdent(last)) {
      const Token &prev = toks[i - 2];
      alias = is(prev, "AS") || isPunct(prev, ')') || prev.type != Tok::Punct;
    }
    // "a.b.c" and a lone identifier are column references, not aliases.
    bool columnRef = true;
    for (size_t k = itemStart; k < i; ++k) {
      bool expectIdent = (k - itemStart) % 2 == 0;
      if (expectIdent ? !isIdent(toks[k]) : !isPunct(toks[k], '.')) columnRef = false;
    }
    if (n % 2 == 0) columnRef = false;
    if (columnRef) {
      item.name = identName(last);
    } else if (alias) {
      item.name = identName(last);
      size_t exprEnd = is(toks[i - 2], "AS") ? i - 2 : i - 1;
      if (is(toks[itemStart], "TO_CHAR") && exprEnd > itemStart + 1 && isPunct(toks[itemStart + 1], '(')) {
        item.toChar = true;
      }
    } else {
      item.name = expressionName(sql, toks, itemStart, i);
      if (is(toks[itemStart], "TO_CHAR") && n > 1 && isPunct(toks[itemStart + 1], '(')) item.toChar = true;
    }
    if (item.toChar && itemStart + 3 < toks.size() && isIdent(toks[itemStart + 2]) &&
        (isPunct(toks[itemStart + 3], ')') || isPunct(toks[itemStart + 3], ','))) {
      item.toCharColumn = identName(toks[itemStart + 2]);
    }
    items.push_back(std::move(item));
    itemStart = i + 1;
    if (end) {
      if (i < toks.size()) {
        // Tables of the FROM clause: the first, and each after a comma or JOIN.
        size_t k = readTable(toks, i + 1, p.tables);
        for (; k < toks.size(); ++k) {
          if (toks[k].depth != depth) continue;
          if (is(toks[k], "WHERE") || is(toks[k], "ORDER") || is(toks[k], "GROUP")) break;
          if (isPunct(toks[k], ',') || is(toks[k], "JOIN")) k = readTable(toks, k + 1, p.tables) - 1;
        }
      }
      break;
    }
  }
  if (!star) p.selectItems = std::move(items);
}

// "( a , b , c )" starting at the "(": the items' token ranges.
std::vector<std::pair<size_t, size_t>> parenItems(const std::vector<Token> &toks, size_t open) {
  std::vector<std::pair<size_t, size_t>> items;
  if (open >= toks.size() || !isPunct(toks[open], '(')) return items;
  int depth = toks[open].depth + 1;
  size_t start = open + 1;
  for (size_t i = open + 1; i < toks.size(); ++i) {
    if (toks[i].depth == depth - 1 && isPunct(toks[i], ')')) {
      items.push_back({start, i});
      return items;
    }
    if (toks[i].depth == depth && isPunct(toks[i], ',')) {
      items.push_back({start, i});
      start = i + 1;
    }
  }
  items.clear();
  return items;
}

// Records the value toks[a, b) when it is one literal: 'text', a number, or
// a signed number.
void addLiteral(const std::vector<Token> &toks, size_t a, size_t b, const std::string &column, ParsedSql &p) {
  ParsedSql::Literal lit;
  if (b == a + 1 && toks[a].type == Tok::String) {
    std::string_view t = toks[a].text;
    if (t.size() < 2 || t.back() != '\'' ) return;  // unterminated: SQLite will refuse it
    lit.text = std::string(t.substr(1, t.size() - 2));
    size_t at = 0;
    while ((at = lit.text.find("''", at)) != std::string::npos) lit.text.erase(at++, 1);
  } else if (b == a + 1 && toks[a].type == Tok::Number) {
    lit.text = std::string(toks[a].text);
    lit.number = true;
  } else if (b == a + 2 && (isPunct(toks[a], '-') || isPunct(toks[a], '+')) && toks[a + 1].type == Tok::Number) {
    lit.text = std::string(toks[a].text) + std::string(toks[a + 1].text);
    lit.number = true;
  } else {
    return;
  }
  lit.pos = toks[a].pos;
  lit.len = toks[b - 1].pos + toks[b - 1].len - toks[a].pos;
  lit.column = column;
  p.literals.push_back(std::move(lit));
}

// True when a hint comment between the INSERT keyword (ending at `from`) and
// the next token (at `to`) names APPEND or APPEND_VALUES as a word of its own.
bool appendHint(std::string_view sql, size_t from, size_t to) {
  size_t open = sql.find("/*+", from);
  if (open == std::string_view::npos || open >= to) return false;
  size_t close = sql.find("*/", open + 3);
  if (close == std::string_view::npos || close > to) close = to;
  std::string hint = upperAscii(sql.substr(open + 3, close - open - 3));
  auto wordChar = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
  };
  for (size_t i = 0; i < hint.size();) {
    if (!wordChar(hint[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < hint.size() && wordChar(hint[end])) ++end;
    std::string_view word(hint.data() + i, end - i);
    if (word == "APPEND" || word == "APPEND_VALUES") return true;
    i = end;
  }
  return false;
}

void parseInsert(const std::vector<Token> &toks, ParsedSql &p) {
  size_t i = 1;
  if (i < toks.size() && is(toks[i], "INTO")) ++i;
  size_t after = readTable(toks, i, p.tables);
  if (after == i) return;
  i = after;
  if (i < toks.size() && isIdent(toks[i]) && !is(toks[i], "VALUES") && !is(toks[i], "SELECT")) ++i;  // alias
  std::vector<std::string> columns;
  if (i < toks.size() && isPunct(toks[i], '(')) {
    auto items = parenItems(toks, i);
    for (auto [a, b] : items) {
      if (b == a + 1 && isIdent(toks[a]))
        columns.push_back(identName(toks[a]));
      else if (b == a + 3 && isPunct(toks[a + 1], '.'))
        columns.push_back(identName(toks[a + 2]));
      else
        columns.push_back("");
    }
    if (items.empty()) return;
    i = items.back().second + 1;
  }
  if (i >= toks.size() || !is(toks[i], "VALUES")) return;
  auto values = parenItems(toks, i + 1);
  for (size_t k = 0; k < values.size(); ++k) {
    auto [a, b] = values[k];
    // Without a column list the values follow the table's columns; "#k" is
    // resolved by position later.
    std::string column = columns.empty() ? "#" + std::to_string(k) : (k < columns.size() ? columns[k] : "");
    if (column.empty()) continue;
    if (b == a + 1 && toks[a].type == Tok::Placeholder) p.boundColumns.push_back({upperAscii(toks[a].text), column});
    addLiteral(toks, a, b, column, p);
  }
}

void parseUpdate(const std::vector<Token> &toks, ParsedSql &p) {
  size_t i = readTable(toks, 1, p.tables);
  for (; i < toks.size() && !is(toks[i], "SET"); ++i) {
  }
  int depth = 0;
  for (++i; i + 2 < toks.size(); ++i) {
    if (toks[i].depth != depth) continue;
    if (is(toks[i], "WHERE")) break;
    if (!isIdent(toks[i]) || !isPunct(toks[i + 1], '=')) continue;
    // The value's end: the next comma or WHERE at this depth.
    size_t end = i + 2;
    while (end < toks.size() && !(toks[end].depth == depth && (isPunct(toks[end], ',') || is(toks[end], "WHERE"))))
      ++end;
    if (end == i + 3 && toks[i + 2].type == Tok::Placeholder)
      p.boundColumns.push_back({upperAscii(toks[i + 2].text), identName(toks[i])});
    addLiteral(toks, i + 2, end, identName(toks[i]), p);
  }
}

void parseAlterSession(const std::vector<Token> &toks, ParsedSql &p) {
  size_t i = 2;
  if (i < toks.size() && is(toks[i], "SET")) ++i;
  while (i + 2 < toks.size()) {
    if (!isIdent(toks[i]) || !isPunct(toks[i + 1], '=')) break;
    const Token &v = toks[i + 2];
    std::string value;
    if (v.type == Tok::String) {
      value = std::string(v.text.substr(1, v.text.size() >= 2 ? v.text.size() - 2 : 0));
      size_t at;
      while ((at = value.find("''")) != std::string::npos) value.erase(at, 1);
    } else if (v.type == Tok::Quoted) {
      value = std::string(v.text.substr(1, v.text.size() >= 2 ? v.text.size() - 2 : 0));
    } else {
      value = upperAscii(v.text);
    }
    // Multi-word values (NLS_TERRITORY='UNITED KINGDOM' is quoted; unquoted
    // words are joined).
    size_t k = i + 3;
    while (k < toks.size() && toks[k].type == Tok::Word && !(k + 1 < toks.size() && isPunct(toks[k + 1], '='))) {
      value += " " + upperAscii(toks[k].text);
      ++k;
    }
    p.settings.push_back({upperAscii(toks[i].text), value});
    i = k;
  }
  if (i != toks.size() && !(i + 1 == toks.size() && isPunct(toks[i], ';'))) p.settings.clear();
}

}  // namespace

ParsedSql parseSql(std::string_view sql) {
  ParsedSql p;
  std::vector<Token> toks = tokenize(sql);
  for (const Token &t : toks) {
    if (t.type != Tok::Placeholder) continue;
    std::string name = upperAscii(t.text);
    if (std::find(p.placeholders.begin(), p.placeholders.end(), name) == p.placeholders.end())
      p.placeholders.push_back(name);
  }
  if (toks.empty()) return p;
  const Token &first = toks[0];
  auto second = [&](std::string_view w) { return toks.size() > 1 && is(toks[1], w); };
  if (is(first, "SELECT") || is(first, "WITH") || isPunct(first, '(')) {
    p.kind = StmtKind::Select;
    p.ociType = OCI_STMT_SELECT;
    for (size_t i = 0; i < toks.size(); ++i) {
      if (is(toks[i], "SELECT")) {
        parseSelectList(sql, toks, i, p);
        break;
      }
    }
  } else if (is(first, "INSERT")) {
    p.kind = StmtKind::Insert;
    p.ociType = OCI_STMT_INSERT;
    p.directPath = appendHint(sql, first.pos + first.len, toks.size() > 1 ? toks[1].pos : sql.size());
    parseInsert(toks, p);
  } else if (is(first, "UPDATE")) {
    p.kind = StmtKind::Update;
    p.ociType = OCI_STMT_UPDATE;
    parseUpdate(toks, p);
  } else if (is(first, "DELETE")) {
    p.kind = StmtKind::Delete;
    p.ociType = OCI_STMT_DELETE;
    size_t i = toks.size() > 1 && is(toks[1], "FROM") ? 2 : 1;
    readTable(toks, i, p.tables);
  } else if (is(first, "MERGE")) {
    p.kind = StmtKind::Merge;
    p.ociType = OCI_STMT_MERGE;
  } else if (is(first, "CREATE")) {
    p.kind = StmtKind::Create;
    p.ociType = OCI_STMT_CREATE;
  } else if (is(first, "DROP")) {
    p.kind = StmtKind::Drop;
    p.ociType = OCI_STMT_DROP;
  } else if (is(first, "ALTER") && second("SESSION")) {
    p.kind = StmtKind::AlterSession;
    p.ociType = OCI_STMT_ALTER;
    parseAlterSession(toks, p);
  } else if (is(first, "ALTER") && second("TABLE")) {
    p.ociType = OCI_STMT_ALTER;
    size_t i = readTable(toks, 2, p.tables);
    bool dealloc = i < toks.size() && is(toks[i], "DEALLOCATE") && i + 1 < toks.size() && is(toks[i + 1], "UNUSED");
    p.kind = dealloc ? StmtKind::AlterTableDeallocate : StmtKind::Alter;
  } else if (is(first, "ALTER")) {
    p.kind = StmtKind::Alter;
    p.ociType = OCI_STMT_ALTER;
  } else if (is(first, "TRUNCATE")) {
    p.kind = StmtKind::Truncate;
    p.ociType = OCI_STMT_UNKNOWN;
    if (second("TABLE")) readTable(toks, 2, p.tables);
  } else if (is(first, "COMMIT")) {
    p.kind = StmtKind::Commit;
    p.ociType = 21;
  } else if (is(first, "ROLLBACK")) {
    p.kind = StmtKind::Rollback;
    p.ociType = 17;
  } else if (is(first, "SET") && second("TRANSACTION")) {
    p.kind = StmtKind::SetTransaction;
    p.ociType = OCI_STMT_UNKNOWN;
    p.readOnlyTransaction = toks.size() > 3 && is(toks[2], "READ") && is(toks[3], "ONLY");
  } else {
    p.kind = StmtKind::Other;
    p.ociType = is(first, "BEGIN")     ? OCI_STMT_BEGIN
                : is(first, "DECLARE") ? OCI_STMT_DECLARE
                : is(first, "CALL")    ? OCI_STMT_CALL
                                       : OCI_STMT_UNKNOWN;
  }
  return p;
}

namespace {

bool isComparison(const Token &t) {
  return t.type == Tok::Punct && (t.text[0] == '<' || t.text[0] == '>' || t.text[0] == '=' || t.text[0] == '!');
}

// The column named by the identifier ending at toks[k] ("a" or "t.a").
bool isDateColumn(const std::vector<Token> &toks, size_t k,
                  const std::function<ColumnKind(std::string_view column)> &kindOf) {
  return k < toks.size() && isIdent(toks[k]) && !isClauseWord(toks[k]) &&
         kindOf(identName(toks[k])) == ColumnKind::Date;
}

// For "d + n" or "d - n" at toks[i] (n a number token), the index after n;
// 0 otherwise.
size_t datePlusNumber(const std::vector<Token> &toks, size_t i) {
  if (i + 2 >= toks.size()) return 0;
  if (!isPunct(toks[i + 1], '+') && !isPunct(toks[i + 1], '-')) return 0;
  if (toks[i + 2].type != Tok::Number) return 0;
  // The whole term: "1/24", "2*7".
  size_t end = i + 3;
  while (end + 1 < toks.size() && (isPunct(toks[end], '*') || isPunct(toks[end], '/')) &&
         toks[end + 1].type == Tok::Number)
    end += 2;
  return end;
}

// True when the string toks[i] is compared with a DATE column: "col op
// 'text'", "'text' op col", "col BETWEEN 'a' AND 'b'".
bool comparesWithDate(const std::vector<Token> &toks, size_t i,
                      const std::function<ColumnKind(std::string_view column)> &kindOf) {
  // Backwards over one or two operator characters to the column.
  size_t k = i;
  int ops = 0;
  while (k > 0 && ops < 2 && isComparison(toks[k - 1])) {
    --k;
    ++ops;
  }
  if (ops > 0 && k > 0) {
    // The operand before the operator: back to the start of its term
    // ("o.placed - 14 < 'text'" starts at "o").
    size_t start = k;
    int depth = toks[k - 1].depth;
    while (start > 0) {
      const Token &p = toks[start - 1];
      if (p.depth < depth || (p.depth == depth && (isPunct(p, ',') || isPunct(p, '(') || isComparison(p) ||
                                                  is(p, "AND") || is(p, "OR") || is(p, "NOT") || isClauseWord(p))))
        break;
      --start;
    }
    if (start < k && is(toks[start], "SYSDATE")) return true;
    if (start + 2 < k && isPunct(toks[start + 1], '.')) return isDateColumn(toks, start + 2, kindOf);
    if (start < k && isDateColumn(toks, start, kindOf)) return true;
  }
  // Forwards over the operator to the column.
  size_t f = i + 1;
  ops = 0;
  while (f < toks.size() && ops < 2 && isComparison(toks[f])) {
    ++f;
    ++ops;
  }
  if (ops > 0 && f < toks.size() && isDateColumn(toks, f, kindOf)) {
    // "t.col" reads forwards as t, ., col.
    if (f + 2 < toks.size() && isPunct(toks[f + 1], '.')) return isDateColumn(toks, f + 2, kindOf);
    return true;
  }
  if (ops > 0 && f + 2 < toks.size() && isIdent(toks[f]) && isPunct(toks[f + 1], '.'))
    return isDateColumn(toks, f + 2, kindOf);
  // BETWEEN.
  if (i >= 2 && is(toks[i - 1], "BETWEEN")) return isDateColumn(toks, i - 2, kindOf);
  if (i >= 4 && is(toks[i - 1], "AND") && toks[i - 2].type == Tok::String && is(toks[i - 3], "BETWEEN"))
    return isDateColumn(toks, i - 4, kindOf);
  return false;
}

// The index of the token that closes the bracket or CASE opened at
// toks[open]; 0 when the text ends first.
size_t closingToken(const std::vector<Token> &toks, size_t open) {
  if (isPunct(toks[open], '(')) {
    for (size_t k = open + 1; k < toks.size(); ++k)
      if (isPunct(toks[k], ')') && toks[k].depth == toks[open].depth) return k;
    return 0;
  }
  int cases = 0;
  for (size_t k = open; k < toks.size(); ++k) {
    if (toks[k].depth != toks[open].depth) continue;
    if (is(toks[k], "CASE")) ++cases;
    if (is(toks[k], "END") && --cases == 0) return k;
  }
  return 0;
}

// The divisor of a "/" whose right operand starts at toks[i]: the operand
// that SQLite divides by (unary signs, then a literal, a placeholder, a
// column "c" or "t.c", a function call, a bracketed expression or a CASE).
// Returns the index after it; 0 for any other shape, which is left alone.
size_t divisorEnd(const std::vector<Token> &toks, size_t i) {
  size_t k = i;
  while (k < toks.size() && (isPunct(toks[k], '-') || isPunct(toks[k], '+') || isPunct(toks[k], '~'))) ++k;
  if (k >= toks.size()) return 0;
  const Token &t = toks[k];
  if (isPunct(t, '(') || is(t, "CASE")) {
    size_t close = closingToken(toks, k);
    return close ? close + 1 : 0;
  }
  if (t.type == Tok::Number || t.type == Tok::String || t.type == Tok::Placeholder) return k + 1;
  if (isPunct(t, '?'))
    return k + 1 < toks.size() && toks[k + 1].type == Tok::Number && toks[k + 1].pos == t.pos + 1 ? k + 2 : k + 1;
  if (!isIdent(t) || isClauseWord(t)) return 0;
  if (k + 1 < toks.size() && isPunct(toks[k + 1], '(')) {
    size_t close = closingToken(toks, k + 1);
    return close ? close + 1 : 0;
  }
  while (k + 2 < toks.size() && isPunct(toks[k + 1], '.') && isIdent(toks[k + 2])) k += 2;
  return k + 1;
}

}  // namespace

std::string literalPlaceholder(size_t k) { return ":OCL_LIT_" + std::to_string(k) + "_"; }

std::string rewriteForSqlite(std::string_view sql,
                             const std::function<ColumnKind(std::string_view column)> &kindOf) {
  std::vector<Token> toks = tokenize(sql);
  struct Edit {
    size_t pos, len;
    std::string text;
  };
  std::vector<Edit> edits;
  // Every divisor becomes ocl_divisor(divisor), so that a division by zero
  // raises ORA-01476 as in Oracle (SQLite gives NULL).  The brackets are
  // insertions (len 0), merged with the other edits at the end.
  std::vector<std::pair<Edit, Edit>> divisors;
  // Literal values of a column of known type become placeholders: strings
  // for every such column, numbers for NUMBER columns.
  ParsedSql parsed = parseSql(sql);
  std::vector<const ParsedSql::Literal *> literals;
  for (const ParsedSql::Literal &lit : parsed.literals) literals.push_back(&lit);
  size_t nextLiteral = 0;
  for (size_t i = 0; i < toks.size(); ++i) {
    const Token &t = toks[i];
    while (nextLiteral < literals.size() && literals[nextLiteral]->pos < t.pos) ++nextLiteral;
    if (nextLiteral < literals.size() && literals[nextLiteral]->pos == t.pos) {
      const ParsedSql::Literal &lit = *literals[nextLiteral];
      ColumnKind kind = kindOf(lit.column);
      if (kind != ColumnKind::Unknown && (!lit.number || kind == ColumnKind::Number)) {
        edits.push_back({lit.pos, lit.len, literalPlaceholder(nextLiteral)});
        while (i + 1 < toks.size() && toks[i + 1].pos < lit.pos + lit.len) ++i;
        continue;
      }
    }
    if (isPunct(t, '/')) {
      if (size_t end = divisorEnd(toks, i + 1); end != 0)
        divisors.push_back({{toks[i + 1].pos, 0, "ocl_divisor("}, {toks[end - 1].pos + toks[end - 1].len, 0, ")"}});
    } else if (t.type == Tok::Placeholder) {
      edits.push_back({t.pos, t.len, upperAscii(t.text)});
    } else if ((is(t, "FROM") || is(t, "INTO") || is(t, "UPDATE") || is(t, "JOIN") || is(t, "TABLE")) &&
               i + 3 < toks.size() && isIdent(toks[i + 1]) && isPunct(toks[i + 2], '.') &&
               isIdent(toks[i + 3]) && !is(toks[i + 1], "MAIN") && !is(toks[i + 1], "TEMP")) {
      edits.push_back({toks[i + 1].pos, toks[i + 3].pos - toks[i + 1].pos, ""});
    } else if (is(t, "FROM") && i + 1 < toks.size() && is(toks[i + 1], "DUAL")) {
      edits.push_back({t.pos, toks[i + 1].pos + toks[i + 1].len - t.pos, ""});
      ++i;
    } else if (is(t, "TO_CHAR") && i + 2 < toks.size() && isPunct(toks[i + 1], '(')) {
      std::string replacement = "to_char";
      if (isIdent(toks[i + 2]) && i + 3 < toks.size() && (isPunct(toks[i + 3], ')') || isPunct(toks[i + 3], ','))) {
        ColumnKind kind = kindOf(identName(toks[i + 2]));
        if (kind == ColumnKind::Number) replacement = "ocl_number_to_char";
        if (kind == ColumnKind::Date) replacement = "ocl_date_to_char";
      }
      edits.push_back({t.pos, t.len, replacement});
    } else if (size_t end = 0; (is(t, "SYSDATE") || isDateColumn(toks, i, kindOf)) &&
                               (end = datePlusNumber(toks, i)) != 0) {
      // DATE +/- a number of days.
      size_t from = t.pos;
      std::string operand = is(t, "SYSDATE") ? "ocl_sysdate()" : std::string(t.text);
      if (i >= 2 && isPunct(toks[i - 1], '.') && isIdent(toks[i - 2]) && edits.empty() == false &&
          edits.back().pos + edits.back().len > toks[i - 2].pos) {
        // The qualifier was already rewritten; keep the column alone.
      } else if (i >= 2 && isPunct(toks[i - 1], '.') && isIdent(toks[i - 2])) {
        from = toks[i - 2].pos;
        operand = std::string(sql.substr(from, t.pos + t.len - from));
      }
      const Token &sign = toks[i + 1];
      std::string number(toks[i + 2].text);
      for (size_t k = i + 3; k + 1 < end; k += 2)
        number += isPunct(toks[k], '/') ? "/ocl_divisor(" + std::string(toks[k + 1].text) + ")"
                                        : "*" + std::string(toks[k + 1].text);
      edits.push_back({from, toks[end - 1].pos + toks[end - 1].len - from,
                       "ocl_date_add(" + operand + ", " + std::string(sign.text) + "(1.0*" + number + "))"});
      i = end - 1;
    } else if (t.type == Tok::String && comparesWithDate(toks, i, kindOf)) {
      // Oracle reads a text compared with a DATE column as a date (through
      // NLS_DATE_FORMAT); compared as it stands it would order as text.
      edits.push_back({t.pos, t.len, "to_date(" + std::string(t.text) + ")"});
    } else if (is(t, "SYSDATE") && !(i + 1 < toks.size() && isPunct(toks[i + 1], '('))) {
      edits.push_back({t.pos, t.len, "ocl_sysdate()"});
    } else if (is(t, "UNIQUE") && i > 0 && is(toks[i - 1], "SELECT")) {
      edits.push_back({t.pos, t.len, "DISTINCT"});
    }
  }
  // A divisor that another edit cuts into (an operand of DATE arithmetic,
  // which Oracle would refuse anyway) is left unwrapped.
  for (const auto &[open, close] : divisors) {
    bool cut = false;
    for (const Edit &e : edits)
      if ((e.pos < open.pos && open.pos < e.pos + e.len) || (e.pos < close.pos && close.pos < e.pos + e.len))
        cut = true;
    if (cut) continue;
    edits.push_back(open);
    edits.push_back(close);
  }
  // In text order; at one position an insertion comes before a replacement
  // (the opening bracket before a rewritten first token of the divisor, the
  // closing one before a rewritten token right after it).
  std::stable_sort(edits.begin(), edits.end(), [](const Edit &a, const Edit &b) {
    if (a.pos != b.pos) return a.pos < b.pos;
    return a.len == 0 && b.len != 0;
  });
  std::string out;
  out.reserve(sql.size() + 32);
  size_t at = 0;
  for (const Edit &e : edits) {
    out.append(sql.substr(at, e.pos - at));
    out += e.text;
    at = e.pos + e.len;
  }
  out.append(sql.substr(at));
  return out;
}

}  // namespace ocilite
