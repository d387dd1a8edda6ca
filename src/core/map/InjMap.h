#pragma once
/// CInjMap: a diagnostic recording loaded whole for the injection map's
/// computation and its chart. It lives on the stack of the operation that uses it.

#include <string>
#include <vector>

#include "diag/Diag.h"
#include "diag/Recording.h"

namespace zefirel {

class CInjMap {
public:
    explicit CInjMap(std::string path) : m_path(std::move(path)) {}
    virtual ~CInjMap() = default;

    /// Reads every record of the recording, skipping lines that are not records
    /// (colour recomputed from the injector). Raises an IError (code 4) when the
    /// file cannot be opened or holds no record.
    void load();
    /// The counts of the lines the last load read.
    const RecordingReadStats& stats() const { return m_stats; }

    const std::string& path() const { return m_path; }
    const std::vector<CDiag>& samples() const { return m_samples; }

private:
    std::string m_path;
    std::vector<CDiag> m_samples;
    RecordingReadStats m_stats;
};

} // namespace zefirel
