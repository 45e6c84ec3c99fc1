#include "boss.h"

#include <cmath>

#include "audio.h"
#include "camera.h"
#include "game.h"
#include "physics.h"
#include "projectile.h"
#include "random.h"
#include "scene.h"

namespace {
void _enter(Boss_Entity& b, Boss_State s) {
    if (b.state == s) return;
    b.state = s;
    b.state_timer = 0;
}

void _spawn_bullet(Vec2 pos, Vec2 vel) { scene_spawn_entity(make_projectile(pos, vel, boss_bullet)); }

// Once the attack has run its time the boss chooses anew.
bool _attack_over(Entity_Ref ref, const Boss_Attack& attack) {
    if (!(ref.entity->variant.boss.state_timer > attack.duration)) return false;
    boss_choose_next_state(ref);
    return true;
}

// True when the next shot is due; its sound starts at once.
bool _shot_due(Boss_Entity& b, const Boss_Attack& attack, Audio_Event sound) {
    if (!(b.sub_timer > attack.shot_interval)) return false;
    b.sub_timer = 0;
    audio_play(sound);
    return true;
}
}  // namespace

Entity make_boss() {
    Boss_Entity b{};
    b.state = waking_up;
    b.should_move_timer = BOSS_FIRST_MOVE_TIMER;
    b.animator = Animator{boss_idle, 0, 0};
    Entity boss;
    boss.tags = tag_boss;
    boss.health = BOSS_MAX_HEALTH;
    boss.collider = make_circle_collider(BOSS_RADIUS);
    boss.variant.kind = variant_boss;
    boss.variant.boss = b;
    return boss;
}

void boss_choose_next_state(Entity_Ref ref) {
    Entity& e = *ref.entity;
    Boss_Entity& b = e.variant.boss;
    if (b.should_move_timer > BOSS_MOVE_EVERY) {
        b.should_move_timer = 0;
        audio_play(boss_moving);
        _enter(b, moving);
        static constexpr Vec2 DIRS[4] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        Vec2 d = DIRS[random_u64() & 3];
        b.move_end = {d.x * VIEW_W * BOSS_MOVE_REACH, d.y * VIEW_H * BOSS_MOVE_REACH};
        if (length(b.move_end - e.pos) < BOSS_SAME_SPOT) b.move_end = -b.move_end;
        return;
    }
    if (e.health / BOSS_MAX_HEALTH > BOSS_HEALTHY_SHARE) {
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
            if (b.state_timer > BOSS_WAKE_TIME) {
                boss_choose_next_state(ref);
                game.camera.kick_vel += BOSS_WAKE_KICK;
            } else {
                f32 a = std::pow(b.state_timer / BOSS_RUMBLE_TIME, 4.0f);
                camera_shake(game.camera, BOSS_RUMBLE_SHAKE_TIME, {a, a}, BOSS_RUMBLE_FREQUENCY);
            }
            break;
        case moving: {
            f32 d = length(b.move_end - e.pos);
            f32 k = std::exp(-BOSS_MOVE_RATE * dt / d);
            e.pos = e.pos * k + b.move_end * (1 - k);
            if (length(b.move_end - e.pos) < BOSS_ARRIVE_DIST) {
                e.pos = b.move_end;
                boss_choose_next_state(ref);
            }
            break;
        }
        case attack_targeted:
            if (_attack_over(ref, TARGETED_ATTACK)) break;
            if (_shot_due(b, TARGETED_ATTACK, boss_attack_targeted)) {
                if (auto player = scene_get_entity(game.player)) {
                    Vec2 d = normalize(player->entity->pos - e.pos);
                    _spawn_bullet(e.pos + d * TARGETED_ATTACK.muzzle, d * TARGETED_ATTACK.bullet_speed);
                }
            }
            break;
        case attack_big_wave:
            if (_attack_over(ref, BIG_WAVE_ATTACK)) break;
            if (_shot_due(b, BIG_WAVE_ATTACK, boss_attack_big_wave)) {
                for (int i = 0; i < BIG_WAVE_ATTACK.bullets; i++) {
                    Vec2 d = from_angle(f32(i) * 2 * PI / f32(BIG_WAVE_ATTACK.bullets));
                    _spawn_bullet(e.pos + d * BIG_WAVE_ATTACK.muzzle, d * BIG_WAVE_ATTACK.bullet_speed);
                }
            }
            break;
        case attack_spin:
            if (_attack_over(ref, SPIN_ATTACK)) break;
            e.rot += BOSS_SPIN_RATE * dt;
            if (_shot_due(b, SPIN_ATTACK, boss_attack_spin)) {
                Vec2 d = from_angle(e.rot);
                _spawn_bullet(e.pos + d * SPIN_ATTACK.muzzle, d * SPIN_ATTACK.bullet_speed);
            }
            break;
        case dying:
            if (b.state_timer > BOSS_DYING_TIME) {
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
    camera_shake(game.camera, BOSS_HIT_SHAKE_TIME, {BOSS_HIT_SHAKE_AMPLITUDE, BOSS_HIT_SHAKE_AMPLITUDE},
                 BOSS_HIT_SHAKE_FREQUENCY);
    return true;
}

void boss_draw(const Entity& e) {
    draw_world_sprite(e.pos, SPRITE_NATIVE_SCALE, 0, WHITE, animator_sprite(e.variant.boss.animator), DEPTH_BOSS);
    Vec2 fill = {(e.health / BOSS_MAX_HEALTH) * BOSS_BAR_SIZE.x, BOSS_BAR_SIZE.y};
    draw_world_sprite(BOSS_BAR_POS, fill, 0, PALETTE[1], sprites[sprite_solid], DEPTH_BOSS_BAR_FILL);
    draw_world_sprite(BOSS_BAR_POS, BOSS_BAR_SIZE, 0, PALETTE[3], sprites[sprite_solid], DEPTH_BOSS_BAR_BACK);
    draw_world_sprite(BOSS_BAR_POS, BOSS_BAR_FRAME, 0, PALETTE[2], sprites[sprite_solid], DEPTH_BOSS_BAR_FRAME);
}
