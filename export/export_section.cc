// Transfer of one section: open the existing dbf file, match the field lines to its
// fields and to the table's columns, empty the file when asked, select the rows and
// append each one as a record, a block of rows per fetch.
//
// Order of the steps (each later step needs the earlier ones):
//   engine context + dbf file open (exclusive, read-write)
//   match field lines to dbf fields by name  -- every missing field is named
//   describe "SELECT cols FROM table"        -- names, types, sizes; buffers
//   prepare the real select, define one array per column, execute it
//   truncate (when the section asks for it and everything above succeeded): a
//     new, empty file beside the dbf file takes the records (export_aside.h)
//   row loop: fetch a block, mark nulls and cuts, check each value, append one
//     record per row
//   commit, put the new file in place of the old one, close the dbf file,
//     release the context
//
// A set-up error skips the transfer and makes the section a set-up error; every
// other failure raises.
// On every path out, raised or not, the dbf file is closed and the context
// released, so the header counts exactly the records appended; a new file that did
// not take the old one's place is removed.
#include <cstdint>
#include <optional>
#include <string>

#include "export/export_aside.h"
#include "export/export_error.h"
#include "export/export_run.h"
#include "export/export_value_check.h"
#include "front/buffer_budget.h"
#include "front/config_reader.h"
#include "front/console.h"
#include "front/field_lookup.h"
#include "front/run_settings.h"
#include "front/section_code_page.h"
#include "front/section_file.h"
#include "oracle/oracle_session.h"
#include "xbase/data/data.h"
#include "xbase/file/file_name.h"

namespace {

constexpr int32_t kProgressStep = 10000;

// Sets the column up by its described type: LONG and CLOB columns, and text
// columns mapped to a memo field, move whole (whole_value.h); the others as
// configure says.  False for a type the export does not support.
bool configureColumn(ExportColumn& column, const char* upperName, uint16_t type, uint16_t size,
                     DataFile* data) {
  const bool longText = isLongTextType(type);
  if (column.dbfType == 'M' && (longText || columnKindOf(type) == ColumnKind::Character)) {
    column.selectExpr = upperName;
    column.oraType = type;
    column.elementSize = 0;
    column.defineType = 0;
    column.whole.active = true;
    // A CLOB or LONG has no bound; a text column's declared size sizes its block.
    column.whole.declaredSize = longText ? 0 : size;
    return true;
  }
  if (longText) {
    FieldInfo* field = dataField(data, column.dbfFieldNumber);
    configureLongText(column, upperName, type, field != nullptr ? fieldLength(field) : 0);
    return true;
  }
  return column.configure(upperName, type, size);
}

// Reports a set-up error of the section: console (without an empty line before
// it) and report.
void setupError(const std::string& text) { messagePlain(text); }

// The engine keeps the tags of a group file current only while they are open, and
// the export does not open them: a data file with its own group file is refused
// rather than left with tags that no longer match its records.
bool refuseIndexedFile(DataFile* data, const std::string& dbfPath) {
  const std::string group = groupFileOf(data);
  if (group.empty()) return false;
  std::string shown = fileSystemName(dbfPath);
  shown.resize(shown.size() - fileBaseName(shown).size());
  shown += group;
  setupError(formatText("Dbf-file has the index group file '%s'; exdrift does not keep index "
                        "tags current\n",
                        shown.c_str()));
  return true;
}

// Matches every field line to its dbf field: the stored name as written, else the
// one stored name equal to it ignoring case.  False, with every missing field
// named, when one is missing.
bool matchFields(ExportRun& run, const SectionState& section, DataFile* data) {
  bool sound = true;
  for (int j = 0; j < section.fieldCount(); ++j) {
    const FieldMapping& mapping = section.fields[j];
    ExportColumn& column = run.columns[j];
    std::string clash;
    const int32_t n = findDbfField(data, mapping.dbfName, &clash);
    if (n > 0) {
      column.dbfFieldNumber = n;
      column.dbfType = static_cast<char>(fieldType(dataField(data, n)));
    } else {
      sound = false;
      setupError(formatText("Field '%s' not found in dbf-file%s\n", mapping.dbfName.c_str(),
                            clash.c_str()));
    }
  }
  return sound;
}

// Describes the columns as the table declares them and sets every column and its
// buffers up by the described type.  False, with every bad line named, when a name
// or a type does not fit; a block beyond the memory raises, once every line has
// been examined.
bool describeColumns(ExportRun& run, SectionState& section, DataFile* data) {
  const int32_t blockSize = runSettings.blockSize;
  const int fieldCount = section.fieldCount();
  std::string sql = "SELECT ";
  for (int j = 0; j < fieldCount; ++j) {
    upperInPlace(section.fields[j].oracleName);
    if (j > 0) sql += ',';
    sql += section.fields[j].oracleName;
  }
  sql += " FROM ";
  sql += section.tableName;
  run.describe.prepare(sql.c_str());
  run.describe.describe();

  bool sound = true;
  uint64_t budget = sectionBufferBudget();
  std::string memoryError;
  for (int j = 0; j < fieldCount; ++j) {
    FieldMapping& mapping = section.fields[j];
    ExportColumn& column = run.columns[j];
    char name[256];
    run.describe.columnName(j + 1, name, sizeof name);
    std::string described = name;
    upperInPlace(described);
    if (described != mapping.oracleName) {
      sound = false;
      setupError(formatText("Found field '%s' instead of '%s'.\n", described.c_str(),
                            mapping.oracleName.c_str()));
      continue;
    }
    const uint16_t type = run.describe.columnType(j + 1);
    const uint16_t size = run.describe.columnSize(j + 1);
    if (!configureColumn(column, mapping.oracleName.c_str(), type, size, data)) {
      sound = false;
      setupError(formatText("Type '%i' not supported, oracle field '%s'\n",
                            static_cast<int>(type), mapping.oracleName.c_str()));
    }
    // A block that does not fit is reported once every line has been examined,
    // as a failure of the run.
    if (memoryError.empty())
      column.allocateBuffers(blockSize, budget, mapping.oracleName.c_str(), memoryError);
  }
  if (!memoryError.empty()) throw ExportError(memoryError);
  return sound;
}

// Everything the section needs before the select: the field lines matched, the
// file free of index tags, its code page one the text can be carried in, the
// columns described.  False when anything is wrong; every problem has been said.
bool setUpSection(ExportRun& run, SectionState& section, DataFile* data, uint16_t& charset) {
  const bool matched =
      matchFields(run, section, data) && !refuseIndexedFile(data, section.dbfPath);
  // The code page of the file's text, refused before anything moves when it
  // cannot be carried (and some pair converts text).
  std::string codePageProblem;
  charset = sectionCharset(section, data, &codePageProblem);
  if (!codePageProblem.empty() && convertsText(section)) {
    setupError(codePageProblem);
    return false;
  }
  return matched && describeColumns(run, section, data);
}

// Prepares, defines and executes the real select; returns the status of the
// execution.  It comes before the file is emptied: a bad WHERE or ORDER BY text
// fails here, and every set-up failure leaves the file as it was.  None of it
// prints anything, so a successful run reads the same; a failure here comes before
// any row, so there is no row to dump.
int startSelect(ExportRun& run, const SectionState& section, uint16_t charset) {
  const int fieldCount = section.fieldCount();
  std::string sql = "SELECT ";
  for (int j = 0; j < fieldCount; ++j) {
    if (j > 0) sql += ',';
    sql += run.columns[j].selectExpr;
  }
  sql += " FROM ";
  sql += section.tableName;
  if (!section.whereClause.empty()) {
    sql += " WHERE ";
    sql += section.whereClause;
  }
  if (!section.orderByClause.empty()) {
    sql += " ORDER BY ";
    sql += section.orderByClause;
  }
  run.select.prepare(sql.c_str());
  for (int j = 0; j < fieldCount; ++j) {
    ExportColumn& column = run.columns[j];
    if (column.whole.active) {
      run.select.defineWhole(j + 1, &column.whole, wholeValuePiece,
                             pairCharset(section.fields[j], charset));
      continue;
    }
    run.select.defineColumn(j + 1, column.valueBuffer, column.elementSize, column.defineType,
                            column.indicatorArray, column.lengthArray,
                            pairCharset(section.fields[j], charset));
  }
  // Zero iterations: the rows are fetched in transferRows.
  return run.select.execute(0);
}

// The row loop: fetches a block at a time (fewer rows when values are fetched
// whole, whole_value.h), checks each value and appends one record per row.
void transferRows(ExportRun& run, const SectionState& section, DataFile* data, int status) {
  const int fieldCount = section.fieldCount();
  messageConsole("Processing line:         ");
  messageReport("Begin transfering...\n");
  run.lineCount = 0;
  run.processed = 0;
  int32_t fetchedTotal = 0;

  if (dataRecordCount(data) > 0 && dataBottom(data) != 0)
    throw ExportError("Can't move to bottom of dbf-file");

  const int32_t fetchRows = wholeFetchRows(run.columns, fieldCount, runSettings.blockSize);
  while (status == 0) {
    for (int j = 0; j < fieldCount; ++j) {
      run.columns[j].clearSlots(fetchRows);
      run.columns[j].whole.clear(fetchRows);
    }
    status = run.select.fetch(fetchRows, &fetchedTotal);
    int32_t rows = fetchedTotal - run.processed;
    if (rows < 0) rows = 0;
    if (rows > fetchRows) rows = fetchRows;
    for (int j = 0; j < fieldCount; ++j) {
      run.columns[j].markFetched(rows);
      run.columns[j].whole.finish();
    }

    for (int32_t r = 0; r < rows; ++r) {
      if (dataAppendStart(data, 0) != 0) throw ExportError("Can't append record to dbf-file");
      dataBlank(data);
      for (int j = 0; j < fieldCount; ++j) {
        run.currentField = j;
        ExportColumn& column = run.columns[j];
        // A value moves whole or not at all: one the fetch had to cut fails.
        if (valueWasCut(column, r)) throw ExportError("Data was truncated");
        refuseUnstorableValue(data, column, r, section.fields[j], run.lineCount + 1);
        if (column.whole.active)
          storeWholeMemo(data, column, r);
        else
          convertValue(data, column, r);
      }
      run.currentField = -1;
      if (dataAppend(data) != 0) throw ExportError("Can't commit appended record in dbf-file");
      if (run.lineCount % kProgressStep == kProgressStep - 1)
        progressUpdate(run.lineCount + 1);
      ++run.lineCount;
    }
    run.processed = fetchedTotal;
  }

  // The last block of records reaches the file before the section counts as done.
  if (dataWriteGathered(data) != 0) throw ExportError("Can't commit appended record in dbf-file");
  progressDone(run.lineCount);
  messageReport(formatText("Processed %i lines\n", run.lineCount));
  run.lineCount = -1;
  run.currentField = -1;
}

}  // namespace

RunOutcome exportSection(ExportRun& run, SectionState& section) {
  messageReport(formatText("%s Begin transfer file '%s' to table '%s'\n", run.runDate,
                           runSettings.configFile.c_str(), section.tableName.c_str()));

  run.lineCount = -1;
  run.currentField = -1;

  SectionFile file(/*dropUnappended=*/true);
  CODE4* context = file.context();
  context->errQuiet = 1;
  context->openExclusive = 1;
  context->openReadOnly = 0;
  context->autoOpen = 0;
  context->bufferingMode = 1;  // appended records are written a block at a time

  recoverInterruptedExchange(context, section.dbfPath);
  file.open(section.dbfPath.c_str());
  if (context->errorCode != 0) throw ExportError(openFailureText("Can't open dbf-file", context));
  engineExitOnError(context);
  DataFile* data = file.data();
  removeExchangeLeftovers(data);
  // With truncation the records go to a new file beside this one (declared after
  // `file`, so that on the way out it is closed and removed first).
  std::optional<AsideFile> aside;

  uint16_t charset = 0;
  const bool sound = setUpSection(run, section, data, charset);
  if (sound) {
    const int status = startSelect(run, section, charset);
    if (section.truncate) {
      messageConsole("Truncating dbf-file...");
      messageReport("Truncating dbf-file... ");
      aside.emplace(data, section.dbfPath);
      data = aside->data();
      messagePlain("Done\n");
    }
    transferRows(run, section, data, status);
  }

  run.session.commit(0);
  if (aside) aside->exchange();
  file.close();
  return sound ? RunOutcome::Ok : RunOutcome::SetupError;
}
