#include "testhost.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <unordered_set>
#include <utility>
#include <vector>

// The definitions must match the signatures the libraries look them up with.
static_assert(std::is_same_v<decltype(&NumericArrayResize), LMRTNumericArrayResizeFn>);
static_assert(std::is_same_v<decltype(&Min), LMRTMinFn>);
static_assert(std::is_same_v<decltype(&MoveBlock), LMRTMoveBlockFn>);
static_assert(std::is_same_v<decltype(&DSDisposePtr), LMRTDSDisposePtrFn>);
static_assert(std::is_same_v<decltype(&RTSetCleanupProc), LMRTRTSetCleanupProcFn>);
static_assert(std::is_same_v<decltype(&DSNewPtr), LMRTDSNewPtrFn>);
static_assert(std::is_same_v<decltype(&DSNewPClr), LMRTDSNewPClrFn>);
static_assert(std::is_same_v<decltype(&FDisposePath), LMRTFDisposePathFn>);
static_assert(std::is_same_v<decltype(&FExists), LMRTFExistsFn>);
static_assert(std::is_same_v<decltype(&FTextToPath), LMRTFTextToPathFn>);
static_assert(std::is_same_v<decltype(&StrLen), LMRTStrLenFn>);
static_assert(std::is_same_v<decltype(&DSSetHandleSize), LMRTDSSetHandleSizeFn>);
static_assert(std::is_same_v<decltype(&Occur), LMRTOccurFn>);

// A handle points at the master pointer, the first member of its record.
struct HandleRecord {
    HostArrayBlock* block;
    int32_t bytes;
};

struct HostPathRecord {
    std::string text;
};

namespace {

std::mutex hostMutex;
std::condition_variable occurred;

std::unordered_set<HandleRecord*> handles;
std::unordered_set<void*> blocks;
std::unordered_set<HostPathRecord*> paths;
std::map<uint32_t, int32_t> occurrenceCounts;
uint32_t lastOccurrence = 0;
std::vector<std::pair<HostCleanupProc, int32_t>> cleanups;

// Injected failures: countdowns to the failing call (0 = disarmed).
int32_t resizeCountdown = 0;
int32_t resizeFailureCode = 0;
int32_t allocationCountdown = 0;
bool injectedFailureHappened = false;

bool TakeInjected(int32_t& countdown) {
    if (countdown <= 0 || --countdown > 0) return false;
    injectedFailureHappened = true;
    return true;
}

HandleRecord* Record(HostArrayHandle handle) {
    auto* record = reinterpret_cast<HandleRecord*>(handle);
    return handles.count(record) ? record : nullptr;
}

// Moves the handle's block to a new one of `bytes` bytes, keeping the common
// prefix and filling the rest.
bool MoveBlockTo(HandleRecord& record, int32_t bytes) {
    auto* block = static_cast<unsigned char*>(std::malloc(bytes > 0 ? bytes : 1));
    if (!block) return false;
    const int32_t kept = std::min(record.bytes, bytes);
    if (kept > 0) std::memcpy(block, record.block, kept);
    if (bytes > kept) std::memset(block + kept, TESTHOST_FILL_BYTE, bytes - kept);
    std::free(record.block);
    record.block = reinterpret_cast<HostArrayBlock*>(block);
    record.bytes = bytes;
    return true;
}

HandleRecord* NewHandleRecord(int32_t bytes) {
    auto* record = new (std::nothrow) HandleRecord{nullptr, 0};
    if (!record) return nullptr;
    if (!MoveBlockTo(*record, bytes)) {
        delete record;
        return nullptr;
    }
    try {
        handles.insert(record);
    } catch (const std::bad_alloc&) {
        std::free(record->block);
        delete record;
        return nullptr;
    }
    return record;
}

int32_t ResizeHandle(HostArrayHandle* handleVariable, int64_t bytes) {
    if (bytes > std::numeric_limits<int32_t>::max()) return TESTHOST_MEMORY_FULL;
    std::lock_guard lock(hostMutex);
    if (*handleVariable && !Record(*handleVariable)) return TESTHOST_BAD_ARGUMENT;
    if (TakeInjected(resizeCountdown)) return resizeFailureCode;
    const auto size = static_cast<int32_t>(bytes);
    if (!*handleVariable) {
        HandleRecord* record = NewHandleRecord(size);
        if (!record) return TESTHOST_MEMORY_FULL;
        *handleVariable = &record->block;
        return TESTHOST_OK;
    }
    return MoveBlockTo(*Record(*handleVariable), size) ? TESTHOST_OK : TESTHOST_MEMORY_FULL;
}

void* NewBlock(int32_t bytes, bool clear) {
    if (bytes < 0) return nullptr;
    std::lock_guard lock(hostMutex);
    if (TakeInjected(allocationCountdown)) return nullptr;
    void* block =
        clear ? std::calloc(bytes > 0 ? bytes : 1, 1) : std::malloc(bytes > 0 ? bytes : 1);
    if (!block) return nullptr;
    try {
        blocks.insert(block);
    } catch (const std::bad_alloc&) {
        std::free(block);
        return nullptr;
    }
    return block;
}

}  // namespace

extern "C" {

const uint32_t gLMRTVersion = 0x01000000;

int32_t LMRT_CALL NumericArrayResize(int32_t typeCode, int32_t numDims, HostArrayHandle* handle,
                                     int32_t totalElements) {
    const int32_t elementBytes = LMRTElementSize(typeCode);
    if (!handle || elementBytes == 0 || numDims < 1 || totalElements < 0)
        return TESTHOST_BAD_ARGUMENT;
    return ResizeHandle(handle, int64_t{4} * numDims + int64_t{elementBytes} * totalElements);
}

int32_t LMRT_CALL Min(int32_t a, int32_t b) { return a < b ? a : b; }

void LMRT_CALL MoveBlock(const void* source, void* destination, int32_t bytes) {
    if (bytes > 0) std::memmove(destination, source, bytes);
}

int32_t LMRT_CALL DSDisposePtr(void* block) {
    std::lock_guard lock(hostMutex);
    if (!blocks.erase(block)) return TESTHOST_BAD_ARGUMENT;
    std::free(block);
    return TESTHOST_OK;
}

int32_t LMRT_CALL RTSetCleanupProc(HostCleanupProc routine, int32_t argument, int32_t mode) {
    if (!routine) return TESTHOST_BAD_ARGUMENT;
    std::lock_guard lock(hostMutex);
    const auto registration = std::make_pair(routine, argument);
    std::erase(cleanups, registration);
    if (mode == LMRT_CLEANUP_UNREGISTER) return TESTHOST_OK;
    if (mode != LMRT_CLEANUP_REGISTER) return TESTHOST_BAD_ARGUMENT;
    try {
        cleanups.push_back(registration);
    } catch (const std::bad_alloc&) {
        return TESTHOST_MEMORY_FULL;
    }
    return TESTHOST_OK;
}

void* LMRT_CALL DSNewPtr(int32_t bytes) { return NewBlock(bytes, false); }

void* LMRT_CALL DSNewPClr(int32_t bytes) { return NewBlock(bytes, true); }

int32_t LMRT_CALL FDisposePath(HostPath path) {
    std::lock_guard lock(hostMutex);
    if (!paths.erase(path)) return TESTHOST_BAD_ARGUMENT;
    delete path;
    return TESTHOST_OK;
}

int32_t LMRT_CALL FExists(HostPath path) {
    std::string text;
    {
        std::lock_guard lock(hostMutex);
        if (!paths.count(path)) return TESTHOST_NO_FILE;
        text = path->text;
    }
    std::error_code error;
    const auto status = std::filesystem::status(text, error);
    if (error || !std::filesystem::exists(status)) return TESTHOST_NO_FILE;
    if (std::filesystem::is_regular_file(status)) return TESTHOST_FILE;
    if (std::filesystem::is_directory(status)) return TESTHOST_FOLDER;
    return TESTHOST_OTHER_FILE;
}

int32_t LMRT_CALL FTextToPath(const char* text, int32_t length, HostPath* path) {
    if (!path || length < 0 || (!text && length > 0)) return TESTHOST_BAD_ARGUMENT;
    std::lock_guard lock(hostMutex);
    if (TakeInjected(allocationCountdown)) return TESTHOST_MEMORY_FULL;
    try {
        auto* record = new HostPathRecord{std::string(text ? text : "", length)};
        paths.insert(record);
        *path = record;
    } catch (const std::bad_alloc&) {
        return TESTHOST_MEMORY_FULL;
    }
    return TESTHOST_OK;
}

int32_t LMRT_CALL StrLen(const char* text) {
    return text ? static_cast<int32_t>(std::strlen(text)) : 0;
}

int32_t LMRT_CALL DSSetHandleSize(HostArrayHandle handle, int32_t bytes) {
    if (!handle || bytes < 0) return TESTHOST_BAD_ARGUMENT;
    return ResizeHandle(&handle, bytes);
}

int32_t LMRT_CALL Occur(uint32_t occurrence) {
    {
        std::lock_guard lock(hostMutex);
        try {
            ++occurrenceCounts[occurrence];
        } catch (const std::bad_alloc&) {
            return TESTHOST_MEMORY_FULL;
        }
    }
    occurred.notify_all();
    return TESTHOST_OK;
}

void TestHostFailResize(int32_t k, int32_t code) {
    std::lock_guard lock(hostMutex);
    resizeCountdown = std::max(k, 0);
    resizeFailureCode = code;
    injectedFailureHappened = false;
}

void TestHostFailAllocation(int32_t k) {
    std::lock_guard lock(hostMutex);
    allocationCountdown = std::max(k, 0);
    injectedFailureHappened = false;
}

int32_t TestHostInjectedFailureHappened(void) {
    std::lock_guard lock(hostMutex);
    return injectedFailureHappened ? 1 : 0;
}

int32_t TestHostLiveHandles(void) {
    std::lock_guard lock(hostMutex);
    return static_cast<int32_t>(handles.size());
}

int32_t TestHostLiveBlocks(void) {
    std::lock_guard lock(hostMutex);
    return static_cast<int32_t>(blocks.size());
}

int32_t TestHostLivePaths(void) {
    std::lock_guard lock(hostMutex);
    return static_cast<int32_t>(paths.size());
}

HostArrayHandle TestHostNewHandle(int32_t bytes) {
    if (bytes < 0) return nullptr;
    std::lock_guard lock(hostMutex);
    HandleRecord* record = NewHandleRecord(bytes);
    if (!record) return nullptr;
    std::memset(record->block, 0, bytes);
    return &record->block;
}

int32_t TestHostDisposeHandle(HostArrayHandle handle) {
    std::lock_guard lock(hostMutex);
    HandleRecord* record = Record(handle);
    if (!record) return TESTHOST_BAD_ARGUMENT;
    handles.erase(record);
    std::free(record->block);
    delete record;
    return TESTHOST_OK;
}

int32_t TestHostHandleSize(HostArrayHandle handle) {
    std::lock_guard lock(hostMutex);
    const HandleRecord* record = Record(handle);
    return record ? record->bytes : -1;
}

uint32_t TestHostNewOccurrence(void) {
    std::lock_guard lock(hostMutex);
    return ++lastOccurrence;
}

int32_t TestHostOccurrenceCount(uint32_t occurrence) {
    std::lock_guard lock(hostMutex);
    const auto found = occurrenceCounts.find(occurrence);
    return found == occurrenceCounts.end() ? 0 : found->second;
}

int32_t TestHostWaitOccurrence(uint32_t occurrence, int32_t count, int32_t timeoutMs) {
    std::unique_lock lock(hostMutex);
    const auto fired = [&] {
        const auto found = occurrenceCounts.find(occurrence);
        return found == occurrenceCounts.end() ? 0 : found->second;
    };
    occurred.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                      [&] { return fired() > count; });
    return fired();
}

int32_t TestHostCleanupCount(void) {
    std::lock_guard lock(hostMutex);
    return static_cast<int32_t>(cleanups.size());
}

int32_t TestHostRunCleanups(void) {
    std::vector<std::pair<HostCleanupProc, int32_t>> due;
    {
        std::lock_guard lock(hostMutex);
        due.swap(cleanups);
    }
    // Outside the lock: a routine may call back into the host.
    for (const auto& [routine, argument] : due) routine(argument);
    return static_cast<int32_t>(due.size());
}

const char* TestHostPathText(HostPath path) {
    std::lock_guard lock(hostMutex);
    return paths.count(path) ? path->text.c_str() : nullptr;
}

}  // extern "C"
