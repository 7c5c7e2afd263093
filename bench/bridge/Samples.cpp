#include "Samples.h"

#include <algorithm>
#include <cmath>

void Samples::append(const Samples &other)
{
    values.insert(values.end(), other.values.begin(), other.values.end());
}

double Samples::percentile(double p) const
{
    if (values.empty())
        return 0;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const auto rank = size_t(std::ceil(p / 100.0 * double(sorted.size())));
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

double Samples::max() const
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

int Samples::countAbove(double microseconds) const
{
    return int(std::count_if(values.begin(), values.end(), [=](double v) { return v > microseconds; }));
}

QString Samples::format(double microseconds)
{
    if (microseconds < 10000)
        return QStringLiteral("%1 us").arg(microseconds, 0, 'f', 1);
    return QStringLiteral("%1 ms").arg(microseconds / 1000.0, 0, 'f', 2);
}
