// Profile (INI) files with the behaviour of the Windows profile functions the client uses.
//
// File form: sections "[name]", entries "key=value", other lines (comments, blank lines,
// garbage) kept as they are. Section and key names are compared without regard to letter
// case (ASCII letters; the bytes of two-byte GBK characters are compared as they are).
// Lines may end in CR LF, LF or a lone CR; a written file has CR LF throughout. Lines
// before the first section belong to no section. Where a section or key occurs twice, the
// first one counts.
//
// Reads: surrounding blanks are trimmed from names and values; a value enclosed in a pair
// of matching quotes (" or ') loses them. A missing file reads as empty.
//
// Writes read the whole file, change it in memory and replace it atomically: a temporary
// file in the same folder, flushed to disk, renamed over the original (its permissions
// kept). A missing file is created; a missing folder is never created (the write fails).
// Writes within this process are serialised; other processes are not locked out.
//
// All functions may be called from any thread. Texts are bytes (GBK in the client).
#pragma once

#include "platform/WinTypes.h"

// Copies the value of key in section into buffer (size bytes, terminating zero included)
// and returns the number of bytes copied without the zero. A longer value is cut to
// size - 1 bytes. When the key is missing, defaultValue (nullptr reads as "", trailing
// blanks removed) is copied the same way. size 0 copies nothing and returns 0.
// section nullptr: the names of all sections; key nullptr: the keys of the section; each
// name ends with a zero and the list with one more; a list that does not fit is cut after
// the last whole name that fits and the result is size - 2.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* path);

// The value as an integer: blanks, an optional sign, then the leading decimal digits
// (none gives 0). defaultValue when the key is missing or its value is empty.
UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue, const char* path);

// Sets key in section to value, creating the section (at the end of the file) and the key
// (after the last entry of its section) when missing. value nullptr deletes the key; key
// nullptr deletes the whole section. Returns false, leaving the file as it was, when the
// file cannot be written (a missing folder included), when section is nullptr, or when a
// name or the value contains a line break (or a key contains "=", or a section "]"),
// which the file form cannot hold.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* path);
