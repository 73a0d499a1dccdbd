// The region editor SptGetMaskH: create, grow, shrink and delete on small
// pictures, a recursive reference fill on random level maps, megapixel fills,
// broken arguments, and exhausted memory (outputs stay copies of the inputs).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fault_walk.h"
#include "host_testing.h"
#include "kessling.h"
#include "testhost.h"

namespace {

// A test-owned host handle holding int32 sizes followed by raw elements.
class Handle {
  public:
    Handle(const std::vector<int32_t>& sizes, const void* elements, std::size_t bytes) {
        const std::size_t sizeBytes = sizes.size() * sizeof(int32_t);
        handle_ = TestHostNewHandle(static_cast<int32_t>(sizeBytes + bytes));
        std::memcpy(*handle_, sizes.data(), sizeBytes);
        if (bytes > 0) std::memcpy(reinterpret_cast<char*>(*handle_) + sizeBytes, elements, bytes);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { TestHostDisposeHandle(handle_); }

    HostArrayHandle get() const { return handle_; }
    // The whole block: sizes and elements.
    std::vector<char> Block() const {
        std::vector<char> bytes(TestHostHandleSize(handle_));
        std::memcpy(bytes.data(), *handle_, bytes.size());
        return bytes;
    }

  private:
    HostArrayHandle handle_;
};

// A label image, level map and region levels as the host holds them.
struct Picture {
    int32_t rows = 0;
    int32_t columns = 0;
    std::vector<int16_t> levels;
    std::vector<uint8_t> labels;
    std::vector<double> regionLevels;
};

// Rows of labels: '.' no region, '1' ... '9' a region.
std::vector<uint8_t> LabelsOf(const std::vector<std::string>& rows) {
    std::vector<uint8_t> labels;
    for (const std::string& row : rows)
        for (const char c : row) labels.push_back(c == '.' ? 0 : static_cast<uint8_t>(c - '0'));
    return labels;
}

std::string Show(const std::vector<uint8_t>& labels, int32_t columns) {
    std::string text;
    for (std::size_t p = 0; p < labels.size(); ++p) {
        text += labels[p] == 0 ? '.' : static_cast<char>('0' + labels[p] % 10);
        if ((p + 1) % columns == 0) text += '\n';
    }
    return text;
}

struct Result {
    std::vector<int32_t> sizes;
    std::vector<uint8_t> labels;
    std::vector<double> levels;
};

Result ReadResult(HostArrayHandle labels, HostArrayHandle levels) {
    Result result;
    result.sizes.resize(3);
    std::memcpy(result.sizes.data(), *labels, 8);
    std::memcpy(&result.sizes[2], *levels, 4);
    const auto* labelBytes = reinterpret_cast<const uint8_t*>(*labels) + 8;
    result.labels.assign(labelBytes,
                         labelBytes + static_cast<std::size_t>(result.sizes[0]) * result.sizes[1]);
    result.levels.resize(result.sizes[2]);
    if (!result.levels.empty())
        std::memcpy(result.levels.data(), reinterpret_cast<char*>(*levels) + 4,
                    result.levels.size() * sizeof(double));
    return result;
}

constexpr int32_t kCreateOrGrow = 0;
constexpr int32_t kShrink = 1;
constexpr int32_t kDelete = 2;

// Seed, method and the fractions of one call.
struct Click {
    int32_t row = 0;
    int32_t column = 0;
    int32_t method = kCreateOrGrow;
    double grow = 0.0;
    double shrink = 0.0;
};

// The host's three inputs and two outputs for one call. With `shared` the
// outputs are the input handles themselves; otherwise fresh empty arrays.
struct HostCall {
    Handle levels;
    Handle labels;
    Handle regionLevels;
    Handle labelsOut;
    Handle levelsOut;
    bool shared;

    HostCall(const Picture& p, bool sharedHandles)
        : levels({p.rows, p.columns}, p.levels.data(), p.levels.size() * sizeof(int16_t)),
          labels({p.rows, p.columns}, p.labels.data(), p.labels.size()),
          regionLevels({static_cast<int32_t>(p.regionLevels.size())}, p.regionLevels.data(),
                       p.regionLevels.size() * sizeof(double)),
          labelsOut({0, 0}, nullptr, 0),
          levelsOut({0}, nullptr, 0),
          shared(sharedHandles) {}

    HostArrayHandle out() const { return shared ? labels.get() : labelsOut.get(); }
    HostArrayHandle outLevels() const { return shared ? regionLevels.get() : levelsOut.get(); }

    int32_t Run(const Click& click) const {
        return SptGetMaskH(levels.get(), labels.get(), regionLevels.get(), &click.row,
                           &click.column, &click.grow, &click.shrink, click.method, out(),
                           outLevels());
    }
    Result Output() const { return ReadResult(out(), outLevels()); }
};

Picture Make(const std::vector<std::vector<int16_t>>& levels,
             const std::vector<std::string>& labels, std::vector<double> regionLevels) {
    Picture p;
    p.rows = static_cast<int32_t>(levels.size());
    p.columns = static_cast<int32_t>(levels[0].size());
    for (const auto& row : levels) p.levels.insert(p.levels.end(), row.begin(), row.end());
    p.labels = LabelsOf(labels);
    p.regionLevels = std::move(regionLevels);
    return p;
}

void ExpectUnchanged(const Result& result, const Picture& p) {
    EXPECT_EQ(result.sizes, (std::vector<int32_t>{p.rows, p.columns,
                                                  static_cast<int32_t>(p.regionLevels.size())}));
    EXPECT_EQ(Show(result.labels, p.columns), Show(p.labels, p.columns));
    EXPECT_EQ(result.levels, p.regionLevels);
}

struct EditCase {
    const char* name;
    std::vector<std::vector<int16_t>> levels;
    std::vector<std::string> labels;
    std::vector<double> regionLevels;
    Click click;
    std::vector<std::string> expectedLabels;  // empty: nothing changes
    std::vector<double> expectedLevels;
};

const std::vector<std::vector<int16_t>> kPlain = {
    {100, 120, 0, 130, 100, 99},
    {0, 100, 0, 100, 0, 100},
    {0, 150, 100, 0, 101, 0},
    {99, 0, 100, 0, 0, 100},
};

// clang-format off
const std::vector<EditCase> kEditCases = {
    {"CreateFollowsFourNeighboursAtOrAboveTheSeedLevel", kPlain,
     {"......", "......", "......", "......"}, {}, {0, 0, kCreateOrGrow},
     {"11....", ".1....", ".11...", "..1..."}, {100}},
    {"CreateFromAHigherSeedTakesFewerPixels", kPlain,
     {"......", "......", "......", "......"}, {}, {0, 1, kCreateOrGrow},
     {".1....", "......", "......", "......"}, {120}},
    {"CreateTouchingRegionTwoJoinsItAtTheLowerLevel", kPlain,
     {"......", "......", "....11", "..22.."}, {90, 130}, {0, 0, kCreateOrGrow},
     {"22....", ".2....", ".22.11", "..22.."}, {90, 100}},
    {"CreateTouchingRegionsOneAndTwoMergesThemAndRenumbersThree", kPlain,
     {"2.....", "21....", "......", "....3."}, {95, 60, 140}, {2, 2, kCreateOrGrow},
     {"11....", "11....", ".11...", "..1.2."}, {60, 140}},
    {"GrowUsesTheLoweredLevel",
     {{10, 74, 75, 80, 200},
      { 0, 200, 0,  0,  76}},
     {"....1", "....1"}, {100}, {0, 4, kCreateOrGrow, 0.25},
     {"..111", "....1"}, {75}},
    {"GrowLowersTheLevelByAtLeastOne",
     {{98, 99, 200, 99},
      { 0,  0,   0,  0}},
     {"..1.", "...."}, {100}, {0, 2, kCreateOrGrow, 0.001},
     {".111", "...."}, {99}},
    {"GrowNeverGoesBelowOne",
     {{0, 1, 2, 200, 5},
      {3, 0, 0,   0, 0}},
     {"...1.", "....."}, {100}, {0, 3, kCreateOrGrow, 1.5},
     {".1111", "....."}, {1}},
    {"GrowMergesAnotherRegionIntoTheSmallerLabelAndRenumbers",
     {{50, 50, 60, 200, 50, 49},
      { 0,  0,  0,   0,  0,  0}},
     {"11.2..", ".....3"}, {40, 100, 80}, {0, 3, kCreateOrGrow, 0.5},
     {"11111.", ".....2"}, {40, 80}},
    {"ShrinkFromTwoHundredByAHalfUsesTwoFiftyFive",
     {{0,   0,   0,   0,   0,   0, 0},
      {0, 300, 300, 300, 300, 300, 0},
      {0, 300, 250, 256, 250, 300, 0},
      {0, 300, 250, 300, 300, 300, 0},
      {0, 300, 300, 300, 300, 300, 0},
      {0,   0,   0,   0,   0,   0, 0}},
     {".......", ".11111.", ".11111.", ".11111.", ".11111.", "......."}, {200},
     {2, 3, kShrink, 0, 0.5},
     {".......", ".......", "...1...", "...11..", ".......", "......."}, {255}},
    {"ShrinkRaisesTheLevelByAtLeastOne",
     {{5,  5,  5,  5, 5},
      {5, 11, 12, 11, 5},
      {5,  5,  5,  5, 5}},
     {"11111", "11111", "11111"}, {10}, {1, 2, kShrink, 0, 0.01},
     {".....", "..1..", "....."}, {11}},
    {"ShrinkTakesTheImageEdgeAsBoundary",
     {{300, 300, 300, 300},
      {300, 300, 300, 300},
      {300, 300, 300, 300}},
     {"1111", "1111", "1111"}, {20}, {1, 1, kShrink, 0, 0.5},
     {"....", ".11.", "...."}, {30}},
    {"ShrinkToNothingDeletesAndRenumbers",
     {{100, 100, 0, 100},
      {100, 100, 0, 100}},
     {"11.2", "11.2"}, {50, 60}, {0, 0, kShrink, 0, 0.2},
     {"...1", "...1"}, {60}},
    {"DeleteRegionOneOfThreeRenumbers", {{1, 1, 1}, {1, 1, 1}},
     {"123", "113"}, {10, 20, 30}, {1, 0, kDelete},
     {".12", "..2"}, {20, 30}},
    {"AnyOtherMethodDeletes", {{1, 1, 1}},
     {"123"}, {10, 20, 30}, {0, 2, -7},
     {"12."}, {10, 20}},
    {"LabelsWithoutALevelAreClearedWhenTheImageChanges", {{5, 5, 0, 5}},
     {".7.1"}, {10}, {0, 0, kCreateOrGrow},
     {"22.1"}, {10, 5}},
    {"ALabelWithoutALevelCannotBeShrunk", {{5, 5, 0, 5}},
     {".7.1"}, {10}, {0, 1, kShrink, 0, 0.5}, {}, {}},
    {"SeedAboveTheFirstRowChangesNothing", kPlain,
     {"1.....", "......", "......", "......"}, {50}, {-1, 0, kCreateOrGrow}, {}, {}},
    {"SeedBelowTheLastRowChangesNothing", kPlain,
     {"1.....", "......", "......", "......"}, {50}, {4, 0, kDelete}, {}, {}},
    {"SeedRightOfTheLastColumnChangesNothing", kPlain,
     {"1.....", "......", "......", "......"}, {50}, {0, 6, kCreateOrGrow}, {}, {}},
    {"SeedOnLevelZeroChangesNothing", kPlain,
     {"1.....", "......", "......", "......"}, {50}, {0, 2, kCreateOrGrow}, {}, {}},
    {"SeedOnANegativeLevelChangesNothing", {{-3, 5}},
     {"1."}, {50}, {0, 0, kDelete}, {}, {}},
    {"ShrinkOutsideEveryRegionChangesNothing", kPlain,
     {"1.....", "......", "......", "......"}, {50}, {0, 1, kShrink, 0, 0.5}, {}, {}},
    {"DeleteOutsideEveryRegionChangesNothing", kPlain,
     {"1.....", "......", "......", "......"}, {50}, {0, 1, kDelete}, {}, {}},
};
// clang-format on

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class MaskEdits : public ::testing::TestWithParam<EditCase> {};

TEST_P(MaskEdits, GiveTheExpectedLabelsAndLevelsThroughBothKindsOfHandle) {
    const EditCase& c = GetParam();
    const Picture input = Make(c.levels, c.labels, c.regionLevels);
    for (const bool shared : {false, true}) {
        SCOPED_TRACE(shared ? "outputs are the input handles" : "outputs are other handles");
        const HostCall call(input, shared);
        EXPECT_EQ(call.Run(c.click), 0);
        const Result result = call.Output();
        if (c.expectedLabels.empty()) {
            ExpectUnchanged(result, input);
            continue;
        }
        EXPECT_EQ(result.sizes,
                  (std::vector<int32_t>{input.rows, input.columns,
                                        static_cast<int32_t>(c.expectedLevels.size())}));
        EXPECT_EQ(Show(result.labels, input.columns),
                  Show(LabelsOf(c.expectedLabels), input.columns));
        EXPECT_EQ(result.levels, c.expectedLevels);
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, MaskEdits, ::testing::ValuesIn(kEditCases),
                         [](const auto& test) { return std::string(test.param.name); });

// An image of 255 regions in its first row (region k at column k - 1).
Picture FullPalette() {
    Picture p;
    p.rows = 2;
    p.columns = 257;
    p.levels.assign(2 * 257, 0);
    p.labels.assign(2 * 257, 0);
    for (int32_t k = 1; k <= 255; ++k) {
        p.labels[k - 1] = static_cast<uint8_t>(k);
        p.regionLevels.push_back(k);
    }
    p.levels[256] = 9;  // column 256, apart from every region
    p.levels[254] = 9;  // region 255 and two pixels below it
    p.levels[257 + 254] = 9;
    p.levels[257 + 255] = 9;
    return p;
}

TEST(MaskLimits, AFullPaletteRefusesANewRegionButStillMerges) {
    const Picture input = FullPalette();
    const HostCall apart(input, false);
    EXPECT_EQ(apart.Run({0, 256, kCreateOrGrow}), 0);
    ExpectUnchanged(apart.Output(), input);

    const HostCall touching(input, false);
    EXPECT_EQ(touching.Run({1, 255, kCreateOrGrow}), 0);
    const Result merged = touching.Output();
    EXPECT_EQ(merged.labels[254], 255);
    EXPECT_EQ(merged.labels[257 + 254], 255);
    EXPECT_EQ(merged.labels[257 + 255], 255);
    EXPECT_EQ(merged.levels.size(), 255u);
    EXPECT_EQ(merged.levels[254], 9.0);
}

// Reference fill, written independently of the bridge: recursive depth-first
// search from every start pixel through steps onto pixels that `enter` accepts.
void Reach(int32_t rows, int32_t columns, int32_t r, int32_t c,
           const std::function<bool(int32_t)>& enter, std::vector<bool>& reached) {
    const int32_t p = r * columns + c;
    if (reached[p]) return;
    reached[p] = true;
    const int32_t dr[] = {-1, 1, 0, 0};
    const int32_t dc[] = {0, 0, -1, 1};
    for (int i = 0; i < 4; ++i) {
        const int32_t nr = r + dr[i];
        const int32_t nc = c + dc[i];
        if (nr < 0 || nr >= rows || nc < 0 || nc >= columns) continue;
        if (enter(nr * columns + nc)) Reach(rows, columns, nr, nc, enter, reached);
    }
}

bool OnBoundary(const Picture& p, int32_t r, int32_t c) {
    const auto in = [&](int32_t rr, int32_t cc) { return p.labels[rr * p.columns + cc] == 1; };
    if (!in(r, c)) return false;
    if (r == 0 || c == 0 || r == p.rows - 1 || c == p.columns - 1) return true;
    return !(in(r - 1, c) && in(r + 1, c) && in(r, c - 1) && in(r, c + 1));
}

// Region 1 after growing (or shrinking) from its boundary at `level`.
std::vector<uint8_t> ReferenceFromBoundary(const Picture& p, double level, bool grow) {
    std::vector<bool> reached(p.labels.size());
    const auto enter = [&](int32_t n) {
        const bool inRegion = p.labels[n] == 1;
        return grow ? !inRegion && p.levels[n] >= level : inRegion && p.levels[n] <= level;
    };
    for (int32_t r = 0; r < p.rows; ++r)
        for (int32_t c = 0; c < p.columns; ++c)
            if (OnBoundary(p, r, c)) Reach(p.rows, p.columns, r, c, enter, reached);
    std::vector<uint8_t> labels(p.labels.size());
    for (std::size_t i = 0; i < labels.size(); ++i)
        labels[i] = grow ? (reached[i] || p.labels[i] == 1) : (p.labels[i] == 1 && !reached[i]);
    return labels;
}

// Create, grow and shrink one region on random level maps, each call's outputs
// fed back as the next call's inputs, against the reference fill.
TEST(MaskReference, RandomEditsMatchARecursiveFill) {
    std::mt19937 random(20261208);
    for (int trial = 0; trial < 300; ++trial) {
        SCOPED_TRACE(::testing::Message() << "trial " << trial);
        Picture p;
        p.rows = 1 + static_cast<int32_t>(random() % 12);
        p.columns = 1 + static_cast<int32_t>(random() % 14);
        const std::size_t n = static_cast<std::size_t>(p.rows) * p.columns;
        for (std::size_t i = 0; i < n; ++i)
            p.levels.push_back(static_cast<int16_t>(random() % 10 * 30));
        p.labels.assign(n, 0);
        const auto seed = static_cast<int32_t>(random() % n);
        const int32_t row = seed / p.columns;
        const int32_t column = seed % p.columns;
        const double seedLevel = p.levels[seed];

        std::vector<uint8_t> expected = p.labels;
        if (seedLevel >= 1) {
            std::vector<bool> reached(n);
            Reach(
                p.rows, p.columns, row, column, [&](int32_t q) { return p.levels[q] >= seedLevel; },
                reached);
            for (std::size_t i = 0; i < n; ++i) expected[i] = reached[i];
        }
        {
            const HostCall call(p, trial % 2 == 0);
            ASSERT_EQ(call.Run({row, column, kCreateOrGrow}), 0);
            const Result created = call.Output();
            ASSERT_EQ(Show(created.labels, p.columns), Show(expected, p.columns));
            if (seedLevel < 1) continue;
            ASSERT_EQ(created.levels, std::vector<double>{seedLevel});
            p.labels = created.labels;
            p.regionLevels = created.levels;
        }

        const double grow = static_cast<double>(random() % 100) / 100.0;
        double grown = std::max(std::min(seedLevel * (1 - grow), seedLevel - 1), 1.0);
        expected = ReferenceFromBoundary(p, grown, true);
        {
            const HostCall call(p, trial % 3 == 0);
            ASSERT_EQ(call.Run({row, column, kCreateOrGrow, grow}), 0);
            const Result result = call.Output();
            ASSERT_EQ(Show(result.labels, p.columns), Show(expected, p.columns)) << "grow " << grow;
            ASSERT_EQ(result.levels, std::vector<double>{grown});
            p.labels = result.labels;
            p.regionLevels = result.levels;
        }

        const double shrink = static_cast<double>(random() % 100) / 100.0;
        double shrunk = std::max(grown * (1 + shrink), grown + 1);
        if (shrunk >= 255) shrunk = 255.0;
        expected = ReferenceFromBoundary(p, shrunk, false);
        const bool gone =
            std::none_of(expected.begin(), expected.end(), [](uint8_t v) { return v; });
        const HostCall call(p, trial % 5 == 0);
        ASSERT_EQ(call.Run({row, column, kShrink, 0, shrink}), 0);
        const Result result = call.Output();
        ASSERT_EQ(Show(result.labels, p.columns), Show(expected, p.columns)) << "shrink " << shrink;
        ASSERT_EQ(result.levels, gone ? std::vector<double>{} : std::vector<double>{shrunk});
    }
}

enum class Shape { kOpen, kSerpentine, kHTree };

// Draws an H of half-width `half` centred at (row, column) and, while the
// children's halves stay at least 2, four half-sized H's at its tips. Every
// tip lies at the same path length from the centre and sibling subtrees stay
// at least one pixel apart, so each pixel has exactly one way in.
void DrawH(std::vector<int16_t>& levels, int32_t side, int32_t row, int32_t column, int32_t half) {
    for (int32_t d = -half; d <= half; ++d) {
        levels[static_cast<std::size_t>(row) * side + column + d] = 40;
        levels[static_cast<std::size_t>(row + d) * side + column - half] = 40;
        levels[static_cast<std::size_t>(row + d) * side + column + half] = 40;
    }
    if (half < 4) return;
    for (const int32_t dr : {-half, half})
        for (const int32_t dc : {-half, half}) DrawH(levels, side, row + dr, column + dc, half / 2);
}

// A square map of `side` pixels at level 40 where open: all of it; a corridor
// one pixel wide that runs along every even row and turns at the ends through
// the odd rows; or an H-tree of 65536 tips all at the same distance from the
// centre, whose breadth-first front keeps outgrowing the queue and where a
// lost entry would lose a whole subtree.
Picture Square(int32_t side, Shape shape) {
    Picture p;
    p.rows = side;
    p.columns = side;
    p.levels.assign(static_cast<std::size_t>(side) * side, shape == Shape::kOpen ? 40 : 0);
    p.labels.assign(p.levels.size(), 0);
    if (shape == Shape::kHTree) DrawH(p.levels, side, side / 2, side / 2, side / 4);
    for (int32_t r = 0; shape == Shape::kSerpentine && r < side; ++r) {
        for (int32_t c = 0; c < side; ++c) {
            const bool turn = (r % 4 == 1 && c == side - 1) || (r % 4 == 3 && c == 0);
            if (r % 2 == 0 || turn) p.levels[static_cast<std::size_t>(r) * side + c] = 40;
        }
    }
    return p;
}

struct LargeFill {
    const char* name;
    Shape shape;
    int32_t row, column;
};

const LargeFill kLargeFills[] = {
    {"serpentine from its far end", Shape::kSerpentine, 1023, 0},
    {"open map from the centre", Shape::kOpen, 512, 512},
    {"H-tree from its root", Shape::kHTree, 512, 512},
};

TEST(MaskLargeFills, EveryPixelOfALongPathOrAnOpenMapIsLabelled) {
    for (const LargeFill& fill : kLargeFills) {
        SCOPED_TRACE(fill.name);
        const Picture p = Square(1024, fill.shape);
        const HostCall call(p, false);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(call.Run({fill.row, fill.column, kCreateOrGrow}), 0);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        std::printf("[ fill     ] 1024 x 1024 %s: %.1f ms\n", fill.name, ms);
        const Result result = call.Output();
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < p.levels.size(); ++i)
            wrong += result.labels[i] != (p.levels[i] >= 1 ? 1 : 0);
        EXPECT_EQ(wrong, 0u);
        EXPECT_EQ(result.levels, std::vector<double>{40});
    }
}

// Broken arguments: nothing changes, the outputs become what could be copied
// of the inputs, and nothing crashes.
TEST(MaskArguments, BrokenInputsLeaveCopiesOfTheInputs) {
    const Picture p = Make({{5, 5}, {5, 5}}, {"1.", ".."}, {3});
    const std::vector<int16_t> wide(3, 5);
    const Handle mismatched({1, 3}, wide.data(), 6);
    const int32_t row = 0;
    const int32_t column = 1;
    const double fraction = 0.5;
    struct Broken {
        const char* what;
        bool nullLevels, nullLabels, nullRegionLevels, mismatch, nullSeed, nullFraction;
    };
    const Broken cases[] = {
        {"no level map", true, false, false, false, false, false},
        {"no labels", false, true, false, false, false, false},
        {"no region levels", false, false, true, false, false, false},
        {"level map of another size", false, false, false, true, false, false},
        {"no seed", false, false, false, false, true, false},
        {"no fraction", false, false, false, false, false, true},
    };
    for (const Broken& b : cases) {
        SCOPED_TRACE(b.what);
        const HostCall call(p, false);
        const HostArrayHandle levels = b.nullLevels ? nullptr
                                       : b.mismatch ? mismatched.get()
                                                    : call.levels.get();
        EXPECT_EQ(
            SptGetMaskH(levels, b.nullLabels ? nullptr : call.labels.get(),
                        b.nullRegionLevels ? nullptr : call.regionLevels.get(),
                        b.nullSeed ? nullptr : &row, &column, b.nullFraction ? nullptr : &fraction,
                        &fraction, 0, call.labelsOut.get(), call.levelsOut.get()),
            0);
        Picture expected = p;
        if (b.nullLabels) expected = Picture{0, 0, {}, {}, p.regionLevels};
        if (b.nullRegionLevels) expected.regionLevels.clear();
        ExpectUnchanged(call.Output(), expected);
    }

    // Without both outputs, or with outputs shared with the wrong inputs,
    // nothing is written at all.
    const HostCall call(p, false);
    const auto before = call.labels.Block();
    const auto levelsBefore = call.regionLevels.Block();
    const auto outBefore = call.levelsOut.Block();
    EXPECT_EQ(SptGetMaskH(call.levels.get(), call.labels.get(), call.regionLevels.get(), &row,
                          &column, &fraction, &fraction, 0, nullptr, call.levelsOut.get()),
              0);
    EXPECT_EQ(call.levelsOut.Block(), outBefore);
    EXPECT_EQ(
        SptGetMaskH(call.levels.get(), call.labels.get(), call.regionLevels.get(), &row, &column,
                    &fraction, &fraction, 0, call.regionLevels.get(), call.labels.get()),
        0);
    EXPECT_EQ(call.labels.Block(), before);
    EXPECT_EQ(call.regionLevels.Block(), levelsBefore);
}

// Each edit whose memory runs out: every scratch allocation and every host
// resize in turn. The host's label image and levels stay as they were: shared
// handles keep their contents, and other outputs hold either a copy of the
// input or what they held before the call, never part of the edit.
TEST(MaskMemory, ExhaustedMemoryLeavesTheInputsAsTheyWere) {
    struct Edit {
        std::string what;
        Picture picture;
        Click click;
    };
    std::vector<Edit> edits;
    for (const EditCase& c : kEditCases)
        if (!c.expectedLabels.empty())
            edits.push_back({c.name, Make(c.levels, c.labels, c.regionLevels), c.click});
    edits.push_back({"H-tree fill", Square(1024, Shape::kHTree), {512, 512}});
    for (const Edit& e : edits) {
        SCOPED_TRACE(e.what);
        const Picture& p = e.picture;
        for (const bool shared : {false, true}) {
            SCOPED_TRACE(shared ? "shared handles" : "other handles");
            // An output whose own resize failed keeps what it held (nothing, here).
            const auto check = [&](const HostCall& call, int32_t status, bool labelsKept,
                                   bool levelsKept) {
                EXPECT_EQ(status, 0);
                const Result result = call.Output();
                if (shared) {
                    ExpectUnchanged(result, p);
                    return;
                }
                if (labelsKept)
                    EXPECT_EQ(result.sizes[0] * result.sizes[1], 0);
                else
                    EXPECT_EQ(Show(result.labels, p.columns), Show(p.labels, p.columns));
                if (levelsKept)
                    EXPECT_EQ(result.sizes[2], 0);
                else
                    EXPECT_EQ(result.levels, p.regionLevels);
            };
            std::unique_ptr<HostCall> call;
            const auto run = [&] {
                call = std::make_unique<HostCall>(p, shared);
                return call->Run(e.click);
            };
            const int allocations = testsupport::WalkAllocationFailures(
                run, [&](int64_t, int32_t s) { check(*call, s, false, false); });
            EXPECT_GE(allocations, 5);
            const int resizes = hosttest::WalkResizeFailures(
                TESTHOST_MEMORY_FULL, run,
                [&](int32_t k, int32_t s) { check(*call, s, k == 1, k == 2); });
            EXPECT_EQ(resizes, 2);
        }
    }
}

}  // namespace
