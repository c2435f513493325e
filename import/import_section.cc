// Transfer of one section: open the dbf file read-only and shared, set up one
// ImportColumn per field pair, empty the table when asked, describe the target
// columns, prepare and bind the array INSERT, then insert the live records block by
// block, committing after each.
//
// Order of the steps (each later step needs the earlier ones):
//   engine context + dbf file open (shared, read-only)
//   set up every pair against the field table  -- every bad pair is named
//   describe "SELECT cols FROM table"          -- types, sizes; memo slots
//   prepare "INSERT /*+ APPEND */ INTO table (cols) VALUES (:param0,...)", bind
//   truncate (when the section asks for it), COMMIT
//   record loop: fill a row slot per live record; a full block is one
//   execution and one COMMIT
//   last partial block, COMMIT, COMMIT, DEALLOCATE UNUSED, close the file
//
// A pair that fails its set-up makes the section a set-up error and skips the
// transfer, but the closing COMMIT and DEALLOCATE still run.  Every other failure raises; the dbf
// file is closed and the context released on every path out.
#include <cstdio>
#include <string>

#include "front/buffer_budget.h"
#include "front/config_reader.h"
#include "front/console.h"
#include "front/run_settings.h"
#include "front/section_code_page.h"
#include "front/section_file.h"
#include "import/dbf_watch.h"
#include "import/import_error.h"
#include "import/import_run.h"
#include "oracle/oracle_session.h"
#include "xbase/data/data.h"

namespace {

constexpr int32_t kProgressStep = 10000;

void executeText(OracleStatement& statement, const std::string& sql) {
  statement.prepare(sql.c_str());
  statement.execute(1);
}

// Fills row slot `row` of every pair from the current record.  A memo longer than
// its column, or a zero byte inside a value, ends the run; every pair's slot is
// filled first, so the dump shows the whole record.
void fillRow(ImportRun& run, const SectionState& section, DataFile* data, int32_t row) {
  int overflow = -1;
  for (int j = 0; j < section.fieldCount(); ++j)
    if (!run.columns[j].fill(data, row) && overflow < 0) overflow = j;
  if (overflow >= 0) {
    const ImportColumn& column = run.columns[overflow];
    if (column.zeroInside)
      throw ImportError(formatText(
          "Dbf-field '%s' in record %i holds a zero byte inside its value.",
          section.fields[overflow].dbfName.c_str(), static_cast<int>(dataRecordNumber(data))));
    throw ImportError(formatText(
        "Memo of dbf-field '%s' in record %i is longer than %i bytes of oracle field '%s'.",
        section.fields[overflow].dbfName.c_str(), static_cast<int>(dataRecordNumber(data)),
        static_cast<int>(column.slotSize - 1), section.fields[overflow].oracleName.c_str()));
  }
}

// Whether the memos gathered for whole binds fill the block before its rows do
// (memo_block.h).
bool memosFillBlock(const ImportRun& run, const SectionState& section) {
  size_t gathered = 0;
  for (int j = 0; j < section.fieldCount(); ++j) gathered += run.columns[j].memo.gathered();
  return gathered >= kMemoBlockBytes;
}

// Inserts the `rows` gathered rows with one execution.  When the server refuses
// one, the rows before it went in (OCI_ATTR_ROW_COUNT counts them): the refused
// row's slot and dbf record are kept for the failure report, whose message is
// the server's, read before the row count replaces it.
void insertBlock(ImportRun& run, int32_t rows) {
  try {
    run.insert.execute(rows);
    for (ImportColumn& column : run.columns) column.memo.clear();
  } catch (int code) {
    if (code != OracleErrorCode::Execute) throw;
    const std::string message = run.session.errorText(code);
    const int32_t done = run.insert.rowsProcessed();
    if (done >= 0 && done < rows) {
      run.refusedSlot = done;
      run.refusedRecord = run.slotRecords[static_cast<size_t>(done)];
    }
    throw ImportError(message);
  }
}

void transferRecords(ImportRun& run, const SectionState& section, CODE4* context,
                     DataFile* data, DbfWatch& watch) {
  const int32_t blockSize = runSettings.blockSize;
  run.lineNumber = 0;
  run.rowInBlock = 0;
  run.pendingRows = false;
  messageConsole("Processing line:         ");
  messageReport("Begin transfering...\n");

  run.slotRecords.assign(static_cast<size_t>(blockSize), 0);
  while (dataEof(data) == 0) {
    if (!dataDeleted(data)) {
      run.slotRecords[static_cast<size_t>(run.rowInBlock)] =
          static_cast<int32_t>(dataRecordNumber(data));
      fillRow(run, section, data, run.rowInBlock);
      run.pendingRows = true;
      ++run.rowInBlock;
    }
    if (run.rowInBlock == blockSize || (run.rowInBlock > 0 && memosFillBlock(run, section))) {
      watch.check();
      insertBlock(run, run.rowInBlock);
      run.rowInBlock = 0;
      run.pendingRows = false;
      run.commit.execute(1);
    }
    if (run.lineNumber % kProgressStep == kProgressStep - 1) progressUpdate(run.lineNumber + 1);
    // A move that fails inside the engine leaves dataEof at -1: that is a failure
    // too, never the end of the file.
    if (dataSkip(data, 1) != 0 && (dataEof(data) != 1 || engineErrorCode(context) < 0))
      throw ImportError("Can't skip record in dbf-file.");
    ++run.lineNumber;
  }
  if (engineErrorCode(context) < 0) throw ImportError("Can't skip record in dbf-file.");

  // From here on a failure has no row slot to show.
  const int32_t gathered = run.rowInBlock;
  run.rowInBlock = blockSize;
  watch.check();
  if (run.pendingRows) insertBlock(run, gathered);
  run.commit.execute(1);

  progressDone(run.lineNumber);
  messageReport(formatText("Processed %i lines\n", run.lineNumber));
  run.lineNumber = -1;
}

// The transfer, with a failure on the way put down to a change of the file when the
// file did change: a record or memo that cannot be read, or fewer records, is then
// only the symptom.
void transferWatched(ImportRun& run, const SectionState& section, CODE4* context,
                     DataFile* data, DbfWatch& watch) {
  try {
    transferRecords(run, section, context, data, watch);
  } catch (const ImportError&) {
    watch.check();
    throw;
  }
}

// Sets every pair up against the field table, so that every bad one is named, and
// finds the character set of the file's text.  False when a pair could not be set
// up or the code page cannot be carried (and some pair converts text); the
// problems have been said.
bool setUpPairs(ImportRun& run, const SectionState& section, DataFile* data, uint64_t& budget,
                uint16_t& charset) {
  bool sound = true;
  for (int j = 0; j < section.fieldCount(); ++j)
    if (!run.columns[j].setUp(section.fields[j], data, section.dbfPath, runSettings.blockSize,
                              budget))
      sound = false;
  std::string codePageProblem;
  charset = sectionCharset(section, data, &codePageProblem);
  if (!codePageProblem.empty() && convertsText(section)) {
    messagePlain(codePageProblem);
    sound = false;
  }
  return sound;
}

// Describes the target columns, sizes the pairs' slots by them, prepares the array
// INSERT and binds every pair.  Everything a wrong configuration can fail (a column
// the table lacks, a table that does not exist, an INSERT the server refuses) is
// done here, before the table is emptied, so such a failure leaves it untouched.
// None of it prints anything, so a successful run reads the same.
void prepareInsert(ImportRun& run, SectionState& section, uint16_t charset, uint64_t& budget) {
  const int32_t blockSize = runSettings.blockSize;
  const int fieldCount = section.fieldCount();
  std::string names;
  for (int j = 0; j < fieldCount; ++j) {
    upperInPlace(section.fields[j].oracleName);
    if (j > 0) names += ',';
    names += section.fields[j].oracleName;
  }
  run.describe.prepare(("SELECT " + names + " FROM " + section.tableName).c_str());
  run.describe.describe();
  for (int j = 0; j < fieldCount; ++j) {
    const uint16_t type = run.describe.columnType(j + 1);
    const uint16_t size = run.describe.columnSize(j + 1);
    run.columns[j].setColumn(type, size, blockSize, budget, section.fields[j]);
  }

  std::string parameters;
  for (int j = 0; j < fieldCount; ++j) {
    if (j > 0) parameters += ',';
    parameters += formatText(":param%i", j);
  }
  run.insert.prepare(("INSERT /*+ APPEND */ INTO " + section.tableName + " (" + names +
                      ") VALUES (" + parameters + ")")
                         .c_str());
  for (int j = 0; j < fieldCount; ++j) {
    ImportColumn& column = run.columns[j];
    if (column.memo.active) {
      run.insert.bindWhole(formatText(":param%i", j).c_str(), &column.memo, memoBlockPiece,
                           pairCharset(section.fields[j], charset));
      continue;
    }
    run.insert.bindParameter(formatText(":param%i", j).c_str(), column.values, column.slotSize,
                             column.bindType, column.lengths,
                             pairCharset(section.fields[j], charset));
  }
}

}  // namespace

RunOutcome importSection(ImportRun& run, SectionState& section) {
  messageReport(formatText("%s Configuration file '%s',DBF File '%s', Table '%s'\n", run.runDate,
                           runSettings.configFile.c_str(), section.dbfPath.c_str(),
                           section.tableName.c_str()));
  run.lineNumber = -1;
  run.refusedSlot = -1;
  run.refusedRecord = -1;

  SectionFile file(/*dropUnappended=*/false);  // only read: closing writes nothing
  CODE4* context = file.context();
  context->autoOpen = 0;
  context->errQuiet = 1;
  context->openExclusive = 0;
  context->openReadOnly = 1;
  context->bufferingMode = 1;  // records are read a block at a time

  DbfWatch watch(section.dbfPath);
  file.open(section.dbfPath.c_str());
  if (engineErrorCode(context) != 0 || file.data() == nullptr)
    throw ImportError(openFailureText("Can't open dbf-file.", context));
  DataFile* data = file.data();
  watch.begin(data);

  uint64_t budget = sectionBufferBudget();
  uint16_t charset = 0;
  const bool sound = setUpPairs(run, section, data, budget, charset);
  if (sound) {
    dataTop(data);
    if (engineErrorCode(context) < 0) throw ImportError("Can't skip record in dbf-file.");
    prepareInsert(run, section, charset, budget);
    if (section.truncate) {
      messageConsole("Truncating table...");
      messageReport("Truncating table... ");
      executeText(run.truncate, "TRUNCATE TABLE " + section.tableName);
      messagePlain("Done\n");
    }
    executeText(run.commit, "COMMIT");

    transferWatched(run, section, context, data, watch);
  }

  executeText(run.commit, "COMMIT");
  executeText(run.deallocate, "ALTER TABLE " + section.tableName + " DEALLOCATE UNUSED");
  file.close();
  return sound ? RunOutcome::Ok : RunOutcome::SetupError;
}
