// Values that occur more than once in a list, each reported once.
#pragma once

#include <QHash>
#include <QList>

// The order of the answer follows the second occurrence of each value.
template<typename T> QList<T> findDuplicates(const QList<T> &values)
{
    QHash<T, int> seen;
    QList<T> duplicates;
    for (const T &value : values) {
        if (++seen[value] == 2) {
            duplicates.append(value);
        }
    }
    return duplicates;
}
