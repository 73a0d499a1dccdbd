// Reference objects: numbers, storage, user data, replication and lock nesting.

#include "rhombel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "rhombel_testing.h"

namespace {

// A reference disposed at the end of the scope.
struct Ref {
    int32_t number = SptRefCreate();
    ~Ref() {
        if (SptRefIsValid(number)) SptRefDispose(number);
    }
};

std::vector<void*> releasedData;
void RecordRelease(void* data) { releasedData.push_back(data); }

void Fill(int32_t ref, double first) {
    int32_t rows = 0, columns = 0;
    SptRefGetDim(ref, &rows, &columns);
    const int32_t scalars = SptRefGetDataType(ref) == RHOMBEL_TYPE_COMPLEX128 ? 2 : 1;
    auto* data = static_cast<double*>(SptRefGetDataPtr(ref));
    for (int32_t i = 0; i < rows * columns * scalars; ++i) data[i] = first + i;
}

TEST(Rhombel, ANewReferenceIsLiveAndEmptyUntilDisposed) {
    const int32_t ref = SptRefCreate();
    ASSERT_NE(ref, 0);
    EXPECT_EQ(SptRefIsValid(ref), 1);
    int32_t rows = -1, columns = -1;
    EXPECT_EQ(SptRefGetDim(ref, &rows, &columns), RHOMBEL_OK);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(columns, 0);
    EXPECT_EQ(SptRefGetDataType(ref), RHOMBEL_TYPE_NONE);
    EXPECT_EQ(SptRefGetDataPtr(ref), nullptr);
    EXPECT_EQ(SptRefGetUserData(ref), nullptr);

    EXPECT_EQ(SptRefDispose(ref), RHOMBEL_OK);
    EXPECT_EQ(SptRefIsValid(ref), 0);
    EXPECT_EQ(SptRefDispose(ref), RHOMBEL_NOT_A_REFERENCE);
    EXPECT_EQ(SptRefLock(ref), RHOMBEL_NOT_A_REFERENCE);
    EXPECT_EQ(SptRefInitAndResize(ref, RHOMBEL_TYPE_DOUBLE, 1, 1), RHOMBEL_NOT_A_REFERENCE);
}

TEST(Rhombel, StaleAndMadeUpNumbersAreNotReferences) {
    std::set<int32_t> earlier;
    std::vector<int32_t> live;
    for (int i = 0; i < 500; ++i) {
        const int32_t ref = SptRefCreate();
        ASSERT_GT(ref, 0);
        EXPECT_TRUE(earlier.insert(ref).second) << "number issued twice";
        live.push_back(ref);
    }
    for (const int32_t ref : live) {
        SCOPED_TRACE(ref);
        for (const int32_t guess : {ref + 1, ref - 1, -ref, 0, 1, 2}) {
            if (!earlier.count(guess)) {
                EXPECT_EQ(SptRefIsValid(guess), 0) << guess;
            }
        }
    }
    for (const int32_t ref : live) SptRefDispose(ref);
    // Disposed numbers do not come back soon.
    for (int i = 0; i < 500; ++i) {
        const int32_t ref = SptRefCreate();
        EXPECT_FALSE(earlier.count(ref)) << "number reused";
        SptRefDispose(ref);
    }
}

TEST(Rhombel, InitAndResizeProvidesAZeroFilledMatrix) {
    struct Case {
        int32_t type, rows, columns, bytes;
    } const cases[] = {
        {RHOMBEL_TYPE_DOUBLE, 3, 4, 96},
        {RHOMBEL_TYPE_COMPLEX128, 2, 5, 160},
        {RHOMBEL_TYPE_DOUBLE, 1, 1, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rows << " x " << c.columns);
        Ref ref;
        ASSERT_EQ(SptRefInitAndResize(ref.number, c.type, c.rows, c.columns), RHOMBEL_OK);
        int32_t rows = 0, columns = 0;
        SptRefGetDim(ref.number, &rows, &columns);
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(columns, c.columns);
        EXPECT_EQ(SptRefGetDataType(ref.number), c.type);
        const auto* bytes = static_cast<const unsigned char*>(SptRefGetDataPtr(ref.number));
        ASSERT_NE(bytes, nullptr);
        for (int32_t i = 0; i < c.bytes; ++i) ASSERT_EQ(bytes[i], 0) << i;

        // 0 x 0 empties.
        EXPECT_EQ(SptRefInitAndResize(ref.number, c.type, 0, 0), RHOMBEL_OK);
        EXPECT_EQ(SptRefGetDataPtr(ref.number), nullptr);
        SptRefGetDim(ref.number, &rows, &columns);
        EXPECT_EQ(rows + columns, 0);
    }
}

TEST(Rhombel, FailedOrRefusedResizesLeaveTheReferenceUnchanged) {
    Ref ref;
    ASSERT_EQ(SptRefInitAndResize(ref.number, RHOMBEL_TYPE_DOUBLE, 2, 3), RHOMBEL_OK);
    Fill(ref.number, 1.0);
    const void* data = SptRefGetDataPtr(ref.number);
    struct Case {
        const char* what;
        bool injectFailure;
        int32_t type, rows, columns, status;
    } const cases[] = {
        {"buffer not available", true, RHOMBEL_TYPE_COMPLEX128, 4, 4, RHOMBEL_NO_MEMORY},
        {"unknown type", false, 7, 1, 1, RHOMBEL_BAD_ARGUMENT},
        {"negative rows", false, RHOMBEL_TYPE_DOUBLE, -1, 3, RHOMBEL_BAD_ARGUMENT},
        {"size beyond the address space", false, RHOMBEL_TYPE_COMPLEX128, 0x7fffffff, 0x7fffffff,
         RHOMBEL_BAD_ARGUMENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.injectFailure) RhombelTestFailResize(1);
        EXPECT_EQ(SptRefInitAndResize(ref.number, c.type, c.rows, c.columns), c.status);
        RhombelTestFailResize(0);
        int32_t rows = 0, columns = 0;
        SptRefGetDim(ref.number, &rows, &columns);
        EXPECT_EQ(rows, 2);
        EXPECT_EQ(columns, 3);
        EXPECT_EQ(SptRefGetDataType(ref.number), RHOMBEL_TYPE_DOUBLE);
        ASSERT_EQ(SptRefGetDataPtr(ref.number), data);
        EXPECT_EQ(static_cast<const double*>(data)[5], 6.0);
    }
}

TEST(Rhombel, InitBufAndSetDimMarkTheReferenceEmpty) {
    Ref ref;
    ASSERT_EQ(SptRefInitAndResize(ref.number, RHOMBEL_TYPE_DOUBLE, 4, 4), RHOMBEL_OK);
    EXPECT_EQ(SptRefSetDim(ref.number, 2, 8), RHOMBEL_OK);  // within the buffer
    EXPECT_EQ(SptRefSetDim(ref.number, 5, 4), RHOMBEL_BAD_ARGUMENT);
    EXPECT_EQ(SptRefSetDim(ref.number, -2, -8), RHOMBEL_BAD_ARGUMENT);
    EXPECT_EQ(SptRefSetDim(ref.number, 0, 0), RHOMBEL_OK);
    int32_t rows = -1, columns = -1;
    SptRefGetDim(ref.number, &rows, &columns);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(columns, 0);

    ASSERT_EQ(SptRefInitAndResize(ref.number, RHOMBEL_TYPE_DOUBLE, 4, 4), RHOMBEL_OK);
    EXPECT_EQ(SptRefInitBuf(ref.number, RHOMBEL_TYPE_COMPLEX128), RHOMBEL_OK);
    SptRefGetDim(ref.number, &rows, &columns);
    EXPECT_EQ(rows + columns, 0);
    EXPECT_EQ(SptRefGetDataPtr(ref.number), nullptr);
    EXPECT_EQ(SptRefGetDataType(ref.number), RHOMBEL_TYPE_COMPLEX128);
}

TEST(Rhombel, UserDataIsReleasedThroughItsOwnRoutineWhenReplacedOrDisposed) {
    releasedData.clear();
    int first = 0, second = 0, third = 0;
    const int32_t ref = SptRefCreate();
    EXPECT_EQ(SptRefSetUserData(ref, &first, RecordRelease), RHOMBEL_OK);
    EXPECT_EQ(SptRefSetUserData(ref, &first, RecordRelease), RHOMBEL_OK);  // same pointer: kept
    EXPECT_TRUE(releasedData.empty());
    EXPECT_EQ(SptRefSetUserData(ref, &second, RecordRelease), RHOMBEL_OK);
    EXPECT_EQ(releasedData, std::vector<void*>{&first});
    EXPECT_EQ(SptRefGetUserData(ref), &second);
    EXPECT_EQ(SptRefSetUserData(ref, &third, nullptr), RHOMBEL_OK);  // nothing to call for &third
    EXPECT_EQ(SptRefDispose(ref), RHOMBEL_OK);
    EXPECT_EQ(releasedData, (std::vector<void*>{&first, &second}));
    EXPECT_EQ(SptRefSetUserData(ref, &first, RecordRelease), RHOMBEL_NOT_A_REFERENCE);
}

TEST(Rhombel, ReplicateCopiesTheMatrixAndKeepsTheDestinationsUserData) {
    releasedData.clear();
    Ref source, destination;
    int tag = 0;
    ASSERT_EQ(SptRefInitAndResize(source.number, RHOMBEL_TYPE_COMPLEX128, 2, 3), RHOMBEL_OK);
    Fill(source.number, 10.0);
    SptRefSetUserData(destination.number, &tag, RecordRelease);
    int32_t variable = destination.number;
    ASSERT_EQ(SptRefReplicate(source.number, &variable), RHOMBEL_OK);
    EXPECT_EQ(variable, destination.number);
    int32_t rows = 0, columns = 0;
    SptRefGetDim(destination.number, &rows, &columns);
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(columns, 3);
    EXPECT_EQ(SptRefGetDataType(destination.number), RHOMBEL_TYPE_COMPLEX128);
    EXPECT_NE(SptRefGetDataPtr(destination.number), SptRefGetDataPtr(source.number));
    EXPECT_EQ(std::memcmp(SptRefGetDataPtr(destination.number), SptRefGetDataPtr(source.number),
                          2 * 3 * 16),
              0);
    EXPECT_EQ(SptRefGetUserData(destination.number), &tag);
    EXPECT_TRUE(releasedData.empty());
    SptRefSetUserData(destination.number, nullptr, nullptr);

    // Onto itself: nothing changes.
    variable = source.number;
    EXPECT_EQ(SptRefReplicate(source.number, &variable), RHOMBEL_OK);
    EXPECT_EQ(variable, source.number);
    EXPECT_EQ(static_cast<const double*>(SptRefGetDataPtr(source.number))[11], 21.0);
}

TEST(Rhombel, ReplicateIntoNoReferenceCreatesOne) {
    Ref source;
    ASSERT_EQ(SptRefInitAndResize(source.number, RHOMBEL_TYPE_DOUBLE, 1, 2), RHOMBEL_OK);
    Fill(source.number, 3.0);
    const int32_t stale = SptRefCreate();
    SptRefDispose(stale);
    for (const int32_t start : {0, stale}) {
        SCOPED_TRACE(start);
        int32_t variable = start;
        ASSERT_EQ(SptRefReplicate(source.number, &variable), RHOMBEL_OK);
        EXPECT_NE(variable, start);
        ASSERT_EQ(SptRefIsValid(variable), 1);
        EXPECT_EQ(static_cast<const double*>(SptRefGetDataPtr(variable))[1], 4.0);
        SptRefDispose(variable);
    }
}

TEST(Rhombel, FailedReplicationLeavesTheDestinationUnchanged) {
    Ref source, destination;
    ASSERT_EQ(SptRefInitAndResize(source.number, RHOMBEL_TYPE_DOUBLE, 3, 3), RHOMBEL_OK);
    ASSERT_EQ(SptRefInitAndResize(destination.number, RHOMBEL_TYPE_DOUBLE, 1, 1), RHOMBEL_OK);
    Fill(destination.number, 5.0);
    int32_t variable = destination.number;
    RhombelTestFailResize(1);
    EXPECT_EQ(SptRefReplicate(source.number, &variable), RHOMBEL_NO_MEMORY);
    EXPECT_EQ(variable, destination.number);
    int32_t rows = 0, columns = 0;
    SptRefGetDim(destination.number, &rows, &columns);
    EXPECT_EQ(rows * columns, 1);
    EXPECT_EQ(*static_cast<const double*>(SptRefGetDataPtr(destination.number)), 5.0);

    int32_t none = 0;
    RhombelTestFailResize(1);
    EXPECT_EQ(SptRefReplicate(source.number, &none), RHOMBEL_NO_MEMORY);
    EXPECT_EQ(none, 0);
    EXPECT_EQ(SptRefReplicate(0, &none), RHOMBEL_NOT_A_REFERENCE);
    EXPECT_EQ(SptRefReplicate(source.number, nullptr), RHOMBEL_BAD_ARGUMENT);
    EXPECT_EQ(RhombelTestLiveReferences(), 2);
}

TEST(Rhombel, LocksNestAcrossReferencesAndWithinOne) {
    Ref a, b;
    EXPECT_EQ(SptRefLock(a.number), RHOMBEL_OK);
    EXPECT_EQ(SptRefLock(b.number), RHOMBEL_OK);
    EXPECT_EQ(SptRefLock(a.number), RHOMBEL_OK);
    EXPECT_EQ(RhombelTestLockDepth(a.number), 2);
    EXPECT_EQ(RhombelTestLockDepth(b.number), 1);
    EXPECT_EQ(RhombelTestHeldLocks(), 3);
    // A holder may change what it holds.
    EXPECT_EQ(SptRefInitAndResize(a.number, RHOMBEL_TYPE_DOUBLE, 2, 2), RHOMBEL_OK);
    int32_t variable = b.number;
    EXPECT_EQ(SptRefReplicate(a.number, &variable), RHOMBEL_OK);

    EXPECT_EQ(SptRefUnlock(a.number), RHOMBEL_OK);
    EXPECT_EQ(SptRefUnlock(b.number), RHOMBEL_OK);
    EXPECT_EQ(SptRefUnlock(b.number), RHOMBEL_NOT_HELD);
    EXPECT_EQ(SptRefUnlock(a.number), RHOMBEL_OK);
    EXPECT_EQ(RhombelTestHeldLocks(), 0);
    EXPECT_EQ(SptRefUnlock(0), RHOMBEL_NOT_A_REFERENCE);

    // The holder may dispose of what it holds.
    const int32_t held = SptRefCreate();
    SptRefLock(held);
    EXPECT_EQ(SptRefDispose(held), RHOMBEL_OK);
    EXPECT_EQ(SptRefUnlock(held), RHOMBEL_NOT_A_REFERENCE);
}

}  // namespace
