// Text rules of the console tool runner that need no Windows API: where the
// copy of a tool's output stops, and which executable a command line names.
// Kept apart so they build natively and run under the sanitizers.
#pragma once

#include <stddef.h>

// The heading at which every copy into the report stops, and how many bytes
// before it are dropped with it (dxdiag's dashed rule line and its line end).
extern const char kStopMarker[];
const size_t kStopMarkerCutBytes = 20;

// Looks for the stop marker wholly inside one chunk. Returns true when it is
// there and sets *keepBytes to the number of leading bytes of the chunk that
// are still copied: the marker's offset minus 20, or 0 when the marker lies
// fewer than 20 bytes into the chunk (the bytes before it then belong to the
// rule line that is being dropped).
bool FindStopMarkerCut(const char* chunk, size_t chunkBytes, size_t* keepBytes);

// The executable file name named by a command line's first word, with ".exe"
// added when the word has no extension ("Netsh winsock ..." -> "Netsh.exe").
// A leading quoted word is taken whole without its quotes. Fails (output
// untouched) for an empty word, a word that does not fit with its terminator,
// and a word holding a path (a '\\', '/' or ':'): tools are started from the
// system folder only, so a path would let the command line leave it.
bool ToolExecutableName(const char* commandLine, char* name, size_t capacity);
