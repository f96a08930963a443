#pragma once

#include "dates/KDTimePeriodGroup.h"

namespace kova {

// A free set of periods that may overlap. Its start is the earliest start
// and its end the latest end among its periods; periods without dates change
// neither, so such a collection starts in the distant future and ends in the
// distant past.
class KDTimePeriodCollection : public KDTimePeriodGroup {
public:
    static std::shared_ptr<KDTimePeriodCollection> collection();

    // Appends a KDTimePeriod or a subclass of it.
    void addTimePeriod(const std::shared_ptr<KDTimePeriod> &period);
    // Inserts before the period at an index from 0 to count - 1; the period
    // must be exactly a KDTimePeriod.
    void insertTimePeriod(const std::shared_ptr<KDTimePeriod> &period, qint64 index);
    void removeTimePeriodAtIndex(qint64 index);

    // Stable sorts; a missing date sorts before every present one. The start
    // and end are not recomputed.
    void sortByStartAscending();
    void sortByStartDescending();
    void sortByEndAscending();
    void sortByEndDescending();
    void sortByDurationAscending();
    void sortByDurationDescending();

    // New collections of the same period objects, in list order.
    std::shared_ptr<KDTimePeriodCollection> periodsInside(const std::shared_ptr<KDTimePeriod> &period) const;
    // Closed bounds.
    std::shared_ptr<KDTimePeriodCollection> periodsIntersectedByDate(const QDateTime &date) const;
    std::shared_ptr<KDTimePeriodCollection> periodsIntersectedByPeriod(const std::shared_ptr<KDTimePeriod> &period) const;
    std::shared_ptr<KDTimePeriodCollection> periodsOverlappedByPeriod(const std::shared_ptr<KDTimePeriod> &period) const;

    // Without order, each period of the other collection matches at most one
    // of this one's, so duplicates count.
    bool isEqualToCollection(const std::shared_ptr<KDTimePeriodGroup> &collection, bool considerOrder) const;

    void updateVariables() override;
    void setVariablesNil();

    // A collection of copies of the periods.
    std::shared_ptr<KDTimePeriodCollection> copy() const;

private:
    template <typename Keep>
    std::shared_ptr<KDTimePeriodCollection> filtered(Keep keep) const;
    template <typename Less>
    void sortBy(Less less);
};

} // namespace kova
