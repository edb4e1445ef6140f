// See check_output.h.
#include "report/check_output.h"

#include <stdint.h>
#include <stdio.h>

const char kMatchedText[] = "Checksum matched";
const char kMismatchedText[] = "Checksum mismatched or missing!";

int CheckOutcomeExitCode(CheckOutcome outcome) {
    switch (outcome) {
    case CheckMatched: return 0;
    case CheckCannotOpen: return 2;
    default: return -1;
    }
}

CheckOutcome WorseOutcome(CheckOutcome a, CheckOutcome b) { return a > b ? a : b; }

const char* CheckOutcomeWord(CheckOutcome outcome) {
    switch (outcome) {
    case CheckMatched: return "matched";
    case CheckCannotOpen: return "cannot-open";
    case CheckArchiveDamaged: return "damaged";
    default: return "mismatched";
    }
}

const char* ArchiveProblemReason(ZipReadResult result) {
    switch (result) {
    case ZipReadNoMember: return "No report in the archive: it holds no \"<game> Test.txt\".";
    case ZipReadTwoMembers: return "The archive holds more than one report.";
    case ZipReadUnsupported: return "The archive's report is encrypted or packed in an unsupported way.";
    case ZipReadTooLarge: return "The archive or its report is over 4 GiB (ZIP64), which is not supported.";
    case ZipReadNoDirectory: return "The archive is damaged: it is cut short or incomplete.";
    case ZipReadBadDirectory: return "The archive is damaged: its central directory is broken.";
    case ZipReadBadEntry: return "The archive is damaged: the report's entry is broken.";
    case ZipReadBadData: return "The archive is damaged: the report's compressed data is broken.";
    case ZipReadBadSize: return "The archive is damaged: the report's size does not match.";
    case ZipReadBadCrc: return "The archive is damaged: the report's CRC-32 does not match.";
    default: return "The archive could not be read.";
    }
}

namespace {

void AppendField(std::string* line, const std::string& field) {
    for (char c : field) *line += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
}

// The length of the well-formed UTF-8 sequence at text[at], or 0.
size_t Utf8SequenceBytes(const std::string& text, size_t at) {
    const uint8_t lead = static_cast<uint8_t>(text[at]);
    size_t bytes = 0;
    uint32_t least = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) bytes = 2, least = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF) bytes = 3, least = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4) bytes = 4, least = 0x10000;
    else return 0;
    if (at + bytes > text.size()) return 0;
    uint32_t code = lead & (0x7F >> bytes);
    for (size_t i = 1; i < bytes; ++i) {
        const uint8_t next = static_cast<uint8_t>(text[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond Unicode are not UTF-8.
    if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return bytes;
}

void AppendJsonString(std::string* out, const std::string& text) {
    *out += '"';
    for (size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        const size_t bytes = Utf8SequenceBytes(text, at);
        if (bytes == 0) {
            *out += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        if (c == '"' || c == '\\') {
            *out += '\\';
            *out += static_cast<char>(c);
        } else if (c == '\n') {
            *out += "\\n";
        } else if (c == '\r') {
            *out += "\\r";
        } else if (c == '\t') {
            *out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            *out += escaped;
        } else {
            out->append(text, at, bytes);
        }
        at += bytes;
    }
    *out += '"';
}

void AppendJsonStringOrNull(std::string* out, const std::string& text) {
    if (text.empty()) *out += "null";
    else AppendJsonString(out, text);
}

}  // namespace

std::string FormatCheckLine(const CheckRecord& record) {
    std::string line = CheckOutcomeWord(record.outcome);
    line += '\t';
    AppendField(&line, record.path);
    line += '\t';
    AppendField(&line, record.reason);
    line += "\r\n";
    return line;
}

std::string FormatCheckJson(const CheckRecord& record) {
    std::string line = "{\"outcome\":";
    AppendJsonString(&line, CheckOutcomeWord(record.outcome));
    line += ",\"path\":";
    AppendJsonString(&line, record.path);
    line += ",\"game\":";
    AppendJsonStringOrNull(&line, record.game);
    line += ",\"member\":";
    AppendJsonStringOrNull(&line, record.member);
    line += ",\"reason\":";
    AppendJsonString(&line, record.reason);
    line += ",\"findings\":[";
    for (size_t i = 0; i < record.findings.size(); ++i) {
        if (i > 0) line += ',';
        AppendJsonString(&line, record.findings[i]);
    }
    line += "]}\r\n";
    return line;
}
