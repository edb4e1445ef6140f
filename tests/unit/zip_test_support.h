// Helpers for the archive unit tests: a reader for the central directory
// (names, methods, flags, attributes, extended timestamps and each member's
// bytes, inflated with zlib), and a second process that holds a file open for
// writing the way a running game holds its log.
#pragma once

#include <windows.h>
#include <stdio.h>

#include <stdint.h>
#include <string.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace testing_support {

struct ZipMember {
    std::string name;
    uint16_t madeBy, flags, method;
    uint32_t dosDateTime, crc, compressedSize, size, external, offset;
    uint32_t modified, accessed, created;  // from the local extended-timestamp field
    std::string data;
};

inline uint32_t ReadLe(const std::string& bytes, size_t at, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | (uint8_t)bytes[at + i];
    return value;
}

// False when the bytes are not a well-formed archive of the classic layout.
inline bool ReadZipMembers(const std::string& bytes, std::vector<ZipMember>* members) {
    members->clear();
    if (bytes.size() < 22 || ReadLe(bytes, bytes.size() - 22, 4) != 0x06054B50) return false;
    const size_t end = bytes.size() - 22;
    const uint32_t count = ReadLe(bytes, end + 10, 2);
    const uint32_t cdSize = ReadLe(bytes, end + 12, 4);
    size_t at = ReadLe(bytes, end + 16, 4);
    if (at + cdSize != end) return false;
    for (uint32_t i = 0; i < count; ++i) {
        if (at + 46 > end || ReadLe(bytes, at, 4) != 0x02014B50) return false;
        ZipMember m;
        m.madeBy = (uint16_t)ReadLe(bytes, at + 4, 2);
        m.flags = (uint16_t)ReadLe(bytes, at + 8, 2);
        m.method = (uint16_t)ReadLe(bytes, at + 10, 2);
        m.dosDateTime = ReadLe(bytes, at + 12, 4);
        m.crc = ReadLe(bytes, at + 16, 4);
        m.compressedSize = ReadLe(bytes, at + 20, 4);
        m.size = ReadLe(bytes, at + 24, 4);
        const uint32_t nameLength = ReadLe(bytes, at + 28, 2), extraLength = ReadLe(bytes, at + 30, 2);
        m.external = ReadLe(bytes, at + 38, 4);
        m.offset = ReadLe(bytes, at + 42, 4);
        m.name = bytes.substr(at + 46, nameLength);
        at += 46 + nameLength + extraLength;

        const size_t local = m.offset;
        if (local + 30 > bytes.size() || ReadLe(bytes, local, 4) != 0x04034B50) return false;
        const uint32_t localName = ReadLe(bytes, local + 26, 2), localExtra = ReadLe(bytes, local + 28, 2);
        if (localExtra != 17) return false;
        const size_t extra = local + 30 + localName;
        m.modified = ReadLe(bytes, extra + 5, 4);
        m.accessed = ReadLe(bytes, extra + 9, 4);
        m.created = ReadLe(bytes, extra + 13, 4);
        const std::string body = bytes.substr(extra + localExtra, m.compressedSize);
        if (m.method == 0) {
            m.data = body;
        } else {
            z_stream z;
            memset(&z, 0, sizeof z);
            if (inflateInit2(&z, -15) != Z_OK) return false;
            std::string out(m.size + 1, '\0');
            z.next_in = (Bytef*)body.data();
            z.avail_in = (uInt)body.size();
            z.next_out = (Bytef*)&out[0];
            z.avail_out = (uInt)out.size();
            const int rc = inflate(&z, Z_FINISH);
            out.resize(out.size() - z.avail_out);
            inflateEnd(&z);
            if (rc != Z_STREAM_END) return false;
            m.data = out;
        }
        if (m.data.size() != m.size || crc32(0, (const Bytef*)m.data.data(), (uInt)m.data.size()) != m.crc)
            return false;
        members->push_back(m);
    }
    return true;
}

// Runs "zip_tool hold" (built next to the test program) on a path until
// destroyed. Ready() is false when the holder could not be started.
class FileHolder {
public:
    explicit FileHolder(const std::string& path) : process_(NULL), ready_(false) {
        char name[64];
        snprintf(name, sizeof name, "DgnHold%lu_%p", GetCurrentProcessId(), (void*)this);
        readyName_ = std::string(name) + "_ready";
        releaseName_ = std::string(name) + "_release";
        readyEvent_ = CreateEventA(NULL, TRUE, FALSE, readyName_.c_str());
        releaseEvent_ = CreateEventA(NULL, TRUE, FALSE, releaseName_.c_str());
        char tool[MAX_PATH];
        GetModuleFileNameA(NULL, tool, sizeof tool);
        strcpy(strrchr(tool, '\\') + 1, "zip_tool.exe");
        std::string command = std::string("\"") + tool + "\" hold \"" + path + "\" " + readyName_ + " " + releaseName_;
        STARTUPINFOA startup;
        memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info;
        if (CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
            HANDLE waits[2] = {readyEvent_, process_};
            ready_ = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
        }
    }
    ~FileHolder() {
        SetEvent(releaseEvent_);
        if (process_) {
            WaitForSingleObject(process_, 30000);
            CloseHandle(process_);
        }
        CloseHandle(readyEvent_);
        CloseHandle(releaseEvent_);
    }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;
    bool Ready() const { return ready_; }

private:
    HANDLE process_;
    bool ready_;
    std::string readyName_, releaseName_;
    HANDLE readyEvent_, releaseEvent_;
};

}  // namespace testing_support
