// The recording reader on any file. Property: what it reads, written again by the
// writer and read back, gives the same samples (the reader never invents a record
// the writer could not have made from it).
#include <algorithm>
#include <climits>
#include <vector>

#include "FuzzSupport.h"
#include "diag/Recording.h"

using namespace zefirel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CDiag::setExtendedLayout(size > 0 && (data[0] & 1));
    const std::string path = fuzz::writeInput("input.lpgd", data, size);
    std::vector<CDiag> first;
    loadRecording(path, first);
    fuzz::require(first.size() <= size / (2 * RECORDING_COLUMNS) + 1, "no more records than the bytes can hold");
    // A value is read as a signed 32-bit number, so a sample number from 2^31 up (a
    // "-1" read back, or a run of over two billion samples) is written but not read
    // again: the round trip covers the records before the first such one.
    const auto beyond = std::find_if(first.begin(), first.end(), [](const CDiag& d) { return d.sampleNo() > INT32_MAX; });
    first.erase(beyond, first.end());

    const std::string again = fuzz::scratchFolder() + "/again.lpgd";
    {
        CRecordingWriter w;
        fuzz::require(w.open(again), "the scratch file opens");
        for (const CDiag& d : first)
            fuzz::require(w.write(d), "every read sample can be written");
    }
    std::vector<CDiag> second;
    loadRecording(again, second);
    fuzz::require(second.size() == first.size(), "every written sample is read back");
    for (size_t i = 0; i < first.size(); ++i) {
        char a[RECORDING_LINE_MAX], b[RECORDING_LINE_MAX];
        const size_t na = formatRecordingLine(first[i], a), nb = formatRecordingLine(second[i], b);
        fuzz::require(std::string(a, na) == std::string(b, nb), "a sample reads back as it was written");
    }
    return 0;
}
