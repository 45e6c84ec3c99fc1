// Where the game finds its data and keeps "settings.json", in the build tree and installed.
#pragma once
#include <string>

// An installed tree keeps the executable in <prefix>/games and the data folder here,
// relative to the executable's folder, so the tree works from any prefix.
constexpr const char* INSTALLED_DATA_ROOT = "../share/games/vantorel";

// The folder whose "data" the game reads: the executable's own folder when it holds
// "data", else the installed location when that does, else the executable's folder.
std::string paths_data_root(const std::string& exe_dir);
// The per-user settings folder: $XDG_CONFIG_HOME/vantorel, else $HOME/.config/vantorel
// (on Windows %APPDATA%\Vantorel, whatever the arguments).
// Relative or empty variables are ignored; empty when neither gives an absolute path.
std::string paths_config_dir(const char* xdg_config_home, const char* home);
// The per-user data folder, where the score table goes when the game's own folder refuses it:
// $XDG_DATA_HOME/vantorel, else $HOME/.local/share/vantorel (on Windows %APPDATA%\Vantorel).
// Relative or empty variables are ignored; empty when neither gives an absolute path.
std::string paths_data_dir(const char* xdg_data_home, const char* home);
// Creates `dir` and any missing parents (mode 0700); true when it is a folder afterwards.
bool paths_make_dirs(const std::string& dir);
// `dir` and `name` with exactly one slash between them.
std::string paths_join(const std::string& dir, const char* name);
