// dbftool ddl FILE... [--table NAME]
// dbftool config FILE... [--import | --export] [--table NAME] [--truncate]
//
// ddl prints a CREATE TABLE for each dbf file, config the configuration file whose
// sections move each file into (or out of) that table.  Both derive the same names
// from the same files, so their outputs fit together.
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tools/dbftool/command.h"
#include "tools/dbftool/naming.h"
#include "tools/dbftool/tool_util.h"
#include "xbase/data/field.h"

namespace dbftool {
namespace {

struct Column {
  std::string name;   // SQL column
  std::string field;  // stored dbf field name
  std::string type;   // SQL type
};

struct Table {
  std::string path;
  std::string name;
  std::vector<Column> columns;
};

struct GenerateOptions {
  std::vector<std::string> files;
  std::string table;
  bool exportSide = false;
  bool truncate = false;
};

bool parseGenerate(int argc, char** argv, bool config, GenerateOptions* out) {
  for (int i = 0; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--table") == 0 && i + 1 < argc) {
      out->table = argv[++i];
    } else if (config && std::strcmp(a, "--import") == 0) {
      out->exportSide = false;
    } else if (config && std::strcmp(a, "--export") == 0) {
      out->exportSide = true;
    } else if (config && std::strcmp(a, "--truncate") == 0) {
      out->truncate = true;
    } else if (a[0] == '-' && a[1] == '-') {
      std::fprintf(stderr, "dbftool: unknown option '%s'\n", a);
      return false;
    } else {
      out->files.push_back(a);
    }
  }
  if (out->files.empty()) return false;
  if (!out->table.empty() && out->files.size() > 1) {
    std::fprintf(stderr, "dbftool: --table names the table of one file only\n");
    return false;
  }
  if (!out->table.empty() && !isPlainIdentifier(out->table)) {
    std::fprintf(stderr,
                 "dbftool: --table %s: not a table name (a letter, then letters, digits or _, "
                 "at most 30, no reserved word)\n",
                 out->table.c_str());
    return false;
  }
  return true;
}

// Reads the field table of every file and names tables and columns.  On a failure
// prints the message and returns false; nothing has been printed to standard output.
bool describeFiles(const GenerateOptions& options, bool forConfig, std::vector<Table>* tables) {
  std::set<std::string> tableNames;
  for (const std::string& path : options.files) {
    ReadOnlyData file(path);
    DataFile* d = file.data();
    if (!d) return failEngine(path, file.context()), false;
    if (forConfig && !fitsConfiguration(path))
      return fail(path, "a configuration file cannot name this file (a blank, '-' or another "
                        "separator, or more than 100 bytes); rename it"), false;
    if (dataFieldCount(d) == 0) return fail(path, "the file has no fields"), false;
    Table table;
    table.path = path;
    table.name = options.table.empty() ? uniqueIdentifier(tableStem(path), "T_", false, 30, &tableNames)
                                       : uniqueIdentifier(options.table, "T_", false, 30, &tableNames);
    std::set<std::string> columnNames;
    for (int32_t j = 1; j <= dataFieldCount(d); ++j) {
      FieldInfo* f = dataField(d, j);
      Column column;
      column.field = fieldName(f);
      int type = f->type >= 'a' && f->type <= 'z' ? f->type - 32 : f->type;
      column.type = columnTypeFor(type, fieldLength(f), fieldDecimals(f));
      if (column.type.empty())
        return fail(path, "field '" + column.field + "' is of type '" +
                              std::string(1, static_cast<char>(f->type)) +
                              "', which indrift cannot read"), false;
      if (forConfig && !fitsConfiguration(column.field))
        return fail(path, "a configuration file cannot name field '" + column.field + "'"), false;
      column.name = uniqueIdentifier(column.field, "F_", true, 30, &columnNames);
      table.columns.push_back(column);
    }
    tables->push_back(table);
  }
  return true;
}

int runDdl(int argc, char** argv) {
  GenerateOptions options;
  if (!parseGenerate(argc, argv, false, &options)) {
    std::fprintf(stderr, "usage: dbftool ddl FILE... [--table NAME]\n");
    return 1;
  }
  std::vector<Table> tables;
  if (!describeFiles(options, false, &tables)) return 1;
  for (const Table& t : tables) {
    std::printf("CREATE TABLE %s (\n", t.name.c_str());
    for (size_t i = 0; i < t.columns.size(); ++i)
      std::printf("  %s %s%s\n", t.columns[i].name.c_str(), t.columns[i].type.c_str(),
                  i + 1 < t.columns.size() ? "," : "");
    std::printf(");\n");
  }
  return std::fflush(stdout) == 0 ? 0 : fail(options.files[0], "cannot write the output");
}

int runConfig(int argc, char** argv) {
  GenerateOptions options;
  if (!parseGenerate(argc, argv, true, &options)) {
    std::fprintf(stderr,
                 "usage: dbftool config FILE... [--import | --export] [--table NAME] [--truncate]\n");
    return 1;
  }
  std::vector<Table> tables;
  if (!describeFiles(options, true, &tables)) return 1;
  std::printf("// %s (dbftool config)\n", options.exportSide ? "exdrift: tables into dbf files"
                                                              : "indrift: dbf files into tables");
  for (const Table& t : tables) {
    std::printf("%%BEGIN_SECTION %s\n", t.name.c_str());
    std::printf("%%TABLE_NAME=%s\n", t.name.c_str());
    std::printf("%%DBF_NAME=%s\n", t.path.c_str());
    if (options.truncate) std::printf("%%TRUNCATE=ON\n");
    for (const Column& c : t.columns) std::printf("%s=%s\n", c.name.c_str(), c.field.c_str());
    std::printf("%%END_SECTION\n");
  }
  return std::fflush(stdout) == 0 ? 0 : fail(options.files[0], "cannot write the output");
}

}  // namespace

DBFTOOL_COMMAND("ddl", "ddl FILE... [--table NAME]", runDdl);
DBFTOOL_COMMAND("config", "config FILE... [--import | --export] [--table NAME] [--truncate]",
                runConfig);

}  // namespace dbftool
