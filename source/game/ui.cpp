#include "ui.h"

#include <cmath>

#include "../platform/platform.h"
#include "audio.h"
#include "game.h"
#include "input.h"
#include "renderer.h"
#include "sprite.h"
#include "stage.h"

UI_State ui;

namespace {
constexpr Color MENU_TEXT = {1, 0, 0, 1};
constexpr Color SELECTED_TEXT = {1, 1, 1, 1};
constexpr Color SHADOW = {0, 0, 0, 1};

Vec2 _item_pos() { return {ui.origin.x + 10, ui.origin.y + ui.cursor_y}; }
}  // namespace

// Names and pages in one place; the README beside the game is there for every player.
const Credit game_credits[CREDIT_COUNT] = {
    {"Vantorel team", " - programming", "README.md"},
    {"Vantorel team", " - pixelart", "README.md"},
    {"Vantorel team", " - audio", "README.md"},
};

void ui_begin_frame() {
    ui.item_count = 0;
    ui.button_count = 0;
    ui.cursor_y = 16;
    ui.origin = {0, 0};
}

void ui_label(const char* text, f32 size) {
    Vec2 p = _item_pos();
    draw_screen_text(p + Vec2{1, 1}, text, SHADOW, {size, size});
    draw_screen_text(p, text, MENU_TEXT, {size, size});
    ui.item_count += 1;
    ui.cursor_y += size;
}

void ui_space() {
    ui.item_count += 1;
    ui.cursor_y += 8;
}

bool ui_button(const char* label) {
    Vec2 p = _item_pos();
    bool selected = ui.button_count == ui.selected;
    f32 o = 0;
    if (selected) {
        draw_screen_text(p, ">", SELECTED_TEXT, UI_TEXT_SIZE);
        f32 c = clampf(3 * ui.selected_time, 0, 1);
        o = 10 * std::sqrt((2 - c) * c);
    }
    draw_screen_text(p + Vec2{o + 1, 1}, label, SHADOW, UI_TEXT_SIZE);
    draw_screen_text(p + Vec2{o, 0}, label, selected ? SELECTED_TEXT : MENU_TEXT, UI_TEXT_SIZE);
    bool by_pad = menu_pad_pressed(menu_pad_activate) || menu_pad_pressed(menu_pad_start);
    bool activated = selected && (key_pressed(Input_Code::key_enter) || by_pad);
    if (activated) audio_play(ui_press);
    if (activated && by_pad) input_hold_back_menu_buttons();
    ui.item_count += 1;
    ui.button_count += 1;
    ui.cursor_y += 8;
    return activated;
}

void draw_hud() {
    draw_screen_text({1, 7}, tprintf("SCORE %i", game.score), WHITE, UI_TEXT_SIZE);
    draw_screen_text({115, 7}, tprintf("STAGE %i/%i", game.stage + 1, STAGE_COUNT), WHITE, UI_TEXT_SIZE);
    auto p = game_player();
    if (!p) return;
    const Player_Entity& pl = p->entity.variant.player;
    draw_screen_text({1, 143}, tprintf("energy %i/%i", pl.num_charges, pl.stat_levels[max_charges]), WHITE,
                     UI_TEXT_SIZE);
    static const char BAR[] = "++++++++++++++";
    i32 n = pl.health < 0 ? 0 : (pl.health > 14 ? 14 : pl.health);
    draw_screen_text({60, 143}, BAR, size_t(n), WHITE, UI_TEXT_SIZE);
}

void draw_title() {
    f32 t = f32(platform_time());
    draw_world_sprite({0, 25 + 5 * std::sin(3 * t)}, {0.5f, 0.5f}, 0, WHITE, sprites[sprite_title], 0.5f);
}
