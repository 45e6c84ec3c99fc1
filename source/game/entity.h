// The entity record and its per-kind variants.
#pragma once
#include "common.h"
#include "player_input.h"
#include "sprite.h"

using Entity_Id = u32;

enum Entity_Tag : u8 {
    tag_destroyed = 1 << 0,
    tag_player = 1 << 1,
    tag_projectile = 1 << 2,
    tag_asteroid = 1 << 3,
    tag_boss = 1 << 4,
};

enum Collider_Kind : u8 { collider_none = 0, collider_box = 1, collider_circle = 2 };
struct Box_Collider { Vec2 size; };  // half-extents, world units
struct Circle_Collider { f32 rad; }; // world units
struct Collider {
    Collider_Kind kind = collider_none;
    union {
        Box_Collider box;
        Circle_Collider circle;
    };
    Collider() : box{} {}
};
inline Collider make_circle_collider(f32 rad) {
    Collider c;
    c.kind = collider_circle;
    c.circle.rad = rad;
    return c;
}
inline Collider make_box_collider(Vec2 half) {
    Collider c;
    c.kind = collider_box;
    c.box.size = half;
    return c;
}

enum Player_Stat : u8 {
    charge_time = 0, boost = 1, steering_speed = 2, num_bullets = 3, bullet_speed = 4,
    max_charges = 5, PLAYER_STAT_COUNT = 6
};

struct Player_Entity {
    Player_Input input;
    f32 scale;                 // side of the last steering, ±1
    i32 health;
    Emitter dust_emit;
    Emitter energy_emit;       // never advanced: nothing the ship does uses it
    f32 charge_timer;          // seconds
    i32 stat_levels[PLAYER_STAT_COUNT];
    f32 time_since_damage;     // seconds
    f32 boost_timer;           // seconds since the last boost began
    i32 num_charges;
    bool hit_since_spawn;      // a hit has counted: the spawn's own immunity does not blink
};

enum Projectile_Kind : u8 { player_bullet = 0, boss_bullet = 1 };
struct Projectile_Entity {
    Projectile_Kind kind;
    Emitter emit;
};

enum Boss_State : u8 {
    waking_up = 0, moving = 1, attack_targeted = 2, attack_big_wave = 3, attack_spin = 4, dying = 5
};
struct Boss_Entity {
    Boss_State state;
    f32 state_timer;        // seconds in this state
    f32 sub_timer;          // seconds since the last shot
    f32 should_move_timer;  // seconds since the last move began
    Vec2 move_end;
    Animator animator;
};

enum Asteroid_Kind : u8 { small = 0, large = 1, bomb = 2, chaser = 3 };
struct Asteroid_Entity {
    Asteroid_Kind kind;
    f32 angular_vel;  // radians per second
};

struct Pickup_Entity {
    f32 timer;     // seconds alive
    f32 duration;  // seconds
};

enum Variant_Kind : u8 {
    variant_none = 0, variant_player = 1, variant_projectile = 2, variant_boss = 3,
    variant_asteroid = 4, variant_pickup = 5
};
struct Entity_Variant {
    Variant_Kind kind = variant_none;
    union {
        Player_Entity player;
        Projectile_Entity projectile;
        Boss_Entity boss;
        Asteroid_Entity asteroid;
        Pickup_Entity pickup;
    };
    Entity_Variant() : player{} {}
};

struct Entity_Debug {};

struct Entity {
    Vec2 pos;         // world units
    Vec2 vel;         // world units per second
    f32 rot = 0;      // radians
    u8 tags = 0;      // Entity_Tag bits
    f32 health = 0;
    Collider collider;
    Entity_Debug debug;
    Entity_Variant variant;
};

struct Entity_Ref {
    Entity_Id id = 0;
    Entity* entity = nullptr;
};
struct Entity_Copy {
    Entity_Id id = 0;
    Entity entity;
};

struct Time_Step {
    f32 sim = 0;   // seconds, scaled by the game's time scale
    f32 real = 0;  // seconds
};

// How one hit is applied: always through entity_damage.
struct Damage_Info {
    f32 amount = 1;
    Entity_Id source = 0;
    Vec2 pos;
    Vec2 dir;  // unit push direction, or zero
};

// The per-kind dispatch; each kind's procedures are declared in its own header
// (player.h, projectile.h, boss.h, asteroid.h, pickup.h).
void entity_update(Entity_Ref ref, Time_Step ts);
// Adds the entity's world sprites to this frame's list.
void entity_draw(const Entity& e);
// True when the hit counted (the ship took damage, the boss was hurt).
bool entity_damage(Entity_Ref target, const Damage_Info& info);
