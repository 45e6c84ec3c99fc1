// Overlap tests and the swept box cast. scene_box_cast keeps the scene_ prefix it has always
// had, though it lives here.
#pragma once
#include "entity.h"

constexpr u32 MAX_QUERY_RESULTS = 64;

// 1 is left free: casts only ever hit entities.
enum Raycast_Hit_Kind : u8 { hit_nothing = 0, hit_entity = 2 };
struct Raycast_Hit {
    union {
        Vec2 point;
        Entity_Id entity;
    };
    Raycast_Hit_Kind kind = hit_nothing;
    Raycast_Hit() : point{} {}
};

struct Cast_Result {
    bool hit = false;
    Vec2 normal;   // unit normal of the face entered
    f32 dist = 0;  // world units along the direction
    Raycast_Hit what;
};

bool circle_overlaps_entity(Vec2 c, f32 r, const Entity& e);

struct Entity_Ref_List {
    Entity_Ref* items;  // frame scratch memory
    u32 count;
};
Entity_Ref_List circle_query_overlapped_entities(Vec2 c, f32 r, Entity_Id exclude);

// Slab test of a segment from `rel` (origin relative to the box centre) along u.
bool ray_box_intersect(Vec2 rel, Vec2 u, Vec2 half, f32& dist, Vec2& normal);
Cast_Result scene_box_cast(Vec2 origin, Vec2 half, Vec2 u, f32 max_dist, u8 ignore_tags,
                           Entity_Id ignore_id);

