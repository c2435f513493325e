// Expression compile and evaluate: the input is the expression text, compiled
// against a small data file with one field of each type (and a named
// calculation), then evaluated on each of its records.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "xbase/data/code4.h"
#include "xbase/data/data.h"
#include "xbase/data/error.h"
#include "xbase/index/expr.h"

namespace {

void noKey() {}

CODE4 context;
DataFile* people = nullptr;

void put(DataFile* d, const char* name, const char* text) {
  FieldInfo* f = dataFieldByName(d, name);
  if (f->type == 'M')
    memoAssign(f, text, static_cast<int32_t>(strlen(text)));
  else if (f->type == 'N')
    fieldAssignDouble(f, strtod(text, nullptr));
  else
    fieldAssignText(f, text, static_cast<int32_t>(strlen(text)));
}

DataFile* setUp() {
  fuzz::scratchDir();
  errorSetKeyWaiter(&noKey);
  engineInit(&context);
  context.errQuiet = 1;
  const FieldDef fields[] = {{"NAME", 'C', 10, 0}, {"PRICE", 'N', 8, 2}, {"QTY", 'N', 5, 0},
                             {"BORN", 'D', 0, 0},  {"ACTIVE", 'L', 0, 0}, {"NOTES", 'M', 0, 0},
                             {"RATE", 'F', 12, 4}};
  DataFile* d = dataCreate(&context, "people", fields, 7);
  if (d == nullptr) std::abort();
  const char* rows[][7] = {
      {"Smith", "12.5", "0", "19990429", "T", "long text", "0.0001"},
      {"Jones", "-3", "7", "        ", "n", "", "-99999.5"},
      {"", "99999.99", "-9999", "20000229", "?", "x\x1a y", "1e300"},
  };
  for (auto& row : rows) {
    if (dataAppendStart(d, 0) != 0) std::abort();
    dataBlank(d);
    const char* names[] = {"NAME", "PRICE", "QTY", "BORN", "ACTIVE", "NOTES", "RATE"};
    for (int i = 0; i < 7; ++i) put(d, names[i], row[i]);
    if (dataAppend(d) != 0) std::abort();
  }
  dataDelete(d);
  CompiledExpr* calc = exprCompile(d, "PRICE*QTY");
  if (calc == nullptr || exprCalcAdd(&context, "TOTAL", calc) != 0) std::abort();
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static DataFile* data = setUp();
  std::string text(reinterpret_cast<const char*>(bytes), size);
  engineErrorSet(&context, 0);
  CompiledExpr* expr = exprCompile(data, text.c_str());
  if (expr == nullptr) {
    // A refused expression always says why.
    if (engineErrorCode(&context) >= 0 && context.exprErrors) __builtin_trap();
    return 0;
  }
  // STR() may ask for a result of up to a gigabyte, which the engine allocates as
  // asked; expressions needing such work space are compiled but not evaluated
  // here, to keep the fuzzer's pace.
  if (expr->workNeeded > (1 << 20)) {
    exprFree(expr);
    return 0;
  }
  for (int32_t n = 1; n <= 3; ++n) {
    engineErrorSet(&context, 0);
    if (dataGo(data, n) != 0) continue;
    char* result = nullptr;
    int32_t length = exprEvaluate(expr, &result);
    if (length >= 0) {
      if (length != exprLength(expr) && exprType(expr) == 'C' && !expr->hasTrim)
        __builtin_trap();
      char sum = 0;
      for (int32_t i = 0; i < length; ++i) sum = static_cast<char>(sum ^ result[i]);
      volatile char sink = sum;  // every byte of the result is readable
      (void)sink;
      if (exprType(expr) != 'C' && exprType(expr) != 'L') exprResultDouble(expr, result);
      if (exprType(expr) == 'L') expr4true(expr);
    }
  }
  exprFree(expr);
  return 0;
}
