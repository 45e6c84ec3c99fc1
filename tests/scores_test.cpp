// The table of the best games: its order, its file, damaged files, and what the screens show.
#include <gtest/gtest.h>
#include <zlib.h>

#include "harness.h"
#include "text_runs.h"

TEST(ScoreTable, KeepsTheTenBestInOrderReadsBackWhatItWroteAndRefusesDamage) {
    Score_Table t;
    const i32 played[] = {5, 12, 0, 7, 12, 3, 30, 1, 9, 9, 2, 4, 8, 3};  // the time is the game's index
    for (i32 i = 0; i < 14; i++) scores_insert(t, Score_Entry{played[i], 1 + i % STAGE_COUNT, i, 2026, 1, 31});
    const i32 kept[10] = {6, 1, 4, 8, 9, 12, 3, 0, 11, 5};  // equal scores in the order played, the last 3 out
    ASSERT_EQ(t.count, SCORE_TABLE_SIZE);
    for (int i = 0; i < SCORE_TABLE_SIZE; i++) EXPECT_EQ(t.entries[i].time_played, kept[i]) << i;
    const std::string text = scores_to_text(t), head = "vantorel scores 1\n", row = "14 2 95 2026-05-17\n";
    EXPECT_TRUE(text.starts_with(head + "30 1 6 2026-01-31\n12 2 1 2026-01-31\n")) << text;
    auto back = scores_from_text(text.data(), text.size());
    ASSERT_TRUE(back && scores_to_text(*back) == text);
    auto sign = [](std::string body) {  // the checksum line the writer would add
        char line[32];
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
        std::snprintf(line, sizeof line, "crc32 %08lx\n", crc);
        return body + line;
    };
    std::string digit = text;
    digit[head.size()] = '4';
    ASSERT_TRUE(scores_from_text(sign(head + row).data(), sign(head + row).size()));
    // Cut short, a digit changed, a later version, out of order, a stage beyond the last, a leading zero.
    for (const std::string& bad : {text.substr(0, text.size() - 1), digit, sign("vantorel scores 2\n" + row),
                                   sign(head + row + "15 2 95 2026-05-17\n"), sign(head + "14 7 95 2026-05-17\n"),
                                   sign(head + "014 2 95 2026-05-17\n")})
        EXPECT_FALSE(scores_from_text(bad.data(), bad.size())) << bad;
}

// A damaged table is set aside, not lost; the game that ends is kept and shows its result;
// the title then shows the best.
TEST(ScoreTable, GameEndKeepsTheResultAndShowsIt) {
    const std::string file = harness_scores_dir + "/" + SCORES_FILE, damaged = "vantorel scores 1\ncrc32 0\n";
    { std::ofstream(file, std::ios::binary) << damaged; }
    std::optional<Headless> h;
    std::string said = capture_output(harness_scores_dir + "/log", [&] { h.emplace(); });
    EXPECT_NE(said.find(file + " is not a score table"), std::string::npos) << said;
    EXPECT_EQ(read_text(file + ".bad-1"), damaged);
    Renderer_Capture cap;
    renderer.capture = &cap;
    start_game(*h);
    game_set_state(playing);
    h->frames(150);  // 2.5 s of play
    game.score = 17;
    ship().health = 1;
    place_asteroid(player_entity()->pos);
    h->frames(2);
    Platform_Date d = HEADLESS_DATE;
    EXPECT_EQ(read_text(file), scores_to_text(Score_Table{{{17, 1, 2, d.year, d.month, d.day}}, 1}));
    auto drawn = [&](const std::string& s, f32 x, f32 y) {
        for (const Text_Run& r : text_runs(cap.glyphs)) if (r.text == s && r.x == x && r.y == y) return true;
        return false;
    };
    EXPECT_TRUE(drawn("SCORE 17 STAGE 1/6 TIME 0:02", 10, RESULT_LINE_Y));
    EXPECT_TRUE(drawn("NEW BEST", DATE_LEFT, TABLE_FIRST_Y));
    h->tap(DK_ENTER);  // Continue
    h->frame();
    EXPECT_TRUE(drawn("BEST 17", BEST_SCORE_POS.x, BEST_SCORE_POS.y));
    renderer.capture = nullptr;
}
