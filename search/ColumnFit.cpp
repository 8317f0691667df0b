#include "ColumnFit.h"

#include <algorithm>
#include <climits>

QList<int> fitColumns(const QList<int> &wanted, const QList<int> &minimum, const QList<int> &maximum,
                      int total)
{
    const qsizetype n = wanted.size();
    QList<int> widths(n);
    long long sum = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const int top = maximum.at(i) > 0 ? maximum.at(i) : INT_MAX;
        widths[i] = std::clamp(wanted.at(i), minimum.at(i), std::max(top, minimum.at(i)));
        sum += widths.at(i);
    }
    if (sum > total) {
        // The highest cap that fits: columns wider than it are cut down to it.
        const auto capped = [&](int cap) {
            long long s = 0;
            for (qsizetype i = 0; i < n; ++i)
                s += std::min(widths.at(i), std::max(cap, minimum.at(i)));
            return s;
        };
        int low = 0;
        int high = *std::max_element(widths.cbegin(), widths.cend());
        while (low < high) {
            const int mid = low + (high - low + 1) / 2;
            if (capped(mid) <= total)
                low = mid;
            else
                high = mid - 1;
        }
        // The pixels the whole-number cap leaves over go to the columns that were cut.
        long long left = total - capped(low);
        for (qsizetype i = 0; i < n; ++i) {
            const int cut = std::max(low, minimum.at(i));
            if (widths.at(i) <= cut) {
                continue;
            }
            widths[i] = cut + (left > 0 ? 1 : 0);
            left = std::max(0LL, left - 1);
        }
        return widths;
    }
    QList<qsizetype> open;
    for (qsizetype i = 0; i < n; ++i)
        if (maximum.at(i) <= 0)
            open << i;
    if (open.isEmpty())
        return widths;
    long long spare = total - sum;
    for (qsizetype k = 0; k < open.size(); ++k) {
        const long long part = spare / (open.size() - k);
        widths[open.at(k)] += int(part);
        spare -= part;
    }
    return widths;
}
