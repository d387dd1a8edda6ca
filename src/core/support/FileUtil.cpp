#include "support/FileUtil.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zefirel {

namespace {

/// Opens a new, uniquely named file beside target. The file is created with mode
/// 0666 so the user's umask decides its permissions, as for any ordinary file.
int openTemporary(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = parentFolder(target);
    const std::string base = target.substr(target.find_last_of('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = folder + "/." + base + "." + std::to_string(::getpid()) + "." +
                   std::to_string(counter.fetch_add(1)) + ".tmp";
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // best effort: the rename is already visible
        ::close(fd);
    }
}

} // namespace

bool writeFully(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace rename: a hard link never replaces
    // either, and the old name is dropped once the new one exists.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

std::string parentFolder(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool CAtomicFile::open(const std::string& path) {
    discard();
    m_failed = false;
    if (path.empty() || path.back() == '/')
        return false;
    m_fd = openTemporary(path, m_temp);
    m_path = path;
    return m_fd >= 0;
}

bool CAtomicFile::write(const void* data, size_t size) {
    if (m_fd < 0 || m_failed)
        return false;
    m_failed = !writeFully(m_fd, data, size);
    return !m_failed;
}

bool CAtomicFile::commit() {
    if (m_fd < 0)
        return false;
    bool ok = !m_failed && ::fsync(m_fd) == 0;
    ok = (::close(m_fd) == 0) && ok;
    m_fd = -1;
    if (ok)
        ok = ::rename(m_temp.c_str(), m_path.c_str()) == 0;
    if (!ok) {
        ::unlink(m_temp.c_str());
        return false;
    }
    m_temp.clear();
    syncFolder(parentFolder(m_path));
    return true;
}

void CAtomicFile::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

bool writeFileAtomic(const std::string& path, const void* data, size_t size) {
    CAtomicFile file;
    return file.open(path) && file.write(data, size) && file.commit();
}

bool writeFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes) {
    return writeFileAtomic(path, bytes.data(), bytes.size());
}

bool readFile(const std::string& path, std::vector<uint8_t>& out, size_t maxBytes) {
    out.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    uint8_t chunk[4096];
    bool ok = true;
    while (out.size() < maxBytes) {
        const size_t want = std::min(sizeof chunk, maxBytes - out.size());
        const size_t got = std::fread(chunk, 1, want, f);
        out.insert(out.end(), chunk, chunk + got);
        if (got < want) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    return ok;
}

bool readFileExact(const std::string& path, void* out, size_t size) {
    std::vector<uint8_t> bytes;
    if (!readFile(path, bytes, size) || bytes.size() != size)
        return false;
    std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(out));
    return true;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool makeFolders(const std::string& path) {
    if (path.empty())
        return false;
    // Create each level in turn; a level that already exists is fine.
    for (size_t pos = path.find('/', 1); ; pos = path.find('/', pos + 1)) {
        const std::string level = path.substr(0, pos);
        if (!level.empty() && ::mkdir(level.c_str(), 0777) != 0 && !isFolder(level))
            return false;
        if (pos == std::string::npos)
            break;
    }
    return isFolder(path);
}

} // namespace zefirel
