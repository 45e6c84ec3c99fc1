// Sprite rectangles, the sprite and animation tables, animators and world sprites.
#pragma once
#include "common.h"

struct Sprite {
    u16 x = 0, y = 0, w = 0, h = 0;  // atlas pixels, origin top-left
};
static_assert(sizeof(Sprite) == 8);

constexpr int SPRITE_COUNT = 21;
constexpr int ANIM_MAX_FRAMES = 32;

enum Sprite_Anim_Id : u8 {
    invalid_invalid = 0, ship_idle, ship_steer, ship_boost, boss_idle, SPRITE_ANIM_COUNT
};
// Where one entity is in its animation.
struct Animator {
    Sprite_Anim_Id anim_id = invalid_invalid;
    u8 frame = 0;
    f32 frame_timer = 0;  // seconds
};

struct Sprite_Anim {
    u8 sprite;                    // index into the sprite table
    u8 len;                       // frame count
    u16 first_frame;
    u16 frame_width;              // atlas pixels
    u16 durations[ANIM_MAX_FRAMES];  // milliseconds
    u8 padding[2];
    f32 duration;                 // seconds; stored, never read
};
static_assert(sizeof(Sprite_Anim) == 76);

// Fixed sprite slots.
enum Sprite_Slot : u8 {
    sprite_solid = 1, sprite_background = 2, sprite_target = 3, sprite_bomb = 5,
    sprite_ship_0 = 6, sprite_ship_22 = 7, sprite_ship_45 = 8, sprite_ship_67 = 9,
    sprite_title = 10, sprite_pickup = 11, sprite_player_bullet = 13, sprite_boss_bullet = 14,
    sprite_large_asteroid = 17, sprite_small_asteroid = 18, sprite_chaser_asteroid = 19,
    sprite_popup = 20,
};

// Boss bullets and pickups throb around this scale (half-extent in units of their size):
// PULSE_SCALE ± PULSE_DEPTH.
constexpr f32 PULSE_SCALE = 0.6f;
constexpr f32 PULSE_DEPTH = 0.1f;
// A sprite's quad spans -1..1, so this scale shows it at its own pixel size.
constexpr Vec2 SPRITE_NATIVE_SCALE = {0.5f, 0.5f};

// How deep each layer of the world sits: 0 nearest, 1 farthest; nearer hides farther.
constexpr f32 DEPTH_BACKGROUND = 0.999f;
constexpr f32 DEPTH_DEFAULT = 0.5f;  // rocks, bullets, pickups, particles, the title
constexpr f32 DEPTH_BOSS = 0.4f;
constexpr f32 DEPTH_SHIP = 0.2f;
constexpr f32 DEPTH_AIM = 0.1f;      // the aim marker and the target mark
constexpr f32 DEPTH_BOSS_BAR_FRAME = 0.012f;
constexpr f32 DEPTH_BOSS_BAR_BACK = 0.011f;
constexpr f32 DEPTH_BOSS_BAR_FILL = 0.01f;
constexpr f32 DEPTH_FADE = 0.001f;   // the black between states, over everything

extern Sprite sprites[SPRITE_COUNT];
extern Sprite_Anim sprite_anims[SPRITE_ANIM_COUNT];

void draw_world_sprite(Vec2 pos, Vec2 scale, f32 rot, const Color& color, Sprite sprite, f32 z);
bool animator_update(Animator& a, f32 dt);
Sprite animator_sprite(Animator a);
// Sprite slot and quad turn (radians) for a ship heading in radians.
struct Ship_Sprite_Choice { int slot; f32 turn; };
Ship_Sprite_Choice ship_sprite_for_rotation(f32 rot);
void draw_scene();
