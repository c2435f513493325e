// Cases found by the expression fuzz target (fuzz/expr_fuzz.cc), kept as tests.
#include <string>

#include "xbase/index/expr.h"
#include "xbase/index/index_test_util.h"

namespace {

class ExprFuzzRegression : public EngineTest {};

// Thousands of nested brackets ran the compiler's recursion off the stack; the
// nesting is now bounded and deeper texts are refused as an overflow.
TEST_F(ExprFuzzRegression, DeepNestingIsRefusedNotACrash) {
  DataFile* d = create("people", {{"NAME", 'C', 10, 0}, {"QTY", 'N', 5, 0}});
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(append(d, {"NAME=Smith", "QTY=3"}), 0);
  ASSERT_EQ(dataGo(d, 1), 0);
  for (const char* wrap : {"(", "UPPER(", ".NOT. ("}) {
    std::string deep = std::string("TRIM(");
    std::string close;
    for (int i = 0; i < 20000; ++i) {
      deep += wrap;
      close += ")";
    }
    deep += std::string(wrap)[0] == '.' ? ".T." : "NAME";
    deep += close + ")";
    EXPECT_EQ(exprCompile(d, deep.c_str()), nullptr) << wrap;
    EXPECT_EQ(c4.errorCode, errorOverflow) << wrap;
    c4.errorCode = 0;
  }
  // Ordinary nesting still compiles and evaluates.
  std::string fifty = std::string(50, '(') + "QTY + 1" + std::string(50, ')');
  CompiledExpr* e = exprCompile(d, fifty.c_str());
  ASSERT_NE(e, nullptr) << c4.errorCode;
  char* result = nullptr;
  ASSERT_GE(exprEvaluate(e, &result), 0);
  EXPECT_EQ(exprResultDouble(e, result), 4);
  exprFree(e);
}

// STR and '+' asked for results of a gigabyte, from a text of a few dozen bytes that
// may come from a tag file's header; such lengths are now refused as an overflow.
TEST_F(ExprFuzzRegression, HugeResultIsRefusedNotAllocated) {
  DataFile* d = create("people", {{"NAME", 'C', 10, 0}, {"QTY", 'N', 5, 0}});
  ASSERT_NE(d, nullptr);
  for (const char* huge : {"STR(QTY,1000000000)", "STR(QTY,600000) + STR(QTY,600000)",
                           "UPPER(NAME) + STR(QTY,0444444444444444444444443,244444444)"}) {
    EXPECT_EQ(exprCompile(d, huge), nullptr) << huge;
    EXPECT_EQ(c4.errorCode, errorOverflow) << huge;
    c4.errorCode = 0;
  }
  CompiledExpr* e = exprCompile(d, "STR(QTY,1000) + NAME");
  ASSERT_NE(e, nullptr) << c4.errorCode;
  EXPECT_EQ(exprLength(e), 1010);
  exprFree(e);
}

}  // namespace
