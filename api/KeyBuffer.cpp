// The key byte ring. No inbound message carries key bytes, so in this system it stays empty;
// the reader still honours its lock and its empty-buffer results.
#include "Boundary.h"
#include "PollingLock.h"
#include "velnor/PlixoApi.h"

using velnor::CatchAtBoundary;

int PlixoApi::RetrieveByteFromBuffer() {
    return CatchAtBoundary(lastError, [this] {
        std::unique_lock lock = velnor::LockByPolling(keyBufferMutex);
        if (keyReadIndex == keyWriteIndex) {
            return connectionState.load() == ConnectionState::Connected ? -1 : -2;
        }
        const int byte = keyBuffer[keyReadIndex] & 0xFF;
        keyBuffer[keyReadIndex] = 0;
        keyReadIndex = (keyReadIndex + 1) % static_cast<int>(keyBuffer.size());
        return byte;
    });
}
