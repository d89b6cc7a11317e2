#pragma once

#include <QString>

namespace zandrel {

// A file name as a person can read it. A name the system gave as bytes that
// are no text holds lone surrogates, one per such byte; each is shown as the
// replacement character. The name itself is kept for the file system.
inline QString readableName(QString name)
{
    for (qsizetype at = 0; at < name.size(); ++at) {
        const bool paired = name.at(at).isHighSurrogate() && at + 1 < name.size() && name.at(at + 1).isLowSurrogate();
        if (paired)
            ++at;
        else if (name.at(at).isSurrogate())
            name[at] = QChar::ReplacementCharacter;
    }
    return name;
}

}  // namespace zandrel
