#include "paths.h"

#ifdef _WIN32
#include <cstdlib>
#include <windows.h>
#endif

#include "files.h"

namespace {
bool _is_dir(const std::string& p) { return file_is_folder(p.c_str()); }

#ifdef _WIN32
// The narrow environment is in the local code page; paths are UTF-8 here.
std::string _env_utf8(const wchar_t* name) { return file_utf8_from_wide(_wgetenv(name)); }
#endif
}  // namespace

std::string paths_join(const std::string& dir, const char* name) {
    if (dir.empty()) return name;
#ifdef _WIN32
    if (dir.back() == '\\') return dir + name;
#endif
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string paths_data_root(const std::string& exe_dir) {
    if (_is_dir(paths_join(exe_dir, "data"))) return exe_dir;
    std::string installed = paths_join(exe_dir, INSTALLED_DATA_ROOT);
    if (_is_dir(paths_join(installed, "data"))) return installed;
    return exe_dir;
}

std::string paths_config_dir(const char* xdg_config_home, const char* home) {
#ifdef _WIN32
    // Windows keeps a user's settings in the roaming application data folder.
    (void)xdg_config_home;
    (void)home;
    std::string appdata = _env_utf8(L"APPDATA");
    return appdata.empty() ? "" : paths_join(appdata, "Vantorel");
#endif
    if (xdg_config_home && xdg_config_home[0] == '/') return paths_join(xdg_config_home, "vantorel");
    if (home && home[0] == '/') return paths_join(paths_join(home, ".config"), "vantorel");
    return "";
}

std::string paths_data_dir(const char* xdg_data_home, const char* home) {
#ifdef _WIN32
    // Settings and scores share the roaming application data folder.
    return paths_config_dir(xdg_data_home, home);
#endif
    if (xdg_data_home && xdg_data_home[0] == '/') return paths_join(xdg_data_home, "vantorel");
    if (home && home[0] == '/') return paths_join(paths_join(paths_join(home, ".local"), "share"), "vantorel");
    return "";
}

bool paths_make_dirs(const std::string& dir) {
    if (dir.empty()) return false;
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        std::string part = dir.substr(0, slash);
        if (!file_make_folder(part.c_str())) return false;
        if (slash == std::string::npos) break;
    }
    return _is_dir(dir);
}
