// dbftool create FILE NAME:TYPE:LENGTH[:DECIMALS] ...
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/dbftool/command.h"
#include "tools/dbftool/create_like.h"
#include "tools/dbftool/tool_util.h"
#include "xbase/data/code_page.h"
#include "xbase/data/data_create.h"

namespace dbftool {
namespace {

bool parseNumber(const std::string& text, int32_t* out) {
  if (text.empty() || text.size() > 6) return false;
  for (char ch : text)
    if (ch < '0' || ch > '9') return false;
  *out = static_cast<int32_t>(std::atoi(text.c_str()));
  return true;
}

// NAME:TYPE[:LENGTH[:DECIMALS]] into def (whose name points into names).  An empty
// error means success.
std::string parseDefinition(const std::string& definition, std::string* name, FieldDef* def) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t colon = definition.find(':', start);
    parts.push_back(definition.substr(start, colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (parts.size() < 2 || parts.size() > 4 || parts[1].size() != 1)
    return "field '" + definition + "' is not NAME:TYPE:LENGTH[:DECIMALS]";
  *name = parts[0];
  def->type = static_cast<unsigned char>(parts[1][0]);
  def->length = 0;
  def->decimals = 0;
  int type = def->type & ~0x20;
  if (parts.size() < 3 && type != 'D' && type != 'L' && type != 'M')
    return "field '" + definition + "' needs a length";
  if (parts.size() >= 3 && !parseNumber(parts[2], &def->length))
    return "field '" + definition + "' has a bad length";
  if (parts.size() == 4 && !parseNumber(parts[3], &def->decimals))
    return "field '" + definition + "' has bad decimals";
  return "";
}

int runCreate(int argc, char** argv) {
  for (int i = 0; i < argc; ++i)
    if (std::string(argv[i]) == "--like") return runCreateLike(argc, argv);
  // --codepage N (anywhere): the code page the file's text is in, recorded in its
  // language-driver byte; 866 unless given.
  int codePage = kDefaultCodePage;
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a != "--codepage") {
      args.push_back(a);
      continue;
    }
    std::string value = i + 1 < argc ? argv[++i] : "";
    if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos ||
        languageDriverOfCodePage(std::atoi(value.c_str())) < 0) {
      std::fprintf(stderr, "dbftool: --codepage %s: not a code page a dbf file can record\n",
                   value.c_str());
      return 1;
    }
    codePage = std::atoi(value.c_str());
  }
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: dbftool create FILE [--codepage N] NAME:TYPE:LENGTH[:DECIMALS] ...\n");
    return 1;
  }
  std::string path = args[0];
  std::vector<std::string> names(args.size() - 1);
  std::vector<FieldDef> defs(args.size() - 1);
  for (size_t i = 1; i < args.size(); ++i) {
    std::string error = parseDefinition(args[i], &names[i - 1], &defs[i - 1]);
    if (!error.empty()) return fail(path, error);
  }
  for (size_t i = 0; i < defs.size(); ++i) defs[i].name = names[i].c_str();
  int32_t bad = -1;
  if (const char* problem = fieldDefProblem(defs.data(), static_cast<int32_t>(defs.size()), &bad))
    return fail(path, bad >= 0 ? "field '" + names[bad] + "': " + problem : std::string(problem));

  CODE4 context;
  engineInit(&context);
  context.errQuiet = 1;
  context.autoOpen = 0;
  DataFile* d = dataCreate(&context, path.c_str(), defs.data(), static_cast<int32_t>(defs.size()));
  int status = 0;
  if (!d) status = failEngine(path, &context);
  else if (!recordCodePage(d, codePage) || dataClose(d) != 0) status = failEngine(path, &context);
  engineRelease(&context);
  return status;
}

}  // namespace

DBFTOOL_COMMAND("create",
                "create FILE [--codepage N] NAME:TYPE:LENGTH[:DECIMALS] ...\n"
                "  dbftool create OUT.dbf --like TABLE -S:SERVICE -U:USER [-P:PASSWORD] "
                "[--codepage N] [--config OUT.cfg]",
                runCreate);

}  // namespace dbftool
