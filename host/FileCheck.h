#pragma once
// How the host looks at a file of the installation before anything reads it. A reader
// that meets a folder, a pipe or a link loop where its file should be either raises a
// stream error, blocks, or reads nothing and takes its defaults, as if the file were
// missing; the host tells these cases apart and names them, so a person can mend them.

#include <cstdint>
#include <string>
#include <string_view>

enum class FileState {
    Readable, // a regular file that opens for reading
    Missing,  // nothing at all at that path
    Unusable, // something is there that cannot be read as a file: see reason
};

struct FileStatus {
    FileState state = FileState::Missing;
    std::string reason;     // for Unusable: "is a folder, not a file", "cannot be read: ..."
    std::int64_t size = 0;  // bytes, for Readable
};

// Never blocks (a pipe is Unusable without being opened) and never raises.
FileStatus CheckFile(const std::string& path);
// Readable when path is a folder whose entries can be listed.
FileStatus CheckFolder(const std::string& path);

// What is wrong with a database file of the server ("is missing", "is empty (0 bytes)",
// "is not a database", the reason of CheckFile); empty when it looks like one.
std::string DatabaseFileProblem(const std::string& path);

// A text as it may be printed in a message: bytes below 32 and DEL as \xNN (a NUL byte
// shows as \x00), clipped to max characters with the full length noted.
std::string Printable(std::string_view text, std::size_t max = 200);
// A path holding a NUL byte is cut short by every system call that takes it.
inline bool HasNulByte(std::string_view text)
{
    return text.find('\0') != std::string_view::npos;
}
