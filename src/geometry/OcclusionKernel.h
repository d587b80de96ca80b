#pragma once

// The data the packet walk of OcclusionCaster reads, flattened from a PolyPack, and the
// interface of its builds (baseline, AVX2 and AVX-512). Plain structures only: the AVX2 build is
// compiled with other instructions, and must share no inline code with the rest of the program.

#include <cstddef>
#include <cstdint>

namespace Vrenn {

// What a node's or leaf's cell box is good for.
enum CasterCellTest : int32_t {
    kCellSkip = 0,  // little tighter than its parent's: not worth testing
    kCellTest = 1,  // test segments against it
    kCellEmpty = 2, // nothing below can be hit at all
};

struct CasterNode {
    float nx, ny, nz, d;
    int32_t front, back; // >= 0: a node; < 0: leaf -c - 1
    // The cell box of everything below (see CasterScene::cellSlackLimit) and what to do with it.
    float cellLo[3], cellHi[3];
    int32_t cellTest;
};

// A blocking polygon as the leaf test needs it; each leaf lists its own copies.
struct CasterPolygon {
    float nx, ny, nz, d;
    float ox, oy, oz;   // chart origin
    float ux, uy, uz;   // axis U / size U
    float vx, vy, vz;   // axis V / size V
    float x, y;         // first texel of the placed rectangle
    float spanX, spanY; // placed width and height minus 1
    int32_t flipped;
    // Set when the mask covers every texel the placed rectangle reaches: the leaf test then
    // needs no look-up of the mask for this polygon.
    int32_t covered;
    // Bit o (0 ... 7) set when a segment whose direction's signs are o (bit 0: x negative, bit
    // 1: y, bit 2: z; a zero counts as either) can meet the polygon from its front; bit 8 always
    // set. The leaf test skips the polygon for whole vectors of segments of an octant it
    // cannot face.
    int32_t facingOctants;
};

struct CasterLeaf {
    float lo[3], hi[3];         // the leaf's box, as the plain walk tests it
    float cellLo[3], cellHi[3]; // its cell box
    int32_t cellTest;
    uint32_t first, count; // its polygons in CasterScene::polygons
};

struct CasterScene {
    const CasterNode* nodes = nullptr;
    size_t nodeCount = 0;
    const CasterLeaf* leaves = nullptr;
    size_t leafCount = 0;
    const CasterPolygon* polygons = nullptr;
    const int32_t* polygonNumbers = nullptr; // the pack's number of each entry of polygons
    const uint8_t* mask = nullptr;           // coverage mask, one byte per atlas texel
    size_t maskWidth = 0;
    // Set when the mask has kCasterMaskPadding readable bytes behind it and every texel's index
    // fits a 32-bit signed integer: the wide builds then read it with vector gathers.
    bool maskGathers = false;
    // Cell boxes: where in a node's or leaf's cell (the region its ancestors' planes bound, a
    // little widened) the polygons below can be hit. A segment with a slack of at most
    // cellSlackLimit that passes further than cellSlackScale slacks from the cell box cannot hit
    // anything there. 0: no cell boxes (see OcclusionCaster.cpp).
    float cellSlackLimit = 0.0f;
    float cellSlackScale = 0.0f;
};

constexpr size_t kCasterMaskPadding = 4;

// Scratch for the packets of one walk: a stack of bytes that grows on demand (its base may
// move when it grows, so the walk addresses packets by offset).
struct CasterArena {
    uint8_t* base = nullptr;
    size_t used = 0;
    size_t capacity = 0;
};

// Makes room for bytes more past used; false when no memory could be had.
bool growCasterArena(CasterArena& arena, size_t bytes);

// A packet: lanes of segments (start, end, slack) with the number of the ray each belongs
// to, stored as eight arrays of cap entries from offset: p0x p0y p0z p1x p1y p1z slack
// (floats), ray (uint32). The hit walk's packets have two more: s0 s1 (floats), where the
// segment starts and ends along its ray (0 its start, 1 its end).
struct CasterPacket {
    size_t offset = 0;
    uint32_t count = 0;
    uint32_t cap = 0;
};

constexpr int kCasterPacketArrays = 8;
constexpr int kCasterHitPacketArrays = 10;
// Lanes a packet holds beyond its count, so that whole vectors can be read from any lane.
constexpr uint32_t kCasterPacketPadding = 16;

// Walks the tree with packet (its lanes filled from the arena's start) and sets blocked[ray]
// to 1 (a word per ray, for vector gathers) for every ray one of its segments is blocked for. Lanes
// of rays already blocked are skipped. False when the arena could not grow (the answers are then
// incomplete).
bool castPacketBaseline(const CasterScene& scene, CasterArena& arena, CasterPacket packet,
                        uint32_t* blocked);
bool castPacketAvx2(const CasterScene& scene, CasterArena& arena, CasterPacket packet,
                    uint32_t* blocked);
bool castPacketAvx512(const CasterScene& scene, CasterArena& arena, CasterPacket packet,
                      uint32_t* blocked);

// Each ray's nearest hit, a value per ray: where along the ray (0 its start, 1 its end; the
// walk only lowers it, so it starts above any hit, e.g. at 2), the pack's polygon number and the
// atlas texel (row * mask width + column). A walk keeps a hit only when it is nearer than the
// one held, or as near with a lower polygon number.
struct CasterHitAnswers {
    float* along = nullptr;
    int32_t* polygon = nullptr;
    int32_t* texel = nullptr;
};

// The hit walk: as castPacket, with packets of kCasterHitPacketArrays arrays, and every hit of a
// ray's segments that is nearer than its answer's goes into it.
bool castHitsBaseline(const CasterScene& scene, CasterArena& arena, CasterPacket packet,
                      const CasterHitAnswers& hits);
bool castHitsAvx2(const CasterScene& scene, CasterArena& arena, CasterPacket packet,
                  const CasterHitAnswers& hits);
bool castHitsAvx512(const CasterScene& scene, CasterArena& arena, CasterPacket packet,
                    const CasterHitAnswers& hits);

} // namespace Vrenn
