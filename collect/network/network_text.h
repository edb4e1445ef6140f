// Text handling of the network steps that needs no Windows API: HTTP header
// values, the external-address page, version texts, host texts and the route
// tracing commands. Kept apart so that it builds natively for sanitizer runs.
#pragma once

#include <stddef.h>
#include <stdint.h>

// A Content-Length value: the decimal digits (at least one) that follow
// optional blanks and tabs, up to the first other character, which ends the
// number (servers and proxies that add a blank or a note after it still
// answer). No digits there (a sign, letters) or a number beyond 32 bits is no
// length at all, so a broken header can never become a huge or negative size.
bool ParseContentLength(const char* text, uint32_t* length);

// One read of a body stream: up to `wanted` bytes into `into`, the count in
// *got. False when the read failed; true with *got 0 at the end of the stream.
typedef bool (*BodyReadFunction)(void* context, char* into, uint32_t wanted, uint32_t* got);

// Reads a body of `length` bytes, read by read, since one read may deliver
// only part of it. Stops early at a failed read or at the end of the stream.
// Returns the bytes received; true in *complete only when all of them came.
uint32_t ReadWholeBody(BodyReadFunction read, void* context, char* buffer, uint32_t length, bool* complete);

// The external-address page: after the first "<body>", the text that follows
// "Current IP Address: " up to the next "<". Only the first pageBytes bytes are
// looked at. False when a marker is missing, the address has 256 characters
// or more, or it holds a NUL byte; the output is then left untouched.
bool FindExternalAddress(const char* page, size_t pageBytes, char address[256]);

// 1 when fetched names a newer version than own, else -1. Versions are decimal
// parts separated by dots; parts compare as numbers.
int CompareVersions(const char* own, const char* fetched);

// True when every character is a decimal digit or a dot (also for "").
bool IsDottedNumeric(const char* text);

// printf format of the route tool's command line for a WindowsGeneration value;
// the one placeholder takes the address.
const char* RouteCommandFormat(int generation);
