#pragma once

#include "platform/FileSystem.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>

class QProcess;

namespace zandrel {

inline void PrintTo(CopyCheck check, std::ostream* out)
{
    *out << (check == CopyCheck::Plain ? "Plain" : "VerifiedOnDisk");
}

}  // namespace zandrel

namespace zandrel::test {

// How a program run to its end went.
struct Finished {
    int exitCode = -1;
    bool crashed = false;  // killed by a signal
    QString output;        // stdout and stderr together
};

// Names the cases of a suite run with both checks.
inline std::string checkName(const ::testing::TestParamInfo<CopyCheck>& info)
{
    return ::testing::PrintToString(info.param);
}

// The program started with stdout and stderr merged, the given variables
// added to its environment; not yet waited for.
std::unique_ptr<QProcess> startProcess(const QString& program, const QStringList& arguments,
                                       const std::map<QString, QString>& variables = {});
Finished runToEnd(const QString& program, const QStringList& arguments);

// This test program started again with only the tests that `filter` selects,
// disabled ones included, the given variables added to its environment, and
// run under the wrapper command when there is one.
std::unique_ptr<QProcess> startTestChild(const QString& filter, const std::map<QString, QString>& variables,
                                         const QStringList& wrapper = {});

// A file of the given bytes, its folder made where it is missing.
void writeFile(const QString& path, const QByteArray& bytes);
// The file's bytes; empty when it cannot be read.
QByteArray readFile(const QString& path);
// A different pattern at every call, so that a copy can only match its own original.
QByteArray randomBytes(qsizetype size);
// Every name of the given kinds in the folder, hidden ones included, in name order.
QStringList entries(const QString& folder, QDir::Filters kinds = QDir::AllEntries);

}  // namespace zandrel::test
