// dbftool create OUT.dbf --like TABLE ...: a dbf file to a table's shape.
#pragma once

namespace dbftool {

// The arguments after "create"; returns the exit status.
int runCreateLike(int argc, char** argv);

}  // namespace dbftool
