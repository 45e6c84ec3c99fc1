#include "particles.h"

#include <cmath>
#include <cstdlib>

#include "game.h"

Particle_List particles;

void spawn_sprite_particle(const Sprite_Particle& p) {
    Particle_List& l = particles;
    if (l.count == l.capacity) {
        u32 cap = l.capacity ? l.capacity * 2 : 256;
        auto* items = static_cast<Sprite_Particle*>(std::realloc(l.items, cap * sizeof(Sprite_Particle)));
        if (!items) return;
        l.items = items;
        l.capacity = cap;
    }
    l.items[l.count++] = p;
}

Sprite_Particle make_dot_particle(Vec2 pos, Vec2 vel, f32 rot, f32 size, f32 end_size, Color color,
                                  f32 life_seconds) {
    Sprite_Particle p;
    p.pos = pos;
    p.vel = vel;
    p.rot = rot;
    p.size = {size, size};
    p.end_size = {end_size, end_size};
    p.color = color;
    p.duration = life_seconds;
    p.sprite = sprites[sprite_solid];
    return p;
}

void _particle_system_update(f32 dt) {
    Particle_List& l = particles;
    // Backwards, so the element swapped into a freed slot was already updated.
    for (u32 k = l.count; k-- > 0;) {
        Sprite_Particle& p = l.items[k];
        p.timer += dt;
        p.pos += p.vel * dt;
        if (p.timer > p.duration) l.items[k] = l.items[--l.count];
    }
}

void _particle_system_reset() { particles.count = 0; }
