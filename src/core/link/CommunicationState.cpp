#include "link/CommunicationState.h"

#include "link/Host.h"

namespace zefirel {

CCommunicationState::CCommunicationState(ILPGHost& host) : m_host(host) { m_host.setProgress(0); }

CCommunicationState::~CCommunicationState() { m_host.setProgress(0); }

void CCommunicationState::report(int percent) { m_host.setProgress(percent); }

} // namespace zefirel
