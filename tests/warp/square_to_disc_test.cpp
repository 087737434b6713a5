// Tests of the square-to-disc mapping through a MapGrid built from the stored table: known
// points of the conformal map, the rim, signs and symmetry, output positions over the filter
// rectangle, and a grid that cannot be had.
#include "warp/square_to_disc.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A built grid and the frame of a 200 x 100 source over it.
struct Grid {
    std::unique_ptr<MapGrid> grid = std::make_unique<MapGrid>();
    MapFrame frame = mapFrameOf(grid.get(), 200, 100);

    Grid() { buildMapGrid(grid.get()); }
    Vec2d square(double x, double y) const { return squarePoint(frame, {x, y}); }
};

// Known points of the map, inside the disc and on the rim, where (0.6, 0.8) lies just beyond the
// square's edge and (0.8, 0.6) is exactly 1 from the centre in double; only points beyond the
// rim are outside. The quadrants mirror one another and the diagonal swaps the coordinates.
TEST(SquareToDisc, KnownPointsOutsideOnlyBeyondTheRimMirroredQuadrantsAndTheDiagonalSwap) {
    Grid grid;
    struct Case {
        double x, y, X, Y, tolerance;
        bool outside;
    };
    const Case cases[] = {
        {0.0, 0.0, 0.0, 0.0, 0.0, false},
        {1.0, 0.0, 1.0, 0.0, 1e-6, false},
        {0.3, 0.2, 0.32426, 0.21561, 1e-4, false},
        {0.5, 0.5, 0.55446, 0.55446, 1e-4, false},
        {0.7071067, 0.7071067, 0.99438, 0.99438, 1e-4, false},
        {0.6, 0.8, 0.59316, 1.00002, 1e-4, false},
        {0.8, 0.6, 1.00002, 0.59316, 1e-4, false},
        {0.8, 0.61, 0, 0, 0, true},
        {0.7071068, 0.7071068, 0, 0, 0, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(outsideDisc({c.x, c.y}), c.outside) << c.x << ", " << c.y;
        if (c.outside) continue;
        Vec2d s = grid.square(c.x, c.y);
        EXPECT_NEAR(s.x, c.X, c.tolerance) << c.x << ", " << c.y;
        EXPECT_NEAR(s.y, c.Y, c.tolerance) << c.x << ", " << c.y;
    }
    EXPECT_GT(grid.square(0.6, 0.8).y, 1.0);

    // The quadrants mirror the first.
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
    EXPECT_NEAR(grid.grid->nodes[99][99][0], 0.5544851f, 2e-7f);
    EXPECT_NEAR(grid.grid->nodes[99][99][1], 1.4455149f, 2e-7f);
}

// Position -1 is the rectangle's left (top) edge, W - 1 its right (bottom) edge: the centre shows
// the centre of the source, pixels 10 and 189 of a 200-wide row are mirror images, and a corner
// shows nothing and leaves the coordinates it held alone. Without a grid (its memory could not be
// had) the disc shows the source's centre.
TEST(SquareToDisc, OutputPositionsMapOverTheFilterRectangle) {
    Grid grid;
    MapResult r = {false, 0.25f, 0.75f}, left, right;
    mapPosition(grid.frame, 99.0f, 49.0f, &r);
    EXPECT_TRUE(r.inside && r.s == 0.5f && r.t == 0.5f);
    mapPosition(grid.frame, 9.5f, 49.5f, &left);
    mapPosition(grid.frame, 188.5f, 49.5f, &right);
    EXPECT_NEAR(left.s, 1.0f - right.s, 1e-6f);
    EXPECT_EQ(left.t, right.t);
    r = {true, 0.25f, 0.75f};
    mapPosition(grid.frame, -1.0f, -1.0f, &r);
    EXPECT_TRUE(!r.inside && r.s == 0.25f && r.t == 0.75f);
    mapPosition(mapFrameOf(nullptr, 200, 100), 30.0f, 60.0f, &r);
    EXPECT_TRUE(r.inside && r.s == 0.5f && r.t == 0.5f);
}

}  // namespace
