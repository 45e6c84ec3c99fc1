#include <cmath>
#include <cstring>

#include "../platform/platform.h"
#include "game.h"
#include "renderer.h"
#include "sprite.h"

UI_State ui;

namespace {
constexpr Color MENU_TEXT = {1, 0, 0, 1};
constexpr Color SELECTED_TEXT = {1, 1, 1, 1};
constexpr Color SHADOW = {0, 0, 0, 1};
constexpr Vec2 NORMAL_SIZE = {8, 8};
constexpr Vec2 HINT_POS = {10, 43.2f};
const char* const HINT_CHARGE = "Hold left/right to charge energy";
const char* const HINT_SHOOT = "Press X to Shoot or Z to Boost";

Vec2 _item_pos() { return {ui.origin.x + 10, ui.origin.y + ui.cursor_y}; }

std::optional<Entity_Copy> _player() {
    auto p = scene_get_entity_copy(game.player);
    if (!p || p->entity.variant.kind != variant_player) return std::nullopt;
    return p;
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
        draw_screen_text(p, ">", SELECTED_TEXT, NORMAL_SIZE);
        f32 c = clampf(3 * ui.selected_time, 0, 1);
        o = 10 * std::sqrt((2 - c) * c);
    }
    draw_screen_text(p + Vec2{o + 1, 1}, label, SHADOW, NORMAL_SIZE);
    draw_screen_text(p + Vec2{o, 0}, label, selected ? SELECTED_TEXT : MENU_TEXT, NORMAL_SIZE);
    bool by_pad = menu_pad_pressed(menu_pad_activate) || menu_pad_pressed(menu_pad_start);
    bool activated = selected && (key_pressed(Input_Code::key_enter) || by_pad);
    if (activated) audio_play(ui_press);
    if (activated && by_pad) input_hold_back_menu_buttons();
    ui.item_count += 1;
    ui.button_count += 1;
    ui.cursor_y += 8;
    return activated;
}

static void _open_credit_page(const Credit& c) {
    // A file URL of a page shipped beside the executable exists for every player.
    platform_open_url(c.url);
}

void game_state_update(Time_Step ts) {
    switch (game.state) {
        case main_menu:
            ui.origin = {30, 80};
            if (ui_button("New Game")) game_new_game();
            if (ui_button("Credits")) game_set_state(credits);
            if (ui_button("Exit to Desktop")) platform_quit();
            break;
        case intro:
            draw_screen_text(HINT_POS, HINT_CHARGE, WHITE, NORMAL_SIZE);
            if (key_pressed(Input_Code::key_left) || key_pressed(Input_Code::key_right) ||
                menu_pad_pressed(menu_pad_left) || menu_pad_pressed(menu_pad_right))
                game_set_state(tutorial);
            break;
        case tutorial:
            if (auto p = _player())
                draw_screen_text(HINT_POS, p->entity.variant.player.num_charges > 0 ? HINT_SHOOT : HINT_CHARGE,
                                 WHITE, NORMAL_SIZE);
            world_update(ts);
            break;
        case playing:
            world_update(ts);
            // Looking away pauses just as escape does.
            if ((key_pressed(Input_Code::key_escape) || menu_pad_pressed(menu_pad_start) || input_focus_lost()) &&
                game.state == playing)
                game_set_state(paused);
            break;
        case game_over:
            ui_space();
            ui_label("GAME OVER", 16);
            ui_space();
            ui_label("Better luck next time!", 8);
            ui_space();
            if (ui_button("Continue")) game_return_to_main_menu();
            break;
        case won:
            ui_space();
            ui_label("YOU WON!", 16);
            ui_space();
            ui_label("Thank you for playing! :)", 8);
            ui_space();
            if (ui_button("Continue")) game_set_state(credits);
            break;
        case pick_upgrade:
            ui_space();
            ui_label(tprintf("STAGE %i/%i", game.stage + 1, STAGE_COUNT), 16);
            ui_space();
            ui_label("Pick an Upgrade", 8);
            ui_space();
            for (Player_Stat stat : game.upgrade_choices) {
                if (!ui_button(upgrade_labels[stat])) continue;
                game_set_state(playing);
                if (auto p = scene_get_entity(game.player); p && p->entity->variant.kind == variant_player)
                    p->entity->variant.player.stat_levels[stat] += 1;
            }
            break;
        case paused:
            ui_label("Paused", 16);
            ui_space();
            if (ui_button("Continue") || key_pressed(Input_Code::key_escape) || menu_pad_pressed(menu_pad_start))
                game_set_state(playing);
            if (ui_button("Main Menu")) game_return_to_main_menu();
            break;
        case credits:
            ui_label("Credits", 16);
            ui_space();
            for (const Credit& c : game_credits)
                if (ui_button(tprintf("%s%s", c.name, c.role_suffix))) _open_credit_page(c);
            ui_space();
            if (ui_button("Return") || key_pressed(Input_Code::key_escape)) game_return_to_main_menu();
            break;
    }
}

void draw_hud() {
    draw_screen_text({1, 7}, tprintf("SCORE %i", game.score), WHITE, NORMAL_SIZE);
    draw_screen_text({115, 7}, tprintf("STAGE %i/%i", game.stage + 1, STAGE_COUNT), WHITE, NORMAL_SIZE);
    auto p = _player();
    if (!p) return;
    const Player_Entity& pl = p->entity.variant.player;
    draw_screen_text({1, 143}, tprintf("energy %i/%i", pl.num_charges, pl.stat_levels[max_charges]), WHITE,
                     NORMAL_SIZE);
    static const char BAR[] = "++++++++++++++";
    i32 n = pl.health < 0 ? 0 : (pl.health > 14 ? 14 : pl.health);
    draw_screen_text({60, 143}, BAR, size_t(n), WHITE, NORMAL_SIZE);
}

void draw_title() {
    f32 t = f32(platform_time());
    draw_world_sprite({0, 25 + 5 * std::sin(3 * t)}, {0.5f, 0.5f}, 0, WHITE, sprites[sprite_title], 0.5f);
}
