// The game's one door to files: whole-file reads, atomic writes, an append stream for a
// recording, file identity, folders. Paths are UTF-8 on every system.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Why a whole-file read gave nothing.
enum class File_Read_Error : std::uint8_t {
    open_failed,   // errno says why
    refused,       // not a regular file, or larger than asked for
    read_failed,
};

// The bytes of a regular file of at most max_bytes. Anything else at the path (a FIFO, a
// device, a folder) is refused at once, without waiting for a writer, like a missing file.
std::optional<std::vector<std::uint8_t>> file_read_whole(const char* path, std::uint64_t max_bytes,
                                                         File_Read_Error* error = nullptr);

// Replaces the file at path with exactly these bytes, or leaves it as it was. The bytes go
// to a new temporary file in the same folder, created exclusively (never through a link or
// into a file that is already there), which is then renamed over path; a link at path is
// replaced, never followed. False on any failure, with the temporary removed.
bool file_write_atomic(const char* path, const void* bytes, std::size_t size);

// Which file a name leads to, whatever the name: two names of one file have one identity.
// A link at the path is not followed: its own identity is given.
struct File_Identity {
    std::uint64_t volume = 0;  // device, or on Windows the volume's serial number
    std::uint64_t file = 0;    // inode, or on Windows the file index
    bool operator==(const File_Identity&) const = default;
};
std::optional<File_Identity> file_identity(const char* path);

// A file made new and written front to back while the game runs.
struct File_Append {
    int fd = -1;
    std::optional<File_Identity> identity;  // of the file made, to find it again by its name
};
// Creates path as a new file: whatever the name holds already (a file, a link, a pipe) is
// left untouched, and opening never blocks. Nothing, with errno set, when it cannot.
std::optional<File_Append> file_append_create(const char* path);
// Every byte, or false with errno set.
bool file_append_write(File_Append& f, const void* bytes, std::size_t size);
bool file_append_truncate(File_Append& f, std::uint64_t size);  // bytes
bool file_append_sync(File_Append& f);
// Harmless on a closed stream.
void file_append_close(File_Append& f);
// Removes path only while it still names the file of that identity.
bool file_remove_if_same(const char* path, const File_Identity& identity);

// A folder at path, following links.
bool file_is_folder(const char* path);
// Makes the folder (0700 where modes exist); true also when the name is already taken.
bool file_make_folder(const char* path);
bool file_change_folder(const char* path);

// Moves the file at path out of the way to "<path>.bad-<n>", the first n nothing holds, so
// a damaged file is kept for a look rather than overwritten. Never replaces anything there.
// The new name, or nothing when it could not be moved.
std::optional<std::string> file_set_aside(const char* path);

#ifdef _WIN32
// A UTF-16 text from Windows (an argument, the environment) as the UTF-8 every path here is;
// "" for none.
std::string file_utf8_from_wide(const wchar_t* text);
#endif

// A file:// URL naming an absolute path. Every byte outside A-Z a-z 0-9 - . _ ~ and "/"
// is percent-encoded, so "#", "?", "%", spaces and newlines stay part of the path.
std::string file_url_from_path(std::string_view absolute_path);
