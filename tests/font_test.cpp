// The pack's font baked the way the game bakes it: crisp pixels, letters that read, and
// every text of the game inside the picture and clear of its neighbours.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "game/assets.h"
#include "harness.h"
#include "text_runs.h"

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

namespace {

// Ink pixels of one glyph, relative to the pen on the baseline (x right, y down: y >= 0 is
// below the baseline).
using Ink = std::set<std::pair<int, int>>;

struct Baked_Font {
    std::vector<u8> ttf;
    std::vector<u8> bitmap = std::vector<u8>(size_t(FONT_ATLAS_SIZE) * FONT_ATLAS_SIZE);
    stbtt_bakedchar baked[FONT_GLYPH_COUNT] = {};
    stbtt_fontinfo info = {};

    const stbtt_bakedchar& glyph(u32 cp) const { return baked[cp - FONT_FIRST_CODEPOINT]; }
    Ink ink(u32 cp) const {
        const stbtt_bakedchar& b = glyph(cp);
        Ink out;
        for (int y = b.y0; y < b.y1; y++)
            for (int x = b.x0; x < b.x1; x++)
                if (bitmap[size_t(y) * FONT_ATLAS_SIZE + x])
                    out.insert({x - b.x0 + int(b.xoff), y - b.y0 + int(b.yoff)});
        return out;
    }
};

const Baked_Font& pack_font() {
    static Baked_Font f;
    if (!f.ttf.empty()) return f;
    Assets a;
    if (!assets_load_from_file(VANTOREL_BUILD_DIR "/data/assets.sbpak", a)) {
        ADD_FAILURE() << "no asset pack in " VANTOREL_BUILD_DIR "/data";
        return f;
    }
    f.ttf = a.font_data;
    int offset = stbtt_GetFontOffsetForIndex(f.ttf.data(), 0);
    EXPECT_TRUE(stbtt_InitFont(&f.info, f.ttf.data(), offset));
    EXPECT_GT(stbtt_BakeFontBitmap(f.ttf.data(), offset, FONT_PIXEL_HEIGHT, f.bitmap.data(), FONT_ATLAS_SIZE,
                                   FONT_ATLAS_SIZE, FONT_FIRST_CODEPOINT, FONT_GLYPH_COUNT, f.baked),
              0)
        << "the glyphs do not all fit the atlas";
    return f;
}

// Separate runs of ink along each row.
int most_runs_in_a_row(const Ink& ink) {
    int most = 0;
    std::set<int> rows;
    for (auto [x, y] : ink) rows.insert(y);
    for (int y : rows) {
        int runs = 0, last = -100;
        for (auto [x, yy] : ink)
            if (yy == y) {
                if (x != last + 1) runs++;
                last = x;
            }
        most = std::max(most, runs);
    }
    return most;
}

Ink normalised(const Ink& ink) {
    int x0 = 1000, y0 = 1000;
    for (auto [x, y] : ink) x0 = std::min(x0, x), y0 = std::min(y0, y);
    Ink out;
    for (auto [x, y] : ink) out.insert({x - x0, y - y0});
    return out;
}

std::string name(u32 cp) { return cp < 128 ? std::string(1, char(cp)) : "U+" + std::to_string(cp); }

}  // namespace

TEST(PackFont, BakesCrispAndCoversAsciiAndLatin1Letters) {
    const Baked_Font& f = pack_font();
    ASSERT_FALSE(f.ttf.empty());
    EXPECT_LT(f.ttf.size(), 64u * 1024) << "a pixel font of a few hundred glyphs stays small";
    size_t grey = 0;
    for (u8 c : f.bitmap) grey += c != 0 && c != 255;
    EXPECT_EQ(grey, 0u) << "baked at 8 px every font pixel is a whole screen pixel";
    std::vector<u32> wanted;
    for (u32 cp = 0x21; cp < 0x7F; cp++) wanted.push_back(cp);
    for (u32 cp = 0xC0; cp <= 0xFF; cp++) wanted.push_back(cp);
    for (u32 cp : wanted) {
        EXPECT_NE(stbtt_FindGlyphIndex(&f.info, int(cp)), 0) << name(cp) << " is missing";
        EXPECT_FALSE(f.ink(cp).empty()) << name(cp) << " draws nothing";
        EXPECT_EQ(f.glyph(cp).xadvance, float(int(f.glyph(cp).xadvance))) << name(cp) << " advance off the grid";
    }
}

TEST(PackFont, LettersThatReadAtEightPixels) {
    const Baked_Font& f = pack_font();
    ASSERT_FALSE(f.ttf.empty());
    for (u32 cp : {'m', 'w', 'M', 'W'}) {
        EXPECT_GE(most_runs_in_a_row(f.ink(cp)), 3) << name(cp) << " needs three stems with gaps";
        EXPECT_GE(f.glyph(cp).xadvance, 6) << name(cp);
    }
    for (u32 cp : {'i', 'l', '!', ':'}) EXPECT_LE(f.glyph(cp).xadvance, 2) << name(cp) << " is narrow";

    auto below_baseline = [&](u32 cp) {
        for (auto [x, y] : f.ink(cp))
            if (y >= 0) return true;
        return false;
    };
    for (u32 cp : {'g', 'j', 'p', 'q', 'y'}) EXPECT_TRUE(below_baseline(cp)) << name(cp) << " needs a descender";
    for (u32 cp = '0'; cp <= '9'; cp++) EXPECT_FALSE(below_baseline(cp)) << name(cp);
    for (u32 cp = 'A'; cp <= 'Z'; cp++) EXPECT_FALSE(below_baseline(cp)) << name(cp);
    const u32 look_alikes[] = {'g', 'q', 'y', '9'};
    for (u32 a : look_alikes)
        for (u32 b : look_alikes)
            if (a < b) {
                EXPECT_NE(f.ink(a), f.ink(b)) << name(a) << " and " << name(b);
                EXPECT_NE(normalised(f.ink(a)), normalised(f.ink(b))) << name(a) << " and " << name(b) << " differ only in height";
            }

    auto extent = [&](u32 cp) {
        int x0 = 100, x1 = -100, y0 = 100, y1 = -100;
        for (auto [x, y] : f.ink(cp)) x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        return std::pair{x1 - x0 + 1, y1 - y0 + 1};
    };
    Ink slash = f.ink('/');
    EXPECT_GE(extent('/').second, 5) << "a slash as tall as a digit, not a tick";
    EXPECT_GE(extent('/').first, 3);
    EXPECT_LT(slash.rbegin()->first, slash.begin()->first + 3);
    auto lowest = *std::max_element(slash.begin(), slash.end(), [](auto a, auto b) { return a.second < b.second; });
    auto highest = *std::min_element(slash.begin(), slash.end(), [](auto a, auto b) { return a.second < b.second; });
    EXPECT_LT(lowest.first, highest.first) << "'/' leans forwards";
    EXPECT_GE(extent('%').first, 5);
    EXPECT_GE(extent('%').second, 5);
}

namespace {
struct Game_Text : testing::Test {
    Headless h;
    Renderer_Capture cap;
    void SetUp() override { renderer.capture = &cap; }
    void TearDown() override { renderer.capture = nullptr; }

    // Right edge of a run's ink, screen units, laid out as draw_screen_text lays it out.
    static f32 right_of(const Text_Run& r) {
        f32 pen = 0, right = 0;
        for (char c : r.text) {
            const Baked_Glyph& b = renderer.glyph_table[u8(c) - FONT_FIRST_CODEPOINT];
            if (b.x1 > b.x0) right = std::floor(pen + b.xoff + 0.5f) + f32(b.x1 - b.x0);
            pen += b.xadvance;
        }
        return r.x + right * r.size / 8;
    }
    void expect_inside_picture(const char* where) {
        for (const Font_Instance& g : cap.glyphs) {
            EXPECT_GE(g.pos[0], 0) << where;
            EXPECT_GE(g.pos[1], 0) << where;
            EXPECT_LE(g.pos[0] + g.size[0], VIEW_W) << where;
            EXPECT_LE(g.pos[1] + g.size[1], VIEW_H) << where;
        }
    }
};
}  // namespace

TEST_F(Game_Text, EveryScreenKeepsItsTextInsideThePicture) {
    // The end screens at their fullest: a long game of the HUD's largest score atop a full table.
    for (int i = 0; i < SCORE_TABLE_SIZE; i++)
        scores_insert(score_keeper.table, Score_Entry{999 - i, STAGE_COUNT, 59999, 2026, 12, 31});
    score_keeper.last = Game_Result{true, score_keeper.table.entries[0], 0};
    struct Screen {
        Game_State state;
        const char* name;
    };
    for (Screen s : {Screen{main_menu, "main menu"}, Screen{credits, "credits"}, Screen{paused, "paused"},
                     Screen{game_over, "game over"}, Screen{won, "won"}, Screen{intro, "intro"}}) {
        game_set_state(s.state);
        for (int selected = 0; selected < 4; selected++) {
            ui.selected = selected;
            h.frames(30);  // a selected button has slid fully in
            expect_inside_picture(s.name);
        }
    }
    for (int stat = 0; stat < PLAYER_STAT_COUNT; stat++) {
        game.upgrade_choices[0] = game.upgrade_choices[1] = Player_Stat(stat);
        game.stage = STAGE_COUNT - 2;
        game_set_state(pick_upgrade);
        ui.selected = 1;
        h.frames(30);
        expect_inside_picture(upgrade_labels[stat]);
        ASSERT_FALSE(cap.glyphs.empty());
    }
}

TEST_F(Game_Text, HudTextsStayApartAtTheirLargestValues) {
    start_game(h);
    game_set_state(playing);
    game.score = 999;
    game.stage = STAGE_COUNT - 1;
    ship().stat_levels[max_charges] = 9;
    ship().num_charges = 9;
    ship().health = 14;
    h.frame(0);
    expect_inside_picture("HUD");
    std::vector<Text_Run> all = text_runs(cap.glyphs);
    const Text_Run *score = nullptr, *stage = nullptr, *energy = nullptr, *bar = nullptr;
    for (const Text_Run& r : all) {
        if (r.text.rfind("SCORE", 0) == 0) score = &r;
        if (r.text.rfind("STAGE", 0) == 0) stage = &r;
        if (r.text.rfind("energy", 0) == 0) energy = &r;
        if (r.text.rfind("+", 0) == 0) bar = &r;
    }
    ASSERT_TRUE(score && stage && energy && bar);
    EXPECT_EQ(score->text, "SCORE 999");
    EXPECT_EQ(energy->text, "energy 9/9");
    EXPECT_LT(right_of(*score), stage->x) << "score runs into the stage";
    EXPECT_LT(right_of(*energy), bar->x) << "energy runs into the health bar";
}
