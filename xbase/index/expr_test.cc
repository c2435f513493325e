#include <cmath>
#include <cstring>
#include <string>

#include "xbase/file/conv.h"
#include "xbase/index/expr.h"
#include "xbase/index/index_test_util.h"

namespace {

class ExprTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    data = create("people", {{"NAME", 'C', 10, 0},
                             {"CITY", 'C', 8, 0},
                             {"PRICE", 'N', 8, 2},
                             {"QTY", 'N', 5, 0},
                             {"BORN", 'D', 0, 0},
                             {"ACTIVE", 'L', 0, 0},
                             {"NOTES", 'M', 0, 0}});
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(append(data, {"NAME=Smith", "CITY=Oslo", "PRICE=12.5", "QTY=0",
                            "BORN=19990429", "ACTIVE=T", "NOTES=long text"}),
              0);
    ASSERT_EQ(append(data, {"NAME=Jones", "CITY=Rome", "PRICE=-3", "QTY=7", "ACTIVE=n"}), 0);
    ASSERT_EQ(dataGo(data, 1), 0);
  }
  void TearDown() override {
    exprCalcClearAll(&c4);
    EngineTest::TearDown();
  }

  struct Value {
    char type = 0;
    std::string bytes;
    double number = 0;
    bool ok = false;
  };
  Value eval(const char* text) {
    Value v;
    CompiledExpr* e = exprCompile(data, text);
    EXPECT_NE(e, nullptr) << text << " error " << c4.errorCode;
    if (e == nullptr) return v;
    char* result = nullptr;
    int32_t n = exprEvaluate(e, &result);
    EXPECT_GE(n, 0) << text;
    if (n >= 0) {
      v.ok = true;
      v.type = exprType(e);
      v.bytes.assign(result, n);
      if (v.type == 'L') {
        int32_t l;
        memcpy(&l, result, 4);
        v.number = l;
      } else {
        v.number = exprResultDouble(e, result);
      }
    }
    exprFree(e);
    return v;
  }
  // Compiles text expecting failure with code; returns the code left in the context.
  int32_t refuse(const char* text) {
    engineErrorSet(&c4, 0);
    CompiledExpr* e = exprCompile(data, text);
    EXPECT_EQ(e, nullptr) << text;
    exprFree(e);
    int32_t code = c4.errorCode;
    engineErrorSet(&c4, 0);
    return code;
  }
  int codeOf(const CompiledExpr* e, int step) { return functionTable[e->steps[step].row].code; }

  DataFile* data = nullptr;
};

TEST_F(ExprTest, PrecedenceAndGrouping) {
  EXPECT_EQ(eval("1+2*3").number, 7);
  EXPECT_EQ(eval("(1+2)*3").number, 9);
  EXPECT_EQ(eval("2^3^2").number, 64);  // (2^3)^2: equal priorities group from the left
  EXPECT_EQ(eval("2**3").number, 8);
  EXPECT_EQ(eval("10-4-3").number, 3);
  EXPECT_EQ(eval("12/4/3").number, 1);
  EXPECT_EQ(eval(" ( 2 + 3 ) * ( 4 - 1 ) ").number, 15);
  EXPECT_EQ(eval("-5+2").number, -3);
  EXPECT_EQ(eval(".NOT. 1 = 2").number, 1);  // .NOT. binds looser than '='
  EXPECT_EQ(eval(".T. .OR. .F. .AND. .F.").number, 1);
  EXPECT_EQ(eval("(.T. .OR. .F.) .AND. .F.").number, 0);
}

TEST_F(ExprTest, SignOrPointAloneIsTheNumberZero) {
  // A number token is the conversion of what it took, digits or not.
  for (const char* zero : {"3 * .", "+", "-", ".", "3*-", "(+)"}) {
    Value v = eval(zero);
    EXPECT_EQ(v.type, 'n') << zero;
    EXPECT_EQ(v.number, 0) << zero;
  }
  EXPECT_EQ(eval("5 + . ").number, 5);
  EXPECT_EQ(eval("1 + +").number, 1);
  // A sign or point before digits still belongs to the number, and between operands
  // '+' and '-' are still operators.
  EXPECT_EQ(eval("PRICE-1").number, 11.5);
  EXPECT_EQ(eval("PRICE - -1.5").number, 14);
  EXPECT_EQ(eval("QTY-.5").number, -0.5);
  EXPECT_EQ(eval("2*-3").number, -6);
  EXPECT_EQ(eval("\"x\"+\"y\"").bytes, "xy");
  EXPECT_EQ(eval("NAME-CITY").bytes, "SmithOslo         ");
  // A sign before a name or a bracket takes no digits: the number ends there and what
  // follows stands where an operator belongs.
  EXPECT_EQ(refuse("-PRICE"), errorValue);
  EXPECT_EQ(refuse("-(1)"), errorOperator);
  EXPECT_EQ(refuse("- 1"), errorOperator);
  EXPECT_EQ(refuse("\"a\" + -"), errorSubexprType);
  // A point that begins a word is no number at all.
  EXPECT_EQ(refuse(".X"), errorValue);
  EXPECT_EQ(refuse("1 + .AND."), errorValue);
}

TEST_F(ExprTest, RunsOfAndOrBecomeOneStep) {
  CompiledExpr* e = exprCompile(data, "QTY=0 .AND. PRICE>1 .AND. ACTIVE");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(codeOf(e, e->stepCount - 1), codeAnd);
  EXPECT_EQ(e->steps[e->stepCount - 1].argCount, 3);
  int ands = 0;
  for (int i = 0; i < e->stepCount; i++) ands += codeOf(e, i) == codeAnd;
  EXPECT_EQ(ands, 1);
  EXPECT_EQ(e->steps[e->stepCount - 1].subtreeSteps, e->stepCount);
  EXPECT_EQ(expr4true(e), 1);
  exprFree(e);
  e = exprCompile(data, ".F. .or. .F. .or. .T. .and. .F.");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(codeOf(e, e->stepCount - 1), codeOr);
  EXPECT_EQ(e->steps[e->stepCount - 1].argCount, 3);
  EXPECT_EQ(expr4true(e), 0);
  exprFree(e);
}

TEST_F(ExprTest, FieldPushesAndConversions) {
  CompiledExpr* e = exprCompile(data, "QTY = 0");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(codeOf(e, 0), codeFieldNumber);  // numeric text converted to a double push
  EXPECT_EQ(e->steps[0].length, 8);
  exprFree(e);
  e = exprCompile(data, "BORN < DATE()");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(codeOf(e, 0), codeFieldDateDays);
  EXPECT_EQ(expr4true(e), 1);
  exprFree(e);
  // Alone, the fields keep their stored text.
  Value qty = eval("QTY");
  EXPECT_EQ(qty.type, 'N');
  EXPECT_EQ(qty.bytes, "    0");
  Value born = eval("BORN");
  EXPECT_EQ(born.type, 'D');
  EXPECT_EQ(born.bytes, "19990429");
  EXPECT_EQ(eval("ACTIVE").number, 1);
  EXPECT_EQ(eval("people->NAME").bytes, "Smith     ");
  EXPECT_EQ(eval("NAME").type, 'C');
  EXPECT_EQ(eval("PRICE * 2").number, 25);
}

TEST_F(ExprTest, TextJoinKeepsRecordBufferAndMovesPadding) {
  std::string before(data->record, data->recordLength);
  Value plus = eval("NAME+CITY");
  EXPECT_EQ(plus.bytes, "Smith     Oslo    ");
  Value minus = eval("NAME-CITY");
  EXPECT_EQ(minus.bytes, "SmithOslo         ");
  EXPECT_EQ(eval("UPPER(NAME)").bytes, "SMITH     ");
  EXPECT_EQ(eval("DESCEND(\"A\")").bytes, std::string(1, static_cast<char>(0 - 'A')));
  EXPECT_EQ(std::string(data->record, data->recordLength), before);  // never changed in place
  CompiledExpr* e = exprCompile(data, "UPPER(NAME)");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(codeOf(e, 0), codeFieldCopy);
  exprFree(e);
  e = exprCompile(data, "NAME");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(codeOf(e, 0), codeFieldInPlace);
  exprFree(e);
}

TEST_F(ExprTest, MemoTextTakesItsSettingLengthAndSqueezes) {
  c4.memoExprLength = 12;
  Value memo = eval("NOTES");
  EXPECT_EQ(memo.bytes, std::string("long text\0\0\0", 12));
  Value joined = eval("TRIM(NAME)+NOTES");
  EXPECT_EQ(joined.bytes.substr(0, 14), "Smithlong text");
  EXPECT_EQ(joined.bytes.size(), 22u);
  EXPECT_EQ(joined.bytes.substr(14), std::string(8, '\0'));
}

TEST_F(ExprTest, StrLengthsAndDecimals) {
  Value a = eval("STR(PRICE)");
  EXPECT_EQ(a.bytes.size(), 10u);  // length 10, no decimals
  EXPECT_EQ(a.bytes.find('.'), std::string::npos);
  EXPECT_EQ(eval("STR(1.25,5,4)").bytes, "1.250");  // decimals cut to length - 2
  EXPECT_EQ(eval("STR(PRICE,8,2)").bytes, "   12.50");
  EXPECT_EQ(eval("STR(PRICE,-3)").bytes.size(), 10u);
  EXPECT_EQ(eval("STR(7.25,6,-1)").bytes, "     7");
  EXPECT_EQ(eval("STR(123456,3)").bytes, "***");
}

TEST_F(ExprTest, EveryFunctionOnAValue) {
  EXPECT_EQ(eval("DEL()").bytes, " ");
  EXPECT_EQ(eval("SUBSTR(NAME,2,3)").bytes, "mit");
  EXPECT_EQ(eval("SUBSTR(NAME,8)").bytes, "   ");
  EXPECT_EQ(eval("SUBSTR(NAME,20,5)").bytes, "");
  Value t = eval("TIME()");
  ASSERT_EQ(t.bytes.size(), 8u);
  EXPECT_EQ(t.bytes[2], ':');
  EXPECT_EQ(t.bytes[5], ':');
  EXPECT_EQ(eval("DTOS(BORN)").bytes, "19990429");
  EXPECT_EQ(eval("DTOS(BORN+1)").bytes, "19990430");
  // A day number beyond any date is blank, never a wrapped-around day.
  EXPECT_EQ(eval("DTOS(BORN-99999999999)").bytes, "        ");
  EXPECT_EQ(eval("DTOS(BORN+99999999999)").bytes, "        ");
  EXPECT_EQ(eval("DTOC(BORN)").bytes, "04/29/99");
  EXPECT_EQ(eval("TRIM(NAME)").bytes, std::string("Smith\0\0\0\0\0", 10));
  EXPECT_EQ(eval("LTRIM(\"  ab \")").bytes, std::string("ab \0\0", 5));
  EXPECT_EQ(eval("LEFT(CITY,2)").bytes, "Os");
  EXPECT_EQ(eval("LEFT(CITY,20)").bytes, "Oslo    ");
  EXPECT_EQ(eval("IIF(QTY=0,\"zero\",\"more\")").bytes, "zero");
  EXPECT_EQ(eval("IIF(ACTIVE,1,2)").number, 1);
  EXPECT_EQ(eval("IIF(.F.,BORN,BORN+2)").number, dateToJulian("19990501"));
  EXPECT_EQ(eval("IIF(.F.,.F.,.T.)").number, 1);
  EXPECT_EQ(eval("STOD(\"20000229\")").number, dateToJulian("20000229"));
  EXPECT_EQ(eval("CTOD(\"04/29/99\")").number, 2451298);
  char today[8];
  todayDate(today);
  EXPECT_EQ(eval("DATE()").number, dateToJulian(today));
  EXPECT_EQ(eval("DAY(BORN)").number, 29);
  EXPECT_EQ(eval("MONTH(BORN)").number, 4);
  EXPECT_EQ(eval("YEAR(BORN)").number, 1999);
  EXPECT_EQ(eval("YEAR(STOD(\"20240101\"))").number, 2024);
  EXPECT_EQ(eval("DELETED()").number, 0);
  EXPECT_EQ(eval("RECCOUNT()").number, 2);
  EXPECT_EQ(eval("RECNO()").number, 1);
  EXPECT_EQ(eval("VAL(\" 42.5x\")").number, 42.5);
  EXPECT_EQ(eval("PAGENO()").number, 0);
  EXPECT_EQ(eval("\"mit\" $ NAME").number, 1);
  EXPECT_EQ(eval("\"xyz\" $ NAME").number, 0);
  EXPECT_EQ(eval("NAME # \"Jones\"").number, 1);
  EXPECT_EQ(eval("NAME <> \"Smith\"").number, 0);
  EXPECT_EQ(eval("NAME = \"Sm\"").number, 1);     // compared over the shorter length
  EXPECT_EQ(eval("\"Sm\" = NAME").number, 0);     // ... but a shorter left side differs
  EXPECT_EQ(eval("NAME >= \"Smith\"").number, 1);
  EXPECT_EQ(eval("NAME <= \"Aa\"").number, 0);
  EXPECT_EQ(eval("NAME > \"Sa\"").number, 1);
  EXPECT_EQ(eval("NAME < \"Sa\"").number, 0);
  EXPECT_EQ(eval("ACTIVE = .T.").number, 1);
  EXPECT_EQ(eval("BORN - STOD(\"19990401\")").number, 28);
  EXPECT_EQ(eval("1 + BORN").number, dateToJulian("19990430"));
  EXPECT_EQ(eval("BORN - 29").number, dateToJulian("19990331"));
  // Now the second record: deleted flag, negative numbers, the blank date.
  dataDelete(data);
  EXPECT_EQ(eval("DELETED()").number, 1);
  EXPECT_EQ(eval("DEL()").bytes, "*");
  ASSERT_EQ(dataGo(data, 2), 0);
  EXPECT_EQ(eval("ACTIVE").number, 0);
  EXPECT_EQ(eval("BORN+5").number, 0);  // blank date stays blank
  EXPECT_EQ(eval("STR(PRICE,6,1)").bytes, "  -3.0");
}

TEST_F(ExprTest, DateTextFollowsThePicture) {
  EXPECT_EQ(eval("DTOC(BORN)").bytes.size(), 8u);
  strcpy(c4.datePicture, "DD MMM CCYY");
  EXPECT_EQ(eval("DTOC(BORN)").bytes, "29 Apr 1999");
  EXPECT_EQ(eval("CTOD(\"01 Feb 2001\")").number, dateToJulian("20010201"));
}

TEST_F(ExprTest, DivisionByZeroFieldGivesZero) {
  Value v = eval("PRICE / QTY");
  EXPECT_EQ(v.number, 0);
  EXPECT_EQ(c4.errorCode, 0);
}

TEST_F(ExprTest, NamedCalculations) {
  CompiledExpr* twice = exprCompile(data, "PRICE*2");
  ASSERT_NE(twice, nullptr);
  ASSERT_EQ(exprCalcAdd(&c4, "double", twice), 0);
  EXPECT_EQ(eval("DOUBLE() + 1").number, 26);
  EXPECT_EQ(eval("STR(QTY,3) + STR(double(),4)").bytes, "  0  25");
  // A refused registration leaves the expression with its caller.
  CompiledExpr* one = exprCompile(data, "1");
  EXPECT_LT(exprCalcAdd(&c4, "DOUBLE", one), 0);
  exprFree(one);
}

TEST_F(ExprTest, ErrorsHaveTheirCodes) {
  EXPECT_EQ(refuse("STR(PRICE QTY)"), errorCommaExpected);
  EXPECT_EQ(refuse("1 + 2)"), errorExprComplete);
  EXPECT_EQ(refuse("1 +"), errorExprComplete);
  EXPECT_EQ(refuse("OTHER->NAME"), errorDataName);
  EXPECT_EQ(refuse("IIF(.T.,\"a\",\"bb\")"), errorIifLength);
  EXPECT_EQ(refuse("STR(PRICE,QTY)"), errorConstParameter);
  EXPECT_EQ(refuse("SUBSTR(NAME,1+1)"), errorConstParameter);
  EXPECT_EQ(refuse("UPPER(NAME,CITY)"), errorParameterCount);
  EXPECT_EQ(refuse("DATE(1)"), errorParameterCount);
  EXPECT_EQ(refuse("(1+2"), errorRightBracket);
  EXPECT_EQ(refuse("UPPER(NAME"), errorRightBracket);
  EXPECT_EQ(refuse("NAME + 1"), errorSubexprType);
  EXPECT_EQ(refuse("UPPER(QTY)"), errorSubexprType);
  EXPECT_EQ(refuse("NOSUCH(1)"), errorFunction);
  EXPECT_EQ(refuse("NAME CITY"), errorOperator);
  EXPECT_EQ(refuse("-PRICE"), errorValue);
  EXPECT_EQ(refuse("ABCDEFGHIJK"), errorValue);
  EXPECT_EQ(refuse("\"open"), errorUnterminated);
  EXPECT_EQ(refuse("[open"), errorUnterminated);
  EXPECT_EQ(refuse("NOFIELD"), errorFieldName);
  // With the expression-error setting off, compilation fails without a code.
  c4.exprErrors = 0;
  EXPECT_EQ(refuse("(1+2"), 0);
  c4.exprErrors = 1;
  // A context already in error compiles nothing.
  engineErrorSet(&c4, errorRead);
  EXPECT_EQ(exprCompile(data, "1"), nullptr);
  EXPECT_EQ(c4.errorCode, errorRead);
  engineErrorSet(&c4, 0);
}

TEST_F(ExprTest, PendingValuesAreLimited) {
  // A right-nested sum keeps every operand pending until its end.
  auto nested = [](int n) {
    std::string s;
    for (int i = 0; i < n - 1; i++) s += "1+(";
    s += "1";
    s += std::string(n - 1, ')');
    return s;
  };
  EXPECT_EQ(eval(nested(19).c_str()).number, 19);
  EXPECT_EQ(refuse(nested(20).c_str()), errorOverflow);
}

TEST_F(ExprTest, ExpectingLogical) {
  CompiledExpr* e = exprCompile(data, "QTY+1");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(expr4true(e), errorResult);
  EXPECT_EQ(c4.errorCode, errorResult);
  engineErrorSet(&c4, 0);
  exprFree(e);
}

TEST_F(ExprTest, EvaluationRefusedWhileInError) {
  CompiledExpr* e = exprCompile(data, "NAME");
  ASSERT_NE(e, nullptr);
  engineErrorSet(&c4, errorRead);
  char* result = nullptr;
  EXPECT_EQ(exprEvaluate(e, &result), -1);
  engineErrorSet(&c4, 0);
  exprFree(e);
}

}  // namespace
