#pragma once
// The host functions that Audiolet calls, in the order of its entry table. Call
// them as the host functions themselves; the first call of each binds it by name.

#include <cstdint>

#include "binding.h"

namespace hostbind {

enum AudioletEntry {
    kMoveBlock,
    kDSDisposePtr,
    kRTSetCleanupProc,
    kDSNewPtr,
    kDSNewPClr,
    kFDisposePath,
    kFExists,
    kFTextToPath,
    kStrLen,
    kDSSetHandleSize,
    kOccur,
    kAudioletEntryCount
};

extern HostEntry audioletEntries[kAudioletEntryCount];

void MoveBlock(const void* source, void* destination, int32_t bytes) noexcept;
int32_t DSDisposePtr(void* block) noexcept;
int32_t RTSetCleanupProc(HostCleanupProc routine, int32_t argument, int32_t mode) noexcept;
void* DSNewPtr(int32_t bytes) noexcept;
void* DSNewPClr(int32_t bytes) noexcept;
int32_t FDisposePath(HostPath path) noexcept;
int32_t FExists(HostPath path) noexcept;
int32_t FTextToPath(const char* text, int32_t length, HostPath* path) noexcept;
int32_t StrLen(const char* text) noexcept;
int32_t DSSetHandleSize(HostArrayHandle handle, int32_t bytes) noexcept;
int32_t Occur(uint32_t occurrence) noexcept;

}  // namespace hostbind
