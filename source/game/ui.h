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

// Added to the designed screens where they draw nothing: the title's buttons end at 112,
// the end screens' "Continue" at 64 (baselines, pixels).
constexpr Vec2 BEST_SCORE_POS = {40, 128};  // pixels: lined up with the title's buttons
constexpr f32 RESULT_LINE_Y = 73;           // pixels: baseline of the game just ended
constexpr f32 TABLE_FIRST_Y = 80;           // pixels: baseline of the best game
constexpr f32 TABLE_ROW_STEP = 7;           // pixels: ten rows end on the picture's last line
// Table columns, pixels: right edges of the numbers, left edges of stage and date.
constexpr f32 RANK_RIGHT = 19;
constexpr f32 SCORE_RIGHT = 51;
constexpr f32 STAGE_LEFT = 57;
constexpr f32 TIME_RIGHT = 99;
constexpr f32 DATE_LEFT = 105;

// The health bar stops growing here, whatever the ship's health.
constexpr i32 HUD_HEALTH_SHOWN_MAX = 14;  // hit points
void draw_hud();
void draw_title();
// Title, under the buttons: the best game kept, when there is one.
void draw_best_score();
// Game over and victory, under "Continue": the game just ended and the table of the best.
void draw_game_result();

struct Credit { const char* name; const char* role_suffix; const char* url; };
constexpr int CREDIT_COUNT = 3;
extern const Credit game_credits[CREDIT_COUNT];
