#include "ui.h"

#include <cmath>

#include "../platform/platform.h"
#include "audio.h"
#include "game.h"
#include "input.h"
#include "renderer.h"
#include "scores.h"
#include "sprite.h"
#include "stage.h"

UI_State ui;

namespace {
constexpr Color MENU_TEXT = {1, 0, 0, 1};
constexpr Color SELECTED_TEXT = {1, 1, 1, 1};
constexpr Color SHADOW = {0, 0, 0, 1};

Vec2 _item_pos() { return {ui.origin.x + 10, ui.origin.y + ui.cursor_y}; }

// Longer games (an afternoon left in the tutorial) show this, which still fits its column.
constexpr i32 LONGEST_TIME_SHOWN = 999 * 60 + 59;  // seconds

const char* _time_text(i32 seconds) {
    if (seconds > LONGEST_TIME_SHOWN) seconds = LONGEST_TIME_SHOWN;
    return tprintf("%d:%02d", seconds / 60, seconds % 60);
}

void _text(f32 x, f32 y, const char* text, const Color& color) {
    draw_screen_text({x + 1, y + 1}, text, SHADOW, UI_TEXT_SIZE);
    draw_screen_text({x, y}, text, color, UI_TEXT_SIZE);
}
void _text_right(f32 right, f32 y, const char* text, const Color& color) {
    _text(right - screen_text_width(text, UI_TEXT_SIZE), y, text, color);
}
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
    static_assert(sizeof(BAR) == size_t(HUD_HEALTH_SHOWN_MAX) + 1);
    i32 n = pl.health < 0 ? 0 : (pl.health > HUD_HEALTH_SHOWN_MAX ? HUD_HEALTH_SHOWN_MAX : pl.health);
    draw_screen_text({60, 143}, BAR, size_t(n), WHITE, UI_TEXT_SIZE);
}

void draw_title() {
    f32 t = f32(platform_time());
    draw_world_sprite({0, 25 + 5 * std::sin(3 * t)}, SPRITE_NATIVE_SCALE, 0, WHITE, sprites[sprite_title], DEPTH_DEFAULT);
}

void draw_best_score() {
    const Score_Table& t = score_keeper.table;
    if (t.count == 0) return;
    draw_screen_text(BEST_SCORE_POS, tprintf("BEST %d", t.entries[0].score), SELECTED_TEXT, UI_TEXT_SIZE);
}

void draw_game_result() {
    const Score_Keeper& k = score_keeper;
    if (!k.last.ended) return;
    const Score_Entry& last = k.last.entry;
    _text(10, RESULT_LINE_Y,
          tprintf("SCORE %d STAGE %d/%d TIME %s", last.score, last.stage, STAGE_COUNT, _time_text(last.time_played)),
          SELECTED_TEXT);
    for (i32 i = 0; i < k.table.count; i++) {
        const Score_Entry& e = k.table.entries[i];
        f32 y = TABLE_FIRST_Y + TABLE_ROW_STEP * f32(i);
        bool this_game = i == k.last.rank;
        const Color& c = this_game ? SELECTED_TEXT : MENU_TEXT;
        _text_right(RANK_RIGHT, y, tprintf("%d", i + 1), c);
        _text_right(SCORE_RIGHT, y, tprintf("%d", e.score), c);
        _text(STAGE_LEFT, y, tprintf("%d/%d", e.stage, STAGE_COUNT), c);
        _text_right(TIME_RIGHT, y, _time_text(e.time_played), c);
        // The best game just played needs no date: it is today.
        _text(DATE_LEFT, y, this_game && i == 0 ? "NEW BEST" : tprintf("%04d-%02d-%02d", e.year, e.month, e.day), c);
    }
}
