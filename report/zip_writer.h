// A small ZIP archive writer with a three-call interface: create, add a file,
// close. It writes the classic layout (local headers, central directory, end
// record; no ZIP64, no encryption, no comment), deflating members with zlib
// unless their names say they are already compressed.
//
// A writer is used by one thread at a time. A failed add leaves no trace in
// the archive: its bytes are cut off again, so the archive stays valid for the
// members added before and after it.
#pragma once

#include <stdint.h>

#include "report/zip_format.h"

struct ZipWriter;
typedef ZipWriter* ZipHandle;

// Creates (or replaces) the archive; NULL when the file cannot be created.
ZipHandle ZipCreateFile(const char* archivePath);
// Appends sourcePath under nameInArchive ('\' is stored as '/', at most 259
// characters). Returns a result code from zip_format.h.
uint32_t ZipAddFile(const char* sourcePath, const char* nameInArchive, ZipHandle handle);
// Writes the central directory and end record, closes the file and frees the
// handle, which must not be used again.
uint32_t ZipClose(ZipHandle handle);

// Lowers the format limits so tests can reach them with small files; zero
// restores the defaults for that limit.
void ZipSetLimitsForTesting(uint64_t maxArchiveBytes, uint64_t maxMemberBytes, uint32_t maxEntries);
