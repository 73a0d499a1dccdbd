#include "rhombel.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>

namespace {

struct Record {
    int32_t type = RHOMBEL_TYPE_NONE;
    int32_t rows = 0;
    int32_t columns = 0;
    void* buffer = nullptr;
    std::size_t bufferBytes = 0;
    void* userData = nullptr;
    SptRefReleaseProc release = nullptr;
    std::thread::id holder;  // valid while depth > 0
    int32_t depth = 0;
};

// One mutex over the table; a reference's own lock is the holder/depth pair of
// its record, waited for on one condition variable.
std::mutex tableMutex;
std::condition_variable released;
std::unordered_map<int32_t, Record> table;
uint32_t issued = 0;
int32_t resizeCountdown = 0;
std::atomic<RhombelLockHook> lockHook{nullptr};

using Guard = std::unique_lock<std::mutex>;

// Multiplying by an odd constant permutes the residues modulo 2^31, so numbers
// repeat only after 2^31 issues and neighbours of a live number are not live.
int32_t Scramble(uint32_t serial) {
    return static_cast<int32_t>((serial * 0x2545F491u) & 0x7FFFFFFFu);
}

Record* Find(int32_t ref) {
    const auto found = table.find(ref);
    return found == table.end() ? nullptr : &found->second;
}

bool HeldByOther(const Record& record) {
    return record.depth > 0 && record.holder != std::this_thread::get_id();
}

// Waits until `ref` is not held by another thread; null when it is or becomes unknown.
Record* WaitAvailable(Guard& lock, int32_t ref) {
    Record* record = nullptr;
    released.wait(lock, [&] {
        record = Find(ref);
        return !record || !HeldByOther(*record);
    });
    return record;
}

int32_t ElementBytes(int32_t typeCode) {
    switch (typeCode) {
        case RHOMBEL_TYPE_DOUBLE:
            return 8;
        case RHOMBEL_TYPE_COMPLEX128:
            return 16;
        default:
            return 0;
    }
}

// Byte size of a rows x columns matrix of typeCode; false for bad arguments.
bool MatrixBytes(int32_t typeCode, int32_t rows, int32_t columns, std::size_t& bytes) {
    const int32_t elementBytes = ElementBytes(typeCode);
    if (elementBytes == 0 || rows < 0 || columns < 0) return false;
    const auto elements = static_cast<uint64_t>(rows) * static_cast<uint64_t>(columns);
    if (elements > std::numeric_limits<std::size_t>::max() / elementBytes) return false;
    bytes = static_cast<std::size_t>(elements * elementBytes);
    return true;
}

void* AllocateBuffer(std::size_t bytes) {
    if (resizeCountdown > 0 && --resizeCountdown == 0) return nullptr;
    return std::calloc(bytes, 1);
}

void ReplaceBuffer(Record& record, void* buffer, std::size_t bytes) {
    std::free(record.buffer);
    record.buffer = buffer;
    record.bufferBytes = bytes;
}

int32_t Create(Guard&) {
    for (;;) {
        const int32_t ref = Scramble(++issued);
        if (ref == 0 || table.count(ref)) continue;
        try {
            table.emplace(ref, Record{});
        } catch (const std::bad_alloc&) {
            return 0;
        }
        return ref;
    }
}

}  // namespace

extern "C" {

int32_t SptRefCreate(void) {
    Guard lock(tableMutex);
    return Create(lock);
}

int32_t SptRefIsValid(int32_t ref) {
    Guard lock(tableMutex);
    return Find(ref) ? 1 : 0;
}

int32_t SptRefDispose(int32_t ref) {
    Record gone;
    {
        Guard lock(tableMutex);
        Record* record = WaitAvailable(lock, ref);
        if (!record) return RHOMBEL_NOT_A_REFERENCE;
        gone = *record;
        table.erase(ref);
    }
    released.notify_all();  // waiters for this reference learn that it is gone
    std::free(gone.buffer);
    if (gone.userData && gone.release) gone.release(gone.userData);
    return RHOMBEL_OK;
}

int32_t SptRefLock(int32_t ref) {
    if (const RhombelLockHook hook = lockHook.load()) {
        int32_t heldElsewhere = 0;
        {
            Guard lock(tableMutex);
            for (const auto& [number, record] : table)
                if (number != ref && record.depth > 0 &&
                    record.holder == std::this_thread::get_id())
                    ++heldElsewhere;
        }
        hook(ref, heldElsewhere);
    }
    Guard lock(tableMutex);
    Record* record = WaitAvailable(lock, ref);
    if (!record) return RHOMBEL_NOT_A_REFERENCE;
    record->holder = std::this_thread::get_id();
    ++record->depth;
    return RHOMBEL_OK;
}

int32_t SptRefUnlock(int32_t ref) {
    {
        Guard lock(tableMutex);
        Record* record = Find(ref);
        if (!record) return RHOMBEL_NOT_A_REFERENCE;
        if (record->depth == 0 || HeldByOther(*record)) return RHOMBEL_NOT_HELD;
        if (--record->depth > 0) return RHOMBEL_OK;
    }
    released.notify_all();
    return RHOMBEL_OK;
}

int32_t SptRefInitAndResize(int32_t ref, int32_t typeCode, int32_t rows, int32_t columns) {
    Guard lock(tableMutex);
    Record* record = WaitAvailable(lock, ref);
    if (!record) return RHOMBEL_NOT_A_REFERENCE;
    std::size_t bytes = 0;
    if (!MatrixBytes(typeCode, rows, columns, bytes)) return RHOMBEL_BAD_ARGUMENT;
    if (bytes == 0) {
        ReplaceBuffer(*record, nullptr, 0);
    } else if (bytes != record->bufferBytes) {
        void* buffer = AllocateBuffer(bytes);
        if (!buffer) return RHOMBEL_NO_MEMORY;
        ReplaceBuffer(*record, buffer, bytes);
    }
    record->type = typeCode;
    record->rows = rows;
    record->columns = columns;
    return RHOMBEL_OK;
}

int32_t SptRefInitBuf(int32_t ref, int32_t typeCode) {
    Guard lock(tableMutex);
    Record* record = WaitAvailable(lock, ref);
    if (!record) return RHOMBEL_NOT_A_REFERENCE;
    if (ElementBytes(typeCode) == 0) return RHOMBEL_BAD_ARGUMENT;
    ReplaceBuffer(*record, nullptr, 0);
    record->type = typeCode;
    record->rows = 0;
    record->columns = 0;
    return RHOMBEL_OK;
}

void* SptRefGetDataPtr(int32_t ref) {
    Guard lock(tableMutex);
    const Record* record = Find(ref);
    return record ? record->buffer : nullptr;
}

int32_t SptRefGetDataType(int32_t ref) {
    Guard lock(tableMutex);
    const Record* record = Find(ref);
    return record ? record->type : RHOMBEL_TYPE_NONE;
}

int32_t SptRefGetDim(int32_t ref, int32_t* rows, int32_t* columns) {
    Guard lock(tableMutex);
    const Record* record = Find(ref);
    if (rows) *rows = record ? record->rows : 0;
    if (columns) *columns = record ? record->columns : 0;
    return record ? RHOMBEL_OK : RHOMBEL_NOT_A_REFERENCE;
}

int32_t SptRefSetDim(int32_t ref, int32_t rows, int32_t columns) {
    Guard lock(tableMutex);
    Record* record = WaitAvailable(lock, ref);
    if (!record) return RHOMBEL_NOT_A_REFERENCE;
    std::size_t bytes = 0;
    const bool empty = rows == 0 && columns == 0;
    if (!empty && (!MatrixBytes(record->type, rows, columns, bytes) || bytes > record->bufferBytes))
        return RHOMBEL_BAD_ARGUMENT;
    record->rows = rows;
    record->columns = columns;
    return RHOMBEL_OK;
}

void* SptRefGetUserData(int32_t ref) {
    Guard lock(tableMutex);
    const Record* record = Find(ref);
    return record ? record->userData : nullptr;
}

int32_t SptRefSetUserData(int32_t ref, void* userData, SptRefReleaseProc release) {
    void* old = nullptr;
    SptRefReleaseProc oldRelease = nullptr;
    {
        Guard lock(tableMutex);
        Record* record = WaitAvailable(lock, ref);
        if (!record) return RHOMBEL_NOT_A_REFERENCE;
        if (record->userData != userData) {
            old = record->userData;
            oldRelease = record->release;
        }
        record->userData = userData;
        record->release = release;
    }
    // Outside the table lock: the routine belongs to the caller.
    if (old && oldRelease) oldRelease(old);
    return RHOMBEL_OK;
}

int32_t SptRefReplicate(int32_t source, int32_t* destination) {
    if (!destination) return RHOMBEL_BAD_ARGUMENT;
    Guard lock(tableMutex);
    const int32_t target = *destination;
    Record* from = nullptr;
    Record* to = nullptr;
    // Both must be free of other holders at the same moment.
    released.wait(lock, [&] {
        from = Find(source);
        to = Find(target);
        return !from || (!HeldByOther(*from) && (!to || !HeldByOther(*to)));
    });
    if (!from) return RHOMBEL_NOT_A_REFERENCE;
    if (from == to) return RHOMBEL_OK;
    std::size_t bytes = 0;
    MatrixBytes(from->type, from->rows, from->columns, bytes);
    void* buffer = nullptr;
    if (bytes > 0) {
        buffer = AllocateBuffer(bytes);
        if (!buffer) return RHOMBEL_NO_MEMORY;
        std::memcpy(buffer, from->buffer, bytes);
    }
    if (!to) {
        const int32_t created = Create(lock);
        if (created == 0) {
            std::free(buffer);
            return RHOMBEL_NO_MEMORY;
        }
        *destination = created;
        to = Find(created);  // element pointers survive the insertion
    }
    ReplaceBuffer(*to, buffer, bytes);
    to->type = from->type;
    to->rows = from->rows;
    to->columns = from->columns;
    return RHOMBEL_OK;
}

void RhombelTestFailResize(int32_t k) {
    Guard lock(tableMutex);
    resizeCountdown = k > 0 ? k : 0;
}

void RhombelTestSetLockHook(RhombelLockHook hook) { lockHook.store(hook); }

int32_t RhombelTestLiveReferences(void) {
    Guard lock(tableMutex);
    return static_cast<int32_t>(table.size());
}

int32_t RhombelTestLockDepth(int32_t ref) {
    Guard lock(tableMutex);
    const Record* record = Find(ref);
    return record ? record->depth : 0;
}

int32_t RhombelTestHeldLocks(void) {
    Guard lock(tableMutex);
    int32_t held = 0;
    for (const auto& entry : table) held += entry.second.depth;
    return held;
}

}  // extern "C"
