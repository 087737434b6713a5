// The Windows test runner: loads the built plug-in module with LoadLibrary, finds PluginMain
// with GetProcAddress and checks it as a host would see it, under wine. Each group of checks
// is one command of the runner and one test of the windows preset.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "host/host_api.h"

struct LoadedModule {
    HMODULE handle;
    PluginEntryProc entry;
};

// Counts a failed check and says where and what; returns whether the check held.
bool checkFailed(const char* file, int line, const char* what);
#define CHECK(condition, ...)                                                          \
    ((condition) ? true                                                                \
                 : (std::fprintf(stderr, __VA_ARGS__), std::fputc('\n', stderr),       \
                    checkFailed(__FILE__, __LINE__, #condition)))

// The bytes of one of the module's resources in US English; empty when it has none.
std::string resourceBytes(HMODULE module, const char* type, const char* name);

// The groups of checks.
void checkPinnedRuns(const LoadedModule& module);
void checkInstructionSets();
void checkHostProfiles(const LoadedModule& module);
void checkResources(const LoadedModule& module);
void checkAboutBox(const LoadedModule& module);
void checkStrictHostsModule(const LoadedModule& module, const char* strictPath);
