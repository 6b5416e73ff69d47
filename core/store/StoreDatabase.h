#pragma once

#include "core/store/SiteStore.h"

class SqliteStatement;
struct StoredInspection;

// For the files of core/store/ only, which hold every SQL statement and column name of the
// store: its connection, and the reading of rows that several of them share. The rest of the
// program asks the store through their functions.

struct StoreDatabase {
    // The store's connection, once the rows written in the background are all there.
    static SqliteDatabase& of(SiteStore& store) {
        store.settle();
        return store.db_;
    }
    static const SqliteDatabase& of(const SiteStore& store) {
        store.settle();
        return store.db_;
    }
};

// The columns of an inspection (the table as "i"), from its time on: a query that selects them
// from column first on reads them with readInspection. Both are defined in StoreStatus.cpp.
extern const char* const InspectionColumns;
StoredInspection readInspection(const SqliteStatement& row, int first);
