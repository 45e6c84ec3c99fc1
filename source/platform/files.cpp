#include "files.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
// Windows' narrow file calls take the local code page, not UTF-8.
std::wstring _wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), -1, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), -1, out.data(), n);
    out.resize(size_t(n - 1));
    return out;
}
#endif

FILE* _create(const std::string& path) {
#ifdef _WIN32
    std::wstring w = _wide(path);
    return w.empty() ? nullptr : _wfopen(w.c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

bool _flush_to_disk(FILE* f) {
    if (std::fflush(f) != 0) return false;
#ifdef _WIN32
    return _commit(_fileno(f)) == 0;
#else
    return fsync(fileno(f)) == 0;
#endif
}

// Windows' rename refuses to replace an existing file; MoveFileEx replaces it in one step.
bool _replace(const std::string& from, const std::string& to) {
#ifdef _WIN32
    std::wstring wfrom = _wide(from), wto = _wide(to);
    return !wfrom.empty() && !wto.empty() &&
           MoveFileExW(wfrom.c_str(), wto.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void _remove(const std::string& path) {
#ifdef _WIN32
    std::wstring w = _wide(path);
    if (!w.empty()) DeleteFileW(w.c_str());
#else
    std::remove(path.c_str());
#endif
}

}  // namespace

bool file_write_atomic(const char* path, const void* bytes, std::size_t size) {
    std::string tmp = std::string(path) + ".tmp";
    FILE* f = _create(tmp);
    if (!f) return false;
    bool ok = std::fwrite(bytes, 1, size, f) == size;
    ok = _flush_to_disk(f) && ok;
    ok = (std::fclose(f) == 0) && ok;
    if (ok && _replace(tmp, path)) return true;
    _remove(tmp);
    return false;
}
