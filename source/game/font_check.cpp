// The font baker (stb_truetype) trusts every offset, count and index in a font. This walks
// the same tables and glyphs before baking, computing each offset with the same integer
// widths (32-bit sums kept in an int, wrap-around included), and refuses a font if any read
// would land outside the file or outside its table, if a lookup or outline would run for an
// unreasonably long time, or if a value would overflow what the baker stores it in.
#include "font_check.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Bytes [begin, end) of the file.
struct Range {
    u64 begin = 0, end = 0;
};

struct Font {
    const u8* data = nullptr;
    Range file;
    Range cmap, loca, head, glyf, hhea, hmtx;
    u64 index_map = 0;  // chosen cmap subtable
    Range subtable;
    i64 num_glyphs = 0;
    u16 loc_format = 0;
    u16 long_metrics = 0;
};

// Outline extent in font units.
struct Extent {
    bool empty = true;
    f32 x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

constexpr int MAX_COMPOSITE_DEPTH = 8;
// Bounds on the work of baking a font, far above any real font's: components that share
// components would otherwise make it grow exponentially with depth, and a few points
// repeated by flags stand for tens of thousands of points.
constexpr int MAX_OUTLINES_PER_GLYPH = 256;
constexpr u64 MAX_POINTS = 4u << 20;

struct Work {
    int outlines = 0;  // left for the current glyph
    u64 points = MAX_POINTS;  // left for the whole font
};

bool _inside(Range r, u64 at, u64 n) { return at >= r.begin && at <= r.end && n <= r.end - at; }

bool _u8(const Font& f, Range r, u64 at, u32& v) {
    if (!_inside(r, at, 1)) return false;
    v = f.data[at];
    return true;
}

bool _u16(const Font& f, Range r, u64 at, u32& v) {
    if (!_inside(r, at, 2)) return false;
    v = u32(f.data[at]) << 8 | f.data[at + 1];
    return true;
}

bool _i16(const Font& f, Range r, u64 at, i32& v) {
    u32 u;
    if (!_u16(f, r, at, u)) return false;
    v = i16(u16(u));
    return true;
}

bool _u32(const Font& f, Range r, u64 at, u32& v) {
    u32 hi, lo;
    if (!_u16(f, r, at, hi) || !_u16(f, r, at + 2, lo)) return false;
    v = hi << 16 | lo;
    return true;
}

bool _tag(const Font& f, u64 at, const char* tag) {
    return _inside(f.file, at, 4) && std::memcmp(f.data + at, tag, 4) == 0;
}

// Where the first font begins: at 0 for a file that starts with a single font's signature,
// at the offset a collection header names otherwise; anything else is not a font.
bool _font_start(const Font& f, u64& start) {
    const char* single[] = {"\x31\0\0\0", "typ1", "OTTO", "\0\x01\0\0", "true"};
    for (const char* t : single)
        if (_tag(f, 0, t)) {
            start = 0;
            return true;
        }
    if (!_tag(f, 0, "ttcf")) return false;
    u32 version, n, offset;
    if (!_u32(f, f.file, 4, version) || (version != 0x00010000 && version != 0x00020000)) return false;
    if (!_u32(f, f.file, 8, n) || i32(n) <= 0 || !_u32(f, f.file, 12, offset)) return false;
    if (i32(offset) < 0) return false;
    start = offset;
    return true;
}

// The first directory entry with this tag; one whose offset is 0 counts as missing, so the
// table is treated as absent.
bool _table(const Font& f, u64 start, const char* tag, Range& out, bool& found) {
    u32 n;
    if (!_u16(f, f.file, start + 4, n)) return false;
    if (!_inside(f.file, start + 12, u64(n) * 16)) return false;
    found = false;
    for (u32 i = 0; i < n; i++) {
        u64 rec = start + 12 + 16 * u64(i);
        if (std::memcmp(f.data + rec, tag, 4) != 0) continue;
        u32 offset, length;
        _u32(f, f.file, rec + 8, offset);
        _u32(f, f.file, rec + 12, length);
        if (offset == 0) return true;
        out = {offset, u64(offset) + length};
        found = true;
        return out.end <= f.file.end;
    }
    return true;
}

bool _glyph_index(const Font& f, int cp, i64& glyph) {
    const Range r = f.subtable;
    const u64 im = f.index_map;
    u32 format;
    if (!_u16(f, r, im, format)) return false;
    glyph = 0;
    if (format == 0) {
        u32 bytes, g;
        if (!_u16(f, r, im + 2, bytes)) return false;
        if (cp < i64(bytes) - 6) {
            if (!_u8(f, r, im + 6 + u64(cp), g)) return false;
            glyph = g;
        }
        return true;
    }
    if (format == 6) {
        u32 first, count, g;
        if (!_u16(f, r, im + 6, first) || !_u16(f, r, im + 8, count)) return false;
        if (u32(cp) >= first && u32(cp) < first + count) {
            if (!_u16(f, r, im + 10 + u64(u32(cp) - first) * 2, g)) return false;
            glyph = g;
        }
        return true;
    }
    if (format == 4) {
        u32 seg_x2, range_x2, selector, shift_x2;
        if (!_u16(f, r, im + 6, seg_x2) || !_u16(f, r, im + 8, range_x2) ||
            !_u16(f, r, im + 10, selector) || !_u16(f, r, im + 12, shift_x2))
            return false;
        // A real table needs at most 16 halvings; a larger selector would make every lookup
        // repeat its last read up to 65535 times.
        if (selector > 16) return false;
        const u64 segcount = seg_x2 >> 1, shift = shift_x2 >> 1;
        u32 search_range = range_x2 >> 1;
        const u64 end_count = im + 14;
        u64 search = end_count;
        if (cp > 0xffff) return true;
        u32 v;
        if (!_u16(f, r, search + shift * 2, v)) return false;
        if (u32(cp) >= v) search += shift * 2;
        search -= 2;
        for (; selector; selector--) {
            search_range >>= 1;
            if (!_u16(f, r, search + u64(search_range) * 2, v)) return false;
            if (u32(cp) > v) search += u64(search_range) * 2;
        }
        search += 2;
        const u64 item = u16((search - end_count) >> 1);
        u32 start, last, offset;
        if (!_u16(f, r, im + 14 + segcount * 2 + 2 + 2 * item, start) ||
            !_u16(f, r, end_count + 2 * item, last))
            return false;
        if (u32(cp) < start || u32(cp) > last) return true;
        if (!_u16(f, r, im + 14 + segcount * 6 + 2 + 2 * item, offset)) return false;
        if (offset == 0) {
            i32 delta;
            if (!_i16(f, r, im + 14 + segcount * 4 + 2 + 2 * item, delta)) return false;
            glyph = u16(cp + delta);
            return true;
        }
        u32 g;
        if (!_u16(f, r, offset + u64(u32(cp) - start) * 2 + im + 14 + segcount * 6 + 2 + 2 * item, g))
            return false;
        glyph = g;
        return true;
    }
    if (format == 12 || format == 13) {
        u32 groups;
        if (!_u32(f, r, im + 12, groups)) return false;
        if (i32(groups) <= 0) return true;
        if (!_inside(r, im + 16, u64(groups) * 12)) return false;
        i64 low = 0, high = i32(groups);
        while (low < high) {
            i64 mid = low + ((high - low) >> 1);
            u32 first, last, start_glyph;
            _u32(f, r, im + 16 + u64(mid) * 12, first);
            _u32(f, r, im + 16 + u64(mid) * 12 + 4, last);
            if (u32(cp) < first) high = mid;
            else if (u32(cp) > last) low = mid + 1;
            else {
                _u32(f, r, im + 16 + u64(mid) * 12 + 8, start_glyph);
                // Kept in a 32-bit int, so a start glyph near the top wraps to the same
                // (possibly negative) index that baking would use.
                glyph = format == 12 ? i32(start_glyph + u32(cp) - first) : i32(start_glyph);
                return true;
            }
        }
        return true;
    }
    return false;  // other formats stop the baker with an assertion
}

bool _metrics(const Font& f, i64 glyph) {
    const i64 n = f.long_metrics;
    const i64 base = i64(f.hmtx.begin);
    if (glyph < n) return _inside(f.hmtx, u64(base + 4 * glyph), 4);
    if (base + 4 * (n - 1) < 0 || base + 4 * n + 2 * (glyph - n) < 0) return false;
    return _inside(f.hmtx, u64(base + 4 * (n - 1)), 2) &&
           _inside(f.hmtx, u64(base + 4 * n + 2 * (glyph - n)), 2);
}

// The glyph's bytes, or an empty range for a glyph without an outline (equal offsets, or a
// start that overflows to a negative offset).
bool _glyph_bytes(const Font& f, i64 glyph, Range& out) {
    out = {};
    if (glyph >= f.num_glyphs || f.loc_format >= 2) return true;
    u32 a, b;
    if (f.loc_format == 0) {
        if (!_u16(f, f.loca, f.loca.begin + u64(glyph) * 2, a) ||
            !_u16(f, f.loca, f.loca.begin + u64(glyph) * 2 + 2, b))
            return false;
        a *= 2, b *= 2;
    } else if (!_u32(f, f.loca, f.loca.begin + u64(glyph) * 4, a) ||
               !_u32(f, f.loca, f.loca.begin + u64(glyph) * 4 + 4, b)) {
        return false;
    }
    // Summed in 32 bits and kept in an int: an offset that wraps must be judged as wrapped.
    const i32 g1 = i32(u32(f.glyf.begin) + a), g2 = i32(u32(f.glyf.begin) + b);
    if (g1 == g2 || g1 < 0) return true;
    if (u64(g1) < f.glyf.begin || g2 < g1 || u64(g2) > f.glyf.end) return false;
    out = {u64(g1), u64(g2)};
    return out.end - out.begin >= 10;
}

bool _box(const Font& f, Range g, i32 box[4]) {
    for (int i = 0; i < 4; i++)
        if (!_i16(f, g, g.begin + 2 + 2 * u64(i), box[i])) return false;
    return box[0] <= box[2] && box[1] <= box[3];
}

bool _within(const Extent& e, const i32 box[4]) {
    return e.empty || (e.x0 >= f32(box[0]) && e.y0 >= f32(box[1]) && e.x1 <= f32(box[2]) && e.y1 <= f32(box[3]));
}

void _grow(Extent& e, f32 x, f32 y) {
    if (e.empty) {
        e = {false, x, y, x, y};
        return;
    }
    e.x0 = std::min(e.x0, x), e.y0 = std::min(e.y0, y);
    e.x1 = std::max(e.x1, x), e.y1 = std::max(e.y1, y);
}

bool _simple_outline(const Font& f, Range g, i32 contours, Work& work, Extent& e) {
    std::vector<u8> flags;
    std::vector<u32> ends((size_t)contours);
    for (i32 c = 0; c < contours; c++)
        if (!_u16(f, g, g.begin + 10 + 2 * u64(c), ends[(size_t)c])) return false;
    u32 ins;
    if (!_u16(f, g, g.begin + 10 + 2 * u64(contours), ins)) return false;
    u64 p = g.begin + 12 + 2 * u64(contours) + ins;
    const u32 n = ends.back() + 1;
    if (n > work.points) return false;
    work.points -= n;
    flags.resize(n);
    u32 flag = 0, repeat = 0;
    for (u32 i = 0; i < n; i++) {
        if (repeat == 0) {
            if (!_u8(f, g, p++, flag)) return false;
            if (flag & 8)
                if (!_u8(f, g, p++, repeat)) return false;
        } else {
            repeat--;
        }
        flags[i] = u8(flag);
    }
    std::vector<i16> xs(n), ys(n);
    for (int axis = 0; axis < 2; axis++) {
        const u32 is_short = axis == 0 ? 2 : 4, same = axis == 0 ? 16 : 32;
        std::vector<i16>& out = axis == 0 ? xs : ys;
        i32 v = 0;
        for (u32 i = 0; i < n; i++) {
            u32 d;
            if (flags[i] & is_short) {
                if (!_u8(f, g, p++, d)) return false;
                v += (flags[i] & same) ? i32(d) : -i32(d);
            } else if (!(flags[i] & same)) {
                if (!_u16(f, g, p, d)) return false;
                p += 2;
                v += i16(u16(d));
            }
            out[i] = i16(v);
        }
    }
    // A contour that starts off-curve also reads the point after its start, which must exist.
    u32 next_move = 0, j = 0;
    for (u32 i = 0; i < n; i++) {
        if (next_move != i) continue;
        if (!(flags[i] & 1)) {
            if (i + 1 >= n) return false;
            if (flags[i + 1] & 1) i++;
        }
        if (j >= u32(contours)) return false;
        next_move = ends[j++] + 1;
    }
    for (u32 i = 0; i < n; i++) _grow(e, xs[i], ys[i]);
    return true;
}

bool _outline(const Font& f, i64 glyph, int depth, Work& work, Extent& e);

bool _composite_outline(const Font& f, Range g, int depth, Work& work, Extent& e) {
    u64 p = g.begin + 10;
    for (bool more = true; more;) {
        u32 flags, index;
        if (!_u16(f, g, p, flags) || !_u16(f, g, p + 2, index)) return false;
        p += 4;
        // Parts placed by matching points (not by offsets) cannot be baked: refuse them.
        if (!(flags & 2)) return false;
        f32 m[6] = {1, 0, 0, 1, 0, 0};
        i32 a, b, c, d;
        u32 ua, ub;
        if (flags & 1) {
            if (!_i16(f, g, p, a) || !_i16(f, g, p + 2, b)) return false;
            p += 4;
        } else {
            if (!_u8(f, g, p, ua) || !_u8(f, g, p + 1, ub)) return false;
            a = i8(u8(ua)), b = i8(u8(ub));
            p += 2;
        }
        m[4] = f32(a), m[5] = f32(b);
        if (flags & 8) {
            if (!_i16(f, g, p, a)) return false;
            m[0] = m[3] = a / 16384.0f;
            p += 2;
        } else if (flags & 64) {
            if (!_i16(f, g, p, a) || !_i16(f, g, p + 2, d)) return false;
            m[0] = a / 16384.0f, m[3] = d / 16384.0f;
            p += 4;
        } else if (flags & 128) {
            if (!_i16(f, g, p, a) || !_i16(f, g, p + 2, b) || !_i16(f, g, p + 4, c) || !_i16(f, g, p + 6, d))
                return false;
            m[0] = a / 16384.0f, m[1] = b / 16384.0f, m[2] = c / 16384.0f, m[3] = d / 16384.0f;
            p += 8;
        }
        Extent part;
        if (!_outline(f, index, depth + 1, work, part)) return false;
        if (!part.empty) {
            const f32 sx = std::sqrt(m[0] * m[0] + m[1] * m[1]), sy = std::sqrt(m[2] * m[2] + m[3] * m[3]);
            const f32 xs[2] = {part.x0, part.x1}, ys[2] = {part.y0, part.y1};
            // Transformed points are kept in 16 bits; the corners of the part's box bound every
            // point, so checking them keeps each point in range.
            for (f32 x : xs)
                for (f32 y : ys) {
                    f32 tx = sx * (m[0] * x + m[2] * y + m[4]), ty = sy * (m[1] * x + m[3] * y + m[5]);
                    if (!(std::fabs(tx) <= 32000 && std::fabs(ty) <= 32000)) return false;
                    _grow(e, tx, ty);
                }
        }
        more = flags & 32;
    }
    return true;
}

bool _outline(const Font& f, i64 glyph, int depth, Work& work, Extent& e) {
    if (depth > MAX_COMPOSITE_DEPTH || --work.outlines < 0) return false;
    Range g;
    if (!_glyph_bytes(f, glyph, g)) return false;
    if (g.end == g.begin) return true;
    i32 contours, box[4];
    if (!_i16(f, g, g.begin, contours) || !_box(f, g, box)) return false;
    Extent own;
    if (contours > 0 && !_simple_outline(f, g, contours, work, own)) return false;
    if (contours < 0 && !_composite_outline(f, g, depth, work, own)) return false;
    if (!_within(own, box)) return false;
    if (!own.empty) {
        _grow(e, own.x0, own.y0);
        _grow(e, own.x1, own.y1);
    }
    return true;
}

} // namespace

bool font_check(const u8* ttf, size_t len, int first_codepoint, int count, f32 pixel_height,
                int atlas_size) {
    if (!ttf || len < 12 || first_codepoint < 0 || count < 0) return false;
    Font f;
    f.data = ttf;
    f.file = {0, len};
    u64 start = 0;
    if (!_font_start(f, start) || start >= len) return false;

    bool has_cmap, has_loca, has_head, has_glyf, has_hhea, has_hmtx, has_maxp;
    Range maxp;
    if (!_table(f, start, "cmap", f.cmap, has_cmap) || !_table(f, start, "loca", f.loca, has_loca) ||
        !_table(f, start, "head", f.head, has_head) || !_table(f, start, "glyf", f.glyf, has_glyf) ||
        !_table(f, start, "hhea", f.hhea, has_hhea) || !_table(f, start, "hmtx", f.hmtx, has_hmtx) ||
        !_table(f, start, "maxp", maxp, has_maxp))
        return false;
    // Without glyf the outlines are CFF, which nothing here checks: refuse the font.
    if (!has_cmap || !has_loca || !has_head || !has_glyf || !has_hhea || !has_hmtx) return false;

    u32 v;
    f.num_glyphs = 0xffff;
    if (has_maxp) {
        if (!_u16(f, maxp, maxp.begin + 4, v)) return false;
        f.num_glyphs = v;
    }

    u32 encodings;
    if (!_u16(f, f.cmap, f.cmap.begin + 2, encodings)) return false;
    bool mapped = false;
    for (u32 i = 0; i < encodings; i++) {
        const u64 rec = f.cmap.begin + 4 + 8 * u64(i);
        u32 platform, encoding, offset;
        if (!_u16(f, f.cmap, rec, platform) || !_u16(f, f.cmap, rec + 2, encoding)) return false;
        if (platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10))) {
            if (!_u32(f, f.cmap, rec + 4, offset)) return false;
            // The last matching record wins; its offset is added in 32 bits, wrapping included.
            f.index_map = u32(u32(f.cmap.begin) + offset);
            mapped = true;
        }
    }
    if (!mapped) return false;
    f.subtable = {f.index_map, f.cmap.end};
    if (f.index_map < f.cmap.begin || f.index_map >= f.cmap.end) return false;

    if (!_u16(f, f.head, f.head.begin + 50, v)) return false;
    f.loc_format = u16(v);
    i32 ascent, descent;
    if (!_i16(f, f.hhea, f.hhea.begin + 4, ascent) || !_i16(f, f.hhea, f.hhea.begin + 6, descent)) return false;
    if (ascent - descent <= 0) return false;
    if (!_u16(f, f.hhea, f.hhea.begin + 34, v)) return false;
    f.long_metrics = u16(v);
    const f32 scale = pixel_height / f32(ascent - descent);

    Work work;
    std::vector<bool> seen(size_t(f.num_glyphs), false);  // outlines already walked
    for (int i = 0; i < count; i++) {
        i64 glyph;
        if (!_glyph_index(f, first_codepoint + i, glyph)) return false;
        if (glyph < 0 || !_metrics(f, glyph)) return false;
        Range g;
        if (!_glyph_bytes(f, glyph, g)) return false;
        if (g.end != g.begin) {
            i32 box[4];
            if (!_box(f, g, box)) return false;
            const int ix0 = int(std::floor(f32(box[0]) * scale + 0.0f));
            const int iy0 = int(std::floor(f32(-box[3]) * scale + 0.0f));
            const int ix1 = int(std::ceil(f32(box[2]) * scale + 0.0f));
            const int iy1 = int(std::ceil(f32(-box[1]) * scale + 0.0f));
            if (ix1 - ix0 > atlas_size - 2 || iy1 - iy0 > atlas_size - 2) return false;
        }
        if (glyph < f.num_glyphs) {
            if (seen[size_t(glyph)]) continue;
            seen[size_t(glyph)] = true;
        }
        Extent e;
        work.outlines = MAX_OUTLINES_PER_GLYPH;
        if (!_outline(f, glyph, 0, work, e)) return false;
    }
    return true;
}
