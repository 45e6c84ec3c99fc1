// The table of the best games: its order, its file, damaged files, and what the screens show.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>

#include "harness.h"
#include "text_runs.h"

namespace fs = std::filesystem;

namespace {
fs::path table_file() { return fs::path(harness_scores_dir) / SCORES_FILE; }

// A body with the checksum line the writer would end it with.
std::string signed_text(const std::string& body) {
    char line[32];
    std::snprintf(line, sizeof line, "crc32 %08lx\n",
                  crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(body.data()), uInt(body.size())));
    return body + line;
}

bool drawn(const std::vector<Text_Run>& runs, const std::string& text, f32 x, f32 y) {
    for (const Text_Run& r : runs)
        if (r.text == text && r.x == x && r.y == y && r.color[1] == 255) return true;
    return false;
}
}  // namespace

TEST(ScoreTable, KeepsTheTenBestInOrderAndReadsBackWhatItWrote) {
    Score_Table t;
    // Played in this order; the time tells games of equal score apart.
    const i32 played[] = {5, 12, 0, 7, 12, 3, 30, 1, 9, 9, 2, 4, 8};
    for (i32 i = 0; i < 13; i++) scores_insert(t, Score_Entry{played[i], 1 + i % STAGE_COUNT, i, 2026, 1, 31});
    const i32 score[10] = {30, 12, 12, 9, 9, 8, 7, 5, 4, 3}, game_index[10] = {6, 1, 4, 8, 9, 12, 3, 0, 11, 5};
    ASSERT_EQ(t.count, SCORE_TABLE_SIZE);
    for (int i = 0; i < SCORE_TABLE_SIZE; i++) {
        EXPECT_EQ(t.entries[i].score, score[i]) << i;
        EXPECT_EQ(t.entries[i].time_played, game_index[i]) << i;
    }
    EXPECT_EQ(scores_insert(t, Score_Entry{3, 1, 0, 2026, 1, 31}), -1);  // a tie with the last stays out
    EXPECT_EQ(scores_insert(t, Score_Entry{31, 6, 754, 2026, 12, 1}), 0);
    for (const Score_Table& written : {t, Score_Table{}}) {
        std::string text = scores_to_text(written);
        auto back = scores_from_text(text.data(), text.size());
        ASSERT_TRUE(back);
        ASSERT_EQ(back->count, written.count);
        EXPECT_EQ(scores_to_text(*back), text);
    }
    EXPECT_EQ(scores_to_text(t).substr(0, 41), "vantorel scores 1\n31 6 754 2026-12-01\n30 ");
}

TEST(ScoreTable, RefusesDamagedAndForeignTexts) {
    Score_Table t;
    scores_insert(t, Score_Entry{14, 2, 95, 2026, 5, 17});
    const std::string good = scores_to_text(t), head = "vantorel scores 1\n", row = "14 2 95 2026-05-17\n";
    ASSERT_TRUE(scores_from_text(good.data(), good.size()));
    ASSERT_TRUE(scores_from_text(signed_text(head + row).data(), signed_text(head + row).size()));
    std::string digit = good, crlf = signed_text("vantorel scores 1\r\n" + row), eleven = head;
    digit[head.size() + 1] = '5';
    for (int i = 0; i < 11; i++) eleven += row;
    const std::pair<const char*, std::string> bad[] = {
        {"empty", ""},
        {"other file", "{\n\t\"input_map\": {}\n}"},
        {"cut short", good.substr(0, good.size() - 1)},
        {"a digit changed", digit},
        {"bytes after the checksum", good + "\n"},
        {"Windows line ends", crlf},
        {"later version", signed_text("vantorel scores 2\n" + row)},
        {"out of order", signed_text(head + row + "15 2 95 2026-05-17\n")},
        {"eleven games", signed_text(eleven)},
        {"stage beyond the last", signed_text(head + "14 7 95 2026-05-17\n")},
        {"leading zero", signed_text(head + "014 2 95 2026-05-17\n")},
        {"no points", signed_text(head + "0 2 95 2026-05-17\n")},
        {"month 13", signed_text(head + "14 2 95 2026-13-17\n")},
        {"two spaces", signed_text(head + "14  2 95 2026-05-17\n")},
    };
    for (const auto& [what, text] : bad) EXPECT_FALSE(scores_from_text(text.data(), text.size())) << what;
}

// A damaged table is set aside, not lost; the game that ends shows its result and is kept;
// the title then shows the best.
TEST(ScoreTable, GameEndKeepsTheResultAndShowsIt) {
    const std::string damaged = "vantorel scores 1\n12 1 60 2026-05-17\ncrc32 00000000\n";
    { std::ofstream(table_file(), std::ios::binary) << damaged; }
    std::optional<Headless> h;
    std::string said = capture_output(harness_scores_dir + "/log", [&] { h.emplace(); });
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(SCORES_FILE), std::string::npos) << said;
    EXPECT_EQ(read_text(table_file().string() + ".bad-1"), damaged);
    EXPECT_FALSE(fs::exists(table_file()));
    EXPECT_EQ(score_keeper.table.count, 0);

    Renderer_Capture cap;
    renderer.capture = &cap;
    start_game(*h);
    game_set_state(playing);
    h->frames(150);  // 2.5 s of play
    game.score = 17;
    game.stage = 1;
    ship().health = 1;
    place_asteroid(player_entity()->pos);
    for (int i = 0; i < 120 && game.state == playing; i++) h->frame();
    ASSERT_EQ(game.state, game_over);
    const Score_Entry& e = score_keeper.last.entry;
    EXPECT_EQ(e.score, 17);
    EXPECT_EQ(e.stage, 2);
    EXPECT_EQ(e.time_played, 2);
    std::string text = read_text(table_file());
    auto kept = scores_from_text(text.data(), text.size());
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept->count, 1);
    EXPECT_EQ(kept->entries[0].score, 17);
    EXPECT_EQ(kept->entries[0].year, HEADLESS_DATE.year);
    EXPECT_EQ(kept->entries[0].month, HEADLESS_DATE.month);
    EXPECT_EQ(kept->entries[0].day, HEADLESS_DATE.day);

    h->frame();
    std::vector<Text_Run> runs = text_runs(cap.glyphs);
    EXPECT_TRUE(drawn(runs, "SCORE 17 STAGE 2/6 TIME 0:02", 10, RESULT_LINE_Y));
    EXPECT_TRUE(drawn(runs, "NEW BEST", DATE_LEFT, TABLE_FIRST_Y));
    h->tap(DK_ENTER);  // Continue
    h->frame();
    ASSERT_EQ(game.state, main_menu);
    EXPECT_TRUE(drawn(text_runs(cap.glyphs), "BEST 17", BEST_SCORE_POS.x, BEST_SCORE_POS.y));
    renderer.capture = nullptr;
}
