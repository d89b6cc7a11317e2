#include "app/Layout.h"

#include <QFile>
#include <QStringList>

namespace zandrel {

namespace {

// The table is part of the program: a line it cannot read is a fault of the build.
LayoutRow parseRow(const QString& line)
{
    const QStringList fields = line.split(QLatin1Char('\t'));
    bool ok = fields.size() == 6 || fields.size() == 7;
    int numbers[4] = {};
    for (int i = 0; ok && i < 4; ++i)
        numbers[i] = fields[2 + i].toInt(&ok);
    if (!ok)
        qFatal("Unreadable line in the window layout: %s", qPrintable(line));
    return LayoutRow{fields[0], fields[1], numbers[0], numbers[1], numbers[2], numbers[3], fields.value(6)};
}

std::vector<LayoutRow> readLayout()
{
    QFile file(QStringLiteral(":/zandrel/layout.tsv"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("The window layout is missing from the program");
    std::vector<LayoutRow> rows;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            rows.push_back(parseRow(line));
    }
    return rows;
}

}  // namespace

QRect LayoutRow::pixels() const
{
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel);
}

const std::vector<LayoutRow>& windowLayout()
{
    static const std::vector<LayoutRow> rows = readLayout();
    return rows;
}

bool takesFocus(const LayoutRow& row)
{
    static const QStringList focusable = {QStringLiteral("text"), QStringLiteral("check"), QStringLiteral("button"),
                                          QStringLiteral("picture")};
    return focusable.contains(row.kind);
}

}  // namespace zandrel
