#pragma once

#include <QList>

// Widths of list columns sized to their content within a total width. Each column gets what it
// wants within its limits; when that is more than the total, the widest columns give way first
// (never below their minimum), so a short column keeps its whole text; width left over goes in
// equal parts to the columns without an upper limit (maximum 0).
QList<int> fitColumns(const QList<int> &wanted, const QList<int> &minimum, const QList<int> &maximum,
                      int total);
