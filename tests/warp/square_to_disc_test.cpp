// Tests of the square-to-disc mapping through a MapGrid built from the stored table: known
// points of the conformal map, the rim, signs and symmetry, and a grid that cannot be had.
#include "warp/square_to_disc.h"

#include <gtest/gtest.h>

#include <bit>

#include "support/test_image.h"

namespace {

// A MapGrid as a run starts it, created small and unbuilt, then built before the first lookup.
struct Grid : TestImage {
    Grid() : TestImage(50, 50, kImageRgbaFloat) { ensureMapGrid(&b); }

    Vec2d square(double x, double y, uint8_t* outside = nullptr) {
        uint8_t flag = 0;
        Vec2d r = discToSquare({x, y}, &b, &flag);
        if (outside) *outside = flag;
        return r;
    }
};

// Known points of the map, inside the disc and on the rim, where (0.6, 0.8) lies just beyond the
// square's edge and (0.8, 0.6) is exactly 1 from the centre in double; points beyond the rim are
// outside and map to the origin.
TEST(SquareToDisc, KnownPointsOfTheMapAndOnlyPointsBeyondTheUnitCircleAreOutside) {
    Grid grid;
    struct Case {
        double x, y, X, Y, tolerance;
        uint8_t outside;
    };
    const Case cases[] = {
        {0.0, 0.0, 0.0, 0.0, 0.0, 0},
        {1.0, 0.0, 1.0, 0.0, 1e-6, 0},
        {0.3, 0.2, 0.32426, 0.21561, 1e-4, 0},
        {0.5, 0.5, 0.55446, 0.55446, 1e-4, 0},
        {0.7071067, 0.7071067, 0.99438, 0.99438, 1e-4, 0},
        {0.6, 0.8, 0.59316, 1.00002, 1e-4, 0},
        {0.8, 0.6, 1.00002, 0.59316, 1e-4, 0},
        {0.8, 0.61, 0.0, 0.0, 0.0, 1},
        {0.7071068, 0.7071068, 0.0, 0.0, 0.0, 1},
    };
    for (const Case& c : cases) {
        uint8_t outside = 2;
        Vec2d s = grid.square(c.x, c.y, &outside);
        EXPECT_EQ(outside, c.outside) << c.x << ", " << c.y;
        EXPECT_NEAR(s.x, c.X, c.tolerance) << c.x << ", " << c.y;
        EXPECT_NEAR(s.y, c.Y, c.tolerance) << c.x << ", " << c.y;
    }
    EXPECT_GT(grid.square(0.6, 0.8).y, 1.0);
}

TEST(SquareToDisc, QuadrantsMirrorAndTheDiagonalSwaps) {
    Grid grid;
    Vec2d q = grid.square(0.3, 0.2);
    Vec2d left = grid.square(-0.3, 0.2);
    Vec2d down = grid.square(0.3, -0.2);
    EXPECT_EQ(left.x, -q.x);
    EXPECT_EQ(left.y, q.y);
    EXPECT_EQ(down.x, q.x);
    EXPECT_EQ(down.y, -q.y);

    // Swapping the plane coordinates swaps the square ones, below the rim.
    for (double a : {0.05, 0.31, 0.52, 0.66}) {
        Vec2d s = grid.square(a, 0.7 - a);
        Vec2d t = grid.square(0.7 - a, a);
        EXPECT_NEAR(s.x, t.y, 2e-6) << a;
        EXPECT_NEAR(s.y, t.x, 2e-6) << a;
    }

    // Beyond the rim the diagonal holds its stored pair mirrored: (Y, X).
    uint32_t c[4];
    getPixel4(99, 99, &grid.b, 0, &c[0], &c[1], &c[2], &c[3]);
    EXPECT_NEAR(std::bit_cast<float>(c[0]), 0.5544851f, 2e-7f);
    EXPECT_NEAR(std::bit_cast<float>(c[1]), 1.4455149f, 2e-7f);
}

TEST(SquareToDisc, OutputPositionsNormaliseOverTheFilterRectangle) {
    TestImage image(200, 100, kImageRgba8);
    const ImageBuffer& source = image.b;

    // Position -1 is the left edge, W - 1 the right edge, x - 0.5 the centre of pixel x.
    EXPECT_EQ(normalisePosition(-1.0f, -1.0f, 1, 0, 0, &source).x, 0.0f);
    EXPECT_EQ(normalisePosition(199.0f, 99.0f, 1, 0, 0, &source).y, 1.0f);
    EXPECT_FLOAT_EQ(normalisePosition(9.5f, 0.0f, 1, 0, 0, &source).x, 10.5f / 200.0f);

    // The centre of the rectangle shows the centre of the source; a corner shows nothing and
    // leaves the coordinates it held alone.
    Grid grid;
    MapResult r = {0, 7, 0.25f, 0.75f};
    mapOutputPosition(99.0f, 49.0f, 1, 0, 0, &source, &grid.b, &r);
    EXPECT_EQ(r.status, kMapMapped);
    EXPECT_EQ(r.kind, kMapKindMapped);
    EXPECT_EQ(r.s, 0.5f);
    EXPECT_EQ(r.t, 0.5f);
    r = {0, 7, 0.25f, 0.75f};
    mapOutputPosition(-1.0f, -1.0f, 1, 0, 0, &source, &grid.b, &r);
    EXPECT_EQ(r.status, kMapOutsideDisc);
    EXPECT_EQ(r.kind, 0);
    EXPECT_EQ(r.s, 0.25f);
    EXPECT_EQ(r.t, 0.75f);

    // Pixels 10 and 189 of a 200-wide row are mirror images about the centre line.
    MapResult left, right;
    mapOutputPosition(9.5f, 49.5f, 1, 0, 0, &source, &grid.b, &left);
    mapOutputPosition(188.5f, 49.5f, 1, 0, 0, &source, &grid.b, &right);
    EXPECT_NEAR(left.s, 1.0f - right.s, 1e-6f);
    EXPECT_EQ(left.t, right.t);

    // Without a grid (never created, or its creation failed) the disc shows the source centre.
    freeImageBuffer(&grid.b);
    mapOutputPosition(30.0f, 60.0f, 1, 0, 0, &source, &grid.b, &r);
    EXPECT_EQ(r.status, kMapMapped);
    EXPECT_EQ(r.s, 0.5f);
    EXPECT_EQ(r.t, 0.5f);
}

}  // namespace
