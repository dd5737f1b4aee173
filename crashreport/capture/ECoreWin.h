#pragma once
// The crash reporter's helpers over Win32: memory probing, folders, files, INI, registry and
// file times. Texts are GBK; every call goes through the W API with code page 936.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

std::string ApplicationFileName();
std::string GetShellFolderPath(int folderId);
std::string GetAppDataFolder();
std::string GetWindowsFolder();
std::string GetReporterDataFolder();
// Windows 95, 98 or ME (platform id 1).
bool OnWindows95Family();
std::string GetDefaultSettingsFolder();

std::string ReadIniText(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& fallback);
void WriteIniText(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& value);

// Bytes readable from address on, up to wanted; 0 when any region on the way is not.
size_t ReadableByteCount(const void* address, size_t wanted);
bool IsReadableMemory(const void* address, size_t count);
// The target of an import thunk (jmp [address]), else the address itself.
uintptr_t ResolveImportThunk(uintptr_t address);

double GetFileDateTime(const std::string& fileName);
std::string ExpandLongPathName(const std::string& path);
// REG_SZ and REG_EXPAND_SZ values; anything else, or a missing one, reads as empty.
std::string ReadRegistryString(HKEY root, const std::string& subKey, const std::string& valueName);
int LocalUtcOffsetHours();

bool FolderExists(const std::string& path);
bool CanCreateFile(const std::string& path);
bool CanOpenFileForReading(const std::string& path);
std::string SafeComputerName();
