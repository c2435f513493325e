// The expression compiler: scanner, operator precedence, function calls, then type
// resolution and the layout of results in the work buffer.
//
// Scanning emits tokens in postfix order.  Operators wait on a stack per
// parenthesis level; before one is stacked, stacked operators of equal or higher
// priority are emitted, so equal priorities group from the left, and a run of the
// same .AND. or .OR. becomes one step with that many arguments.  .NOT. is stacked
// after its operand has been scanned.
//
// Type resolution walks the postfix tokens with a stack of (type, length): each
// operator or function tries the table rows of its code in order; a date field's
// text where a day number is wanted, and a numeric field's text where a double is
// wanted, turn the field push into the converting push.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "xbase/data/error.h"
#include "xbase/data/field.h"
#include "xbase/data/index_seam.h"
#include "xbase/data/pool.h"
#include "xbase/file/conv.h"
#include "xbase/index/expr_internal.h"

namespace {

struct Token {
  int code = 0;
  int argCount = 0;
  FieldInfo* field = nullptr;
  DataFile* data = nullptr;
  ExprCalc* calc = nullptr;
  int32_t constOffset = 0;
  int32_t textLength = 0;       // text constants
  double consts[2] = {0, 0};    // STR, SUBSTR, LEFT: constant arguments taken
  int constCount = 0;
  // Filled by type resolution.
  int row = -1;
  char type = 0;
  int64_t length = 0;
  int32_t subtree = 1;
  int32_t constLength = 0, constStart = 0, compareLength = 0, compareTail = 0;
};

struct PendingOp {
  int code;
  int priority;
  int argCount;
};

bool isNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
// True when text starts with word (upper case), ignoring the case of text.
bool startsWith(const char* text, const char* word) {
  for (; *word; word++, text++)
    if (upper(*text) != *word) return false;
  return true;
}

// Codes whose arguments are changed in place: their text arguments must be copies.
bool changesArguments(int code) {
  switch (code) {
    case codePlus: case codeMinus: case codeSubstr: case codeUpper: case codeTrim:
    case codeLtrim: case codeLeft: case codeDescend: return true;
    default: return false;
  }
}

class Compiler {
 public:
  Compiler(DataFile* data, const char* text) : data_(data), c4_(dataContext(data)), src_(text) {}

  CompiledExpr* run();

 private:
  int fail(int code, const char* t1 = nullptr, const char* t2 = nullptr) {
    if (error_ == 0) {
      error_ = code;
      text1_ = t1 ? t1 : src_;
      text2_ = t2 ? t2 : "";
      hasText2_ = t2 != nullptr;
    }
    return -1;
  }
  void skipBlanks() {
    while (src_[pos_] == ' ' || src_[pos_] == '\t') pos_++;
  }
  int parseExpr(bool inCall);
  int parseOperand(std::vector<PendingOp>& ops);
  int parseOperandAt(std::vector<PendingOp>& ops);
  int parseNumber(std::vector<PendingOp>& ops);
  int parseString();
  int parseName(std::vector<PendingOp>& ops);
  int parseCall(const std::string& name);
  int pushField(DataFile* owner, const std::string& name);
  int matchOperator() const;
  void emit(const PendingOp& op) {
    Token t;
    t.code = op.code;
    t.argCount = op.argCount;
    out_.push_back(t);
  }
  int32_t addConstant(const void* bytes, int32_t n) {
    int32_t at = static_cast<int32_t>(constants_.size());
    constants_.append(static_cast<const char*>(bytes), n);
    return at;
  }
  int resolve();
  int resolveStep(Token& t, std::vector<int>& stack);
  int layout(CompiledExpr* expr);

  DataFile* data_;
  CODE4* c4_;
  const char* src_;
  int pos_ = 0;
  std::vector<Token> out_;
  std::string constants_;
  bool memoSeen_ = false;
  bool hasTrim_ = false;
  int32_t pictureOffset_ = -1;
  int32_t calcWork_ = 0;
  int error_ = 0;
  int depth_ = 0;                          // operands being parsed, one inside another
  static constexpr int kMaxNesting = 200;
  // The most bytes a result, or all the results pending at once, may take.  Keys
  // hold at most a few hundred and a memo a kilobyte, but STR and '+' can ask for
  // gigabytes, and a tag file's header is where such an expression may come from.
  static constexpr int64_t kMaxWork = int64_t{1} << 20;
  std::string text1_, text2_;
  bool hasText2_ = false;
};

int Compiler::matchOperator() const {
  int first = exprFirstRow(codeOr), last = exprFirstRow(codeContains);
  for (int r = first; r <= last; r++)
    if (startsWith(src_ + pos_, functionTable[r].name)) return r;
  return -1;
}

int Compiler::parseExpr(bool inCall) {
  std::vector<PendingOp> ops;
  if (parseOperand(ops) < 0) return -1;
  for (;;) {
    skipBlanks();
    char c = src_[pos_];
    if (c == '\0' || c == ')' || c == ',') break;
    int row = matchOperator();
    if (row < 0) return fail(inCall ? errorCommaExpected : errorOperator);
    const FunctionRow& op = functionTable[row];
    pos_ += op.nameLength;
    bool merged = false;
    while (!ops.empty() && ops.back().priority >= op.priority) {
      if ((op.code == codeAnd || op.code == codeOr) && ops.back().code == op.code) {
        ops.back().argCount++;
        merged = true;
        break;
      }
      emit(ops.back());
      ops.pop_back();
    }
    if (!merged) ops.push_back({op.code, op.priority, 2});
    if (parseOperand(ops) < 0) return -1;
  }
  while (!ops.empty()) {
    emit(ops.back());
    ops.pop_back();
  }
  return 0;
}

int Compiler::parseOperand(std::vector<PendingOp>& ops) {
  // Brackets, .NOT. and calls nest through here: the depth is bounded so that no
  // text can exhaust the stack.
  if (depth_ >= kMaxNesting) return fail(errorOverflow);
  depth_++;
  int rc = parseOperandAt(ops);
  depth_--;
  return rc;
}

int Compiler::parseOperandAt(std::vector<PendingOp>& ops) {
  skipBlanks();
  char c = src_[pos_];
  if (c == '\0' || c == ')' || c == ',') return fail(errorExprComplete);
  if (c == '(') {
    pos_++;
    if (parseExpr(false) < 0) return -1;
    skipBlanks();
    if (src_[pos_] != ')') return fail(errorRightBracket);
    pos_++;
    return 0;
  }
  if (c == '.') {
    static const struct { const char* word; int code; } constants[] = {
        {".TRUE.", codeTrue}, {".T.", codeTrue}, {".FALSE.", codeFalse}, {".F.", codeFalse}};
    for (const auto& k : constants) {
      if (startsWith(src_ + pos_, k.word)) {
        pos_ += static_cast<int>(strlen(k.word));
        emit({k.code, 0, 0});
        return 0;
      }
    }
    if (startsWith(src_ + pos_, ".NOT.")) {
      pos_ += 5;
      if (parseOperand(ops) < 0) return -1;
      ops.push_back({codeNot, functionTable[exprFirstRow(codeNot)].priority, 1});
      return 0;
    }
  }
  if (isDigit(c) || c == '+' || c == '-' || c == '.') return parseNumber(ops);
  if (c == '\'' || c == '"' || c == '[') return parseString();
  return parseName(ops);
}

int Compiler::parseNumber(std::vector<PendingOp>& ops) {
  // A sign or point alone is a number too: its value is the conversion of the
  // characters taken, so "+", "-" and "." are 0.  Only a token of no character at all
  // (a point that begins a word, as in ".X") is no value.
  int start = pos_, i = pos_;
  if (src_[i] == '+' || src_[i] == '-') i++;
  while (isDigit(src_[i]) || src_[i] == '.') {
    if (src_[i] == '.' && (startsWith(src_ + i, ".AND.") || startsWith(src_ + i, ".OR.") ||
                           startsWith(src_ + i, ".NOT.") || isLetter(src_[i + 1])))
      break;
    i++;
  }
  if (isLetter(src_[i]) || src_[i] == '_') return parseName(ops);  // not a number
  if (i == start) return fail(errorValue);
  double value = textToDouble(src_ + start, i - start);
  pos_ = i;
  Token t;
  t.code = codeConstNumber;
  t.constOffset = addConstant(&value, sizeof value);
  out_.push_back(t);
  return 0;
}

int Compiler::parseString() {
  char open = src_[pos_];
  char close = open == '[' ? ']' : open;
  const char* end = strchr(src_ + pos_ + 1, close);
  if (end == nullptr) return fail(errorUnterminated);
  int32_t n = static_cast<int32_t>(end - (src_ + pos_ + 1));
  Token t;
  t.code = codeConstText;
  t.textLength = n;
  t.constOffset = addConstant(src_ + pos_ + 1, n);
  out_.push_back(t);
  pos_ += n + 2;
  return 0;
}

int Compiler::parseName(std::vector<PendingOp>&) {
  int start = pos_;
  while (isNameChar(src_[pos_])) pos_++;
  std::string name(src_ + start, pos_ - start);
  if (name.empty()) return fail(errorValue);
  int after = pos_;
  skipBlanks();
  if (src_[pos_] == '(') {
    pos_++;
    return parseCall(name);
  }
  if (src_[pos_] == '-' && src_[pos_ + 1] == '>') {
    std::string alias;
    for (char ch : name) alias += upper(ch);
    DataFile* owner = nullptr;
    if (alias.size() <= 10) {
      for (void* e = listFirst(&c4_->dataFiles); e; e = listNext(&c4_->dataFiles, e)) {
        DataFile* d = static_cast<DataFile*>(e);
        if (alias == dataAlias(d)) {
          owner = d;
          break;
        }
      }
    }
    if (owner == nullptr) return fail(errorDataName, alias.c_str(), src_);
    pos_ += 2;
    skipBlanks();
    int fieldStart = pos_;
    while (isNameChar(src_[pos_])) pos_++;
    return pushField(owner, std::string(src_ + fieldStart, pos_ - fieldStart));
  }
  pos_ = after;
  return pushField(data_, name);
}

int Compiler::pushField(DataFile* owner, const std::string& name) {
  if (name.empty() || name.size() > 10) return fail(errorValue);
  int32_t saved = c4_->errorCode;
  int32_t number = dataFieldNumber(owner, name.c_str());
  if (number < 1) {
    // The lookup reports -210 itself when errFieldLookup is set.
    if (c4_->errorCode < 0 && saved >= 0) error_ = -1;
    int32_t first, second;
    dataFieldClash(owner, name.c_str(), &first, &second);
    if (first > 0) {
      // Two stored names equal to it ignoring case: name both.
      std::string both = std::string("'") + fieldName(dataField(owner, first)) + "' and '" +
                         fieldName(dataField(owner, second)) + "' both match it";
      return fail(errorFieldName, name.c_str(), both.c_str());
    }
    return fail(errorFieldName, name.c_str());
  }
  FieldInfo* field = dataField(owner, number);
  Token t;
  t.field = field;
  t.data = owner;
  switch (field->type) {
    case 'C': t.code = codeFieldInPlace; break;
    case 'D': t.code = codeFieldDateText; break;
    case 'N': case 'F': t.code = codeFieldNumText; break;
    case 'L': t.code = codeFieldLogical; break;
    case 'M': t.code = codeFieldMemo; memoSeen_ = true; break;
    default: return fail(errorSubexprType, "Unknown field type");
  }
  out_.push_back(t);
  return 0;
}

int Compiler::parseCall(const std::string& name) {
  std::string upperName;
  for (char ch : name) upperName += upper(ch);
  int row = -1;
  for (int r = exprFirstRow(codeDel); r < functionTableSize; r++) {
    const FunctionRow& f = functionTable[r];
    if (f.name && upperName == f.name) {
      row = r;
      break;
    }
  }
  ExprCalc* calc = nullptr;
  if (row < 0) {
    calc = exprCalcFind(c4_, upperName.c_str(), static_cast<int32_t>(upperName.size()));
    if (calc == nullptr) return fail(errorFunction);
    row = exprFirstRow(codeCalc);
  }
  std::vector<size_t> argStart;
  skipBlanks();
  if (src_[pos_] == ')') {
    pos_++;
  } else {
    for (;;) {
      argStart.push_back(out_.size());
      if (parseExpr(true) < 0) return -1;
      skipBlanks();
      char c = src_[pos_];
      if (c == ',') { pos_++; continue; }
      if (c == ')') { pos_++; break; }
      if (c == '\0') return fail(errorRightBracket);
      return fail(errorCommaExpected);
    }
  }
  Token t;
  t.code = functionTable[row].code;
  t.calc = calc;
  // Trailing constant arguments of STR, SUBSTR and LEFT are taken now.
  int maxConst = t.code == codeStr ? 2 : t.code == codeSubstr ? 2 : t.code == codeLeft ? 1 : 0;
  int args = static_cast<int>(argStart.size());
  int take = std::min(maxConst, std::max(0, args - 1));
  for (int k = args - take; k < args; k++) {
    size_t from = argStart[k], to = k + 1 < args ? argStart[k + 1] : out_.size();
    if (to - from != 1 || out_[from].code != codeConstNumber) return fail(errorConstParameter);
    memcpy(&t.consts[t.constCount++], constants_.data() + out_[from].constOffset, sizeof(double));
  }
  if (take > 0) out_.resize(argStart[args - take]);
  t.argCount = args - take;
  int wanted = functionTable[row].paramCount;
  if (wanted != -1 && t.argCount != wanted)
    return fail(errorParameterCount, "Function", upperName.c_str());
  out_.push_back(t);
  return 0;
}

// ---- type resolution ----

int32_t clampConst(double v) {
  if (v > INT32_MAX / 2) return INT32_MAX / 2;
  if (v < INT32_MIN / 2) return INT32_MIN / 2;
  return static_cast<int32_t>(v);
}

int Compiler::resolveStep(Token& t, std::vector<int>& stack) {
  int n = t.argCount;
  if (static_cast<int>(stack.size()) < n) return fail(errorExprComplete);
  std::vector<int> args(stack.end() - n, stack.end());
  stack.resize(stack.size() - n);
  int first = exprFirstRow(t.code);
  const FunctionRow& head = functionTable[first];
  if (head.paramCount != -1 && head.paramCount != n) return fail(errorParameterCount);
  int chosen = -1;
  for (int r = first; r < functionTableSize && functionTable[r].code == t.code; r++) {
    const FunctionRow& f = functionTable[r];
    // Text '+' has two rows: the plain one, and the one squeezing out the NUL padding
    // that memo texts bring, used once a memo field occurs in the expression.
    if (t.code == codePlus && f.paramTypes[0] == 'C' && (memoSeen_ ? r == first : r != first))
      continue;
    bool fits = true;
    for (int j = 0; j < n && fits; j++) {
      char want = f.paramCount == -1 ? f.paramTypes[0] : f.paramTypes[j];
      const Token& a = out_[args[j]];
      fits = a.type == want || (a.type == 'D' && want == 'd' && a.code == codeFieldDateText) ||
             (a.type == 'N' && want == 'n' && a.code == codeFieldNumText);
    }
    if (fits) {
      chosen = r;
      break;
    }
  }
  if (chosen < 0) return fail(errorSubexprType);
  const FunctionRow& f = functionTable[chosen];
  for (int j = 0; j < n; j++) {
    Token& a = out_[args[j]];
    char want = f.paramCount == -1 ? f.paramTypes[0] : f.paramTypes[j];
    if (a.type != want) {
      a.code = a.type == 'D' ? codeFieldDateDays : codeFieldNumber;
      a.row = exprFirstRow(a.code);
      a.type = want;
      a.length = kExprNumberSize;
    }
    if (changesArguments(t.code) && a.code == codeFieldInPlace) {
      a.code = codeFieldCopy;
      a.row = exprFirstRow(codeFieldCopy);
    }
  }
  t.row = chosen;
  t.type = f.resultType;
  t.subtree = 1;
  for (int j = 0; j < n; j++) t.subtree += out_[args[j]].subtree;
  int64_t l0 = n > 0 ? out_[args[0]].length : 0;
  int64_t l1 = n > 1 ? out_[args[1]].length : 0;
  switch (t.code) {
    case codeFieldInPlace: case codeFieldCopy: case codeFieldNumText:
      t.length = t.field->length;
      break;
    case codeFieldDateText: t.length = 8; break;
    case codeFieldMemo: t.length = c4_->memoExprLength > 0 ? c4_->memoExprLength : 0; break;
    case codeConstText: t.length = t.textLength; break;
    case codePlus: case codeMinus:
      t.length = f.resultType == 'C' ? l0 + l1 : kExprNumberSize;
      t.constLength = static_cast<int32_t>(std::min<int64_t>(l0, INT32_MAX));
      break;
    case codeEqual: case codeNotEqual: case codeGreaterEq: case codeLessEq: case codeGreater:
    case codeLess:
      t.length = kExprLogicalSize;
      t.compareLength = static_cast<int32_t>(std::min(l0, l1));
      t.compareTail = l0 >= l1 ? 0 : -1;
      break;
    case codeContains:
      t.length = kExprLogicalSize;
      t.constLength = static_cast<int32_t>(l0);
      t.compareLength = static_cast<int32_t>(l1);
      break;
    case codeDel: t.length = 1; break;
    case codeStr: {
      int32_t len = t.constCount > 0 ? clampConst(t.consts[0]) : 10;
      if (len < 0) len = 10;
      int32_t dec = t.constCount > 1 ? clampConst(t.consts[1]) : 0;
      if (dec + 1 >= len) dec = len - 2;
      if (dec < 0) dec = 0;
      t.length = len;
      t.constLength = len;
      t.constStart = dec;
      break;
    }
    case codeSubstr: {
      int64_t start = t.constCount > 0 ? clampConst(t.consts[0]) - 1 : 0;
      if (start < 0) start = 0;
      if (start > l0) start = l0;
      int64_t len = t.constCount > 1 ? clampConst(t.consts[1]) : l0 - start;
      len = std::clamp<int64_t>(len, 0, l0 - start);
      t.length = len;
      t.constStart = static_cast<int32_t>(start);
      t.constLength = static_cast<int32_t>(len);
      break;
    }
    case codeLeft: {
      int64_t len = t.constCount > 0 ? clampConst(t.consts[0]) : l0;
      t.length = std::clamp<int64_t>(len, 0, l0);
      t.constLength = static_cast<int32_t>(t.length);
      break;
    }
    case codeTime: case codeDtos: t.length = 8; break;
    case codeDtoc: case codeCtod:
      if (pictureOffset_ < 0) {
        char picture[20] = {};
        copyBounded(picture, c4_->datePicture, sizeof picture);
        pictureOffset_ = addConstant(picture, sizeof picture);
      }
      t.constOffset = pictureOffset_;
      t.constLength = static_cast<int32_t>(l0);
      t.length = t.code == codeDtoc ? static_cast<int64_t>(strlen(c4_->datePicture))
                                    : kExprNumberSize;
      break;
    case codeTrim: case codeLtrim:
      hasTrim_ = true;
      t.length = l0;
      break;
    case codeUpper: case codeDescend: t.length = l0; break;
    case codeIif:
      if (l1 != out_[args[2]].length) return fail(errorIifLength);
      t.length = l1;
      break;
    case codeStod: case codeVal:
      t.constLength = static_cast<int32_t>(l0);
      t.length = kExprNumberSize;
      break;
    case codeCalc:
      t.type = t.calc->expr->type;
      t.length = t.calc->expr->length;
      calcWork_ = std::max(calcWork_, t.calc->expr->workNeeded);
      break;
    default:
      t.length = f.resultType == 'L' ? kExprLogicalSize : kExprNumberSize;
      break;
  }
  if (t.length > kMaxWork) return fail(errorOverflow);
  stack.push_back(static_cast<int>(&t - out_.data()));
  if (static_cast<int>(stack.size()) > kExprMaxPending) return fail(errorOverflow);
  return 0;
}

int Compiler::resolve() {
  std::vector<int> stack;
  for (Token& t : out_) {
    if (t.code <= codeConstText) {
      t.row = exprFirstRow(t.code);
      t.type = functionTable[t.row].resultType;
      if (t.code == codeFieldLogical) t.length = kExprLogicalSize;
      if (t.code == codeConstNumber) t.length = kExprNumberSize;
    }
    if (resolveStep(t, stack) < 0) return -1;
  }
  if (stack.size() != 1) return fail(errorExprComplete);
  return 0;
}

// Results lie one after another: a step's result starts where its first argument
// starts (or at the top for a push).
int Compiler::layout(CompiledExpr* expr) {
  std::vector<std::pair<int64_t, int64_t>> stack;  // (position, length)
  int64_t need = 0;
  for (int32_t i = 0; i < expr->stepCount; i++) {
    ExprStep& s = expr->steps[i];
    int64_t top = stack.empty() ? 0 : stack.back().first + stack.back().second;
    int64_t pos = top;
    if (s.argCount > 0) {
      pos = stack[stack.size() - s.argCount].first;
      stack.resize(stack.size() - s.argCount);
    }
    stack.push_back({pos, s.length});
    need = std::max(need, pos + s.length);
    if (need > kMaxWork) return fail(errorOverflow);
    s.resultPos = static_cast<int32_t>(pos);
  }
  expr->workNeeded = static_cast<int32_t>(std::max<int64_t>(need, calcWork_)) + 8;
  return 0;
}

CompiledExpr* Compiler::run() {
  CompiledExpr* expr = nullptr;
  if (parseExpr(false) == 0) {
    skipBlanks();
    if (src_[pos_] != '\0') fail(errorExprComplete);
  }
  if (error_ == 0) resolve();
  if (error_ == 0) {
    expr = static_cast<CompiledExpr*>(engineAllocReport(c4_, sizeof(CompiledExpr)));
    if (expr == nullptr) return nullptr;
    size_t srcLen = strlen(src_);
    expr->source = static_cast<char*>(engineAllocReport(c4_, srcLen + 1));
    expr->steps = static_cast<ExprStep*>(engineAllocReport(c4_, sizeof(ExprStep) * out_.size()));
    expr->constants = static_cast<char*>(engineAllocReport(c4_, constants_.size() + 1));
    if (!expr->source || !expr->steps || !expr->constants) {
      exprFree(expr);
      return nullptr;
    }
    memcpy(expr->source, src_, srcLen + 1);
    memcpy(expr->constants, constants_.data(), constants_.size());
    expr->constantsLength = static_cast<int32_t>(constants_.size());
    expr->data = data_;
    expr->context = c4_;
    expr->stepCount = static_cast<int32_t>(out_.size());
    for (size_t i = 0; i < out_.size(); i++) {
      const Token& t = out_[i];
      ExprStep& s = expr->steps[i];
      s.row = t.row;
      s.impl = functionTable[t.row].impl;
      s.field = t.field;
      s.data = t.data ? t.data : data_;
      s.length = static_cast<int32_t>(t.length);
      s.subtreeSteps = t.subtree;
      s.argCount = t.argCount;
      s.constLength = t.constLength;
      s.constStart = t.constStart;
      s.constOffset = t.constOffset;
      s.compareLength = t.compareLength;
      s.compareTail = t.compareTail;
      s.calc = t.calc;
    }
    expr->type = out_.back().type;
    expr->length = static_cast<int32_t>(out_.back().length);
    expr->hasTrim = hasTrim_;
    if (layout(expr) == 0 &&
        engineBufferGrow(c4_, &c4_->exprBuffer.data, &c4_->exprBuffer.size, expr->workNeeded) ==
            0)
      return expr;
    exprFree(expr);
    expr = nullptr;
  }
  if (error_ < -1 && c4_->exprErrors && c4_->errorCode >= 0) {
    if (hasText2_)
      errorReport(c4_, error_, text1_.c_str(), text2_.c_str());
    else
      errorReport(c4_, error_, text1_.c_str());
  }
  return nullptr;
}

}  // namespace

CompiledExpr* exprCompile(DataFile* data, const char* text) {
  if (data == nullptr || text == nullptr || dataContext(data)->errorCode < 0) return nullptr;
  Compiler compiler(data, text);
  return compiler.run();
}

void exprFree(CompiledExpr* expr) {
  if (expr == nullptr) return;
  engineFree(expr->source);
  engineFree(expr->steps);
  engineFree(expr->constants);
  engineFree(expr);
}

ExprCalc* exprCalcFind(CODE4* context, const char* name, int32_t nameLength) {
  for (void* e = listFirst(&context->exprCalcs); e; e = listNext(&context->exprCalcs, e)) {
    ExprCalc* calc = static_cast<ExprCalc*>(e);
    if (static_cast<int32_t>(strlen(calc->name)) != nameLength) continue;
    bool same = true;
    for (int32_t i = 0; i < nameLength && same; i++) same = upper(name[i]) == calc->name[i];
    if (same) return calc;
  }
  return nullptr;
}

int exprCalcAdd(CODE4* context, const char* name, CompiledExpr* expr) {
  int32_t n = name ? static_cast<int32_t>(strlen(name)) : 0;
  if (n == 0 || n > 20 || expr == nullptr || exprCalcFind(context, name, n))
    return errorReport(context, errorParameter, "exprCalcAdd()", name);
  ExprCalc* calc = static_cast<ExprCalc*>(engineAllocReport(context, sizeof(ExprCalc)));
  if (calc == nullptr) return errorMemory;
  for (int32_t i = 0; i < n; i++) calc->name[i] = upper(name[i]);
  calc->expr = expr;
  listAddLast(&context->exprCalcs, calc);
  return 0;
}

void exprCalcClearAll(CODE4* context) {
  while (void* e = listPopLast(&context->exprCalcs)) {
    ExprCalc* calc = static_cast<ExprCalc*>(e);
    exprFree(calc->expr);
    engineFree(calc);
  }
}
