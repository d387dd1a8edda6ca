// Every --json output of the command line, parsed back by a JSON library.

#include <nlohmann/json.hpp>
#include <sstream>

#include "SimKit.h"

namespace zefirel::test {

void expectJsonLines(const std::string& out, const std::string& where) {
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        try {
            const nlohmann::json parsed = nlohmann::json::parse(line);
            (void)parsed;
        } catch (const nlohmann::json::exception& e) {
            ADD_FAILURE() << "not JSON (" << where << "): " << e.what() << "\n" << line;
        }
    }
}

} // namespace zefirel::test
