#include "support/RealSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <vector>

namespace zandrel::test {

std::unique_ptr<QProcess> startProcess(const QString& program, const QStringList& arguments,
                                       const std::map<QString, QString>& variables)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : variables)
        environment.insert(name, value);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(program, arguments);
    return process;
}

Finished runToEnd(const QString& program, const QStringList& arguments)
{
    const std::unique_ptr<QProcess> process = startProcess(program, arguments);
    if (!process->waitForStarted(-1))
        return {-1, false, process->errorString()};
    process->waitForFinished(-1);
    return {process->exitCode(), process->exitStatus() == QProcess::CrashExit,
            QString::fromLocal8Bit(process->readAll())};
}

std::unique_ptr<QProcess> startTestChild(const QString& filter, const std::map<QString, QString>& variables,
                                         const QStringList& wrapper)
{
    const QStringList command = wrapper
        + QStringList{QCoreApplication::applicationFilePath(), QStringLiteral("--gtest_also_run_disabled_tests"),
                      QStringLiteral("--gtest_filter=") + filter};
    return startProcess(command.first(), command.mid(1), variables);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(path));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray randomBytes(qsizetype size)
{
    static quint32 seed = 1;
    std::vector<quint32> words(size_t(size) / sizeof(quint32) + 1);
    QRandomGenerator generator{seed++};
    generator.fillRange(words.data(), qsizetype(words.size()));
    return QByteArray(reinterpret_cast<const char*>(words.data()), size);
}

QStringList entries(const QString& folder, QDir::Filters kinds)
{
    return QDir(folder).entryList(kinds | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace zandrel::test
