#include "physics.h"

#include <cmath>

#include "game.h"
#include "scene.h"

bool circle_overlaps_entity(Vec2 c, f32 r, const Entity& e) {
    switch (e.collider.kind) {
        case collider_none: return false;
        case collider_circle: return length(e.pos - c) < e.collider.circle.rad + r;
        case collider_box: {
            Vec2 d = {std::fabs(c.x - e.pos.x) - e.collider.box.size.x,
                      std::fabs(c.y - e.pos.y) - e.collider.box.size.y};
            d.x = d.x < 0 ? 0 : d.x;
            d.y = d.y < 0 ? 0 : d.y;
            return length(d) < r;
        }
    }
    return false;
}

Entity_Ref_List circle_query_overlapped_entities(Vec2 c, f32 r, Entity_Id exclude) {
    Entity_Ref_List out;
    out.items = static_cast<Entity_Ref*>(scratch_alloc(sizeof(Entity_Ref) * MAX_QUERY_RESULTS));
    out.count = 0;
    if (!out.items) return out;
    Scene& s = game.scene;
    for (u32 i = 0; i < s.slot_count && out.count < MAX_QUERY_RESULTS; i++) {
        Scene_Slot& sl = s.pages[i / SCENE_PAGE_SIZE][i % SCENE_PAGE_SIZE];
        if (sl.id == 0 || sl.id == exclude || (sl.entity.tags & tag_destroyed)) continue;
        if (circle_overlaps_entity(c, r, sl.entity)) out.items[out.count++] = {sl.id, &sl.entity};
    }
    return out;
}

static f32 _sign(f32 v) { return v > 0 ? 1.0f : (v < 0 ? -1.0f : 0.0f); }

bool ray_box_intersect(Vec2 rel, Vec2 u, Vec2 half, f32& dist, Vec2& normal) {
    constexpr f32 PARALLEL = 1.0f / 4194304.0f;  // 2^-22
    f32 entry = 0, exit = 1e20f;
    f32 near_x = -INFINITY, near_y = -INFINITY;
    const f32 r[2] = {rel.x, rel.y}, d[2] = {u.x, u.y}, h[2] = {half.x, half.y};
    f32* nears[2] = {&near_x, &near_y};
    for (int a = 0; a < 2; a++) {
        if (std::fabs(d[a]) < PARALLEL) {
            if (r[a] < -h[a] || r[a] > h[a]) return false;
            continue;
        }
        f32 inv = 1.0f / d[a];
        f32 n = -(r[a] * inv) - h[a] * std::fabs(inv);
        f32 f = h[a] * std::fabs(inv) - r[a] * inv;
        *nears[a] = n;
        if (n > entry) entry = n;
        if (f < exit) exit = f;
    }
    if (entry > exit || exit < 0) return false;
    dist = entry;
    normal = near_x > near_y ? Vec2{-_sign(u.x), 0} : Vec2{0, -_sign(u.y)};
    return true;
}

Cast_Result scene_box_cast(Vec2 origin, Vec2 half, Vec2 u, f32 max_dist, u8 ignore_tags,
                           Entity_Id ignore_id) {
    Cast_Result best;
    f32 best_dist = max_dist;
    Scene& s = game.scene;
    for (u32 i = 0; i < s.slot_count; i++) {
        Scene_Slot& sl = s.pages[i / SCENE_PAGE_SIZE][i % SCENE_PAGE_SIZE];
        const Entity& e = sl.entity;
        if (sl.id == 0 || sl.id == ignore_id || (e.tags & ignore_tags)) continue;
        Vec2 box;
        switch (e.collider.kind) {
            case collider_none: continue;
            case collider_circle: box = {e.collider.circle.rad + half.x, e.collider.circle.rad + half.y}; break;
            case collider_box: box = e.collider.box.size + half; break;
        }
        f32 dist;
        Vec2 normal;
        if (!ray_box_intersect(origin - e.pos, u, box, dist, normal)) continue;
        if (dist < best_dist) {
            best_dist = dist;
            best.hit = true;
            best.dist = dist;
            best.normal = normal;
            best.what.kind = hit_entity;
            best.what.entity = sl.id;
        }
    }
    return best;
}
