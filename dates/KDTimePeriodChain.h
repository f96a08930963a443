#pragma once

#include "dates/KDTimePeriodGroup.h"

namespace kova {

// Periods kept back to back: each starts where the previous one ends. Its
// own operations keep that; setObject and changes made to a member period
// directly can break it.
class KDTimePeriodChain : public KDTimePeriodGroup {
public:
    static std::shared_ptr<KDTimePeriodChain> chain();

    // The period must be exactly a KDTimePeriod. An empty chain takes the
    // period itself; otherwise a new period of its duration in whole seconds
    // is appended at the end.
    void addTimePeriod(const std::shared_ptr<KDTimePeriod> &period);
    // At index 0 a new period of the duration (whole seconds) is put in front,
    // ending where the chain starts. At 1 to count - 1 the periods from the
    // index on move later by the duration and the new period fills the room.
    void insertTimePeriod(const std::shared_ptr<KDTimePeriod> &period, qint64 index);
    // The periods after the index move earlier by the removed period's span.
    void removeTimePeriodAtIndex(qint64 index);
    void removeLatestTimePeriod();
    // The rest of the chain moves earlier to start where the removed one did.
    void removeEarliestTimePeriod();

    bool isEqualToChain(const std::shared_ptr<KDTimePeriodGroup> &chain) const;

    std::shared_ptr<KDTimePeriod> First() const { return m_first; }
    std::shared_ptr<KDTimePeriod> Last() const { return m_last; }

    void updateVariables() override;
    void setVariablesNil();

private:
    void removeAndCloseGap(qsizetype index);

    std::shared_ptr<KDTimePeriod> m_first;
    std::shared_ptr<KDTimePeriod> m_last;
};

} // namespace kova
