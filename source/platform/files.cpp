// The operating system's file calls live here alone, so another system needs only this file.
#include "files.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t READ_CHUNK = 1 << 16;  // bytes
constexpr int TEMP_NAME_TRIES = 64;

// O_NONBLOCK only matters for the open itself: a FIFO without a writer would otherwise
// block here for ever. Regular files ignore it.
int _open_for_reading(const char* path) {
    int fd;
    do fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool _write_all(int fd, const std::uint8_t* bytes, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

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

std::optional<std::vector<std::uint8_t>> file_read_whole(const char* path, std::uint64_t max_bytes) {
    if (!path) return std::nullopt;
    int fd = _open_for_reading(path);
    if (fd < 0) return std::nullopt;
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
    }
    close(fd);
    return result;
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
    if (ok && rename(temp.c_str(), path) == 0) return true;
    unlink(temp.c_str());
    return false;
}

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
