#include "sprite.h"

#include <cmath>

#include "game.h"
#include "particles.h"
#include "renderer.h"
#include "scene.h"

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

void draw_scene() {
    scene_for_each(game.scene, [](Entity_Ref ref) { entity_draw(*ref.entity); });
    draw_world_sprite({0, 0}, SPRITE_NATIVE_SCALE, 0, WHITE, sprites[sprite_background], DEPTH_BACKGROUND);
    for (u32 i = 0; i < particles.count; i++) {
        const Sprite_Particle& p = particles.items[i];
        f32 t = p.duration > 0 ? p.timer / p.duration : 1;
        Vec2 scale = p.size * (1 - t) + p.end_size * t;
        draw_world_sprite(p.pos, scale, p.rot, p.color, p.sprite, DEPTH_DEFAULT);
    }
}
