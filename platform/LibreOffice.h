#pragma once

#include <string>

// LibreOffice run headless, once per conversion. It stands in for the office
// applications' automation servers and serves the tests that read the files back.

// The full path of the program when it can be run: a name without "/" is looked up on
// PATH. Empty when it cannot be found.
std::string FindLibreOffice(const std::string& program = "soffice");

// Converts input into outDir with a --convert-to target such as "xls:MS Excel 97" and
// returns the path of the file written (input's base name with the target's extension).
// Every run uses a user profile of its own, so runs at the same time do not collide, and
// is killed, with all it started, after timeoutMs. Throws LarkspanError when LibreOffice
// cannot start, runs out of time or writes nothing.
std::string ConvertWithLibreOffice(const std::string& soffice, const std::string& input,
                                   const std::string& outDir, const std::string& convertTo, int timeoutMs);
