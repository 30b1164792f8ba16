// The page's backdrop: what each kind of entity becomes, where blocks are placed, and what a
// hostile drawing costs. One table: a drawing of a few entities, and what its backdrop must be.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>

#include "drawing/backdrop.h"
#include "drawing/dxf.h"

namespace {

// Pairs written "code|value|code|value|...", as a drawing's lines.
std::string pairs(std::string text)
{
    std::replace(text.begin(), text.end(), '|', '\n');
    return text.empty() ? text : text + "\n";
}

Backdrop backdropOf(const std::string& blocks, const std::string& entities, std::size_t budget)
{
    std::string path = testing::TempDir() + "backdrop.dxf";
    std::ofstream(path, std::ios::binary) << pairs("0|SECTION|2|BLOCKS") << pairs(blocks) << pairs("0|ENDSEC")
                                          << pairs("0|SECTION|2|ENTITIES|0|LINE|8|0|10|0|20|0|11|1|21|1")
                                          << pairs(entities) << pairs("0|ENDSEC|0|EOF");
    FileBytes file;
    std::string error;
    EXPECT_TRUE(file.read(path, error)) << error;
    DxfDrawing drawing;
    drawing.keepsOthers = true;
    int lines = 0;
    EXPECT_TRUE(readDxf(std::move(file), drawing, [&](const DxfLine&) { ++lines; }, error)) << error;
    EXPECT_EQ(1, lines);  // the LINE of the model space is the page's, not the backdrop's
    Backdrop backdrop;
    readBackdrop(drawing, backdrop, budget);
    return backdrop;
}

const std::string LINE_IN_BLOCK = "0|BLOCK|2|Door|10|1|20|1|0|LINE|10|1|20|1|11|2|21|1|0|ENDBLK";

TEST(Backdrop, EachKindWhereItStands)
{
    struct Case {
        const char* what;
        std::string blocks, entities;
        std::size_t segments, arcs, marks;
        double left, bottom, right, top;  // of the segments and arcs
        std::size_t budget = BACKDROP_BUDGET, leftOut = 0;
    } cases[] = {
        {"an arc", "", "0|ARC|10|10|20|0|40|5|50|0|51|90", 0, 1, 0, 10, 0, 15, 5},
        {"a circle mirrored by its extrusion", "", "0|CIRCLE|10|5|20|0|40|1|230|-1", 0, 1, 0, -6, -1, -4, 1},
        // Mirrored, it runs clockwise: from 180 degrees up to 90, not down through 270.
        {"an arc mirrored by its extrusion", "", "0|ARC|10|5|20|0|40|1|50|0|51|90|230|-1", 0, 1, 0, -6, 0, -5, 1},
        // A small arc in a block turned a quarter about (10, 10): from 90 degrees to 180.
        {"an arc in a turned block", "0|BLOCK|2|Arc|10|0|20|0|0|ARC|10|0|20|0|40|0.5|50|0|51|90|0|ENDBLK",
         "0|INSERT|2|Arc|10|10|20|10|50|90", 0, 1, 0, 9.5, 10, 10, 10.5},
        // Stretched by a block's uneven scales, a circle is no circle: chords.
        {"a circle scaled unevenly", "0|BLOCK|2|Hole|10|0|20|0|0|CIRCLE|10|0|20|0|40|1|0|ENDBLK", "0|INSERT|2|Hole|41|2|42|1",
         120, 0, 0, -2, -1, 2, 1},
        // The first side bowed out below: a positive bulge turns counterclockwise.
        {"a closed LWPOLYLINE with a bulge", "", "0|LWPOLYLINE|90|4|70|1|10|0|20|0|42|1|10|10|20|0|10|10|20|10|10|0|20|10",
         3, 1, 0, 0, -5, 10, 10},
        {"a closed POLYLINE of VERTEXes", "",
         "0|POLYLINE|66|1|70|1|10|0|20|0|0|VERTEX|10|0|20|0|0|VERTEX|10|4|20|0|0|VERTEX|10|4|20|3|0|SEQEND", 3, 0, 0, 0,
         0, 4, 3},
        // Its major axis rising out of the plane: the minor axis is the normal across it.
        {"a tilted ellipse", "", "0|ELLIPSE|10|0|20|0|11|0|21|4|31|1|40|0.5|210|0|220|-1|230|4", 120, 0, 0,
         -2.0615528128088303, -4, 2.0615528128088303, 4},
        {"an ellipse's right half, from 3/2 pi on", "", "0|ELLIPSE|10|0|20|0|11|4|21|0|40|0.5|41|4.71238898038469|42|1.5707963267948966",
         60, 0, 0, 0, -2, 4, 2},
        // Its extrusion tilted, at elevation 5: the arbitrary axis of DXF, seen from above.
        {"an arc of one chord, tilted", "", "0|ARC|30|5|40|2|50|0|51|3|210|0.48|220|0.36|230|0.8", 1, 0, 0,
         1.1346545343035432, 3.347564737614092, 1.2, 3.4},
        // Base (1, 1), scaled by 2 and 3 and turned a quarter about (10, 10): (1,1)-(2,1) to (10,10)-(10,12).
        {"an INSERT placed, scaled and turned", LINE_IN_BLOCK, "0|INSERT|2|DOOR|10|10|20|10|41|2|42|3|50|90", 1, 0, 0, 10, 10,
         10, 12},
        {"an INSERT mirrored by its extrusion", LINE_IN_BLOCK, "0|INSERT|2|Door|10|10|20|0|230|-1", 1, 0, 0, -11, 0, -10, 0},
        {"a block within a block", LINE_IN_BLOCK + "|0|BLOCK|2|Wall|10|0|20|0|0|INSERT|2|Door|10|5|20|0|0|ENDBLK",
         "0|INSERT|2|Wall|10|0|20|0|50|180", 1, 0, 0, -6, 0, -5, 0},
        // Placed within itself: as deep as blocks go, eight, and no deeper.
        {"a block that places itself", "0|BLOCK|2|Self|10|0|20|0|0|LINE|10|0|20|0|11|1|21|0|0|INSERT|2|Self|10|1|20|0|0|ENDBLK",
         "0|INSERT|2|Self", 8, 0, 0, 0, 0, 8, 0},
        {"texts as points, not those of the paper space", "", "0|TEXT|10|3|20|4|1|a|0|MTEXT|10|5|20|6|0|TEXT|67|1|10|9|20|9",
         0, 0, 2, 0, 0, 0, 0},
        {"numbers that draw nothing", LINE_IN_BLOCK + "|0|BLOCK|2|Big|0|INSERT|2|Door|41|1e300|0|ENDBLK",
         "0|CIRCLE|10|0|20|0|40|0|0|CIRCLE|40|-1|0|ARC|40|nan|0|ARC|40|1|50|inf|0|INSERT|2|Door|41|0|"
         "0|INSERT|2|Big|41|1e300|0|INSERT|2|Nowhere|0|ELLIPSE|11|1|21|0|40|0",
         0, 0, 0, 0, 0, 0, 0},
        {"a bulge too large for its arc is its chord", "", "0|LWPOLYLINE|10|0|20|0|42|1e300|10|1|20|0", 1, 0, 0, 0, 0, 1, 0},
        {"a bulge of round-off is straight", "", "0|LWPOLYLINE|10|0|20|0|42|1e-15|10|10|20|0", 1, 0, 0, 0, 0, 10, 0},
        // A hundred thousand turns and a quarter on: told from within one turn.
        {"an arc of a far angle", "", "0|ARC|10|0|20|0|40|1|50|36000090|51|36000180", 0, 1, 0, -1, 0, 0, 1},
        // A grid of 100 x 100 doors, a budget of 50: 16 doors of 3 each (the place, the LINE, its
        // segment); the grid and the text after it are left out, counted.
        {"the budget spent", LINE_IN_BLOCK, "0|INSERT|2|Door|70|100|71|100|44|2|45|2|0|TEXT|10|1|20|1", 16, 0, 0, 0, 0, 31, 0,
         50, 2},
    };
    for (const auto& c : cases) {
        Backdrop b = backdropOf(c.blocks, c.entities, c.budget);
        EXPECT_EQ(c.segments, b.segments.size()) << c.what;
        EXPECT_EQ(c.arcs, b.arcs.size()) << c.what;
        EXPECT_EQ(c.marks, b.marks.size()) << c.what;
        EXPECT_EQ(c.leftOut, b.leftOut) << c.what;
        if (b.segments.empty() && b.arcs.empty())
            continue;
        double box[] = {INFINITY, INFINITY, -INFINITY, -INFINITY};
        auto add = [&](Point p) {
            box[0] = std::min(box[0], p.x), box[1] = std::min(box[1], p.y), box[2] = std::max(box[2], p.x),
            box[3] = std::max(box[3], p.y);
        };
        for (const Segment& s : b.segments)
            add(s.a), add(s.b);
        // An arc by its points a quarter turn apart from its start, and its end: its box, for
        // arcs that begin on an axis.
        for (const Arc& a : b.arcs) {
            EXPECT_LE(std::abs(a.start), 2 * M_PI) << c.what;  // the canvas draws far angles astray
            for (double t : {0.0, 0.25, 0.5, 0.75, 1.0})
                if (t * 2 * M_PI <= std::abs(a.sweep) + 1e-12 || t == 1.0) {
                    double at = a.start + std::copysign(std::min(t * 2 * M_PI, std::abs(a.sweep)), a.sweep);
                    add({a.centre.x + a.radius * std::cos(at), a.centre.y + a.radius * std::sin(at)});
                }
        }
        EXPECT_NEAR(c.left, box[0], 1e-9) << c.what;
        EXPECT_NEAR(c.bottom, box[1], 1e-9) << c.what;
        EXPECT_NEAR(c.right, box[2], 1e-9) << c.what;
        EXPECT_NEAR(c.top, box[3], 1e-9) << c.what;
    }
}

// The entities drawn are counted, so that the page says how many are not: an INSERT's ATTRIB
// is of its INSERT, and what draws nothing (a missing block, a circle of no size) is not
// drawn. The points to snap to are the ends, not the chords between.
TEST(Backdrop, CountsWhatShows)
{
    Backdrop b = backdropOf(LINE_IN_BLOCK, "0|INSERT|2|Door|10|0|20|0|66|1|0|ATTRIB|10|1|20|1|1|a|0|SEQEND|0|INSERT|2|Nowhere|"
                                           "0|CIRCLE|40|0|0|HATCH|0|TEXT|10|1|20|1|0|ARC|10|0|20|0|40|1|50|0|51|90",
                            BACKDROP_BUDGET);
    EXPECT_EQ(3u, b.drawn);
    EXPECT_EQ(4u, b.corners.size());
}

// An arc keeps what makes it that arc: its start at a far angle, as the drawing means it
// (1e18 degrees is 280), with its ends to snap to there; a gap a hair's breadth short of a
// turn, wide on a large radius, and its ends; and an arc the budget refuses or cuts short
// gives no end it has not drawn.
TEST(Backdrop, ArcsAsMeant)
{
    Backdrop far = backdropOf("", "0|ARC|10|0|20|0|40|1|50|1e18|51|1000000000000000090", BACKDROP_BUDGET);
    ASSERT_EQ(1u, far.arcs.size());
    EXPECT_NEAR(280 * M_PI / 180, far.arcs[0].start, 1e-12);
    ASSERT_EQ(2u, far.corners.size());
    EXPECT_NEAR(std::cos(280 * M_PI / 180), far.corners[0].x, 1e-12);
    EXPECT_NEAR(std::sin(280 * M_PI / 180), far.corners[0].y, 1e-12);

    Backdrop gap = backdropOf("", "0|ARC|10|0|20|0|40|1e12|50|90.0000000005|51|89.9999999995", BACKDROP_BUDGET);
    ASSERT_EQ(1u, gap.arcs.size());
    EXPECT_LT(std::abs(gap.arcs[0].sweep), 2 * M_PI - 1e-12);
    EXPECT_EQ(2u, gap.corners.size());

    // Chords the budget ends halfway: the end they did not reach is nowhere to snap to.
    Backdrop cut = backdropOf("", "0|ELLIPSE|10|0|20|0|11|4|21|0|40|0.5|41|0|42|3.141592653589793", 21);
    EXPECT_EQ(20u, cut.segments.size());
    ASSERT_EQ(1u, cut.corners.size());
    EXPECT_NEAR(4, cut.corners[0].x, 1e-12);

    // 1 for each entity, 30 for each 90-degree arc's chords: the second is refused.
    Backdrop refused = backdropOf("", "0|ARC|40|1|50|0|51|90|0|ARC|40|1|50|0|51|90", 33);
    EXPECT_EQ(1u, refused.arcs.size());
    EXPECT_EQ(2u, refused.corners.size());
}

}  // namespace
