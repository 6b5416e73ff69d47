#pragma once

class SqliteDatabase;

// The store's tables, made and changed by numbered migrations; `PRAGMA user_version` is the
// number of those a store has run.

// The schema version this program writes: the number of its migrations.
int storeSchemaVersion();
// Runs the migrations the store has not run yet, each in a transaction of its own, so that a
// store is always at the version of the last one it ran. Throws SqliteError.
void migrateStore(SqliteDatabase& db);
