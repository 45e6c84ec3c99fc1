// Where the game finds its data and puts its settings, in the build tree and installed,
// and what the command line may ask for.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "game/command_line.h"
#include "game/settings.h"
#include "harness.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace {

const fs::path REAL_DATA = fs::path(VANTOREL_BUILD_DIR) / "data";

fs::path fresh_dir(const std::string& name) {
    fs::path d = fs::path(testing::TempDir()) / ("vantorel-startup-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

struct Run_Result {
    size_t max_glyphs = 0;
    std::string printed;  // standard output and error
};

// A short headless run from `exe_dir`: main menu, a few frames, normal shutdown.
Run_Result run_from(const fs::path& exe_dir) {
    Run_Result r;
    std::string log = exe_dir.string() + ".log";
    r.printed = capture_output(log, [&] {
        Renderer_Capture cap;
        Headless h(exe_dir.string());
        renderer.capture = &cap;
        h.frames(5);
        r.max_glyphs = cap.glyphs.size();
        renderer.capture = nullptr;
    });
    fs::remove(log);
    return r;
}

}  // namespace

TEST(Startup, DataIsFoundBesideTheGameFirstThenInTheInstalledTree) {
    fs::path prefix = fresh_dir("prefix");
    fs::path games = prefix / "games";
    fs::path share = prefix / "share" / "games" / "vantorel";
    fs::create_directories(games);
    fs::create_directories(share);
    EXPECT_EQ(paths_data_root(games.string()), games.string()) << "nothing anywhere: the game's own folder";

    fs::create_directory_symlink(REAL_DATA, share / "data");
    EXPECT_EQ(fs::canonical(paths_data_root(games.string())), fs::canonical(share));
    EXPECT_EQ(fs::canonical(paths_data_root(games.string() + "/")), fs::canonical(share));

    fs::create_directories(games / "data");
    EXPECT_EQ(paths_data_root(games.string()), games.string()) << "data beside the game wins";
    fs::remove_all(prefix);
}

TEST(Startup, AnInstalledTreeShowsItsTextAndSavesBesideTheGameWhenItCan) {
    fs::path prefix = fresh_dir("installed");
    fs::create_directories(prefix / "games");
    fs::create_directories(prefix / "share" / "games" / "vantorel");
    fs::create_directory_symlink(REAL_DATA, prefix / "share" / "games" / "vantorel" / "data");
    fs::path config = prefix / "config";
    Env_Guard xdg("XDG_CONFIG_HOME", config.c_str());

    Run_Result r = run_from(prefix / "games");
    EXPECT_GT(r.max_glyphs, 0u) << "the pack was not found through the installed location";
    EXPECT_EQ(r.printed, "");
    EXPECT_EQ(read_text(prefix / "games" / "settings.json"), settings_to_json(settings));
    EXPECT_FALSE(fs::exists(config)) << "the config folder is only for when the game's folder refuses";
    EXPECT_FALSE(fs::exists(prefix / "share" / "games" / "vantorel" / "settings.json"));
    fs::remove_all(prefix);
}

TEST(Startup, SettingsFallBackToTheConfigFolderAndSayWhenNothingTakesThem) {
    fs::path base = fresh_dir("fallback");
    fs::path games = base / "games";
    fs::create_directories(games);
    fs::create_directory_symlink(REAL_DATA, games / "data");
    // A folder where the file should be refuses the save as a read-only folder would, even for root.
    fs::create_directories(games / "settings.json");

    {
        SCOPED_TRACE("XDG_CONFIG_HOME, created with its parents");
        fs::path config = base / "xdg" / "deeper";
        Env_Guard xdg("XDG_CONFIG_HOME", config.c_str());
        Run_Result r = run_from(games);
        EXPECT_EQ(r.printed, "");
        EXPECT_EQ(read_text(config / "vantorel" / "settings.json"), settings_to_json(settings));
        EXPECT_EQ(fs::status(config / "vantorel").permissions() & fs::perms::all, fs::perms::owner_all);
    }
    {
        SCOPED_TRACE("relative XDG_CONFIG_HOME ignored: HOME/.config");
        fs::path home = base / "home";
        fs::create_directories(home);
        Env_Guard xdg("XDG_CONFIG_HOME", "relative/config");
        Env_Guard h("HOME", home.c_str());
        Run_Result r = run_from(games);
        EXPECT_EQ(r.printed, "");
        EXPECT_EQ(read_text(home / ".config" / "vantorel" / "settings.json"), settings_to_json(settings));
        EXPECT_FALSE(fs::exists(games / "relative"));
    }
    {
        SCOPED_TRACE("no place at all: one line on standard error");
        std::ofstream(base / "a-file") << "x";
        Env_Guard xdg("XDG_CONFIG_HOME", (base / "a-file").c_str());
        Run_Result r = run_from(games);
        EXPECT_NE(r.printed.find("settings.json"), std::string::npos) << r.printed;
        EXPECT_EQ(std::count(r.printed.begin(), r.printed.end(), '\n'), 1) << r.printed;
        EXPECT_TRUE(fs::is_directory(games / "settings.json"));
    }
    fs::remove_all(base);
}

TEST(Startup, CommandLineOptions) {
    auto parse = [](std::initializer_list<const char*> args, Command_Line& cl, std::string* error = nullptr) {
        std::vector<const char*> argv = {"vantorel"};
        argv.insert(argv.end(), args);
        char buf[128] = "";
        bool ok = command_line_parse(int(argv.size()), argv.data(), cl, buf, sizeof buf);
        if (error) *error = buf;
        return ok;
    };
    Command_Line cl;
    ASSERT_TRUE(parse({}, cl));
    EXPECT_EQ(cl.window_mode, window_mode_fullscreen);
    EXPECT_FALSE(cl.show_help || cl.show_version);

    ASSERT_TRUE(parse({"--windowed"}, cl));
    EXPECT_EQ(cl.window_mode, window_mode_windowed);
    ASSERT_TRUE(parse({"--windowed", "--fullscreen"}, cl));
    EXPECT_EQ(cl.window_mode, window_mode_fullscreen) << "the last of the two wins";
    ASSERT_TRUE(parse({"--version"}, cl));
    EXPECT_TRUE(cl.show_version);

    std::string error;
    EXPECT_FALSE(parse({"--windowed", "--bogus"}, cl, &error));
    EXPECT_NE(error.find("--bogus"), std::string::npos) << error;
    EXPECT_FALSE(parse({"--windowed=yes"}, cl));
    EXPECT_FALSE(parse({""}, cl));
}
