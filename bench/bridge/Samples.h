#ifndef TOLVANE_BENCH_SAMPLES_H
#define TOLVANE_BENCH_SAMPLES_H

#include <QString>

#include <vector>

// Durations in microseconds and the figures the benchmarks print of them.
class Samples
{
public:
    void add(double microseconds) { values.push_back(microseconds); }
    void append(const Samples &other);
    int count() const { return int(values.size()); }

    double median() const { return percentile(50); }
    // Nearest rank: the smallest sample that at least p percent of all samples do not exceed.
    double percentile(double p) const;
    double max() const;
    int countAbove(double microseconds) const;

    // "123.4 us" below ten milliseconds, "12.34 ms" above.
    static QString format(double microseconds);

private:
    std::vector<double> values;
};

#endif
