// Stop-marker search and tool-name extraction for the console tool runner.
#include "collect/network/console_tool_text.h"

#include <string.h>

const char kStopMarker[] = "DirectX Components";

bool FindStopMarkerCut(const char* chunk, size_t chunkBytes, size_t* keepBytes) {
    const size_t markerBytes = sizeof kStopMarker - 1;
    if (chunk == NULL || chunkBytes < markerBytes) return false;
    // The chunk is raw bytes that may hold NULs, so no strstr.
    for (size_t at = 0; at + markerBytes <= chunkBytes; ++at) {
        if (chunk[at] == kStopMarker[0] && memcmp(chunk + at, kStopMarker, markerBytes) == 0) {
            *keepBytes = at > kStopMarkerCutBytes ? at - kStopMarkerCutBytes : 0;
            return true;
        }
    }
    return false;
}

bool ToolExecutableName(const char* commandLine, char* name, size_t capacity) {
    if (commandLine == NULL || name == NULL || capacity == 0) return false;
    const char* word = commandLine;
    while (*word == ' ' || *word == '\t') ++word;
    size_t wordBytes = 0;
    if (*word == '"') {
        ++word;
        const char* close = strchr(word, '"');
        wordBytes = close ? (size_t)(close - word) : strlen(word);
    } else {
        wordBytes = strcspn(word, " \t");
    }
    if (wordBytes == 0) return false;
    for (size_t i = 0; i < wordBytes; ++i) {
        if (word[i] == '\\' || word[i] == '/' || word[i] == ':') return false;
    }
    // An extension is a dot after the word's first character ("ipconfig.exe");
    // a bare name gets ".exe", as the system's own search would add it.
    bool hasExtension = false;
    for (size_t i = 1; i < wordBytes; ++i) {
        if (word[i] == '.') hasExtension = true;
    }
    size_t needed = wordBytes + (hasExtension ? 0 : 4) + 1;
    if (needed > capacity) return false;
    memcpy(name, word, wordBytes);
    if (hasExtension) {
        name[wordBytes] = '\0';
    } else {
        memcpy(name + wordBytes, ".exe", 5);
    }
    return true;
}
