// Shared between the expression compiler and the evaluator; not for other users.
#pragma once

#include "xbase/index/expr.h"

// The process-wide evaluation state: the expression running, its work buffer and
// constants, and the stack of value pointers.
struct ExprEvalState {
  CompiledExpr* expr;
  char* buffer;
  char* constants;
  char* stack[kExprMaxPending + 1];
  int depth;
};
extern ExprEvalState exprState;

// Size in the work buffer of the fixed-size types.
inline constexpr int32_t kExprLogicalSize = 4;
inline constexpr int32_t kExprNumberSize = 8;

// Index of the first row with the given code, or -1.
int exprFirstRow(int code);
