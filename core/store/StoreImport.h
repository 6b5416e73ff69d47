#pragma once

#include <string>

class SqliteDatabase;
struct StoreSite;

// Imports the files in which earlier versions kept what the live channels accepted for the site:
// "NAME.state" (a snapshot) and "NAME.state.journal" (what was accepted after it), beside the
// profiles of the directory. They are read once into the store in one transaction and then
// renamed "*.imported", so that nothing is lost and nothing is imported twice; the lock file goes.
// The site's notices say what was imported and which lines were skipped. Without the files it
// does nothing. Throws StoreError for a file it cannot read or rename, SqliteError for the store.
void importStateFiles(SqliteDatabase& db, const std::string& profileDirectory, StoreSite& site);
