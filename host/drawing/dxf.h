// A DXF drawing as its group-code/value pairs: its LINE entities found, the rest kept as bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/files.h"
#include "base/geometry.h"
#include "drawing/names.h"

// What a drawing file holds, told by its content alone.
enum class DrawingKind { Records, Dxf, BinaryDxf };
DrawingKind kindOf(std::string_view bytes);
// The byte that ends the lines of a file: LF (after a CR or not), or CR in a file that has no LF.
char lineEnd(std::string_view bytes);

// Where the values of groups 10, 20, 11 and 21 of a LINE lie in the file, and their lengths.
struct DxfValues {
    std::array<std::size_t, 4> at{}, length{};
};

// One LINE as it is read. It is handed on and not kept: a drawing holds many.
struct DxfLine {
    long line = 0;            // the file line of its group code 0, which names it
    std::string_view handle;  // group 5, "" when the file has none; a view into the drawing's bytes
    std::string_view layer;   // group 8, likewise
    DxfValues values;
    Segment segment{};
    int colour = 256;        // group 62; 256 takes the layer's colour
    bool modelSpace = true;  // not in paper space (group 67 = 1)
    // Why a coordinate cannot be taken: group i + 1 missing, group i + 5 not a number, group
    // i + 9 given twice; 0 when all four can.
    std::uint8_t problem = 0;
};

// Bytes [from, to) of a drawing.
struct ByteRange {
    std::size_t from = 0, to = 0;
};

struct DxfDrawing {
    FileBytes file;
    std::string_view bytes;              // the file's bytes
    int otherEntities = 0;               // the ENTITIES section's other entities, which are not drawn
    // Set before reading, for the page's backdrop: where the ENTITIES section's other entities
    // lie (neighbours as one range), and the BLOCKS section's pairs, so that only these are read
    // again.
    bool keepsOthers = false;
    std::vector<ByteRange> others, blocks;
    char ending = '\n';  // the byte that ends its lines, as lineEnd tells it
    std::map<std::string, int> layers;   // colour of each layer, by its key
    NameCoding coding;                   // how its names are written, as its header says

    // A layer name as given in the drawing (`raw`, its bytes) decoded to UTF-8, and as compared:
    // blanks around dropped and ASCII letters in lower case. A name that needs decoding is
    // decoded once; a plain ASCII one, most often met, is taken as it is and not kept.
    std::string nameOf(std::string_view raw) const;
    std::string keyOf(std::string_view raw) const;

private:
    const std::pair<std::string, std::string>& named(std::string_view raw) const;
    mutable std::map<std::string, std::pair<std::string, std::string>, std::less<>> names_;
};

// Reads the pairs of `file`, handing each LINE of the ENTITIES section to `take` as it
// ends; false with `error` for a file cut short or not made of pairs.
bool readDxf(FileBytes file, DxfDrawing& drawing, const std::function<void(const DxfLine&)>& take,
             std::string& error);

// Hands each pair of `range`, which readDxf has read (whole pairs), to `take`: its code and its
// value line; comments (999) skipped.
void readPairs(const DxfDrawing& drawing, ByteRange range, const std::function<void(int, std::string_view)>& take);

// Why the line's coordinates cannot be taken, "" when they can.
std::string problemOf(const DxfDrawing& drawing, const DxfLine& line);

// The layer name compared as CAD programs compare it: ASCII case folded, blanks around dropped.
std::string foldedName(std::string_view name);

struct Change;
using Changes = std::vector<Change>;

// Puts the drawing's bytes, piece by piece, with the values of some lines replaced: they are
// named one after another in the order of the file, then the rest of the bytes is put.
class DxfWriter {
public:
    DxfWriter(const DxfDrawing& drawing, const std::function<void(std::string_view)>& put, Changes* changes = nullptr);
    // New texts for the values of groups 10, 20, 11 and 21 of a LINE.
    void replace(const DxfValues& values, const std::array<std::string_view, 4>& texts);
    void finish();

private:
    void add(std::string_view piece);
    const DxfDrawing& drawing_;
    const std::function<void(std::string_view)>& put_;
    std::size_t from_ = 0;  // the first byte not yet put
    std::string chunk_;     // the pieces between the values are a few bytes each: they go out gathered
    Changes* changes_;
    std::size_t written_ = 0;  // the bytes of the new drawing so far
};
