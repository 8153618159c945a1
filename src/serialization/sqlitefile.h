// A run store's SQLite file on this PC: built beside its target and put in
// place at once, opened, and a text run file of the earlier form converted.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "serialization/sqllink.h"

namespace vx {

// A new store file: built beside the target, then put in place at once, so
// a crash never leaves half a store. replace: over an existing file.
bool BuildStoreFile(const std::string& path, const std::function<bool(SqlLink&, std::string&)>& fill, bool replace,
                    std::string& error);
// A SQLite store file; a text run converted into one first; else nothing.
std::unique_ptr<SqlLink> OpenStoreFile(const std::string& path, FaultPoints& faults, std::string& error,
                                       std::string* note);
// A text run file of the earlier form made into a new store at dbPath (the
// same path replaces it); the text is kept as textPath + ".old".
bool ConvertTextRun(const std::string& textPath, const std::string& dbPath, std::string& note, std::string& error);

}  // namespace vx
