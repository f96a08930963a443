#pragma once

#include "platform/dispatch/SerialQueue.h"

namespace kova {

// The decoding queue of an animated image: a private serial queue.
class KGSerialQueue : public platform::SerialQueue {
public:
    using platform::SerialQueue::SerialQueue;
};

} // namespace kova
