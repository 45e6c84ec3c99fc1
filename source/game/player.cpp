#include "player.h"

#include <cmath>

#include "audio.h"
#include "camera.h"
#include "game.h"
#include "input.h"
#include "particles.h"
#include "physics.h"
#include "projectile.h"
#include "random.h"
#include "scene.h"

namespace {
constexpr Color SPARK_COLOR = PALETTE[1];
constexpr Color DUST_COLOR = PALETTE[2];

f32 _r() { return random_unit(); }

f32 _curve(Stat_Curve c, i32 level) { return c.at_level_0 + c.per_level * f32(level); }

// Sparkles around the ship while it holds at least one charge.
void _spawn_sparkle(const Entity& e) {
    Vec2 pos = e.pos + Vec2{(2 * _r() - 1) * 2, (2 * _r() - 1) * 2};
    Vec2 vel = -e.vel * (_r() * 0.1f);
    f32 s = 5 + 2 * _r();
    spawn_sprite_particle(make_dot_particle(pos, vel, PI / 4, s, 0, SPARK_COLOR, 0.5f + 0.5f * _r()));
}

// The trail left behind while boosting.
void _spawn_boost_trail(const Entity& e) {
    Vec2 vel = -e.vel * (_r() * 0.1f);
    vel += Vec2{(2 * _r() - 1) * 5, (2 * _r() - 1) * 5};
    f32 s = 2 + 3 * _r();
    spawn_sprite_particle(make_dot_particle(e.pos, vel, PI / 4, s, 0, SPARK_COLOR, 0.5f + 1.5f * _r()));
}

// One of the burst that marks a newly gained charge.
void _spawn_charge_burst(const Entity& e) {
    Vec2 pos = e.pos + Vec2{(2 * _r() - 1) * 6, (2 * _r() - 1) * 6};
    f32 s = 2 + 2 * _r();
    spawn_sprite_particle(make_dot_particle(pos, {}, PI / 4, s, 1, SPARK_COLOR, 0.5f + 0.5f * _r()));
}

// Dust blown backwards while turning.
void _spawn_steer_dust(const Entity& e, Vec2 forward) {
    f32 s = 1 + 2 * _r();
    spawn_sprite_particle(make_dot_particle(e.pos, -forward * 10, 0, s, 0.5f, DUST_COLOR, 0.5f + _r()));
}

// A flash where the ship meets a wall, and four sparks thrown off the wall along its normal n.
void _spawn_wall_hit(const Entity& e, Vec2 n) {
    spawn_sprite_particle(make_dot_particle(e.pos, {}, PI / 4, 10, 0, DUST_COLOR, 0.45f));
    for (int i = 0; i < 4; i++) {
        Vec2 jitter = {0.4f * (2 * _r() - 1), 0.4f * (2 * _r() - 1)};
        Vec2 vel = normalize(n + jitter) * (5 + 15 * _r());
        f32 s = 2 + _r();
        spawn_sprite_particle(make_dot_particle(e.pos, vel, PI / 4, s, 1, DUST_COLOR, 0.5f + _r()));
    }
}

void _leave_tutorial() {
    if (game.state == tutorial) game_set_state(playing);
}

void _fire(Entity_Ref ref, Vec2 forward) {
    Entity& e = *ref.entity;
    Player_Entity& p = e.variant.player;
    p.num_charges -= 1;
    _leave_tutorial();
    p.charge_timer = 0;
    camera_shake(game.camera, FIRE_SHAKE_TIME, {FIRE_SHAKE_AMPLITUDE, FIRE_SHAKE_AMPLITUDE}, FIRE_SHAKE_FREQUENCY);
    audio_play(player_shoot);
    int n = p.stat_levels[num_bullets] + BULLETS_AT_LEVEL_0;
    f32 speed = _curve(BULLET_SPEED_CURVE, p.stat_levels[bullet_speed]);
    f32 base = angle_of(forward);
    Vec2 origin = e.pos;
    for (int j = 0; j < n; j++) {
        f32 a = base + FAN_SPACING * (f32(j) + 0.5f - f32(n) / 2);
        scene_spawn_entity(make_projectile(origin, from_angle(a) * speed, player_bullet));
    }
}

void _boost(Entity_Ref ref) {
    Entity& e = *ref.entity;
    Player_Entity& p = e.variant.player;
    _leave_tutorial();
    p.charge_timer = 0;
    p.num_charges -= 1;
    p.boost_timer = 0;
    audio_play(player_boost);
    camera_shake(game.camera, BOOST_SHAKE_TIME, {BOOST_SHAKE_AMPLITUDE, BOOST_SHAKE_AMPLITUDE},
                 BOOST_SHAKE_FREQUENCY);
    game.camera.kick_vel += e.vel * BOOST_KICK;
}

void _bounce_walls(Entity& e) {
    f32* coord[2] = {&e.pos.x, &e.pos.y};
    const f32 half[2] = {WALL_HALF.x, WALL_HALF.y};
    for (int axis = 0; axis < 2; axis++) {
        Vec2 n = {};
        f32* n_axis = axis == 0 ? &n.x : &n.y;
        if (*coord[axis] > half[axis]) {
            *coord[axis] = half[axis];
            *n_axis = -1;
        } else if (*coord[axis] < -half[axis]) {
            *coord[axis] = -half[axis];
            *n_axis = 1;
        }
        if (dot(n, n) > 0.25f) {
            e.vel = e.vel - n * (2 * dot(n, e.vel)) - n * WALL_PUSH;
            e.rot = angle_of(e.vel);
            _spawn_wall_hit(e, n);
        }
    }
}
}  // namespace

Entity make_player() {
    Player_Entity p{};
    p.health = PLAYER_START_HEALTH;
    p.stat_levels[max_charges] = PLAYER_START_CHARGE_SLOTS;
    p.input.buffered[0] = p.input.buffered[1] = NOTHING_BUFFERED;
    Entity ship;
    ship.tags = tag_player;
    ship.collider = make_circle_collider(PLAYER_RADIUS);
    ship.variant.kind = variant_player;
    ship.variant.player = p;
    return ship;
}

void player_update(Entity_Ref ref, Time_Step ts) {
    Entity& e = *ref.entity;
    Player_Entity& p = e.variant.player;
    f32 dt = ts.sim;

    player_gather_input(p.input, ts.real);
    p.time_since_damage += dt;
    p.boost_timer += dt;

    if (p.num_charges >= 1)
        for (int i = 0; i < emitter_update(p.dust_emit, SPARKLE_RATE, dt); i++) _spawn_sparkle(e);

    Vec2 forward = from_angle(e.rot);
    f32 speed;
    if (p.boost_timer < BOOST_TIME) {
        speed = _curve(BOOST_SPEED_CURVE, p.stat_levels[boost]);
        for (int i = 0; i < emitter_update(p.dust_emit, BOOST_TRAIL_RATE, dt); i++) _spawn_boost_trail(e);
        p.charge_timer = 0;
    } else if (std::fabs(p.input.dir.x) > STEER_DEADZONE) {
        f32 side = p.input.dir.x > 0 ? 1.0f : -1.0f;
        p.scale = side;
        e.rot -= side * _curve(STEER_RATE_CURVE, p.stat_levels[steering_speed]) * dt;
        p.charge_timer += dt;
        f32 threshold = CHARGE_TIME / _curve(CHARGE_RATE_CURVE, p.stat_levels[charge_time]);
        if (p.charge_timer > threshold) {
            p.charge_timer -= threshold;
            if (p.num_charges < p.stat_levels[max_charges]) {
                p.num_charges += 1;
                audio_play(player_charged);
                for (int i = 0; i < CHARGE_BURST_COUNT; i++) _spawn_charge_burst(e);
            }
        }
        for (int i = 0; i < emitter_update(p.dust_emit, STEER_DUST_RATE, dt); i++) _spawn_steer_dust(e, forward);
        speed = STEER_SPEED;
    } else {
        p.charge_timer = 0;
        speed = CRUISE_SPEED;
    }

    const u8 attack_bit = action_bit(Player_Input_Action::attack);
    const u8 boost_bit = action_bit(Player_Input_Action::boost);
    if ((p.input.pressed & attack_bit) && p.num_charges >= 1) _fire(ref, forward);
    if ((p.input.pressed & boost_bit) && p.num_charges >= 1) _boost(ref);

    Vec2 target = forward * speed;
    f32 k = std::exp(-VELOCITY_RESPONSE * dt);
    e.vel = target * (1 - k) + e.vel * k;
    e.pos += e.vel * dt;
    _bounce_walls(e);
}

bool player_damage(Entity_Ref ref, const Damage_Info& info) {
    Entity& e = *ref.entity;
    Player_Entity& p = e.variant.player;
    if (p.time_since_damage < DAMAGE_INVULNERABLE || p.boost_timer < BOOST_INVULNERABLE) return false;
    p.time_since_damage = 0;
    p.hit_since_spawn = true;
    p.health -= 1;
    game.hit_stop_timer = HIT_STOP;
    game.camera.kick_vel += info.dir * HIT_KICK;
    audio_play(player_damaged);
    e.vel += info.dir * HIT_KNOCKBACK;
    if (p.health < 1) {
        game_set_state(game_over);
        audio_play(game_lose);
    }
    return true;
}

bool player_hidden_by_blink(const Player_Entity& p) {
    if (!p.hit_since_spawn || !(p.time_since_damage < DAMAGE_INVULNERABLE)) return false;
    return i32(p.time_since_damage / HIT_BLINK_INTERVAL) % 2 == 1;
}

void player_draw(const Entity& e) {
    Ship_Sprite_Choice ship = ship_sprite_for_rotation(e.rot);
    if (!player_hidden_by_blink(e.variant.player))
        draw_world_sprite(e.pos, SPRITE_NATIVE_SCALE, ship.turn, WHITE, sprites[ship.slot], DEPTH_SHIP);
    Vec2 f = from_angle(e.rot);
    draw_world_sprite(e.pos + f * AIM_DOT_DIST, {1, 1}, 0, WHITE, sprites[sprite_solid], DEPTH_AIM);
    if (e.variant.player.num_charges < 1) return;
    Cast_Result aim = scene_box_cast(e.pos + f, TARGET_CAST_HALF, f, TARGET_CAST_RANGE, tag_player | tag_projectile, 0);
    if (!aim.hit || aim.what.kind != hit_entity) return;
    if (auto target = scene_get_entity(aim.what.entity))
        draw_world_sprite(target->entity->pos, {1, 1}, 0, WHITE, sprites[sprite_target], DEPTH_AIM);
}
