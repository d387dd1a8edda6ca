#pragma once
/// Small file helpers: whole-or-nothing writes, whole reads, folder creation.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zefirel {

/// Writes size bytes to path whole or not at all: the bytes go to a temporary file
/// in the same folder, which is flushed to disk and then renamed over path. Returns
/// false on any failure; no partial file and no temporary file is left behind then.
bool writeFileAtomic(const std::string& path, const void* data, size_t size);
bool writeFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes);

/// A file written piece by piece and still whole or not at all: the pieces go to a
/// temporary file beside the target, which commit() flushes to disk and renames
/// over the target. A writer destroyed without a successful commit() removes its
/// temporary file and leaves the target as it was.
class CAtomicFile {
public:
    CAtomicFile() = default;
    ~CAtomicFile() { discard(); }
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    /// Creates the temporary file for path; false when it cannot be created.
    bool open(const std::string& path);
    /// Appends bytes; false (and every later call false) on a write error.
    bool write(const void* data, size_t size);
    /// Flushes, closes and renames over the target; false on any failure (the
    /// temporary file is removed then).
    bool commit();
    /// Drops the temporary file (nothing happens to the target).
    void discard();

private:
    int m_fd = -1;
    bool m_failed = false;
    std::string m_path, m_temp;
};

/// Writes all size bytes to a file descriptor, retrying after interruptions and
/// partial writes. Returns false on the first real write error.
bool writeFully(int fd, const void* data, size_t size);

/// Reads at most maxBytes bytes of a file into out (replacing its content).
/// Returns false when the file cannot be opened or read.
bool readFile(const std::string& path, std::vector<uint8_t>& out, size_t maxBytes = SIZE_MAX);
/// Reads exactly size bytes from the start of a file; false when fewer are there.
bool readFileExact(const std::string& path, void* out, size_t size);

/// Creates a folder and every missing parent (like mkdir -p). Returns true when the
/// folder exists afterwards.
bool makeFolders(const std::string& path);
/// True when path names an existing folder.
bool isFolder(const std::string& path);
/// True when both paths name one existing file: the same device and inode, so also
/// through a symbolic or hard link or another spelling of the path.
bool sameFile(const std::string& a, const std::string& b);

/// Renames from to to unless to exists (then errno is EEXIST and nothing changes).
/// Returns false on any failure, with errno set.
bool renameNoReplace(const std::string& from, const std::string& to);

/// The folder part of a path ("." when it has none), without a trailing "/".
std::string parentFolder(const std::string& path);

} // namespace zefirel
