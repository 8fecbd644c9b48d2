// Tests run against the real registry of a fresh Wine prefix; each test that
// touches the client's key starts from a clean one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace VelmorTest {

// Deletes HKCU\Software\VelmorChatClient with everything under it.
void deleteSettingsKey();

// Writes a raw value under the client's key, of any type and size.
void writeRawValue(const wchar_t* name, DWORD type, const void* data, DWORD size);

// Reads a raw value; false when missing.
bool readRawValue(const wchar_t* name, DWORD& type, std::vector<unsigned char>& data);

}  // namespace VelmorTest
