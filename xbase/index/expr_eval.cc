// The function table, the step implementations and the evaluator.
//
// Every implementation reads its arguments through the value stack before it writes
// its result at its own offset in the work buffer, because that offset is also where
// its first argument lies.
#include <cmath>
#include <cstring>

#include "xbase/data/error.h"
#include "xbase/data/field.h"
#include "xbase/data/index_seam.h"
#include "xbase/data/memo.h"
#include "xbase/data/pool.h"
#include "xbase/data/record.h"
#include "xbase/file/conv.h"
#include "xbase/index/expr_internal.h"

ExprEvalState exprState;

namespace {

char* arg(const ExprStep& s, int i) { return exprState.stack[exprState.depth - s.argCount + i]; }
char* out(const ExprStep& s) { return exprState.buffer + s.resultPos; }
void finish(const ExprStep& s, char* result) {
  exprState.depth -= s.argCount;
  exprState.stack[exprState.depth++] = result;
}
double getNumber(const char* p) {
  double v;
  memcpy(&v, p, sizeof v);
  return v;
}
int32_t getLogical(const char* p) {
  int32_t v;
  memcpy(&v, p, sizeof v);
  return v;
}
void putNumber(const ExprStep& s, double v) {
  char* r = out(s);
  finish(s, r);
  memcpy(r, &v, sizeof v);
}
void putLogical(const ExprStep& s, int32_t v) {
  char* r = out(s);
  finish(s, r);
  memcpy(r, &v, sizeof v);
}
int rowCode(const ExprStep& s) { return functionTable[s.row].code; }

// ---- pushes ----
void pushFieldInPlace(const ExprStep& s) { finish(s, fieldPtr(s.field)); }
void pushFieldCopy(const ExprStep& s) {
  memcpy(out(s), fieldPtr(s.field), s.length);
  finish(s, out(s));
}
void pushFieldLogical(const ExprStep& s) {
  char c = *fieldPtr(s.field);
  putLogical(s, c == 'T' || c == 't' || c == 'Y' || c == 'y');
}
void pushFieldDateDays(const ExprStep& s) { putNumber(s, dateToJulian(fieldPtr(s.field))); }
void pushFieldNumber(const ExprStep& s) {
  putNumber(s, textToDouble(fieldPtr(s.field), s.field->length));
}
void pushFieldMemo(const ExprStep& s) {
  char* r = out(s);
  const char* text = memoText(s.field);
  int32_t n = text ? memoLength(s.field) : 0;
  if (n < 0) n = 0;
  if (n > s.length) n = s.length;
  if (n > 0) memcpy(r, text, n);
  memset(r + n, 0, s.length - n);
  finish(s, r);
}
void pushConstNumber(const ExprStep& s) {
  memcpy(out(s), exprState.constants + s.constOffset, kExprNumberSize);
  finish(s, out(s));
}
void pushConstText(const ExprStep& s) {
  memcpy(out(s), exprState.constants + s.constOffset, s.length);
  finish(s, out(s));
}
void pushTrue(const ExprStep& s) { putLogical(s, 1); }
void pushFalse(const ExprStep& s) { putLogical(s, 0); }

// ---- logical ----
void logNot(const ExprStep& s) { putLogical(s, !getLogical(arg(s, 0))); }
void logOr(const ExprStep& s) {
  int32_t v = 0;
  for (int i = 0; i < s.argCount; i++) v |= getLogical(arg(s, i)) != 0;
  putLogical(s, v);
}
void logAnd(const ExprStep& s) {
  int32_t v = 1;
  for (int i = 0; i < s.argCount; i++) v &= getLogical(arg(s, i)) != 0;
  putLogical(s, v);
}

// ---- text + and - ----
// constLength holds the first text's length, length the sum.
void joinTexts(const ExprStep& s, const char* a0, const char* a1) {
  char* r = out(s);
  int32_t l0 = s.constLength, l1 = s.length - s.constLength;
  if (a0 != r) memmove(r, a0, l0);
  if (a1 != r + l0) memmove(r + l0, a1, l1);
}
void addText(const ExprStep& s) {
  char *a0 = arg(s, 0), *a1 = arg(s, 1);
  joinTexts(s, a0, a1);
  finish(s, out(s));
}
// Moves the first text's trailing `pad` bytes behind the second text.
void joinMovingPad(const ExprStep& s, char pad) {
  char *a0 = arg(s, 0), *a1 = arg(s, 1);
  joinTexts(s, a0, a1);
  char* r = out(s);
  int32_t l0 = s.constLength, l1 = s.length - s.constLength;
  int32_t n = 0;
  while (n < l0 && r[l0 - 1 - n] == pad) n++;
  if (n > 0) {
    memmove(r + l0 - n, r + l0, l1);
    memset(r + l0 + l1 - n, pad, n);
  }
  finish(s, r);
}
void addTextSqueeze(const ExprStep& s) { joinMovingPad(s, '\0'); }
void subText(const ExprStep& s) { joinMovingPad(s, ' '); }

// ---- arithmetic ----
void addNumbers(const ExprStep& s) { putNumber(s, getNumber(arg(s, 0)) + getNumber(arg(s, 1))); }
// Date arithmetic: a blank date (day 0) on either side gives the blank date.
void addDate(const ExprStep& s) {
  double a = getNumber(arg(s, 0)), b = getNumber(arg(s, 1));
  bool blank = functionTable[s.row].paramTypes[0] == 'd' ? a == 0 : b == 0;
  putNumber(s, blank ? 0 : a + b);
}
void subNumbers(const ExprStep& s) { putNumber(s, getNumber(arg(s, 0)) - getNumber(arg(s, 1))); }
void subDates(const ExprStep& s) {
  double a = getNumber(arg(s, 0)), b = getNumber(arg(s, 1));
  putNumber(s, a == 0 || b == 0 ? 0 : a - b);
}
void subDateDays(const ExprStep& s) {
  double a = getNumber(arg(s, 0)), b = getNumber(arg(s, 1));
  putNumber(s, a == 0 ? 0 : a - b);
}
void power(const ExprStep& s) { putNumber(s, pow(getNumber(arg(s, 0)), getNumber(arg(s, 1)))); }
void multiply(const ExprStep& s) { putNumber(s, getNumber(arg(s, 0)) * getNumber(arg(s, 1))); }
void divide(const ExprStep& s) {
  double b = getNumber(arg(s, 1));
  putNumber(s, b == 0 ? 0 : getNumber(arg(s, 0)) / b);
}

// ---- comparisons ----
int32_t compareResult(int code, int c) {
  switch (code) {
    case codeEqual: return c == 0;
    case codeNotEqual: return c != 0;
    case codeGreaterEq: return c >= 0;
    case codeLessEq: return c <= 0;
    case codeGreater: return c > 0;
    default: return c < 0;
  }
}
void compareText(const ExprStep& s) {
  int c = memcmp(arg(s, 0), arg(s, 1), s.compareLength);
  if (c == 0) c = s.compareTail;
  putLogical(s, compareResult(rowCode(s), c));
}
void compareNumbers(const ExprStep& s) {
  double a = getNumber(arg(s, 0)), b = getNumber(arg(s, 1));
  putLogical(s, compareResult(rowCode(s), a < b ? -1 : a > b ? 1 : 0));
}
void compareLogicals(const ExprStep& s) {
  int32_t a = getLogical(arg(s, 0)) != 0, b = getLogical(arg(s, 1)) != 0;
  putLogical(s, compareResult(rowCode(s), a == b ? 0 : 1));
}
// constLength: the first text's length; compareLength: the second's.
void contains(const ExprStep& s) {
  const char *a = arg(s, 0), *b = arg(s, 1);
  int32_t la = s.constLength, lb = s.compareLength;
  int32_t found = la == 0;
  for (int32_t i = 0; !found && i + la <= lb; i++) found = memcmp(b + i, a, la) == 0;
  putLogical(s, found);
}

// ---- functions ----
void fnDel(const ExprStep& s) {
  char* r = out(s);
  *r = dataRecordBuffer(s.data)[0];
  finish(s, r);
}
void fnStr(const ExprStep& s) {
  double v = getNumber(arg(s, 0));
  char* r = out(s);
  doubleToText(v, r, s.length, s.constStart);
  finish(s, r);
}
void fnSubstr(const ExprStep& s) {
  char* a = arg(s, 0);
  char* r = out(s);
  memmove(r, a + s.constStart, s.length);
  finish(s, r);
}
void fnTime(const ExprStep& s) {
  timeOfDay(out(s));
  finish(s, out(s));
}
// Brings the single text argument to the result offset (it is normally there).
char* textInPlace(const ExprStep& s) {
  char *a = arg(s, 0), *r = out(s);
  if (a != r) memmove(r, a, s.length);
  return r;
}
void fnUpper(const ExprStep& s) {
  char* r = textInPlace(s);
  for (int32_t i = 0; i < s.length; i++)
    if (r[i] >= 'a' && r[i] <= 'z') r[i] = static_cast<char>(r[i] - 'a' + 'A');
  finish(s, r);
}
// The date argument as CCYYMMDD text in dest.
void dateArgText(const ExprStep& s, char* dest) {
  if (functionTable[s.row].paramTypes[0] == 'D')
    memcpy(dest, arg(s, 0), 8);
  else
    julianToDate(dayFromNumber(getNumber(arg(s, 0))), dest);
}
void fnDtos(const ExprStep& s) {
  char date[8];
  dateArgText(s, date);
  memcpy(out(s), date, 8);
  finish(s, out(s));
}
void fnDtoc(const ExprStep& s) {
  char date[8], text[32];
  dateArgText(s, date);
  dateFormat(date, text, exprState.constants + s.constOffset);
  memcpy(out(s), text, s.length);
  finish(s, out(s));
}
void fnTrim(const ExprStep& s) {
  char* r = textInPlace(s);
  for (int32_t i = s.length - 1; i >= 0 && (r[i] == ' ' || r[i] == '\0'); i--) r[i] = '\0';
  finish(s, r);
}
void fnLtrim(const ExprStep& s) {
  char* r = textInPlace(s);
  int32_t k = 0;
  while (k < s.length && (r[k] == ' ' || r[k] == '\0')) k++;
  if (k > 0) {
    memmove(r, r + k, s.length - k);
    memset(r + s.length - k, 0, k);
  }
  finish(s, r);
}
void fnLeft(const ExprStep& s) {
  char *a = arg(s, 0), *r = out(s);
  if (a != r) memmove(r, a, s.length);
  finish(s, r);
}
void fnIif(const ExprStep& s) {
  char* chosen = getLogical(arg(s, 0)) ? arg(s, 1) : arg(s, 2);
  char* r = out(s);
  memmove(r, chosen, s.length);
  finish(s, r);
}
// The text argument cut or blank-padded to n bytes, NUL-terminated, in dest.
void textArg(const ExprStep& s, char* dest, int32_t n) {
  int32_t have = s.constLength < n ? s.constLength : n;
  memcpy(dest, arg(s, 0), have);
  memset(dest + have, ' ', n - have);
  dest[n] = '\0';
}
void fnStod(const ExprStep& s) {
  char date[9];
  textArg(s, date, 8);
  putNumber(s, dateToJulian(date));
}
void fnCtod(const ExprStep& s) {
  char source[64], date[8];
  textArg(s, source, 63);
  dateParse(date, source, exprState.constants + s.constOffset);
  putNumber(s, dateToJulian(date));
}
void fnDate(const ExprStep& s) {
  char date[8];
  todayDate(date);
  putNumber(s, dateToJulian(date));
}
void datePart(const ExprStep& s, int start, int n) {
  char date[8];
  dateArgText(s, date);
  putNumber(s, static_cast<double>(textToLong(date + start, n)));
}
void fnDay(const ExprStep& s) { datePart(s, 6, 2); }
void fnMonth(const ExprStep& s) { datePart(s, 4, 2); }
void fnYear(const ExprStep& s) { datePart(s, 0, 4); }
void fnDeleted(const ExprStep& s) { putLogical(s, dataRecordBuffer(s.data)[0] == '*'); }
void fnRecCount(const ExprStep& s) { putNumber(s, dataRecordCount(s.data)); }
void fnRecNo(const ExprStep& s) { putNumber(s, dataRecordNumber(s.data)); }
void fnVal(const ExprStep& s) {
  int32_t n = s.constLength < 49 ? s.constLength : 49;
  putNumber(s, textToDouble(arg(s, 0), n));
}
// A named calculation: runs its own expression with the evaluation state saved.  The
// inner evaluation uses the work buffer from offset 0, so the outer expression's
// values are kept aside meanwhile; the compiler made the buffer large enough for
// both, so it does not move.
void fnCalc(const ExprStep& s) {
  ExprCalc* calc = static_cast<ExprCalc*>(s.calc);
  ExprEvalState saved = exprState;
  CODE4* c4 = saved.expr->context;
  int32_t keep = saved.expr->workNeeded;
  char* kept = static_cast<char*>(engineAllocReport(c4, keep + s.length + 1));
  char* r = out(s);
  if (kept == nullptr) {
    memset(r, 0, s.length);
    finish(s, r);
    return;
  }
  memcpy(kept, saved.buffer, keep);
  char* value = nullptr;
  int32_t n = exprEvaluate(calc->expr, &value);
  if (n >= 0) memcpy(kept + keep, value, n < s.length ? n : s.length);
  exprState = saved;
  memcpy(saved.buffer, kept, keep);
  memcpy(r, kept + keep, s.length);
  engineFree(kept);
  finish(s, r);
}
// Page number of a report being printed: the engine prints no reports.
void fnPageNo(const ExprStep& s) { putNumber(s, 0); }
void fnDescend(const ExprStep& s) {
  char* r = textInPlace(s);
  for (int32_t i = 0; i < s.length; i++)
    r[i] = static_cast<char>(0 - static_cast<unsigned char>(r[i]));
  finish(s, r);
}

}  // namespace

#define ROW(impl, name, code, prio, res, count, p0, p1, p2) \
  {impl, name, code, static_cast<int8_t>(name ? sizeof(name) - 1 : 0), prio, res, count, {p0, p1, p2}}
#define NONAME static_cast<const char*>(nullptr)

// Internal rows first (codes 0 to 9), then operators from .TRUE. to $, then
// functions.  Operators are recognised by the first row from .OR. to $ whose name
// is a prefix of the text, so the longer spellings stand before the shorter ones.
const FunctionRow functionTable[] = {
    ROW(pushFieldInPlace, NONAME, codeFieldInPlace, 0, 'C', 0, 0, 0, 0),
    ROW(pushFieldCopy, NONAME, codeFieldCopy, 0, 'C', 0, 0, 0, 0),
    ROW(pushFieldLogical, NONAME, codeFieldLogical, 0, 'L', 0, 0, 0, 0),
    ROW(pushFieldDateDays, NONAME, codeFieldDateDays, 0, 'd', 0, 0, 0, 0),
    ROW(pushFieldCopy, NONAME, codeFieldDateText, 0, 'D', 0, 0, 0, 0),
    ROW(pushFieldNumber, NONAME, codeFieldNumber, 0, 'n', 0, 0, 0, 0),
    ROW(pushFieldCopy, NONAME, codeFieldNumText, 0, 'N', 0, 0, 0, 0),
    ROW(pushFieldMemo, NONAME, codeFieldMemo, 0, 'C', 0, 0, 0, 0),
    ROW(pushConstNumber, NONAME, codeConstNumber, 0, 'n', 0, 0, 0, 0),
    ROW(pushConstText, NONAME, codeConstText, 0, 'C', 0, 0, 0, 0),
    ROW(pushTrue, ".TRUE.", codeTrue, 0, 'L', 0, 0, 0, 0),
    ROW(pushTrue, ".T.", codeTrue, 0, 'L', 0, 0, 0, 0),
    ROW(pushFalse, ".FALSE.", codeFalse, 0, 'L', 0, 0, 0, 0),
    ROW(pushFalse, ".F.", codeFalse, 0, 'L', 0, 0, 0, 0),
    ROW(logNot, ".NOT.", codeNot, 5, 'L', 1, 'L', 0, 0),
    ROW(logOr, ".OR.", codeOr, 3, 'L', -1, 'L', 0, 0),
    ROW(logAnd, ".AND.", codeAnd, 4, 'L', -1, 'L', 0, 0),
    ROW(addText, "+", codePlus, 7, 'C', 2, 'C', 'C', 0),
    ROW(addTextSqueeze, "+", codePlus, 7, 'C', 2, 'C', 'C', 0),
    ROW(addNumbers, "+", codePlus, 7, 'n', 2, 'n', 'n', 0),
    ROW(addDate, "+", codePlus, 7, 'd', 2, 'n', 'd', 0),
    ROW(addDate, "+", codePlus, 7, 'd', 2, 'd', 'n', 0),
    ROW(subText, "-", codeMinus, 7, 'C', 2, 'C', 'C', 0),
    ROW(subNumbers, "-", codeMinus, 7, 'n', 2, 'n', 'n', 0),
    ROW(subDates, "-", codeMinus, 7, 'n', 2, 'd', 'd', 0),
    ROW(subDateDays, "-", codeMinus, 7, 'd', 2, 'd', 'n', 0),
    ROW(compareText, "=", codeEqual, 6, 'L', 2, 'C', 'C', 0),
    ROW(compareLogicals, "=", codeEqual, 6, 'L', 2, 'L', 'L', 0),
    ROW(compareNumbers, "=", codeEqual, 6, 'L', 2, 'n', 'n', 0),
    ROW(compareNumbers, "=", codeEqual, 6, 'L', 2, 'd', 'd', 0),
    ROW(compareText, "#", codeNotEqual, 6, 'L', 2, 'C', 'C', 0),
    ROW(compareNumbers, "#", codeNotEqual, 6, 'L', 2, 'n', 'n', 0),
    ROW(compareNumbers, "#", codeNotEqual, 6, 'L', 2, 'd', 'd', 0),
    ROW(compareLogicals, "#", codeNotEqual, 6, 'L', 2, 'L', 'L', 0),
    ROW(compareText, "<>", codeNotEqual, 6, 'L', 2, 'C', 'C', 0),
    ROW(compareNumbers, "<>", codeNotEqual, 6, 'L', 2, 'n', 'n', 0),
    ROW(compareNumbers, "<>", codeNotEqual, 6, 'L', 2, 'd', 'd', 0),
    ROW(compareLogicals, "<>", codeNotEqual, 6, 'L', 2, 'L', 'L', 0),
    ROW(compareText, ">=", codeGreaterEq, 6, 'L', 2, 'C', 'C', 0),
    ROW(compareNumbers, ">=", codeGreaterEq, 6, 'L', 2, 'n', 'n', 0),
    ROW(compareNumbers, ">=", codeGreaterEq, 6, 'L', 2, 'd', 'd', 0),
    ROW(compareText, "<=", codeLessEq, 6, 'L', 2, 'C', 'C', 0),
    ROW(compareNumbers, "<=", codeLessEq, 6, 'L', 2, 'n', 'n', 0),
    ROW(compareNumbers, "<=", codeLessEq, 6, 'L', 2, 'd', 'd', 0),
    ROW(compareText, ">", codeGreater, 6, 'L', 2, 'C', 'C', 0),
    ROW(compareNumbers, ">", codeGreater, 6, 'L', 2, 'n', 'n', 0),
    ROW(compareNumbers, ">", codeGreater, 6, 'L', 2, 'd', 'd', 0),
    ROW(compareText, "<", codeLess, 6, 'L', 2, 'C', 'C', 0),
    ROW(compareNumbers, "<", codeLess, 6, 'L', 2, 'n', 'n', 0),
    ROW(compareNumbers, "<", codeLess, 6, 'L', 2, 'd', 'd', 0),
    ROW(power, "^", codePower, 9, 'n', 2, 'n', 'n', 0),
    ROW(power, "**", codePower, 9, 'n', 2, 'n', 'n', 0),
    ROW(multiply, "*", codeMultiply, 8, 'n', 2, 'n', 'n', 0),
    ROW(divide, "/", codeDivide, 8, 'n', 2, 'n', 'n', 0),
    ROW(contains, "$", codeContains, 6, 'L', 2, 'C', 'C', 0),
    ROW(fnDel, "DEL", codeDel, 0, 'C', 0, 0, 0, 0),
    ROW(fnStr, "STR", codeStr, 0, 'C', 1, 'n', 0, 0),
    ROW(fnSubstr, "SUBSTR", codeSubstr, 0, 'C', 1, 'C', 0, 0),
    ROW(fnTime, "TIME", codeTime, 0, 'C', 0, 0, 0, 0),
    ROW(fnUpper, "UPPER", codeUpper, 0, 'C', 1, 'C', 0, 0),
    ROW(fnDtos, "DTOS", codeDtos, 0, 'C', 1, 'D', 0, 0),
    ROW(fnDtos, "DTOS", codeDtos, 0, 'C', 1, 'd', 0, 0),
    ROW(fnDtoc, "DTOC", codeDtoc, 0, 'C', 1, 'D', 0, 0),
    ROW(fnDtoc, "DTOC", codeDtoc, 0, 'C', 1, 'd', 0, 0),
    ROW(fnTrim, "TRIM", codeTrim, 0, 'C', 1, 'C', 0, 0),
    ROW(fnLtrim, "LTRIM", codeLtrim, 0, 'C', 1, 'C', 0, 0),
    ROW(fnLeft, "LEFT", codeLeft, 0, 'C', 1, 'C', 0, 0),
    ROW(fnIif, "IIF", codeIif, 0, 'C', 3, 'L', 'C', 'C'),
    ROW(fnIif, "IIF", codeIif, 0, 'n', 3, 'L', 'n', 'n'),
    ROW(fnIif, "IIF", codeIif, 0, 'd', 3, 'L', 'd', 'd'),
    ROW(fnIif, "IIF", codeIif, 0, 'L', 3, 'L', 'L', 'L'),
    ROW(fnStod, "STOD", codeStod, 0, 'd', 1, 'C', 0, 0),
    ROW(fnCtod, "CTOD", codeCtod, 0, 'd', 1, 'C', 0, 0),
    ROW(fnDate, "DATE", codeDate, 0, 'd', 0, 0, 0, 0),
    ROW(fnDay, "DAY", codeDay, 0, 'n', 1, 'D', 0, 0),
    ROW(fnDay, "DAY", codeDay, 0, 'n', 1, 'd', 0, 0),
    ROW(fnMonth, "MONTH", codeMonth, 0, 'n', 1, 'D', 0, 0),
    ROW(fnMonth, "MONTH", codeMonth, 0, 'n', 1, 'd', 0, 0),
    ROW(fnYear, "YEAR", codeYear, 0, 'n', 1, 'D', 0, 0),
    ROW(fnYear, "YEAR", codeYear, 0, 'n', 1, 'd', 0, 0),
    ROW(fnDeleted, "DELETED", codeDeleted, 0, 'L', 0, 0, 0, 0),
    ROW(fnRecCount, "RECCOUNT", codeRecCount, 0, 'n', 0, 0, 0, 0),
    ROW(fnRecNo, "RECNO", codeRecNo, 0, 'n', 0, 0, 0, 0),
    ROW(fnVal, "VAL", codeVal, 0, 'n', 1, 'C', 0, 0),
    ROW(fnCalc, NONAME, codeCalc, 0, 0, 0, 0, 0, 0),
    ROW(fnCalc, NONAME, codeCalcTotal, 0, 'n', 0, 0, 0, 0),
    ROW(fnPageNo, "PAGENO", codePageNo, 0, 'n', 0, 0, 0, 0),
    ROW(fnDescend, "DESCEND", codeDescend, 0, 'C', 1, 'C', 0, 0),
};
const int functionTableSize = sizeof functionTable / sizeof functionTable[0];

int exprFirstRow(int code) {
  for (int i = 0; i < functionTableSize; i++)
    if (functionTable[i].code == code) return i;
  return -1;
}

int32_t exprEvaluate(CompiledExpr* expr, char** result) {
  if (expr == nullptr || expr->context->errorCode < 0) return -1;
  CODE4* c4 = expr->context;
  if (c4->exprBuffer.size < static_cast<uint32_t>(expr->workNeeded) &&
      engineBufferGrow(c4, &c4->exprBuffer.data, &c4->exprBuffer.size, expr->workNeeded) != 0)
    return -1;
  exprState.expr = expr;
  exprState.buffer = c4->exprBuffer.data;
  exprState.constants = expr->constants;
  exprState.depth = 0;
  for (int32_t i = 0; i < expr->stepCount; i++) expr->steps[i].impl(expr->steps[i]);
  if (c4->errorCode < 0) return -1;
  *result = exprState.stack[0];
  return expr->length;
}

int expr4true(CompiledExpr* expr) {
  if (expr == nullptr) return -1;
  if (expr->type != 'L')
    return errorReport(expr->context, errorResult, "expr4true()", "Expecting logical result.");
  char* value = nullptr;
  if (exprEvaluate(expr, &value) < 0) return -1;
  return getLogical(value) != 0;
}

double exprResultDouble(const CompiledExpr* expr, const char* result) {
  switch (expr->type) {
    case 'n':
    case 'd': return getNumber(result);
    case 'N': return textToDouble(result, expr->length < 49 ? expr->length : 49);
    case 'D': return dateToJulian(result);
    default: return 0;
  }
}

char exprType(const CompiledExpr* expr) { return expr->type; }
int32_t exprLength(const CompiledExpr* expr) { return expr->length; }
const char* exprSource(const CompiledExpr* expr) { return expr->source; }
