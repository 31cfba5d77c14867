#pragma once

#include "hive/HiveDocument.h"

#include <QStringList>

namespace caltrix::hive {

// What an import changed.
struct RegeditImport {
    int valuesSet = 0;
    int valuesDeleted = 0;
    int keysDeleted = 0;
    QStringList skippedKeys; // keys outside HKEY_CURRENT_USER, left out
};

// Applies a registry editor export (a .reg file: "Windows Registry Editor Version 5.00" in UTF-16
// or UTF-8, or "REGEDIT4") to the hive of the current user in `doc`: the values of keys under
// HKEY_CURRENT_USER are set, "[-key]" deletes a key, "name"=- a value; keys of other roots are
// left out. Throws HiveError for a file that is no such export or a line it cannot read (naming
// the line); `doc` is then unchanged.
RegeditImport importRegedit(const QByteArray& bytes, const QString& fileName, HiveDocument& doc);

} // namespace caltrix::hive
