// Expressions over the fields of open data files: the key and FOR expressions of
// index tags.
//
// exprCompile turns the source text into a postfix program of typed steps.  All
// name lookups, type checks, conversions and result lengths are settled there;
// exprEvaluate only calls each step's implementation in order.  Each step pops its
// arguments from a stack of value pointers and pushes a pointer to its result, which
// lies in the context's expression work buffer (CODE4::exprBuffer) at an offset fixed
// at compilation: a step's result starts where its first argument starts, so the
// buffer is used like a stack and text '+' finds its two texts side by side.
//
// Value types, one letter each:
//   C  text of a fixed length (the step's result length)
//   L  logical: int32_t 1 or 0
//   N  a numeric field's stored text
//   n  a double
//   D  a date field's stored CCYYMMDD text
//   d  a Julian day number in a double (0 for the blank date)
// Values are not aligned in the buffer: read and write them with memcpy.
//
// Evaluation state is process-wide (the engine runs in one thread): an expression is
// never evaluated from within another evaluation, except for named calculations,
// which save and restore it.
#pragma once

#include <cstdint>

#include "xbase/data/list.h"

struct CODE4;
struct DataFile;
struct FieldInfo;
struct ExprStep;

// Largest number of values pending on the evaluation stack.
inline constexpr int kExprMaxPending = 19;

using ExprImpl = void (*)(const ExprStep& step);

// One row of the function table.  Rows sharing a code are overloads, tried in table
// order.
struct FunctionRow {
  ExprImpl impl;
  const char* name;       // null for the internal rows
  int16_t code;
  int8_t nameLength;
  int8_t priority;        // operators only; higher binds tighter
  char resultType;
  int8_t paramCount;      // -1: any number, all of paramTypes[0]
  char paramTypes[3];
};

// Internal and named codes of the table.
enum ExprCode : int16_t {
  codeFieldInPlace = 0, codeFieldCopy = 1, codeFieldLogical = 2, codeFieldDateDays = 3,
  codeFieldDateText = 4, codeFieldNumber = 5, codeFieldNumText = 6, codeFieldMemo = 7,
  codeConstNumber = 8, codeConstText = 9,
  codeTrue = 14, codeFalse = 16, codeNot = 18, codeOr = 20, codeAnd = 22,
  codePlus = 25, codeMinus = 30, codeEqual = 40, codeNotEqual = 50,
  codeGreaterEq = 60, codeLessEq = 70, codeGreater = 80, codeLess = 90,
  codePower = 100, codeMultiply = 102, codeDivide = 105, codeContains = 110,
  codeDel = 130, codeStr = 140, codeSubstr = 150, codeTime = 160, codeUpper = 170,
  codeDtos = 180, codeDtoc = 200, codeTrim = 220, codeLtrim = 230, codeLeft = 240,
  codeIif = 250, codeStod = 260, codeCtod = 270, codeDate = 280, codeDay = 290,
  codeMonth = 310, codeYear = 340, codeDeleted = 350, codeRecCount = 360,
  codeRecNo = 370, codeVal = 380, codeCalc = 390, codeCalcTotal = 400,
  codePageNo = 410, codeDescend = 420,
};

extern const FunctionRow functionTable[];
extern const int functionTableSize;

// One step of a compiled expression.
struct ExprStep {
  int32_t row;            // index into functionTable
  ExprImpl impl;
  FieldInfo* field;       // field pushes
  DataFile* data;         // the data file read (fields, RECNO, DELETED, ...)
  int32_t length;         // result length
  int32_t subtreeSteps;   // steps of this step's subtree, itself included
  int32_t argCount;
  int32_t resultPos;      // offset of the result in the expression work buffer
  int32_t constLength;    // STR: length; SUBSTR, LEFT: length taken
  int32_t constStart;     // STR: decimals; SUBSTR: start (0-based)
  int32_t constOffset;    // constants: offset in the constants area; DTOC/CTOD: picture
  int32_t compareLength;  // text comparisons: bytes compared
  int32_t compareTail;    // text comparisons: result when the compared bytes are equal
  void* calc;             // named calculation steps: the ExprCalc
};

// A compiled expression.  Owned by its creator; exprFree releases it.
struct CompiledExpr {
  char* source;           // copy of the text
  DataFile* data;         // compiled against
  CODE4* context;
  char type;              // result type letter
  int32_t length;         // result length
  int32_t keyLength;      // set by an index tag
  int32_t keyDecimals;
  int32_t hasTrim;        // TRIM or LTRIM occurs
  ExprStep* steps;
  int32_t stepCount;
  char* constants;        // text constants, 8-byte numbers, the date picture
  int32_t constantsLength;
  int32_t workNeeded;     // bytes of the work buffer the evaluation uses
};

// Compiles text against data.  Null on failure: the reason (-400 ... -500, -210 from
// the field lookup, -920) is reported with the source text as detail, but only while
// the context's exprErrors setting is on; otherwise the compilation just fails.
// Null at once while the context holds a negative code.
CompiledExpr* exprCompile(DataFile* data, const char* text);
void exprFree(CompiledExpr* expr);

// Evaluates against the current record buffers.  Returns the result length and sets
// *result to the value (in the work buffer, or in a record buffer for a lone text
// field; valid until the next evaluation), or -1 while the context holds a negative
// code (also when the evaluation itself recorded one, e.g. reading a memo).
int32_t exprEvaluate(CompiledExpr* expr, char** result);
// 1 or 0 for a logical expression; for any other type -950 is reported with
// "expr4true()" and "Expecting logical result." and returned.  -1 on an evaluation
// failure.
int expr4true(CompiledExpr* expr);
// The result as a double for the types n, d and N (0 for the others); the result as
// day number for D.
double exprResultDouble(const CompiledExpr* expr, const char* result);

char exprType(const CompiledExpr* expr);
int32_t exprLength(const CompiledExpr* expr);
const char* exprSource(const CompiledExpr* expr);

// Named calculations: sub-expressions registered in a context under a name; an
// expression calls one like a function without arguments, NAME().  The context owns
// them from then on; exprCalcClearAll frees them (call it before engineRelease).
struct ExprCalc {
  ListLink link;
  char name[21];
  CompiledExpr* expr;
};
// Registers expr (compiled against any data file of the context) as name.  0 or -920;
// -930 for a name that is empty, too long or already taken.
int exprCalcAdd(CODE4* context, const char* name, CompiledExpr* expr);
void exprCalcClearAll(CODE4* context);
ExprCalc* exprCalcFind(CODE4* context, const char* name, int32_t nameLength);
