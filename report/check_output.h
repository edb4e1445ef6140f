// What the check of several files says about each: the outcome, its rank
// and exit code, and the lines of the console form ("/check" and "/json")
// that scripts and ticket systems read. Platform-neutral: the caller gives
// every text as UTF-8, and the lines come back as UTF-8.
#pragma once

#include <string>
#include <vector>

#include "report/zip_reader.h"

// In rank order: a later outcome is worse. A changed or unsealed report, and
// an archive whose report cannot be read, say something about the player's
// file and rank above a file that could not be opened here, which only says
// something about the support desk's own copy.
enum CheckOutcome {
    CheckMatched = 0,
    CheckCannotOpen = 1,
    CheckArchiveDamaged = 2,
    CheckMismatched = 3,
};

// The one-file exit codes: 0 matched, 2 cannot be opened, -1 otherwise.
int CheckOutcomeExitCode(CheckOutcome outcome);
CheckOutcome WorseOutcome(CheckOutcome a, CheckOutcome b);
// "matched", "cannot-open", "damaged" or "mismatched".
const char* CheckOutcomeWord(CheckOutcome outcome);
// Why an archive could not be checked, in English (the one-file message box
// says the same, followed by the path).
const char* ArchiveProblemReason(ZipReadResult result);

extern const char kMatchedText[];     // "Checksum matched"
extern const char kMismatchedText[];  // "Checksum mismatched or missing!"

struct CheckRecord {
    CheckOutcome outcome;
    std::string path;     // as given on the command line or found in the folder
    std::string game;     // the report's game, matched reports only
    std::string member;   // the report's name inside an archive; empty for a report file
    std::string reason;   // one line
    std::vector<std::string> findings;  // matched reports only
};

// "OUTCOME<TAB>PATH<TAB>REASON" and CR LF. Control characters in a field
// become blanks, so each file stays one line of three fields.
std::string FormatCheckLine(const CheckRecord& record);
// One JSON object and CR LF: outcome, path, game and member (null when
// empty), reason, findings. Bytes that are not UTF-8 become U+FFFD, so the
// line is valid JSON whatever a report held.
std::string FormatCheckJson(const CheckRecord& record);
