#include <cmath>

#include "game.h"
#include "physics.h"
#include "random.h"

namespace {
constexpr f32 WAKE_TIME = 5;          // seconds
constexpr f32 MOVE_EVERY = 15;        // seconds between moves
constexpr f32 DYING_TIME = 5;         // seconds before the body is removed
constexpr f32 ARRIVE_DIST = 3;        // world units
constexpr f32 MAX_HEALTH = 20;

void _enter(Boss_Entity& b, Boss_State s) {
    if (b.state == s) return;
    b.state = s;
    b.state_timer = 0;
}

void _spawn_bullet(Vec2 pos, Vec2 vel) { scene_spawn_entity(make_projectile(pos, vel, boss_bullet)); }
}  // namespace

void boss_choose_next_state(Entity_Ref ref) {
    Entity& e = *ref.entity;
    Boss_Entity& b = e.variant.boss;
    if (b.should_move_timer > MOVE_EVERY) {
        b.should_move_timer = 0;
        audio_play(boss_moving);
        _enter(b, moving);
        static constexpr Vec2 DIRS[4] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        Vec2 d = DIRS[random_u64() & 3];
        b.move_end = {d.x * 160 * 0.3f, d.y * 144 * 0.3f};
        if (length(b.move_end - e.pos) < 0.1f) b.move_end = -b.move_end;
        return;
    }
    if (e.health / MAX_HEALTH > 0.5f) {
        static constexpr Boss_State HEALTHY[3] = {attack_spin, attack_spin, attack_targeted};
        _enter(b, HEALTHY[random_below(3)]);
    } else {
        static constexpr Boss_State HURT[2] = {attack_spin, attack_big_wave};
        _enter(b, HURT[random_below(2)]);
    }
}

void boss_update(Entity_Ref ref, Time_Step ts) {
    Entity& e = *ref.entity;
    Boss_Entity& b = e.variant.boss;
    f32 dt = ts.sim;
    bool first_update = b.state_timer == 0;
    b.state_timer += dt;
    b.should_move_timer += dt;
    b.sub_timer += dt;
    if (animator_update(b.animator, dt)) b.animator.frame = 0;

    switch (b.state) {
        case waking_up:
            if (first_update) audio_play(boss_waking_up);
            if (b.state_timer > WAKE_TIME) {
                boss_choose_next_state(ref);
                game.camera.kick_vel += Vec2{0, -20};
            } else {
                f32 a = std::pow(b.state_timer / 15, 4.0f);
                camera_shake(game.camera, 0.1f, {a, a}, 10);
            }
            break;
        case moving: {
            f32 d = length(b.move_end - e.pos);
            f32 k = std::exp(-30 * dt / d);
            e.pos = e.pos * k + b.move_end * (1 - k);
            if (length(b.move_end - e.pos) < ARRIVE_DIST) {
                e.pos = b.move_end;
                boss_choose_next_state(ref);
            }
            break;
        }
        case attack_targeted:
            if (b.state_timer > 14) {
                boss_choose_next_state(ref);
            } else if (b.sub_timer > 1) {
                b.sub_timer = 0;
                audio_play(boss_attack_targeted);
                if (auto player = scene_get_entity(game.player)) {
                    Vec2 d = normalize(player->entity->pos - e.pos);
                    _spawn_bullet(e.pos + d, d * 80);
                }
            }
            break;
        case attack_big_wave:
            if (b.state_timer > 11) {
                boss_choose_next_state(ref);
            } else if (b.sub_timer > 4) {
                b.sub_timer = 0;
                audio_play(boss_attack_big_wave);
                for (int i = 0; i < 14; i++) {
                    Vec2 d = from_angle(f32(i) * 2 * PI / 14);
                    _spawn_bullet(e.pos + d * 3, d * 30);
                }
            }
            break;
        case attack_spin:
            if (b.state_timer > 5) {
                boss_choose_next_state(ref);
            } else {
                e.rot += dt;
                if (b.sub_timer > 0.4f) {
                    b.sub_timer = 0;
                    audio_play(boss_attack_spin);
                    Vec2 d = from_angle(e.rot);
                    _spawn_bullet(e.pos + d * 3, d * 25);
                }
            }
            break;
        case dying:
            if (b.state_timer > DYING_TIME) {
                scene_destroy_entity(ref.id);
                game_set_state(won);
                audio_play(game_win);
            }
            break;
    }
}

bool boss_damage(Entity_Ref ref, const Damage_Info& info) {
    Entity& e = *ref.entity;
    Boss_Entity& b = e.variant.boss;
    switch (b.state) {
        case waking_up:
        case dying: return false;
        case moving:
        case attack_targeted:
        case attack_big_wave:
        case attack_spin: break;
    }
    e.health -= info.amount;
    if (e.health <= 0) {
        b.state = dying;
        b.state_timer = 0;
        audio_play(boss_dying);
        return true;
    }
    camera_shake(game.camera, 0.3f, {2, 2}, 10);
    return true;
}
