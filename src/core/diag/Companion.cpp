#include "diag/Companion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>

#include "support/TimeText.h"

namespace zefirel {

std::string companionTime(std::time_t when) { return localTimeText(when, "%d-%m-%Y-%H:%M:%S"); }

void stampCompanionRecord(CSettingsBlock& block, uint32_t sampleNo, std::time_t when) {
    const std::string time = companionTime(when);
    std::memcpy(block.bytes().data() + block::TIME_STAMP, time.data(),
                std::min(time.size(), COMPANION_TIME_LENGTH));
    block.setRecordingContext(static_cast<int32_t>(sampleNo));
}

bool createEmptyCompanion(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool appendCompanionRecord(const std::string& path, const CSettingsBlock& block) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    const uint8_t* p = block.bytes().data();
    size_t left = block::SIZE;
    while (left > 0) {
        const ssize_t w = ::write(fd, p, left);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        p += w;
        left -= static_cast<size_t>(w);
    }
    if (left > 0 && sized && ::ftruncate(fd, before.st_size) != 0) {
        // Nothing more to do: the reader stops at the short record anyway.
    }
    ::close(fd);
    return left == 0;
}

bool readCompanion(const std::string& path, std::vector<CSettingsBlock>& out) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return false;
    CSettingsBlock block;
    while (std::fread(block.bytes().data(), 1, block::SIZE, file.get()) == block::SIZE &&
           block.versionMark() == COMPANION_VERSION_MARK)
        out.push_back(block);
    return true;
}

bool recordingFeatureMask(const std::string& recordingPath, uint32_t& mask) {
    std::vector<CSettingsBlock> history;
    if (!readCompanion(companionPath(recordingPath), history) || history.empty())
        return false;
    mask = history.back().featureMask();
    return true;
}

} // namespace zefirel
