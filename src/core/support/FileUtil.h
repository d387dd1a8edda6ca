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

/// Renames from to to unless to exists (then errno is EEXIST and nothing changes).
/// Returns false on any failure, with errno set.
bool renameNoReplace(const std::string& from, const std::string& to);

/// The folder part of a path ("." when it has none), without a trailing "/".
std::string parentFolder(const std::string& path);

} // namespace zefirel
