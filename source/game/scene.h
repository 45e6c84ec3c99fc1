// The entity store: stable slots, an identifier index, deferred removal.
#pragma once
#include <optional>
#include "entity.h"

// Entities live in fixed pages that never move, so an Entity_Ref stays valid while
// the same world step spawns more entities.
constexpr u32 SCENE_PAGE_SIZE = 256;

struct Scene_Slot {
    Entity_Id id;  // 0 when free
    Entity entity;
};

struct Scene {
    Scene_Slot** pages = nullptr;
    u32 page_count = 0;
    u32 slot_count = 0;       // high-water mark of used slots
    u32* free_slots = nullptr;  // stack of freed slot indices
    u32 free_count = 0;
    u32 free_capacity = 0;
    // open-addressing index id -> slot (linear probing, backward-shift delete)
    u32* index_keys = nullptr;
    u32* index_slots = nullptr;
    u32 index_capacity = 0;   // power of two
    u32 live_count = 0;
    Entity_Id* to_destroy = nullptr;
    u32 to_destroy_count = 0;
    u32 to_destroy_capacity = 0;
    Entity_Id next_id = 1;
};

void scene_make(Scene& s);
void scene_destroy(Scene& s);
void scene_clear(Scene& s);
Entity_Id scene_spawn_entity(Entity e);
void scene_destroy_entity(Entity_Id id);
std::optional<Entity_Ref> scene_get_entity(Entity_Id id);
std::optional<Entity_Copy> scene_get_entity_copy(Entity_Id id);
u32 scene_entity_count(const Scene& s);

// Visit every stored entity (destroyed ones too) in slot order; the callback may spawn.
// Only slots that existed when the walk began are visited.
template <typename F>
void scene_for_each(Scene& s, F&& f) {
    u32 n = s.slot_count;
    for (u32 i = 0; i < n; i++) {
        Scene_Slot& slot = s.pages[i / SCENE_PAGE_SIZE][i % SCENE_PAGE_SIZE];
        if (slot.id != 0) f(Entity_Ref{slot.id, &slot.entity});
    }
}

// Removes the entities destroyed since the last call, in the order they were destroyed;
// the end of every world step.
void scene_remove_destroyed(Scene& s);
