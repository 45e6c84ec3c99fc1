// Pads feeding the player's input and the ship, through SDL's virtual joysticks.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "virtual_pad.h"

#include "gpad/gpad.h"
#include "gpad/gpad_db.h"
#include "harness.h"

namespace {

// Raw numbering of the common wired pad in the installed database:
// buttons A 0, X 2; hat 0 is the d-pad; axes 0/1 the left stick, 2/5 the triggers.
constexpr int PAD_A = 0, PAD_X = 2;

struct Pad_Game : Virtual_Pad_Test {
    void stick(Sint16 x, Sint16 y) {
        SDL_JoystickSetVirtualAxis(pad, 0, x);
        SDL_JoystickSetVirtualAxis(pad, 1, y);
    }

    // The frame reads the pads once at its start; so does this.
    Player_Input gather() {
        Pad_Snapshot pads;
        input_read_pads(pads);
        input_set_pads(pads);
        Player_Input in;
        player_gather_input(in, 1.0f / 60.0f);
        return in;
    }

    void press(int desktop_key) { input_handle_event(Input_Event{event_key_down, desktop_key, false, mouse_button_other}); }
};

}  // namespace

TEST_F(Pad_Game, PadAndKeysAddBeforeClampingPastTheStickDeadZone) {
    ASSERT_TRUE(gpad_init());
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_RIGHT);
    EXPECT_FLOAT_EQ(gather().dir.x, 1.0f);
    press(DK_RIGHT);
    EXPECT_FLOAT_EQ(gather().dir.x, 1.0f);
    input_reset();
    press(DK_LEFT);
    EXPECT_FLOAT_EQ(gather().dir.x, 0.0f);
    input_reset();
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_CENTERED);

    press(DK_UP);
    stick(0, -29491);  // 0.9 up
    EXPECT_FLOAT_EQ(gather().dir.y, 1.0f);
    input_reset();
    stick(2294, -2294);  // (0.07, 0.07)
    Vec2 ignored = gather().dir;
    EXPECT_EQ(ignored.x, 0.0f);
    EXPECT_EQ(ignored.y, 0.0f);
    stick(2621, -2621);  // (0.08, 0.08)
    Player_Input in = gather();
    EXPECT_NEAR(in.dir.x, 0.08f, 1e-3f);
    EXPECT_NEAR(in.dir.y, 0.08f, 1e-3f);
}

TEST_F(Pad_Game, PadChargesFiresAndBoostsTheShip) {
    Headless h;  // the start-up finds the pad
    start_game(h);
    ASSERT_EQ(game.state, tutorial);
    Entity* ship = player_entity();
    ASSERT_NE(ship, nullptr);
    Player_Entity& p = ship->variant.player;
    ASSERT_EQ(p.num_charges, 0);

    // Steering with the d-pad charges.
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_RIGHT);
    for (int i = 0; i < 120 && p.num_charges < 1; ++i) h.frame();
    EXPECT_EQ(p.num_charges, 1);
    EXPECT_EQ(p.scale, 1.0f);  // last steered to the right
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_CENTERED);
    h.frame();

    int before = count_variant(variant_projectile);
    SDL_JoystickSetVirtualButton(pad, PAD_X, 1);
    h.frame();
    SDL_JoystickSetVirtualButton(pad, PAD_X, 0);
    EXPECT_EQ(p.num_charges, 0);
    EXPECT_GT(count_variant(variant_projectile), before);
    EXPECT_EQ(game.state, playing);

    // Charge again with the stick, then boost.
    stick(32767, 0);
    for (int i = 0; i < 120 && p.num_charges < 1; ++i) h.frame();
    ASSERT_EQ(p.num_charges, 1);
    stick(0, 0);
    h.frames(20);  // well past the start-of-game boost
    SDL_JoystickSetVirtualButton(pad, PAD_A, 1);
    h.frame();
    SDL_JoystickSetVirtualButton(pad, PAD_A, 0);
    EXPECT_EQ(p.num_charges, 0);
    EXPECT_LT(p.boost_timer, 0.05f);
}

TEST_F(Pad_Game, PadAloneWorksEveryMenu) {
    const int start = raw_button(Button::Start);
    ASSERT_GE(start, 0);
    Headless h;
    auto push = [&](int button) {  // one press of a button, held over a frame, then let go
        SDL_JoystickSetVirtualButton(pad, button, 1);
        h.frame();
        SDL_JoystickSetVirtualButton(pad, button, 0);
        h.frame();
    };
    auto hat = [&](Uint8 dir) {
        SDL_JoystickSetVirtualHat(pad, 0, dir);
        h.frame();
        SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_CENTERED);
        h.frame();
    };
    ASSERT_EQ(game.state, main_menu);
    u32 hovers = audio_trace.started[ui_hover];
    hat(SDL_HAT_DOWN);
    EXPECT_EQ(ui.selected, 1);
    stick(0, -32768);  // up, held: one step, however long
    h.frames(10);
    EXPECT_EQ(ui.selected, 0);
    stick(0, -12000);  // eased back but still past the let-go point: no new step
    h.frame();
    stick(0, -20000);
    h.frame();
    EXPECT_EQ(ui.selected, 0);
    stick(0, 0);
    h.frame();
    EXPECT_EQ(audio_trace.started[ui_hover], hovers + 2);
    stick(0, 32767);  // down, with the stick
    h.frame();
    stick(0, 0);
    h.frame();
    EXPECT_EQ(ui.selected, 1);
    hat(SDL_HAT_UP);

    push(PAD_A);  // New Game
    ASSERT_EQ(game.state, intro);
    hat(SDL_HAT_LEFT);
    ASSERT_EQ(game.state, tutorial);

    Player_Entity& p = ship();
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_RIGHT);
    for (int i = 0; i < 120 && p.num_charges < 1; ++i) h.frame();
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_CENTERED);
    push(PAD_X);
    ASSERT_EQ(game.state, playing);

    // Start pauses and resumes; held, it does nothing more.
    SDL_JoystickSetVirtualButton(pad, start, 1);
    h.frames(5);
    EXPECT_EQ(game.state, paused);
    SDL_JoystickSetVirtualButton(pad, start, 0);
    h.frame();
    push(start);
    EXPECT_EQ(game.state, playing);

    // The A that picks "Continue" must not also boost the ship once play resumes.
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_LEFT);
    for (int i = 0; i < 120 && p.num_charges < 1; ++i) h.frame();
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_CENTERED);
    ASSERT_EQ(p.num_charges, 1);
    push(start);
    ASSERT_EQ(game.state, paused);
    hat(SDL_HAT_DOWN);
    hat(SDL_HAT_UP);  // back on "Continue"
    SDL_JoystickSetVirtualButton(pad, PAD_A, 1);
    h.frames(10);
    EXPECT_EQ(game.state, playing);
    EXPECT_EQ(p.num_charges, 1);
    SDL_JoystickSetVirtualButton(pad, PAD_A, 0);
    h.frames(30);  // well past the start-of-game boost
    push(PAD_A);   // pressed anew, it boosts
    EXPECT_EQ(p.num_charges, 0);

    game.upgrade_choices[0] = charge_time;
    game.upgrade_choices[1] = max_charges;
    game_set_state(pick_upgrade);
    i32 level = p.stat_levels[max_charges];
    hat(SDL_HAT_DOWN);
    push(PAD_A);
    EXPECT_EQ(game.state, playing);
    EXPECT_EQ(p.stat_levels[max_charges], level + 1);

    game_set_state(game_over);
    h.frame();
    push(start);  // Start works the selected button too
    EXPECT_EQ(game.state, main_menu);
}

TEST_F(Pad_Game, PadPluggedInAfterStartUpSteersAndComesBack) {
    SDL_JoystickClose(pad);
    pad = nullptr;
    ASSERT_EQ(SDL_JoystickDetachVirtual(0), 0) << SDL_GetError();
    Headless h;  // no pad at start-up
    start_game(h);
    ASSERT_EQ(game.state, tutorial);
    Entity* e = player_entity();
    ASSERT_NE(e, nullptr);

    pad = attach_virtual_pad();
    ASSERT_NE(pad, nullptr) << SDL_GetError();
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_LEFT);
    f32 rot = e->rot;
    h.frames(20);
    EXPECT_GT(e->rot, rot);  // left turns counter-clockwise

    int index = -1;
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_JoystickGetDeviceInstanceID(i) == SDL_JoystickInstanceID(pad)) index = i;
    SDL_JoystickClose(pad);
    pad = nullptr;
    ASSERT_EQ(SDL_JoystickDetachVirtual(index), 0) << SDL_GetError();
    h.frame();
    EXPECT_EQ(e->variant.player.input.dir.x, 0.0f);

    pad = attach_virtual_pad();
    ASSERT_NE(pad, nullptr) << SDL_GetError();
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_RIGHT);
    h.frame();
    EXPECT_EQ(e->variant.player.input.dir.x, 1.0f);
    rot = e->rot;
    h.frames(20);
    EXPECT_LT(e->rot, rot);
}
