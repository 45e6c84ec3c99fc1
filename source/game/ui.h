// The immediate-mode menu layout, the heads-up display, the title and the credits.
#pragma once
#include "common.h"

struct UI_State {
    i64 selected = 0;
    f32 selected_time = 0;  // seconds since the selection last moved
    i64 item_count = 0;
    i64 button_count = 0;
    f32 cursor_y = 16;  // pixels
    Vec2 origin;        // pixels
};
extern UI_State ui;

constexpr Vec2 UI_TEXT_SIZE = {8, 8};  // pixels: menu buttons, hints and the heads-up display

void ui_begin_frame();
void ui_label(const char* text, f32 size);
void ui_space();
bool ui_button(const char* label);
void draw_hud();
void draw_title();
// Title, under the buttons: the best game kept, when there is one.
void draw_best_score();
// Game over and victory, under "Continue": the game just ended and the table of the best.
void draw_game_result();

struct Credit { const char* name; const char* role_suffix; const char* url; };
constexpr int CREDIT_COUNT = 3;
extern const Credit game_credits[CREDIT_COUNT];
