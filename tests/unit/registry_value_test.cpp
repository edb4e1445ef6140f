// Single registry values at the edges of their buffers: strings that fill the
// buffer with or without their terminator, numbers of the wrong size or type.
// Every reader of install paths, the launcher path, the proxy values and the
// UAC policy goes through these two functions.
#include "common/registry_value.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "test_support.h"

using testing_support::RegistryKey;

namespace {

const char kKey[] = "Software\\DiagnovaTest\\Values";

// A 260-byte buffer with guard bytes after it.
struct GuardedText {
    char text[260];
    char after[8];
    GuardedText() { memset(this, 0x5A, sizeof *this); }
    bool Intact() const { return std::string(after, sizeof after) == std::string(sizeof after, 0x5A); }
};

bool ReadText(const char* name, GuardedText* out) {
    return GetRegistryString(HKEY_CURRENT_USER, kKey, name, out->text, sizeof out->text);
}

}  // namespace

TEST(RegistryValue, StringsFitTheirBufferWithTheirTerminatorOrNotAtAll) {
    RegistryKey key(HKEY_CURRENT_USER, kKey);
    const std::string fits(259, 'a'), tooLong(260, 'b');
    key.SetRaw("fits", REG_SZ, fits + '\0');            // 260 bytes with its terminator
    key.SetRaw("tooLong", REG_SZ, tooLong + '\0');      // 261 bytes
    key.SetRaw("bare", REG_SZ, fits);                   // 259 bytes, stored without a terminator
    key.SetRaw("bareFull", REG_SZ, tooLong);            // 260 bytes, no room left for one
    key.SetRaw("empty", REG_SZ, std::string());         // no bytes at all
    key.SetRaw("expand", REG_EXPAND_SZ, std::string("C:\\Games") + '\0');
    key.SetRaw("multi", REG_MULTI_SZ, std::string("C:\\Games\0\0", 10));
    key.SetRaw("binary", REG_BINARY, std::string("C:\\Games") + '\0');

    GuardedText out;
    ASSERT_TRUE(ReadText("fits", &out));
    EXPECT_EQ(fits, out.text);
    ASSERT_TRUE(ReadText("bare", &out));
    EXPECT_EQ(fits, out.text);
    ASSERT_TRUE(ReadText("empty", &out));
    EXPECT_STREQ("", out.text);
    for (const char* name : {"tooLong", "bareFull", "expand", "multi", "binary", "missing"}) {
        EXPECT_FALSE(ReadText(name, &out)) << name;
    }
    EXPECT_TRUE(out.Intact());
    char none[1];
    EXPECT_FALSE(GetRegistryString(HKEY_CURRENT_USER, kKey, "fits", none, 0));
}

TEST(RegistryValue, NumbersAreFourByteDwordsOnly) {
    RegistryKey key(HKEY_CURRENT_USER, kKey);
    const DWORD one = 1;
    const std::string four(reinterpret_cast<const char*>(&one), 4);
    key.SetRaw("dword", REG_DWORD, four);
    key.SetRaw("short", REG_DWORD, four.substr(0, 2));
    key.SetRaw("long", REG_DWORD, four + four);
    key.SetRaw("qword", REG_QWORD, four + std::string(4, '\0'));
    key.SetRaw("bigEndian", REG_DWORD_BIG_ENDIAN, four);
    key.SetRaw("binary", REG_BINARY, four);
    key.SetRaw("text", REG_SZ, std::string("1") + '\0');

    DWORD value = 77;
    ASSERT_TRUE(GetRegistryDword(HKEY_CURRENT_USER, kKey, "dword", &value));
    EXPECT_EQ(1u, value);
    for (const char* name : {"short", "long", "qword", "bigEndian", "binary", "text", "missing"}) {
        value = 77;
        EXPECT_FALSE(GetRegistryDword(HKEY_CURRENT_USER, kKey, name, &value)) << name;
        EXPECT_EQ(77u, value) << name << ": a failed read changed its output";
    }
}
