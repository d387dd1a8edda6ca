#pragma once
/// CCommunicationState: the progress reporter that long link operations drive. It
/// shows 0 % when created, the reported per cent while the operation runs and 0 %
/// again when destroyed, also when an error passes through.

namespace zefirel {

class ILPGHost;

class CCommunicationState {
public:
    /// Binds to the host's progress bar and sets it to 0.
    explicit CCommunicationState(ILPGHost& host);
    /// Sets the progress back to 0.
    virtual ~CCommunicationState();
    CCommunicationState(const CCommunicationState&) = delete;
    CCommunicationState& operator=(const CCommunicationState&) = delete;

    /// Sets the progress in per cent (0..100).
    void report(int percent);

private:
    ILPGHost& m_host;
};

} // namespace zefirel
