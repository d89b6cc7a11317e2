// What every benchmark here needs: timing, running a tool, failing cleanly.

#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace zandrel::bench {

// Thrown rather than exiting, so that the generated data is removed all the same.
struct BenchFailed {
    QString what;
};

[[noreturn]] void die(const QString& what);

double seconds(const std::function<void()>& work);

// Runs a tool to its end; anything but success is a failed benchmark.
void run(const QString& program, const QStringList& arguments);

QStringList filesIn(const QString& folder);

void writeFile(const QString& path, const QByteArray& bytes);

// The median of several rounds and their range: what a figure that must
// reproduce on another run is reported as.
struct Spread {
    double median, low, high;
};
Spread spread(std::vector<double> values);
// The spread of round-by-round ratios a[i] / b[i] of two contenders.
Spread ratioSpread(const std::vector<double>& a, const std::vector<double>& b);

// Rest before each contender, so that none starts on memory or a disk that
// another has just worn out.
void idle(double seconds);

}  // namespace zandrel::bench
