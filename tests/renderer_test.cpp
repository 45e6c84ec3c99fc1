#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "game/renderer.h"
#include "game/sprite.h"
#include "harness.h"

namespace {
int palette_index(const u8* texel) {
    for (int i = 0; i < 4; i++) {
        if (texel[0] == u8(PALETTE[i].r * 255) && texel[1] == u8(PALETTE[i].g * 255) &&
            texel[2] == u8(PALETTE[i].b * 255))
            return i;
    }
    return -1;
}
int cell(const u8* texels, f32 r, f32 g, f32 b) {
    auto bin = [](f32 v) { return std::min(int(std::floor(v * 8)), 7); };
    return palette_index(texels + ((bin(r) * 8 + bin(g)) * 8 + bin(b)) * 4);
}

struct Text_Fixture : testing::Test {
    void SetUp() override {
        renderer_init(true);
        std::vector<u8> font = read_whole_file(VANTOREL_FONT);
        ASSERT_FALSE(font.empty()) << VANTOREL_FONT;
        ASSERT_TRUE(_renderer_load_font_data(font.data(), font.size()));
        renderer.glyph_count = 0;
    }
    void TearDown() override { renderer_shutdown(); }
};
}  // namespace

TEST(Palette, CellCountsAndNamedColours) {
    u8 texels[2048];
    renderer_build_palette_texels(PALETTE, 4, texels);
    int counts[4] = {};
    for (int i = 0; i < 512; i++) {
        int p = palette_index(texels + i * 4);
        ASSERT_GE(p, 0);
        EXPECT_EQ(texels[i * 4 + 3], 255);
        counts[p]++;
    }
    EXPECT_EQ(counts[0], 133);
    EXPECT_EQ(counts[1], 76);
    EXPECT_EQ(counts[2], 141);
    EXPECT_EQ(counts[3], 162);
    EXPECT_EQ(cell(texels, 1, 1, 1), 0);
    EXPECT_EQ(cell(texels, 0, 0, 0), 3);
    EXPECT_EQ(cell(texels, 1, 0, 0), 1);
    EXPECT_EQ(cell(texels, 0.5f, 0.5f, 0.5f), 2);
    EXPECT_EQ(cell(texels, 0, 0, 1), 2);
    EXPECT_EQ(cell(texels, 0, 1, 0), 3);
    for (int i = 0; i < 4; i++) EXPECT_EQ(cell(texels, PALETTE[i].r, PALETTE[i].g, PALETTE[i].b), i);
}

TEST(Palette, TiesKeepTheEarlierColour) {
    // Two identical colours: every cell must name the first of them.
    const Color twins[2] = {{0.5f, 0.5f, 0.5f, 1}, {0.5f, 0.5f, 0.5f, 0.25f}};
    u8 texels[2048];
    renderer_build_palette_texels(twins, 2, texels);
    for (int i = 0; i < 512; i++) ASSERT_EQ(texels[i * 4 + 3], 255);
}

TEST(WorldSprites, PlacementScaleAndCap) {
    renderer_init(true);
    Sprite s{16, 8, 16, 16};
    draw_world_sprite({}, {1, 1}, 0, WHITE, s, 0.5f);
    EXPECT_EQ(renderer.sprite_count, 0u);  // no atlas, nothing queued
    u8 pixels[64 * 32 * 4] = {};
    renderer_load_atlas(64, 32, pixels);
    draw_world_sprite({10.7f, -3.2f}, {0.5f, 0.5f}, 0, Color{1, 0.5f, 0.302f, 1}, s, 0.25f);
    const Sprite_Instance& i = renderer.sprites[0];
    EXPECT_EQ(i.pos[0], 10.0f);
    EXPECT_EQ(i.pos[1], -4.0f);
    EXPECT_EQ(i.pos[2], -0.25f);
    // Native scale: half-extents of 8 pixels cover the 16 × 16 sprite exactly.
    EXPECT_FLOAT_EQ(i.right[0], 8);
    EXPECT_FLOAT_EQ(i.up[1], -8);
    EXPECT_EQ(i.color[1], 127);  // truncated, not rounded
    EXPECT_EQ(i.color[2], 77);
    EXPECT_FLOAT_EQ(i.tex_min[0], 0.25f);
    EXPECT_FLOAT_EQ(i.tex_min[1], 0.25f);
    EXPECT_FLOAT_EQ(i.tex_size[1], 0.5f);

    for (u32 k = 1; k < MAX_WORLD_SPRITES + 10; k++) draw_world_sprite({}, {1, 1}, 0, WHITE, s, 0.5f);
    EXPECT_EQ(renderer.sprite_count, MAX_WORLD_SPRITES);
    platform_headless_begin(640, 576);
    renderer_flush_frame();
    EXPECT_EQ(renderer.last_sprite_upload, MAX_WORLD_SPRITES);
    EXPECT_EQ(renderer.sprite_count, 0u);
    for (u32 k = 0; k < MAX_WORLD_SPRITES; k++) draw_world_sprite({}, {1, 1}, 0, WHITE, s, 0.5f);
    EXPECT_EQ(renderer.sprite_count, MAX_WORLD_SPRITES);
    platform_headless_end();
    renderer_shutdown();
}

TEST(WorldSprites, ShipSpriteFollowsTheHeading) {
    auto deg = [](f32 d) { return d * PI / 180; };
    Ship_Sprite_Choice a = ship_sprite_for_rotation(deg(100));
    EXPECT_EQ(a.slot, sprite_ship_0);
    EXPECT_NEAR(a.turn, 0, 1e-5);
    Ship_Sprite_Choice b = ship_sprite_for_rotation(deg(200));
    EXPECT_EQ(b.slot, sprite_ship_0);
    EXPECT_NEAR(b.turn, deg(90), 1e-5);
    EXPECT_EQ(ship_sprite_for_rotation(deg(30)).slot, sprite_ship_22);
    EXPECT_EQ(ship_sprite_for_rotation(deg(50)).slot, sprite_ship_45);
    EXPECT_EQ(ship_sprite_for_rotation(deg(80)).slot, sprite_ship_67);
    // Straight right: the upright sprite turned a quarter clockwise.
    EXPECT_NEAR(ship_sprite_for_rotation(0).turn, deg(-90), 1e-5);
    EXPECT_EQ(ship_sprite_for_rotation(deg(-10)).slot, sprite_ship_67);
}

TEST(Animator, OneFrameAnimationEndsAndStays) {
    Sprite_Anim saved = sprite_anims[ship_idle];
    sprite_anims[ship_idle] = Sprite_Anim{};
    sprite_anims[ship_idle].len = 1;
    sprite_anims[ship_idle].durations[0] = 100;
    Animator a{ship_idle, 0, 0};
    EXPECT_TRUE(animator_update(a, 0.15f));
    EXPECT_EQ(a.frame, 1);
    EXPECT_NEAR(a.frame_timer, 0.05f, 1e-6);
    EXPECT_TRUE(animator_update(a, 0.15f));
    EXPECT_EQ(a.frame, 1);

    // Four frames of 10 ms at most per update; the rest stays in the timer.
    sprite_anims[ship_idle].len = 10;
    for (int i = 0; i < 10; i++) sprite_anims[ship_idle].durations[i] = 10;
    Animator b{ship_idle, 0, 0};
    EXPECT_FALSE(animator_update(b, 0.1f));
    EXPECT_EQ(b.frame, 4);
    EXPECT_NEAR(b.frame_timer, 0.06f, 1e-6);
    sprite_anims[ship_idle] = saved;
}

TEST(Animator, FrameRectanglesLieSideBySide) {
    Sprite saved = sprites[15];
    Sprite_Anim saved_anim = sprite_anims[boss_idle];
    sprites[15] = {100, 40, 44, 44};
    sprite_anims[boss_idle] = Sprite_Anim{};
    sprite_anims[boss_idle].sprite = 15;
    sprite_anims[boss_idle].len = 4;
    sprite_anims[boss_idle].first_frame = 1;
    sprite_anims[boss_idle].frame_width = 44;
    Sprite s = animator_sprite(Animator{boss_idle, 2, 0});
    EXPECT_EQ(s.x, 100 + 44 * 3);
    EXPECT_EQ(s.y, 40);
    EXPECT_EQ(s.w, 44);
    EXPECT_EQ(s.h, 44);
    sprites[15] = saved;
    sprite_anims[boss_idle] = saved_anim;
}

TEST_F(Text_Fixture, GlyphsSitOnWholeUnitsAndScaleWithSize) {
    draw_screen_text({10, 20}, "AB", WHITE, {8, 8});
    ASSERT_EQ(renderer.glyph_count, 2u);
    Font_Instance a = renderer.glyphs[0], b = renderer.glyphs[1];
    const Baked_Glyph& ga = renderer.glyph_table['A' - 32];
    const Baked_Glyph& gb = renderer.glyph_table['B' - 32];
    EXPECT_EQ(a.pos[0], 10 + std::floor(ga.xoff + 0.5f));
    EXPECT_EQ(b.pos[0], 10 + std::floor(ga.xadvance + gb.xoff + 0.5f));
    EXPECT_LT(a.pos[1], 20);  // glyphs rise above the baseline
    for (const Font_Instance& g : {a, b}) {
        EXPECT_EQ(g.pos[0], std::floor(g.pos[0]));
        EXPECT_EQ(g.pos[1], std::floor(g.pos[1]));
        EXPECT_GT(g.size[0], 0);
    }
    renderer.glyph_count = 0;
    draw_screen_text({10, 20}, "AB", WHITE, {16, 16});
    ASSERT_EQ(renderer.glyph_count, 2u);
    for (int k = 0; k < 2; k++) {
        const Font_Instance& small = k ? b : a;
        const Font_Instance& big = renderer.glyphs[k];
        EXPECT_EQ(big.pos[0] - 10, 2 * (small.pos[0] - 10));
        EXPECT_EQ(big.pos[1] - 20, 2 * (small.pos[1] - 20));
        EXPECT_EQ(big.size[0], 2 * small.size[0]);
        EXPECT_EQ(big.size[1], 2 * small.size[1]);
        EXPECT_EQ(big.uv_pos[0], small.uv_pos[0]);
    }
}

TEST_F(Text_Fixture, Utf8DecodingSkipsWhatTheFontCannotShow) {
    draw_screen_text({0, 10}, "", WHITE, {8, 8});
    EXPECT_EQ(renderer.glyph_count, 0u);
    draw_screen_text({0, 10}, "\xC3\xA9", WHITE, {8, 8});  // é
    EXPECT_EQ(renderer.glyph_count, 1u);
    draw_screen_text({0, 10}, "\xE2\x82\xAC", WHITE, {8, 8});  // € is outside the baked range
    draw_screen_text({0, 10}, "\xFF", WHITE, {8, 8});
    draw_screen_text({0, 10}, "\xC3", WHITE, {8, 8});  // cut short
    draw_screen_text({0, 10}, "\xE0\x80\xAF", WHITE, {8, 8});  // overlong slash
    EXPECT_EQ(renderer.glyph_count, 1u);
    // Skipped code points do not move the pen.
    renderer.glyph_count = 0;
    draw_screen_text({0, 10}, "\xE2\x82\xAC" "A", WHITE, {8, 8});
    Font_Instance after = renderer.glyphs[0];
    renderer.glyph_count = 0;
    draw_screen_text({0, 10}, "A", WHITE, {8, 8});
    EXPECT_EQ(after.pos[0], renderer.glyphs[0].pos[0]);
}

TEST_F(Text_Fixture, GlyphListIsCapped) {
    std::string line(1000, 'W');
    for (int i = 0; i < 20; i++) draw_screen_text({0, 10}, line.c_str(), WHITE, {8, 8});
    EXPECT_EQ(renderer.glyph_count, MAX_GLYPHS);
}

// A frame is drawn, and so presented, exactly when something that decides its pixels changed.
TEST(FrameSkip, RepeatedPictureIsNotDrawnAgainAndAnyChangeIs) {
    const Sprite s{0, 0, 2, 2};
    const u8 texels[4 * 4 * 4] = {};
    auto base_frame = [&] {
        draw_world_sprite({3, 4}, {1, 1}, 0, WHITE, s, 0.5f);
        draw_world_sprite({-9, 2}, {1, 1}, 0.5f, BLACK, s, 0.25f);
        renderer.glyphs[renderer.glyph_count++] = Font_Instance{{1, 2}, {4, 8}, {0, 0}, {0.01f, 0.02f}, {255, 255, 255, 255}};
    };
    struct Case {
        const char* what;
        void (*change)();  // applied to each frame after the first
        bool drawn;        // the changed frame
        bool drawn_again;  // the changed frame once more
    };
    const Case cases[] = {
        {"nothing", [] {}, false, false},
        {"a sprite moved a pixel", [] { renderer.sprites[1].pos[0] = -8; }, true, false},
        {"a glyph's colour", [] { renderer.glyphs[0].color[2] = 0; }, true, false},
        {"one sprite more", [] { renderer.sprites[renderer.sprite_count++] = renderer.sprites[0]; }, true, false},
        {"one glyph fewer", [] { renderer.glyph_count--; }, true, false},
        {"the camera moved", [] { renderer.camera.pos.y = 1; }, true, false},
        {"zoomed out", [] { renderer.camera.view_scale = 2; }, true, false},
        {"the window asked for it", [] { platform_request_redraw(); }, true, true},
        {"a new atlas", [] { renderer_load_atlas(4, 4, renderer.palette_texels); }, true, true},
        {"a new palette", [] { _renderer_load_palette(PALETTE, 4); }, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        renderer_init(true);
        renderer_load_atlas(4, 4, texels);
        platform_headless_begin(640, 576);
        for (int frame = 0; frame < 3; frame++) {
            base_frame();
            if (frame > 0) c.change();
            renderer_flush_frame();
            bool expected[3] = {true, c.drawn, c.drawn_again};
            EXPECT_EQ(platform_frame_drawn(), expected[frame]) << "frame " << frame;
        }
        platform_headless_end();
        renderer_shutdown();
    }
}
