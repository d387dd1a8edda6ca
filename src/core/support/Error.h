#pragma once
/// Error objects thrown by the program: serial-port failures and diagnostic-file
/// failures travel as heap-allocated IError objects thrown by pointer. The catcher
/// owns the object and deletes it (use adoptError() to hold it in a unique_ptr).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zefirel {

/// Base of every error object. The message list is indexed by code across the
/// class chain: the base's own texts take codes 0..4, derived classes append.
class IError {
public:
    IError(uint32_t code, const std::string& detail, int line, const char* file);
    IError(uint32_t code, const std::string& detail, IError* inner, int line, const char* file);
    IError(const IError&) = delete;
    IError& operator=(const IError&) = delete;
    virtual ~IError();

    /// The class's name, e.g. "CRSError".
    virtual const char* name() const;
    /// Display text: the text registered for the code, the detail and the inner error's text.
    virtual std::string format() const;

    uint32_t code() const { return m_code; }
    const std::string& detail() const { return m_detail; }
    const IError* inner() const { return m_inner; }
    int line() const { return m_line; }
    const std::string& file() const { return m_file; }
    /// The text registered for code(), or an empty text when none is registered.
    std::string message() const;
    const std::vector<std::string>& messages() const { return m_msgs; }

protected:
    /// Appends this class's own texts to the message list, in code order.
    /// Each derived constructor calls its own setMsgs after the base is built.
    virtual void setMsgs();
    std::vector<std::string> m_msgs;

private:
    uint32_t m_code;
    std::string m_detail;
    IError* m_inner;
    int m_line;
    std::string m_file;
};

/// Error code of a plain IError for a file that cannot be opened.
inline constexpr uint32_t ERROR_FILE_OPEN = 4;

/// Mix-in that gives a class two raising operations for error class E.
template <class E>
class IErrorHelper {
public:
    virtual ~IErrorHelper() = default;

protected:
    [[noreturn]] void raise(uint32_t code, const std::string& detail, int line, const char* file) const {
        throw static_cast<IError*>(new E(code, detail, line, file));
    }
    [[noreturn]] void raise(uint32_t code, const std::string& detail, IError* inner, int line,
                            const char* file) const {
        throw static_cast<IError*>(new E(code, detail, inner, line, file));
    }
};

/// Throws a plain IError by pointer, as code without an error class of its own does.
[[noreturn]] void raiseError(uint32_t code, const std::string& detail, int line, const char* file);

/// Takes ownership of a caught error pointer.
inline std::unique_ptr<IError> adoptError(IError* e) { return std::unique_ptr<IError>(e); }

/// The text a catch site shows: headline, "Szczegóły: " + where, and format().
std::string errorReportText(const std::string& headline, const std::string& where, const IError& e);

} // namespace zefirel
