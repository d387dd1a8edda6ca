// The command line's JSON output, encoded by nlohmann-json.

#include <cmath>
#include <nlohmann/json.hpp>

#include "CtlCommon.h"

namespace zefirel::ctl {

using Json = nlohmann::ordered_json;

/// The value being built and the chain of containers still open in it.
struct CJsonWriter::Impl {
    Json root;
    bool started = false;
    std::vector<Json*> open;  ///< innermost last; stays valid while its children are added
    std::string key;          ///< the key of the next value in an object
    bool haveKey = false;

    /// Places v where the next value goes and returns where it landed.
    Json* place(Json v) {
        if (open.empty()) {
            root = std::move(v);
            started = true;
            return &root;
        }
        Json& parent = *open.back();
        if (parent.is_object()) {
            const std::string k = haveKey ? key : std::string();
            haveKey = false;
            parent[k] = std::move(v);
            return &parent[k];
        }
        parent.push_back(std::move(v));
        return &parent.back();
    }
};

CJsonWriter::CJsonWriter() : m_impl(std::make_unique<Impl>()) {}
CJsonWriter::~CJsonWriter() = default;

CJsonWriter& CJsonWriter::beginObject() {
    m_impl->open.push_back(m_impl->place(Json::object()));
    return *this;
}

CJsonWriter& CJsonWriter::beginArray() {
    m_impl->open.push_back(m_impl->place(Json::array()));
    return *this;
}

CJsonWriter& CJsonWriter::endObject() {
    if (!m_impl->open.empty()) m_impl->open.pop_back();
    return *this;
}

CJsonWriter& CJsonWriter::endArray() { return endObject(); }

CJsonWriter& CJsonWriter::array(const uint8_t* bytes, size_t count) {
    Json a = Json::array();
    for (size_t i = 0; i < count; ++i) a.push_back(bytes[i]);
    m_impl->place(std::move(a));
    return *this;
}

CJsonWriter& CJsonWriter::key(const std::string& k) {
    m_impl->key = k;
    m_impl->haveKey = true;
    return *this;
}

CJsonWriter& CJsonWriter::value(const std::string& s) {
    m_impl->place(s);
    return *this;
}

CJsonWriter& CJsonWriter::value(double d) {
    // 2 rather than 2.0: figures such as a time of 40000 read as the whole numbers they are.
    constexpr double EXACT = 9007199254740992.0; // 2^53
    if (!std::isfinite(d)) m_impl->place(nullptr);
    else if (d == std::trunc(d) && std::fabs(d) < EXACT) m_impl->place(static_cast<int64_t>(d));
    else m_impl->place(d);
    return *this;
}

CJsonWriter& CJsonWriter::value(int64_t i) {
    m_impl->place(i);
    return *this;
}

CJsonWriter& CJsonWriter::value(bool b) {
    m_impl->place(b);
    return *this;
}

std::string CJsonWriter::text() const {
    if (!m_impl->started) return std::string();
    return m_impl->root.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace zefirel::ctl
