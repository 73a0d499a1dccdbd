#include "audiolet_host.h"

namespace hostbind {

HostEntry audioletEntries[kAudioletEntryCount] = {
    HostEntry("MoveBlock"),       HostEntry("DSDisposePtr"), HostEntry("RTSetCleanupProc"),
    HostEntry("DSNewPtr"),        HostEntry("DSNewPClr"),    HostEntry("FDisposePath"),
    HostEntry("FExists"),         HostEntry("FTextToPath"),  HostEntry("StrLen"),
    HostEntry("DSSetHandleSize"), HostEntry("Occur"),
};

void MoveBlock(const void* source, void* destination, int32_t bytes) noexcept {
    CallHost<LMRTMoveBlockFn>(audioletEntries[kMoveBlock], source, destination, bytes);
}

int32_t DSDisposePtr(void* block) noexcept {
    return CallHost<LMRTDSDisposePtrFn>(audioletEntries[kDSDisposePtr], block);
}

int32_t RTSetCleanupProc(HostCleanupProc routine, int32_t argument, int32_t mode) noexcept {
    return CallHost<LMRTRTSetCleanupProcFn>(audioletEntries[kRTSetCleanupProc], routine, argument,
                                            mode);
}

void* DSNewPtr(int32_t bytes) noexcept {
    return CallHost<LMRTDSNewPtrFn>(audioletEntries[kDSNewPtr], bytes);
}

void* DSNewPClr(int32_t bytes) noexcept {
    return CallHost<LMRTDSNewPClrFn>(audioletEntries[kDSNewPClr], bytes);
}

int32_t FDisposePath(HostPath path) noexcept {
    return CallHost<LMRTFDisposePathFn>(audioletEntries[kFDisposePath], path);
}

int32_t FExists(HostPath path) noexcept {
    return CallHost<LMRTFExistsFn>(audioletEntries[kFExists], path);
}

int32_t FTextToPath(const char* text, int32_t length, HostPath* path) noexcept {
    return CallHost<LMRTFTextToPathFn>(audioletEntries[kFTextToPath], text, length, path);
}

int32_t StrLen(const char* text) noexcept {
    return CallHost<LMRTStrLenFn>(audioletEntries[kStrLen], text);
}

int32_t DSSetHandleSize(HostArrayHandle handle, int32_t bytes) noexcept {
    return CallHost<LMRTDSSetHandleSizeFn>(audioletEntries[kDSSetHandleSize], handle, bytes);
}

int32_t Occur(uint32_t occurrence) noexcept {
    return CallHost<LMRTOccurFn>(audioletEntries[kOccur], occurrence);
}

}  // namespace hostbind
