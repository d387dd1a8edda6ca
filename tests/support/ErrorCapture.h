#pragma once
/// Catching the heap error objects the program throws, for tests.

#include <memory>

#include "support/Error.h"

namespace zefirel::test {

/// Runs f and returns the IError it raised, owned; null when it raised nothing.
template <class F>
std::unique_ptr<IError> raisedBy(F&& f) {
    try {
        f();
    } catch (IError* e) {
        return adoptError(e);
    }
    return nullptr;
}

} // namespace zefirel::test
