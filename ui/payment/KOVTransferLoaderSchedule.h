#pragma once

namespace kova {

// Which loader message shows and how many of its three trailing dots are
// visible, advanced once per second while a transfer runs. The message
// count is fixed: the opening message and six following ones.
class KOVTransferLoaderSchedule {
public:
    static constexpr int messageCount = 7;
    static constexpr int ticksPerMessage = 10;

    struct Step {
        int messageIndex = 0;
        int visibleDots = 0; // 0 to 3; the rest of the three are drawn in the dots colour
    };

    // One timer tick: the message and dots to show now.
    Step tick();
    void reset();

    int lastMessageIndex() const { return m_lastMessageIndex; }
    int secNumber() const { return m_secNumber; }

private:
    int m_lastMessageIndex = 0;
    int m_secNumber = 0;
};

} // namespace kova
