#pragma once
// Counts the GDI objects and DCs this program makes and frees, by patching its own imports of
// gdi32 and user32 (Wine's GetGuiResources always answers 0).

#include <windows.h>

struct TGdiCounts {
    long created = 0;
    long deleted = 0;
    long Live() const { return created - deleted; }
};

// Installs the hooks on first use; the counts run from then on.
TGdiCounts& GdiCounts();
void InstallGdiCounter();

// Points this program's imports of dll!name at hook; returns the real function.
void* PatchImport(const char* dll, const char* name, void* hook);
