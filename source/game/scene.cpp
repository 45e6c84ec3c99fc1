#include "scene.h"

#include <cstdlib>
#include <cstring>

#include "game.h"

namespace {
constexpr u32 EMPTY_KEY = 0;

u32 _hash(Entity_Id id) {
    u32 h = id * 0x9E3779B1u;
    return h ^ (h >> 16);
}

Scene_Slot& _slot(Scene& s, u32 i) { return s.pages[i / SCENE_PAGE_SIZE][i % SCENE_PAGE_SIZE]; }

// Returns the probe position of id, or the empty position where it would go.
u32 _index_find(const Scene& s, Entity_Id id) {
    u32 mask = s.index_capacity - 1;
    u32 i = _hash(id) & mask;
    while (s.index_keys[i] != EMPTY_KEY && s.index_keys[i] != id) i = (i + 1) & mask;
    return i;
}

bool _index_grow(Scene& s) {
    u32 new_cap = s.index_capacity ? s.index_capacity * 2 : 32;
    u32* keys = static_cast<u32*>(std::calloc(new_cap, sizeof(u32)));
    u32* slots = static_cast<u32*>(std::calloc(new_cap, sizeof(u32)));
    if (!keys || !slots) {
        std::free(keys);
        std::free(slots);
        return false;
    }
    u32* old_keys = s.index_keys;
    u32* old_slots = s.index_slots;
    u32 old_cap = s.index_capacity;
    s.index_keys = keys;
    s.index_slots = slots;
    s.index_capacity = new_cap;
    for (u32 i = 0; i < old_cap; i++) {
        if (old_keys[i] == EMPTY_KEY) continue;
        u32 j = _index_find(s, old_keys[i]);
        s.index_keys[j] = old_keys[i];
        s.index_slots[j] = old_slots[i];
    }
    std::free(old_keys);
    std::free(old_slots);
    return true;
}

void _index_remove(Scene& s, u32 pos) {
    // Backward-shift deletion keeps probe chains intact without tombstones.
    u32 mask = s.index_capacity - 1;
    u32 hole = pos;
    u32 i = pos;
    for (;;) {
        i = (i + 1) & mask;
        if (s.index_keys[i] == EMPTY_KEY) break;
        u32 home = _hash(s.index_keys[i]) & mask;
        bool movable = (hole <= i) ? (home <= hole || home > i) : (home <= hole && home > i);
        if (movable) {
            s.index_keys[hole] = s.index_keys[i];
            s.index_slots[hole] = s.index_slots[i];
            hole = i;
        }
    }
    s.index_keys[hole] = EMPTY_KEY;
}

template <typename T>
bool _grow(T*& items, u32& capacity, u32 minimum) {
    if (capacity >= minimum) return true;
    u32 new_cap = capacity ? capacity * 2 : 16;
    while (new_cap < minimum) new_cap *= 2;
    T* p = static_cast<T*>(std::realloc(items, size_t(new_cap) * sizeof(T)));
    if (!p) return false;
    items = p;
    capacity = new_cap;
    return true;
}

bool _take_slot(Scene& s, u32& out) {
    if (s.free_count > 0) {
        out = s.free_slots[--s.free_count];
        return true;
    }
    u32 i = s.slot_count;
    if (i / SCENE_PAGE_SIZE >= s.page_count) {
        u32 pc = s.page_count;
        if (!_grow(s.pages, pc, s.page_count + 1)) return false;
        for (u32 p = s.page_count; p < pc; p++) s.pages[p] = nullptr;
        s.page_count = pc;
    }
    Scene_Slot*& page = s.pages[i / SCENE_PAGE_SIZE];
    if (!page) {
        page = static_cast<Scene_Slot*>(std::calloc(SCENE_PAGE_SIZE, sizeof(Scene_Slot)));
        if (!page) return false;
    }
    s.slot_count++;
    out = i;
    return true;
}
}  // namespace

void scene_make(Scene& s) {
    s = Scene{};
    _index_grow(s);
    _grow(s.to_destroy, s.to_destroy_capacity, 16);
    _grow(s.free_slots, s.free_capacity, 16);
}

void scene_destroy(Scene& s) {
    for (u32 p = 0; p < s.page_count; p++) std::free(s.pages[p]);
    std::free(s.pages);
    std::free(s.free_slots);
    std::free(s.index_keys);
    std::free(s.index_slots);
    std::free(s.to_destroy);
    s = Scene{};
}

void scene_clear(Scene& s) {
    for (u32 i = 0; i < s.slot_count; i++) _slot(s, i).id = 0;
    s.slot_count = 0;
    s.free_count = 0;
    if (s.index_keys) std::memset(s.index_keys, 0, s.index_capacity * sizeof(u32));
    s.live_count = 0;
    s.to_destroy_count = 0;
    s.next_id = 1;
}

u32 scene_entity_count(const Scene& s) { return s.live_count; }

Entity_Id scene_spawn_entity(Entity e) {
    Scene& s = game.scene;
    Entity_Id id = s.next_id;
    s.next_id = id + 1 == 0 ? 1 : id + 1;
    if (!s.index_keys) return id;
    // Keep the load factor at or below one half.
    if ((s.live_count + 1) * 2 > s.index_capacity && !_index_grow(s)) return id;
    u32 pos = _index_find(s, id);
    if (s.index_keys[pos] == id) {
        // An identifier reused after wrap-around overwrites in place.
        _slot(s, s.index_slots[pos]).entity = e;
        return id;
    }
    u32 slot;
    if (!_grow(s.free_slots, s.free_capacity, s.slot_count + 1)) return id;
    if (!_take_slot(s, slot)) return id;
    Scene_Slot& sl = _slot(s, slot);
    sl.id = id;
    sl.entity = e;
    s.index_keys[pos] = id;
    s.index_slots[pos] = slot;
    s.live_count++;
    return id;
}

static Scene_Slot* _find(Entity_Id id) {
    Scene& s = game.scene;
    if (id == 0 || !s.index_keys) return nullptr;
    u32 pos = _index_find(s, id);
    if (s.index_keys[pos] != id) return nullptr;
    return &_slot(s, s.index_slots[pos]);
}

std::optional<Entity_Ref> scene_get_entity(Entity_Id id) {
    Scene_Slot* sl = _find(id);
    if (!sl || (sl->entity.tags & tag_destroyed)) return std::nullopt;
    return Entity_Ref{id, &sl->entity};
}

std::optional<Entity_Copy> scene_get_entity_copy(Entity_Id id) {
    auto ref = scene_get_entity(id);
    if (!ref) return std::nullopt;
    return Entity_Copy{id, *ref->entity};
}

void scene_destroy_entity(Entity_Id id) {
    auto ref = scene_get_entity(id);
    if (!ref) return;
    Scene& s = game.scene;
    ref->entity->tags |= tag_destroyed;
    if (!_grow(s.to_destroy, s.to_destroy_capacity, s.to_destroy_count + 1)) return;
    s.to_destroy[s.to_destroy_count++] = id;
}

void scene_remove_destroyed(Scene& s) {
    for (u32 k = 0; k < s.to_destroy_count; k++) {
        Entity_Id id = s.to_destroy[k];
        u32 pos = _index_find(s, id);
        if (s.index_keys[pos] != id) continue;
        u32 slot = s.index_slots[pos];
        _slot(s, slot).id = 0;
        _index_remove(s, pos);
        s.free_slots[s.free_count++] = slot;
        s.live_count--;
    }
    s.to_destroy_count = 0;
    // Trim trailing free slots so walks stay short after a clear-out.
    while (s.slot_count > 0 && _slot(s, s.slot_count - 1).id == 0) {
        u32 last = s.slot_count - 1;
        for (u32 i = 0; i < s.free_count; i++) {
            if (s.free_slots[i] == last) {
                s.free_slots[i] = s.free_slots[--s.free_count];
                break;
            }
        }
        s.slot_count--;
    }
}
