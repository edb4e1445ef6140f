// Encoding of the ZIP records and of the time and attribute fields; see
// zip_format.h. All integers in the container are little-endian.
#include "report/zip_format.h"

#include <string.h>
#include <strings.h>

namespace {

void Put16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

// Days from 1 January 1970 to the given proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = (unsigned)(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + (int64_t)dayOfEra - 719468;
}

}  // namespace

bool ZipMakeMemberName(const char* name, char* out, uint16_t* length) {
    if (name == NULL || name[0] == '\0') return false;
    size_t n = strlen(name);
    if (n > kZipMaxNameChars) return false;
    for (size_t i = 0; i < n; ++i) out[i] = name[i] == '\\' ? '/' : name[i];
    out[n] = '\0';
    *length = (uint16_t)n;
    return true;
}

bool ZipNameIsStored(const char* memberName) {
    static const char* const kCompressed[] = {".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"};
    const char* dot = strrchr(memberName, '.');
    if (dot == NULL) return false;
    for (size_t i = 0; i < sizeof kCompressed / sizeof kCompressed[0]; ++i) {
        if (strcasecmp(dot, kCompressed[i]) == 0) return true;
    }
    return false;
}

uint32_t ZipDosDateTime(const ZipCalendarTime& t) {
    ZipCalendarTime c = t;
    if (c.year < 1980) {
        c = ZipCalendarTime{1980, 1, 1, 0, 0, 0};
    } else if (c.year > 2107) {
        c = ZipCalendarTime{2107, 12, 31, 23, 59, 58};
    }
    const uint32_t date = (uint32_t)(((c.year - 1980) << 9) | (c.month << 5) | c.day);
    const uint32_t time = (uint32_t)((c.hour << 11) | (c.minute << 5) | (c.second / 2));
    return (date << 16) | time;
}

uint32_t ZipUnixTime(const ZipCalendarTime& t, long biasMinutes) {
    int year = t.year, month = t.month, day = t.day;
    if (year < 1970) {
        year = 1970;
        month = 1;
        day = 1;
    } else if (year > 2037) {
        year = 2037;
        month = 12;
        day = 31;
    }
    int64_t seconds = DaysFromCivil(year, (unsigned)month, (unsigned)day) * 86400 +
                      (int64_t)t.hour * 3600 + t.minute * 60 + t.second + (int64_t)biasMinutes * 60;
    // East of Greenwich the first hours of 1970 local time lie before 1970 UTC.
    if (seconds < 0) seconds = 0;
    if (seconds > 0xFFFFFFFFll) seconds = 0xFFFFFFFFll;
    return (uint32_t)seconds;
}

uint32_t ZipExternalAttributes(uint32_t windowsAttributes) {
    const uint32_t kReadOnly = 0x01, kDirectory = 0x10;
    uint32_t mode = (windowsAttributes & kDirectory) ? 0x4000 : 0x8000;
    mode |= 0x0100;
    if (!(windowsAttributes & kReadOnly)) mode |= 0x0080;
    return (mode << 16) | (windowsAttributes & 0x37);
}

void ZipBuildExtraFields(uint32_t modified, uint32_t accessed, uint32_t created,
                         uint8_t local[kZipLocalExtraBytes], uint8_t central[kZipCentralExtraBytes]) {
    Put16(local, 0x5455);
    Put16(local + 2, 13);
    local[4] = 7;
    Put32(local + 5, modified);
    Put32(local + 9, accessed);
    Put32(local + 13, created);
    Put16(central, 0x5455);
    Put16(central + 2, 5);
    central[4] = 7;
    Put32(central + 5, modified);
}

size_t ZipBuildLocalHeader(const ZipEntry& e, uint8_t* out) {
    Put32(out, kZipLocalHeaderSignature);
    Put16(out + 4, e.versionNeeded);
    Put16(out + 6, e.flags);
    Put16(out + 8, e.method);
    Put16(out + 10, (uint16_t)e.dosTime);
    Put16(out + 12, (uint16_t)(e.dosTime >> 16));
    Put32(out + 14, e.crc);
    Put32(out + 18, e.compressedSize);
    Put32(out + 22, e.size);
    Put16(out + 26, e.nameLength);
    Put16(out + 28, (uint16_t)kZipLocalExtraBytes);
    memcpy(out + 30, e.name, e.nameLength);
    memcpy(out + 30 + e.nameLength, e.localExtra, kZipLocalExtraBytes);
    return kZipLocalHeaderBytes + e.nameLength + kZipLocalExtraBytes;
}

size_t ZipBuildCentralHeader(const ZipEntry& e, uint8_t* out) {
    Put32(out, kZipCentralHeaderSignature);
    Put16(out + 4, e.versionMadeBy);
    Put16(out + 6, e.versionNeeded);
    Put16(out + 8, e.flags);
    Put16(out + 10, e.method);
    Put16(out + 12, (uint16_t)e.dosTime);
    Put16(out + 14, (uint16_t)(e.dosTime >> 16));
    Put32(out + 16, e.crc);
    Put32(out + 20, e.compressedSize);
    Put32(out + 24, e.size);
    Put16(out + 28, e.nameLength);
    Put16(out + 30, (uint16_t)kZipCentralExtraBytes);
    Put16(out + 32, 0);  // comment length
    Put16(out + 34, 0);  // disk number start
    Put16(out + 36, 0);  // internal attributes
    Put32(out + 38, e.externalAttributes);
    Put32(out + 42, e.localHeaderOffset);
    memcpy(out + 46, e.name, e.nameLength);
    memcpy(out + 46 + e.nameLength, e.centralExtra, kZipCentralExtraBytes);
    return kZipCentralHeaderBytes + e.nameLength + kZipCentralExtraBytes;
}

void ZipBuildEndRecord(uint16_t entryCount, uint32_t centralBytes, uint32_t centralOffset,
                       uint8_t out[kZipEndRecordBytes]) {
    Put32(out, kZipEndRecordSignature);
    Put16(out + 4, 0);
    Put16(out + 6, 0);
    Put16(out + 8, entryCount);
    Put16(out + 10, entryCount);
    Put32(out + 12, centralBytes);
    Put32(out + 16, centralOffset);
    Put16(out + 20, 0);
}
