// The car folder and file names made from car texts and a controller identity.
// Properties: the path is exactly one car folder and one file below the settings
// folder; no name is empty, ".", "..", longer than a file system takes, or holds a
// separator or a NUL; the names are valid UTF-8 and split back into the parts.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "FuzzSupport.h"
#include "settings/CarFiles.h"
#include "settings/CarInfo.h"

using namespace zefirel;

namespace {
void requireSegment(const std::string& name) {
    fuzz::require(!name.empty() && name != "." && name != "..", "a name is never empty, . or ..");
    fuzz::require(name.size() <= PATH_SEGMENT_MAX, "a name fits a file system");
    fuzz::require(name.find('/') == std::string::npos && name.find('\0') == std::string::npos,
                  "a name holds no separator or NUL");
    fuzz::require(name.find('\\') == std::string::npos, "a name holds no Windows separator");
    fuzz::require(safePathSegment(name) == name, "a name is valid UTF-8 and maps to itself");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string make = in.ConsumeRandomLengthString(400);
    const std::string model = in.ConsumeRandomLengthString(400);
    const std::string capacity = in.ConsumeRandomLengthString(100);
    const std::string identity = in.ConsumeRandomLengthString(100);
    const std::string date = in.ConsumeRemainingBytesAsString();

    const std::string folderName = carFolderName(make, model, capacity);
    const std::string fileName = carFileName(identity, date);
    requireSegment(folderName);
    requireSegment(fileName);
    requireSegment(safePathSegment(make));

    const std::string settings = "/data/Ustawienia/v5.2/";
    const std::string path = carSettingsFilePath(settings, make, model, capacity, identity, date);
    if (make.empty() || model.empty() || capacity.empty()) {
        fuzz::require(path.empty(), "no file without make, model and capacity");
        return 0;
    }
    fuzz::require(path == settings + folderName + "/" + fileName, "the path is folder, car folder, file");
    // The lists split the folder name at its hyphens; the parts rebuild it.
    const CarFolderParts parts = splitCarFolderName(folderName);
    if (folderName.find('-') != folderName.rfind('-') &&
        folderName.find('-', folderName.find('-') + 1) == folderName.rfind('-'))
        fuzz::require(parts.make + "-" + parts.model + "-" + parts.capacity == folderName,
                      "a folder name with two hyphens splits into its parts");
    return 0;
}
