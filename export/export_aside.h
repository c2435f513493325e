// Emptying a dbf file without risking it: the new contents of a truncating section
// are written into a new file beside the old one and take its place only when the
// section has succeeded.
//
// FILES, for a data file orders.dbf with its memo file orders.dbt (names are the
// real ones, in the data file's directory):
//
//   orders.exdrift-new.tmp   the new data file: the old header and field
//   orders.exdrift-new.dbt   descriptors with no records, and its memo file
//   orders.dbf.exdrift-old   the old data file and memo file, only while the two
//   orders.dbt.exdrift-old   pairs are exchanged
//
// EXCHANGE.  A data file without a memo file is replaced by one rename, which is
// atomic.  A data file and its memo file cannot be replaced together, so they are
// exchanged in this order:
//
//   1. orders.dbf             -> orders.dbf.exdrift-old
//   2. orders.dbt             -> orders.dbt.exdrift-old
//   3. orders.exdrift-new.dbt -> orders.dbt
//   4. orders.exdrift-new.tmp -> orders.dbf
//   5. the two backups are removed
//
// Between steps 1 and 4 there is no orders.dbf, so no reader can pair an old data
// file with a new memo file or the reverse: it fails to open the file instead.
// Every step that fails is undone in reverse order, leaving the old pair.  A run
// killed between steps 1 and 4 leaves the old pair under the backup names; the
// next run on that file (recoverInterruptedExchange) puts them back before it
// opens the file.
//
// SIGNALS.  A run ended by a signal it can catch (Ctrl-C, a hang-up, a kill) while
// the new pair is written removes the new pair first; one that comes during the
// exchange waits until the exchange and the removal of the backups are over.  Only a
// run killed outright (kill -9, a power loss) leaves files for the next run.
//
// LOCKS.  The run holds the old data file exclusively until the exchange is over,
// and the new one from its creation, so another run can neither open the file nor
// take a backup for a leftover while an exchange is under way.  Every leftover
// found once the data file is held (removeExchangeLeftovers) is stale: the new
// pair of a killed run, or backups of a finished exchange.
#pragma once

#include <memory>
#include <string>

struct CODE4;
struct DataFile;

class AsideFile {
 public:
  // Creates the new data file (and memo file, when `original` has one) beside the
  // original's, with its header and field layout and no records, and opens it in
  // the original's context.  dbfPath is the name the original was opened by.
  // Raises ExportError, after removing what it made.
  AsideFile(DataFile* original, const std::string& dbfPath);
  // Closes and removes the new files unless they took the original's place, and
  // puts the caller's handlers of the ending signals back.
  ~AsideFile();
  AsideFile(const AsideFile&) = delete;
  AsideFile& operator=(const AsideFile&) = delete;

  // The new data file, to append to.
  DataFile* data() const { return data_; }

  // Writes the new files through to disk, puts them in place of the original's
  // and closes the new data file.  Raises ExportError when that fails; the
  // original's files are then as they were.
  void exchange();

 private:
  class SignalGuard;

  DataFile* openNew(CODE4* context, const std::string& dbfPath) const;
  void removeNewFiles();

  DataFile* original_;
  DataFile* data_ = nullptr;
  std::string dataPath_, memoPath_;        // the original's files (memoPath_ empty: none)
  std::string newDataPath_, newMemoPath_;  // the new ones
  bool exchanged_ = false;
  std::unique_ptr<SignalGuard> signals_;  // an ending signal removes the new files
};

// Before the data file is opened (dbfPath as the section names it): when a killed
// run left the old pair under the backup names and no data file, puts the old pair
// back.  Does nothing while another run holds the backup.  Leaves the context's
// error code as it was.
void recoverInterruptedExchange(CODE4* context, const std::string& dbfPath);

// Once the data file is held exclusively: removes the new pair and the backups
// that a killed run may have left beside it.
void removeExchangeLeftovers(DataFile* data);

// The name of the data file's own index group file (its name with the extension
// CGP, in any case) when one is there, else empty.
std::string groupFileOf(DataFile* data);
