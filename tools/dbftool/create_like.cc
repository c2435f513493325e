// dbftool create OUT.dbf --like TABLE -S:SERVICE -U:USER [-P:PASSWORD] [--codepage N]
//                [--config OUT.cfg]
//
// Describes TABLE through the programs' own session layer (so the same code runs over
// libocilite or the vendor's client) and creates an empty dbf file whose fields hold
// the columns' values as exdrift writes them; with --config also the export
// configuration pairing each column with its field.
#include "tools/dbftool/create_like.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "front/password.h"
#include "oracle/oracle_session.h"
#include "tools/dbftool/naming.h"
#include "tools/dbftool/tool_util.h"
#include "xbase/data/code_page.h"
#include "xbase/data/data_create.h"
#include "xbase/file/file_name.h"

namespace dbftool {
namespace {

struct LikeOptions {
  std::string out;
  std::string table;
  std::string service;
  std::string user;
  std::string password;
  bool hasPassword = false;
  int codepage = 866;
  std::string config;
};

const char* typeName(int code) {
  switch (code) {
    case 24: return "LONG RAW";
    case 100: return "BINARY_FLOAT";
    case 101: return "BINARY_DOUBLE";
    case 113: return "BLOB";
    case 114: return "BFILE";
    case 180: return "TIMESTAMP";
    case 181: return "TIMESTAMP WITH TIME ZONE";
    case 231: return "TIMESTAMP WITH LOCAL TIME ZONE";
    case 182: return "INTERVAL YEAR TO MONTH";
    case 183: return "INTERVAL DAY TO SECOND";
    case 104: return "ROWID";
    case 108: return "an object type";
    default: return nullptr;
  }
}

bool parseLike(int argc, char** argv, LikeOptions* o) {
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    bool hasValue = i + 1 < argc;
    if (a == "--like" && hasValue) o->table = argv[++i];
    else if (a == "--config" && hasValue) o->config = argv[++i];
    else if (a == "--codepage" && hasValue) {
      std::string value = argv[++i];
      if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos ||
          languageDriverOfCodePage(std::atoi(value.c_str())) < 0) {
        std::fprintf(stderr, "dbftool: --codepage %s: not a code page a dbf file can record\n",
                     value.c_str());
        return false;
      }
      o->codepage = std::atoi(value.c_str());
    } else if (a.size() >= 3 && a[0] == '-' && a[2] == ':' && (a[1] == 'S' || a[1] == 's')) o->service = a.substr(3);
    else if (a.size() >= 3 && a[0] == '-' && a[2] == ':' && (a[1] == 'U' || a[1] == 'u')) o->user = a.substr(3);
    else if (a.size() >= 3 && a[0] == '-' && a[2] == ':' && (a[1] == 'P' || a[1] == 'p')) {
      o->password = a.substr(3);
      o->hasPassword = true;
    } else if (a[0] == '-') {
      std::fprintf(stderr, "dbftool: unknown option '%s'\n", a.c_str());
      return false;
    } else if (o->out.empty()) o->out = a;
    else {
      std::fprintf(stderr, "dbftool: create --like takes no field definitions ('%s')\n", a.c_str());
      return false;
    }
  }
  return !o->out.empty() && !o->table.empty() && !o->user.empty();
}

// A table name as it may stand in the query: [schema.]name of letters, digits, _ $ #.
bool plainTableName(const std::string& table) {
  if (table.empty() || table.front() == '.' || table.back() == '.') return false;
  return table.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_$#.") ==
         std::string::npos;
}

struct PlannedField {
  std::string column;
  std::string name;
  FieldDef def{};
};

// The field for one described column, or an error text naming the column.  A
// NUMBER wider than an N field is capped at 20 with a warning (added to `warnings`):
// exdrift refuses a value that does not fit, it never cuts one.
std::string planField(const std::string& column, int type, int size, int precision, int scale,
                      int charLength, PlannedField* out, std::string* warnings) {
  FieldDef& def = out->def;
  def.length = 0;
  def.decimals = 0;
  switch (type) {
    case 1:    // VARCHAR2, NVARCHAR2
    case 96:   // CHAR, NCHAR
    case 23: { // RAW
      // A character counts as one byte of the code page, whatever it takes in UTF-8.
      int n = type != 23 && charLength > 0 ? charLength : size;
      def.type = 'C';
      def.length = n < 1 ? 254 : n > 254 ? 254 : n;
      return "";
    }
    case 2: {  // NUMBER, FLOAT, INTEGER
      def.type = 'N';
      bool unconstrained = precision == 0 || scale == -127;
      int intDigits = 0, decimals = 0;
      if (unconstrained) {
        intDigits = 38;
        decimals = 6;
      } else if (scale >= 0) {
        intDigits = precision > scale ? precision - scale : 1;
        decimals = scale;
      } else {
        intDigits = precision - scale;
      }
      // Sign, digits, and the point with the decimals.
      int length = 1 + intDigits + (decimals > 0 ? 1 + decimals : 0);
      if (length > 20) {
        *warnings += "dbftool: warning: column '" + column +
                     "' may hold numbers wider than a dbf field (20 characters); exdrift refuses "
                     "such a value\n";
        length = 20;
        if (decimals > 15) decimals = 15;
      }
      def.length = length;
      def.decimals = decimals;
      return "";
    }
    case 12:
      def.type = 'D';
      return "";
    case 112:  // CLOB, NCLOB
    case 8:    // LONG
      def.type = 'M';
      return "";
    default: {
      const char* name = typeName(type);
      return "column '" + column + "' is of type " + (name ? name : std::to_string(type)) +
             ", which no dbf field holds";
    }
  }
}

// The name the file gets: ".dbf" is added when there is no extension.
std::string dbfFileName(const std::string& out) {
  if (fileBaseName(out).find('.') == std::string_view::npos) return out + ".dbf";
  return out;
}

int sessionFailure(const LikeOptions& o, OracleSession& session, int code) {
  std::string text = session.errorText(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  for (char& ch : text)
    if (ch == '\n') ch = ' ';
  return fail(o.table, text);
}

bool writeConfig(const LikeOptions& o, const std::string& dbfName,
                 const std::vector<PlannedField>& fields) {
  int fd = ::open(o.config.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return false;
  std::string section = o.table;
  for (char& ch : section) ch = ch == '.' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  std::string text = "// exdrift: " + o.table + " into " + dbfName + " (dbftool create --like)\n";
  text += "%BEGIN_SECTION " + section + "\n%TABLE_NAME=" + o.table + "\n%DBF_NAME=" + dbfName + "\n";
  for (const PlannedField& f : fields) text += f.column + "=" + f.name + "\n";
  text += "%END_SECTION\n";
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return ::close(fd) == 0 && ok;
}

}  // namespace

int runCreateLike(int argc, char** argv) {
  LikeOptions o;
  if (!parseLike(argc, argv, &o)) {
    std::fprintf(stderr, "usage: dbftool create OUT.dbf --like TABLE -S:SERVICE -U:USER [-P:PASSWORD] "
                         "[--codepage N] [--config OUT.cfg]\n");
    return 1;
  }
  if (!plainTableName(o.table)) return fail(o.table, "not a table name");
  const std::string dbfName = dbfFileName(o.out);
  if (!o.config.empty()) {
    if (!fitsConfiguration(dbfName))
      return fail(dbfName, "a configuration file cannot name this file (blank, '-' or another "
                           "separator in the name)");
    if (access(o.config.c_str(), F_OK) == 0) return fail(o.config, "the file exists already");
  }
  if (!o.hasPassword) {
    if (!readPassword(o.password)) return 1;
    if (passwordCancelled()) return fail(o.table, "cancelled");
  }

  std::vector<PlannedField> fields;
  std::string warnings;  // printed once the file is made
  {
    OracleSession session;
    try {
      session.open(o.user.c_str(), o.password.c_str(), o.service.c_str());
    } catch (int code) {
      return sessionFailure(o, session, code);
    }
    try {
      OracleStatement statement(&session);
      std::string sql = "SELECT * FROM " + o.table;
      statement.prepare(sql.c_str());
      statement.describe();
      std::set<std::string> taken;
      int count = statement.columnCount();
      for (int j = 1; j <= count; ++j) {
        char name[256];
        statement.columnName(j, name, sizeof name);
        int precision = 0, scale = 0, chars = 0;
        statement.columnShape(j, &precision, &scale, &chars);
        PlannedField f;
        f.column = name;
        std::string error = planField(f.column, statement.columnType(j), statement.columnSize(j),
                                      precision, scale, chars, &f, &warnings);
        if (!error.empty()) return fail(o.table, error);
        if (!o.config.empty() && !fitsConfiguration(f.column))
          return fail(o.table, "a configuration file cannot name column '" + f.column + "'");
        f.name = uniqueFieldName(f.column, &taken);
        fields.push_back(f);
      }
    } catch (int code) {
      int status = sessionFailure(o, session, code);
      try { session.close(); } catch (int) {}
      return status;
    }
    try { session.close(); } catch (int) {}
  }
  if (fields.empty()) return fail(o.table, "the table has no columns");

  std::vector<FieldDef> defs;
  for (PlannedField& f : fields) {
    f.def.name = f.name.c_str();
    defs.push_back(f.def);
  }
  int32_t bad = -1;
  if (const char* problem = fieldDefProblem(defs.data(), static_cast<int32_t>(defs.size()), &bad))
    return fail(dbfName, bad >= 0 ? "field '" + fields[bad].name + "': " + problem : std::string(problem));
  CODE4 context;
  engineInit(&context);
  context.errQuiet = 1;
  context.autoOpen = 0;
  DataFile* d = dataCreate(&context, dbfName.c_str(), defs.data(),
                           static_cast<int32_t>(defs.size()));
  int status = 0;
  if (!d) status = failEngine(dbfName, &context);
  else if (!recordCodePage(d, o.codepage) || dataClose(d) != 0) status = failEngine(dbfName, &context);
  engineRelease(&context);
  if (status != 0) return status;

  if (!o.config.empty() && !writeConfig(o, dbfName, fields))
    return fail(o.config, std::string("cannot write the configuration: ") + std::strerror(errno));
  std::fputs(warnings.c_str(), stderr);
  return 0;
}

}  // namespace dbftool
