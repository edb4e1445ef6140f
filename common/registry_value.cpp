#include "common/registry_value.h"

#include "common/owned_handle.h"

LONG GetRegistryValue(HKEY root, const char* subKey, const char* valueName, DWORD* type,
                      void* data, DWORD* size) {
    OwnedKey key;
    LONG status = RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE | kProgramRegistryView, key.Receive());
    if (status != ERROR_SUCCESS) return status;
    return RegQueryValueExA(key.Get(), valueName, NULL, type, static_cast<BYTE*>(data), size);
}

bool GetRegistryString(HKEY root, const char* subKey, const char* valueName, char* text,
                       DWORD capacity) {
    if (capacity == 0) return false;
    DWORD type = 0;
    DWORD size = capacity;
    if (GetRegistryValue(root, subKey, valueName, &type, text, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ) return false;
    // Stored strings need not carry their terminator; one that fills the whole
    // buffer without one does not fit.
    if (size > 0 && text[size - 1] == '\0') return true;
    if (size >= capacity) return false;
    text[size] = '\0';
    return true;
}

bool GetRegistryDword(HKEY root, const char* subKey, const char* valueName, DWORD* value) {
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (GetRegistryValue(root, subKey, valueName, &type, &data, &size) != ERROR_SUCCESS) return false;
    if (type != REG_DWORD || size != sizeof data) return false;
    *value = data;
    return true;
}

const char* RegistryRootAbbreviation(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_CURRENT_USER) return "HKCU";
    if (root == HKEY_CLASSES_ROOT) return "HKCR";
    return "N/A";
}
