// Engine error reporting.
//
// The engine reports through one number, the error code of its CODE4:
//
//   0         nothing pending
//   positive  a soft result that an operation chose to leave there (70 from a quiet
//             failed open, 60 from a quiet failed create, 50 ...)
//   negative  an error is pending.  Every engine operation then returns at once (-1,
//             0 or null) without recording anything new, until a caller clears the
//             code with engineErrorSet or initialises the context again.  Only the
//             closing operations (dataClose, fileClose, ...) and a few file-layer calls
//             named in engine_file.h still act.
//
// A failing operation calls errorReport, which records the code and, unless errQuiet
// is set, prints it with its table text and up to three detail texts, then waits for a
// key on the console.
#pragma once

#include <cstdint>

struct CODE4;

// Results that are not failures.
enum : int32_t {
  resultSuccess = 0,
  resultAtEnd = 3,
  resultAtBeginning = 4,
  resultNoRecord = 5,
  resultUniqueKey = 20,
  resultUniqueSkip = 25,  // a unique tag left an equal key out; the append goes on
  resultLocked = 50,
  resultNotCreated = 60,
  resultNotOpened = 70,
};

// Error codes (negative).  Texts in errorCodeText.
enum : int32_t {
  errorClose = -10,
  errorCreate = -20,
  errorLength = -30,
  errorLengthSet = -40,
  errorLock = -50,
  errorOpen = -60,
  errorRead = -70,
  errorRemove = -80,
  errorRename = -90,
  errorSeek = -100,
  errorUnlock = -110,
  errorWrite = -120,
  errorData = -200,
  errorFieldName = -210,
  errorFieldType = -220,
  errorRecordLength = -230,
  errorTagEntry = -300,
  errorIndex = -310,
  errorTagName = -330,
  errorUnique = -340,
  errorCommaExpected = -400,
  errorExprComplete = -410,
  errorDataName = -420,
  errorIifLength = -422,
  errorConstParameter = -425,
  errorParameterCount = -430,
  errorOverflow = -440,
  errorRightBracket = -450,
  errorSubexprType = -460,
  errorFunction = -470,
  errorOperator = -480,
  errorValue = -490,
  errorUnterminated = -500,
  errorOptimize = -610,
  errorOptimizeRemove = -620,
  errorOptimizeFlush = -630,
  errorSlaveRecord = -710,
  errorRelation = -720,
  errorInfo = -910,
  errorMemory = -920,
  errorParameter = -930,
  errorResult = -950,
};

// The context's error code; -1 for a null context.
int32_t engineErrorCode(const CODE4* context);
// Sets the code and returns the previous one (0 clears a pending error).  A null
// context: returns -1.
int32_t engineErrorSet(CODE4* context, int32_t code);
// Records code in the context and, unless errQuiet is set, prints
//   "\r\n\r\nError Number" code(6 wide) ["\r\n" table text] {"\r\n" text}
//   "\r\nPress a key ..."
// to standard output and waits for a key.  The texts stop at the first null one.
// Returns code.  A null context still prints (nothing to record).
int32_t errorReport(CODE4* context, int32_t code, const char* text1 = nullptr,
                    const char* text2 = nullptr, const char* text3 = nullptr);
// The detail texts that came with the pending error code through errorReport, '\n'
// between them, also when errQuiet kept them from being printed; "" when that code
// came without texts or was set in another way.  A null context gives "".
const char* errorDetail(const CODE4* context);
// Prints the severe form ("\r\n\r\nSevere Error Number", code, table text, text,
// "\r\nPress a key ..."), waits for a key and ends the process with status 1, whatever
// errQuiet says.
[[noreturn]] void errorSevere(int32_t code, const char* text);
// The table text of code, or null when the table has none.
const char* errorCodeText(int32_t code);
// Ends the process with the error code as exit status (modulo 256) when it is
// negative; otherwise does nothing.
void engineExitOnError(const CODE4* context);

// Waiting for a key after a printed report reads one byte without echo from the
// controlling terminal; with no terminal it returns at once.  Tests (and programs that
// must never block) install their own waiter; null restores the terminal one.
using KeyWaiter = void (*)();
void errorSetKeyWaiter(KeyWaiter waiter);
