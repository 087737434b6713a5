// The square-to-disc mapping's grid, built from the stored table of its lower triangle.
#include "warp/square_to_disc.h"

void buildMapGrid(MapGrid* grid) {
    // Every pair of the table goes to its node and, mirrored, to the node across the diagonal;
    // together they cover the grid. A diagonal node is its own mirror and keeps the second write.
    int32_t next = 0;
    for (int32_t j = 0; j < kMapGridNodes; j++) {
        for (int32_t i = 0; i <= j; i++, next++) {
            float x = kMapGridTable[next][0];
            float y = kMapGridTable[next][1];
            grid->nodes[j][i][0] = x;
            grid->nodes[j][i][1] = y;
            grid->nodes[i][j][0] = y;
            grid->nodes[i][j][1] = x;
        }
    }
}
