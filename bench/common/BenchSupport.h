// What every benchmark here needs: timing, running a tool, failing cleanly.

#pragma once

#include <QString>
#include <QStringList>

#include <functional>

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

}  // namespace zandrel::bench
