// The table of the ten best games, kept between launches, and the result of the game just ended.
//
// File "scores.txt", plain text, every line ending in "\n":
//
//   vantorel scores 1
//   <score> <stage> <seconds> <date>      one line per game, best first, at most ten
//   crc32 <8 lowercase hex digits>        CRC-32 (zlib) of every byte before this line
//
// score: 1 or more; stage: the stage reached, 1 to STAGE_COUNT; seconds: time played;
// date: YYYY-MM-DD, the player's calendar day when the game ended. Numbers are decimal
// without sign or leading zeros; fields are separated by one space. Games with equal
// scores keep the order they were played in. Anything else (another first line, a wrong
// checksum, a line out of order, bytes after the checksum) makes the file damaged.
//
// It lives beside the executable when that folder takes it, else in the user's data
// folder (paths_data_dir). A damaged file is set aside and a fresh table starts.
#pragma once
#include <optional>
#include <string>

#include "common.h"

constexpr int SCORE_TABLE_SIZE = 10;
constexpr const char* SCORES_FILE = "scores.txt";
// Far more than a table (under 400 bytes), so a foreign file is read, refused and set aside
// rather than taken for a missing one and replaced.
constexpr size_t SCORES_READ_LIMIT = size_t(1) << 20;  // bytes

struct Score_Entry {
    i32 score = 0;
    i32 stage = 0;         // stage reached, counted from 1 as the heads-up display shows it
    i32 time_played = 0;   // seconds of world time from the start of the game to its end
    i32 year = 0, month = 0, day = 0;
};

struct Score_Table {
    Score_Entry entries[SCORE_TABLE_SIZE];  // best first
    i32 count = 0;
};

// The game that ended last, for its end screen.
struct Game_Result {
    bool ended = false;  // a game has ended since the last New Game
    Score_Entry entry;
    i32 rank = -1;       // its place in the table, -1 when it did not get in
};

struct Score_Keeper {
    Score_Table table;
    Game_Result last;
    f32 game_start_time = 0;  // seconds of game time when the current game began
    // Where the table lives; empty: beside the executable, else the user's data folder.
    // Tests point it at a folder of their own.
    std::string folder;
};
extern Score_Keeper score_keeper;

std::string scores_to_text(const Score_Table& t);
// Nothing for a damaged or foreign text.
std::optional<Score_Table> scores_from_text(const char* text, size_t size);
// Puts e in its place and returns that place; -1 (table unchanged) when it scores nothing
// or less than all ten kept.
i32 scores_insert(Score_Table& t, const Score_Entry& e);

// Reads the table (start-up); a damaged file is set aside with one line on standard error.
void scores_load();
// A new game starts its clock.
void scores_game_started();
// The world step ended the game (lost or won): the result is kept for its end screen and
// written to the table, except while a replay plays.
void scores_game_ended();
