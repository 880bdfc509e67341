#pragma once

#include <string>

// UTF-8 to UTF-16. Bytes that are not UTF-8 raise a runtime error rather than
// turning silently into other text (a user name or password, say).
std::wstring toWide(const std::string& utf8);

// UTF-16 to UTF-8, for texts that are only shown; an unpaired surrogate
// becomes U+FFFD.
std::string toUtf8(const std::wstring& wide);

// Text in the process's ANSI code page (file-system paths) to UTF-16.
std::wstring ansiToWide(const std::string& ansi);

// UTF-16 to the process's ANSI code page, the way Windows converts names for
// its ANSI interfaces (a character the code page lacks becomes its default
// character).
std::string wideToAnsi(const std::wstring& wide);
