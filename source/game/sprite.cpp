#include "sprite.h"

#include <cmath>

#include "boss.h"
#include "game.h"
#include "physics.h"
#include "player.h"
#include "renderer.h"

Sprite sprites[SPRITE_COUNT];
Sprite_Anim sprite_anims[SPRITE_ANIM_COUNT];

void draw_world_sprite(Vec2 pos, Vec2 scale, f32 rot, const Color& color, Sprite sprite, f32 z) {
    Renderer& r = renderer;
    // Without an atlas there is nothing to show.
    if (r.sprite_count >= MAX_WORLD_SPRITES || !r.sprites || !r.has_atlas) return;
    Vec2 s = {scale.x * f32(sprite.w), scale.y * f32(sprite.h)};
    f32 c = std::cos(rot), n = std::sin(rot);
    Sprite_Instance& inst = r.sprites[r.sprite_count++];
    inst.pos[0] = std::floor(pos.x);
    inst.pos[1] = std::floor(pos.y);
    inst.pos[2] = -z;
    inst.right[0] = s.x * c;
    inst.right[1] = s.x * n;
    inst.up[0] = s.y * n;
    inst.up[1] = -s.y * c;
    inst.color[0] = color_byte(color.r);
    inst.color[1] = color_byte(color.g);
    inst.color[2] = color_byte(color.b);
    inst.color[3] = color_byte(color.a);
    f32 aw = r.atlas_size[0] > 0 ? f32(r.atlas_size[0]) : 1.0f;
    f32 ah = r.atlas_size[1] > 0 ? f32(r.atlas_size[1]) : 1.0f;
    inst.tex_min[0] = f32(sprite.x) / aw;
    inst.tex_min[1] = f32(sprite.y) / ah;
    inst.tex_size[0] = f32(sprite.w) / aw;
    inst.tex_size[1] = f32(sprite.h) / ah;
}

bool animator_update(Animator& a, f32 dt) {
    if (a.anim_id >= SPRITE_ANIM_COUNT) return false;
    const Sprite_Anim& r = sprite_anims[a.anim_id];
    a.frame_timer += dt;
    bool ended = false;
    for (int round = 0; round < 4; round++) {
        int i = a.frame < r.len ? a.frame : r.len;
        if (i >= ANIM_MAX_FRAMES) i = ANIM_MAX_FRAMES - 1;
        f32 d = f32(r.durations[i]) * 0.001f;
        if (a.frame_timer > d) {
            a.frame++;
            a.frame_timer -= d;
        }
        if (a.frame >= r.len) {
            a.frame = r.len;
            ended = true;
        }
    }
    return ended;
}

Sprite animator_sprite(Animator a) {
    if (a.anim_id >= SPRITE_ANIM_COUNT) return {};
    const Sprite_Anim& r = sprite_anims[a.anim_id];
    Sprite base = r.sprite < SPRITE_COUNT ? sprites[r.sprite] : Sprite{};
    u16 k = u16(r.first_frame + a.frame);
    return {u16(base.x + r.frame_width * k), base.y, r.frame_width, base.h};
}

Ship_Sprite_Choice ship_sprite_for_rotation(f32 rot) {
    f32 deg = rot * 180.0f / PI;
    i64 whole = i64(deg);  // truncated
    i64 q = ((whole % 90) + 90) % 90;
    int slot = q <= 22 ? sprite_ship_0 : q <= 45 ? sprite_ship_22 : q <= 67 ? sprite_ship_45 : sprite_ship_67;
    f32 f = std::floor(deg / 90.0f);
    return {slot, (f * 90.0f - 90.0f) * PI / 180.0f};
}

namespace {
constexpr Vec2 NATIVE = {0.5f, 0.5f};
constexpr f32 DEFAULT_Z = 0.5f;
constexpr f32 AIM_DOT_DIST = 16;              // world units ahead of the ship
constexpr Vec2 TARGET_CAST_HALF = {10, 10};   // world units
constexpr f32 TARGET_CAST_RANGE = 1000;       // world units
constexpr Vec2 BOSS_BAR_POS = {0, 57.6f};     // world units
constexpr Vec2 BOSS_BAR_SIZE = {64, 1};       // scale of the solid patch at full health
constexpr Vec2 BOSS_BAR_FRAME = {65, 2};      // scale of the frame around it
// Bullets of the boss and pickups throb: scale PULSE_SCALE ± PULSE_DEPTH.
constexpr f32 PULSE_DEPTH = 0.1f;
constexpr f32 BOSS_BULLET_PULSE_RATE = 10;  // radians per second of game time
constexpr f32 PICKUP_PULSE_RATE = 12;       // radians per second of the pickup's life

void _draw_player(const Entity& e) {
    Ship_Sprite_Choice ship = ship_sprite_for_rotation(e.rot);
    if (!player_hidden_by_blink(e.variant.player))
        draw_world_sprite(e.pos, NATIVE, ship.turn, WHITE, sprites[ship.slot], 0.2f);
    Vec2 f = from_angle(e.rot);
    draw_world_sprite(e.pos + f * AIM_DOT_DIST, {1, 1}, 0, WHITE, sprites[sprite_solid], 0.1f);
    if (e.variant.player.num_charges < 1) return;
    Cast_Result aim = scene_box_cast(e.pos + f, TARGET_CAST_HALF, f, TARGET_CAST_RANGE, tag_player | tag_projectile, 0);
    if (!aim.hit || aim.what.kind != hit_entity) return;
    if (auto target = scene_get_entity(aim.what.entity))
        draw_world_sprite(target->entity->pos, {1, 1}, 0, WHITE, sprites[sprite_target], 0.1f);
}

void _draw_boss(const Entity& e) {
    draw_world_sprite(e.pos, NATIVE, 0, WHITE, animator_sprite(e.variant.boss.animator), 0.4f);
    Vec2 fill = {(e.health / BOSS_MAX_HEALTH) * BOSS_BAR_SIZE.x, BOSS_BAR_SIZE.y};
    draw_world_sprite(BOSS_BAR_POS, fill, 0, PALETTE[1], sprites[sprite_solid], 0.01f);
    draw_world_sprite(BOSS_BAR_POS, BOSS_BAR_SIZE, 0, PALETTE[3], sprites[sprite_solid], 0.011f);
    draw_world_sprite(BOSS_BAR_POS, BOSS_BAR_FRAME, 0, PALETTE[2], sprites[sprite_solid], 0.012f);
}

f32 _round_to_15_degrees(f32 rot) {
    f32 step = 15.0f * PI / 180.0f;
    return std::round(rot / step) * step;  // halves away from zero
}

void _draw_entity(const Entity& e) {
    switch (e.variant.kind) {
        case variant_none: break;
        case variant_player: _draw_player(e); break;
        case variant_projectile:
            switch (e.variant.projectile.kind) {
                case player_bullet:
                    draw_world_sprite(e.pos, NATIVE, angle_of(e.vel) - PI / 2, WHITE,
                                      sprites[sprite_player_bullet], DEFAULT_Z);
                    break;
                case boss_bullet: {
                    f32 p = PULSE_SCALE + PULSE_DEPTH * std::sin(BOSS_BULLET_PULSE_RATE * game.time);
                    draw_world_sprite(e.pos, {p, p}, 0, WHITE, sprites[sprite_boss_bullet], DEFAULT_Z);
                    break;
                }
            }
            break;
        case variant_boss: _draw_boss(e); break;
        case variant_asteroid: {
            static constexpr u8 SLOT[4] = {sprite_small_asteroid, sprite_large_asteroid, sprite_bomb,
                                           sprite_chaser_asteroid};
            draw_world_sprite(e.pos, NATIVE, _round_to_15_degrees(e.rot), WHITE,
                              sprites[SLOT[e.variant.asteroid.kind & 3]], DEFAULT_Z);
            break;
        }
        case variant_pickup: {
            const Pickup_Entity& pk = e.variant.pickup;
            f32 life = pk.duration > 0 ? 2 * pk.timer / pk.duration - 1 : 1;
            f32 grow = 1 - std::pow(std::fabs(life), 4.0f);
            f32 p = grow * (PULSE_SCALE + PULSE_DEPTH * std::sin(PICKUP_PULSE_RATE * pk.timer));
            draw_world_sprite(e.pos, {p, p}, 0, WHITE, sprites[sprite_pickup], DEFAULT_Z);
            break;
        }
    }
}
}  // namespace

void draw_scene() {
    scene_for_each(game.scene, [](Entity_Ref ref) { _draw_entity(*ref.entity); });
    draw_world_sprite({0, 0}, NATIVE, 0, WHITE, sprites[sprite_background], 0.999f);
    for (u32 i = 0; i < particles.count; i++) {
        const Sprite_Particle& p = particles.items[i];
        f32 t = p.duration > 0 ? p.timer / p.duration : 1;
        Vec2 scale = p.size * (1 - t) + p.end_size * t;
        draw_world_sprite(p.pos, scale, p.rot, p.color, p.sprite, DEFAULT_Z);
    }
}
