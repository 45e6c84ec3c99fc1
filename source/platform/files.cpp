// Every file call of the game lives here, so another system needs only this file.
#include "files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <windows.h>
#else
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif
#include <ctime>
#include <unistd.h>
#endif

namespace {

// The same descriptor calls under Windows' names.
#ifdef _WIN32
int _sys_write(int fd, const void* p, size_t n) { return _write(fd, p, unsigned(n > INT_MAX ? INT_MAX : n)); }
#else
ssize_t _sys_write(int fd, const void* p, size_t n) { return write(fd, p, n); }
#endif

// errno says why when it fails.
bool _write_all(int fd, const std::uint8_t* bytes, size_t size) {
    while (size > 0) {
        auto n = _sys_write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

void _set_error(File_Read_Error* error, File_Read_Error why) {
    if (error) *error = why;
}

}  // namespace

bool file_append_write(File_Append& f, const void* bytes, std::size_t size) {
    if (f.fd < 0) {
        errno = EBADF;
        return false;
    }
    return _write_all(f.fd, static_cast<const std::uint8_t*>(bytes), size);
}

#ifdef _WIN32

namespace {

constexpr DWORD READ_CHUNK = 1 << 16;  // bytes
constexpr int TEMP_NAME_TRIES = 64;
constexpr int SET_ASIDE_TRIES = 999;

// Windows' narrow file calls take the local code page, not UTF-8.
std::wstring _wide(const char* utf8) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, out.data(), n);
    out.resize(size_t(n - 1));
    return out;
}

// What the C library's own calls would have left in errno.
int _errno_from(DWORD e) {
    switch (e) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        default: return EIO;
    }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> file_read_whole(const char* path, std::uint64_t max_bytes,
                                                         File_Read_Error* error) {
    _set_error(error, File_Read_Error::open_failed);
    if (!path) return std::nullopt;
    std::wstring w = _wide(path);
    if (w.empty()) {
        errno = ENOENT;
        return std::nullopt;
    }
    HANDLE h = CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = _errno_from(GetLastError());
        return std::nullopt;
    }
    _set_error(error, File_Read_Error::refused);
    std::optional<std::vector<std::uint8_t>> result;
    BY_HANDLE_FILE_INFORMATION info;
    // Only plain disk files: pipes, consoles and folders are refused like a missing file.
    if (GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        ((std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow) <= max_bytes) {
        std::vector<std::uint8_t> bytes;
        bool ok = true;
        for (;;) {
            size_t have = bytes.size();
            bytes.resize(have + READ_CHUNK);
            DWORD n = 0;
            if (!ReadFile(h, bytes.data() + have, READ_CHUNK, &n, nullptr)) ok = false;
            bytes.resize(have + n);
            if (!ok || n == 0) break;
            if (bytes.size() > max_bytes) {
                ok = false;
                break;
            }
        }
        if (ok) result = std::move(bytes);
        else _set_error(error, File_Read_Error::read_failed);
    }
    CloseHandle(h);
    return result;
}

std::optional<File_Append> file_append_create(const char* path) {
    std::wstring w = path ? _wide(path) : std::wstring();
    if (w.empty()) {
        errno = ENOENT;
        return std::nullopt;
    }
    // _O_EXCL: never an existing file, nor a link left in its place.
    int fd = _wopen(w.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd < 0) return std::nullopt;
    return File_Append{fd, file_identity(path)};
}

bool file_append_truncate(File_Append& f, std::uint64_t size) {
    return f.fd >= 0 && _chsize_s(f.fd, static_cast<long long>(size)) == 0;
}

bool file_append_sync(File_Append& f) { return f.fd >= 0 && _commit(f.fd) == 0; }

void file_append_close(File_Append& f) {
    if (f.fd >= 0) _close(f.fd);
    f.fd = -1;
}

bool file_remove_if_same(const char* path, const File_Identity& identity) {
    if (!path || file_identity(path) != identity) return false;
    return DeleteFileW(_wide(path).c_str()) != 0;
}

bool file_is_folder(const char* path) {
    std::wstring w = path ? _wide(path) : std::wstring();
    DWORD a = w.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(w.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool file_make_folder(const char* path) {
    std::wstring w = path ? _wide(path) : std::wstring();
    return !w.empty() && (_wmkdir(w.c_str()) == 0 || errno == EEXIST);
}

bool file_change_folder(const char* path) {
    std::wstring w = path ? _wide(path) : std::wstring();
    return !w.empty() && _wchdir(w.c_str()) == 0;
}

std::optional<File_Identity> file_identity(const char* path) {
    if (!path) return std::nullopt;
    std::wstring w = _wide(path);
    if (w.empty()) return std::nullopt;
    HANDLE h = CreateFileW(w.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    std::optional<File_Identity> id;
    if (GetFileInformationByHandle(h, &info))
        id = File_Identity{info.dwVolumeSerialNumber, (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    CloseHandle(h);
    return id;
}

bool file_write_atomic(const char* path, const void* bytes, std::size_t size) {
    if (!path || (!bytes && size > 0)) return false;
    std::wstring target = _wide(path);
    if (target.empty()) return false;
    std::wstring temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < TEMP_NAME_TRIES && h == INVALID_HANDLE_VALUE; attempt++) {
        wchar_t suffix[40];
        swprintf(suffix, 40, L".tmp-%08lx%04x", (unsigned long)(GetTickCount() ^ GetCurrentProcessId()),
                 unsigned(attempt));
        temp = target + suffix;
        // CREATE_NEW: never an existing file, never through a link left in its place.
        h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    const std::uint8_t* p = static_cast<const std::uint8_t*>(bytes);
    while (ok && size > 0) {
        DWORD chunk = size > (1u << 30) ? (1u << 30) : DWORD(size), n = 0;
        ok = WriteFile(h, p, chunk, &n, nullptr) && n > 0;
        p += n;
        size -= n;
    }
    ok = ok && FlushFileBuffers(h);
    ok = CloseHandle(h) && ok;
    // Windows' rename refuses to replace a file; MoveFileEx replaces it in one step.
    if (ok && MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DeleteFileW(temp.c_str());
    return false;
}

std::optional<std::string> file_set_aside(const char* path) {
    if (!path) return std::nullopt;
    std::wstring from = _wide(path);
    if (from.empty()) return std::nullopt;
    for (int n = 1; n <= SET_ASIDE_TRIES; n++) {
        std::string aside = std::string(path) + ".bad-" + std::to_string(n);
        // Without MOVEFILE_REPLACE_EXISTING the move refuses a name already taken.
        if (MoveFileExW(from.c_str(), _wide(aside.c_str()).c_str(), MOVEFILE_WRITE_THROUGH)) return aside;
        DWORD e = GetLastError();
        if (e != ERROR_ALREADY_EXISTS && e != ERROR_FILE_EXISTS) return std::nullopt;
    }
    return std::nullopt;
}

std::string file_utf8_from_wide(const wchar_t* text) {
    if (!text) return "";
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return "";
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(size_t(n - 1));
    return out;
}

#else

namespace {

constexpr size_t READ_CHUNK = 1 << 16;  // bytes
constexpr int TEMP_NAME_TRIES = 64;
constexpr int SET_ASIDE_TRIES = 999;

// O_NONBLOCK only matters for the open itself: a FIFO without a writer would otherwise
// block here for ever. Regular files ignore it.
int _open_for_reading(const char* path) {
    int fd;
    do fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    return fd;
}

#ifdef __EMSCRIPTEN__
// In the browser a written file lasts only once the page has copied it to its storage.
EM_JS(void, _persist_written_files, (), {
    if (Module.persist) Module.persist();
});
#endif

std::uint64_t _mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// A name nobody can guess ahead of us; O_EXCL makes even a guessed one harmless.
std::string _temp_name(const char* path, int attempt) {
    static std::uint64_t counter = 0;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t bits = _mix(std::uint64_t(now.tv_nsec) ^ (std::uint64_t(now.tv_sec) << 30) ^
                              (std::uint64_t(getpid()) << 20) ^ (++counter << 8) ^ std::uint64_t(attempt));
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp-%012llx", (unsigned long long)(bits & 0xffffffffffffull));
    return std::string(path) + suffix;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> file_read_whole(const char* path, std::uint64_t max_bytes,
                                                         File_Read_Error* error) {
    _set_error(error, File_Read_Error::open_failed);
    if (!path) return std::nullopt;
    int fd = _open_for_reading(path);
    if (fd < 0) return std::nullopt;
    _set_error(error, File_Read_Error::refused);
    std::optional<std::vector<std::uint8_t>> result;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
        std::uint64_t(st.st_size) <= max_bytes) {
        std::vector<std::uint8_t> bytes;
        bytes.reserve(size_t(st.st_size));
        bool ok = true;
        // The file may grow or shrink while it is read: read to its end, within the cap.
        for (;;) {
            size_t have = bytes.size();
            bytes.resize(have + READ_CHUNK);
            ssize_t n = read(fd, bytes.data() + have, READ_CHUNK);
            if (n < 0 && errno == EINTR) {
                bytes.resize(have);
                continue;
            }
            if (n < 0) ok = false;
            bytes.resize(have + (n > 0 ? size_t(n) : 0));
            if (n <= 0) break;
            if (bytes.size() > max_bytes) {
                ok = false;
                break;
            }
        }
        if (ok) result = std::move(bytes);
        else _set_error(error, File_Read_Error::read_failed);
    }
    close(fd);
    return result;
}

std::optional<File_Append> file_append_create(const char* path) {
    if (!path) {
        errno = ENOENT;
        return std::nullopt;
    }
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) return std::nullopt;
    return File_Append{fd, file_identity(path)};
}

bool file_append_truncate(File_Append& f, std::uint64_t size) {
    return f.fd >= 0 && ftruncate(f.fd, off_t(size)) == 0;
}

bool file_append_sync(File_Append& f) { return f.fd >= 0 && fsync(f.fd) == 0; }

void file_append_close(File_Append& f) {
    if (f.fd >= 0) close(f.fd);
    f.fd = -1;
}

bool file_remove_if_same(const char* path, const File_Identity& identity) {
    if (!path || file_identity(path) != identity) return false;
    return unlink(path) == 0;
}

bool file_is_folder(const char* path) {
    struct stat st;
    return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool file_make_folder(const char* path) { return path && (mkdir(path, 0700) == 0 || errno == EEXIST); }

bool file_change_folder(const char* path) { return path && chdir(path) == 0; }

std::optional<File_Identity> file_identity(const char* path) {
    struct stat st;
    if (!path || lstat(path, &st) != 0) return std::nullopt;
    return File_Identity{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

bool file_write_atomic(const char* path, const void* bytes, std::size_t size) {
    if (!path || (!bytes && size > 0)) return false;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < TEMP_NAME_TRIES && fd < 0; attempt++) {
        temp = _temp_name(path, attempt);
        // Mode as an ordinary new file gets it: the umask decides.
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR) return false;
    }
    if (fd < 0) return false;
    bool ok = _write_all(fd, static_cast<const std::uint8_t*>(bytes), size);
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && rename(temp.c_str(), path) == 0) {
#ifdef __EMSCRIPTEN__
        _persist_written_files();
#endif
        return true;
    }
    unlink(temp.c_str());
    return false;
}

std::optional<std::string> file_set_aside(const char* path) {
    if (!path) return std::nullopt;
    for (int n = 1; n <= SET_ASIDE_TRIES; n++) {
        std::string aside = std::string(path) + ".bad-" + std::to_string(n);
        // A hard link never replaces a name already taken, so nothing set aside before is lost.
        if (link(path, aside.c_str()) == 0) {
            unlink(path);
            return aside;
        }
        if (errno == EEXIST) continue;
        if (errno == ENOENT) return std::nullopt;
        // File systems without hard links: rename, after making sure the name is free.
        struct stat st;
        if (lstat(aside.c_str(), &st) == 0) continue;
        if (errno == ENOENT && rename(path, aside.c_str()) == 0) return aside;
        return std::nullopt;
    }
    return std::nullopt;
}

#endif  // _WIN32

std::string file_url_from_path(std::string_view absolute_path) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string url = "file://";
    url.reserve(url.size() + absolute_path.size() * 3);
    for (char ch : absolute_path) {
        unsigned char c = static_cast<unsigned char>(ch);
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            url += char(c);
        } else {
            url += '%';
            url += HEX[c >> 4];
            url += HEX[c & 15];
        }
    }
    return url;
}
