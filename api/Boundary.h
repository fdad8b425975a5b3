// The exception convention at the edge of the library: inside, failures are thrown as
// RETURN_CODES values; an exported operation or a worker step catches them here, stores the code
// in lastError and returns it. Anything else thrown becomes UNKNOWN_ERROR. Nothing gets out.
#ifndef VELNOR_BOUNDARY_H
#define VELNOR_BOUNDARY_H

#include <atomic>
#include <cstdint>

#include "velnor/PlixoApi.h"

namespace velnor {

template <typename Body>
int CatchAtBoundary(std::atomic<std::int32_t>& lastError, Body&& body) noexcept {
    try {
        return body();
    } catch (PlixoApi::RETURN_CODES code) {
        lastError = code;
        return code;
    } catch (...) {
        lastError = PlixoApi::UNKNOWN_ERROR;
        return PlixoApi::UNKNOWN_ERROR;
    }
}

}  // namespace velnor

#endif
