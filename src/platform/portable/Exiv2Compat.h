#pragma once

// Exiv2 0.27 (Debian 12) and 0.28 (later distributions) differ in a few names;
// these helpers give the rest of the code one spelling for both. Where the two
// agree (ImageFactory::open returning an owning pointer, every error deriving
// from std::exception), use them directly: `auto` and `catch (const std::exception&)`.

#include <QByteArray>

// Exiv2 0.27 still names its owning pointers std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

namespace zandrel::exiv2 {

// 0.28 hides the buffer behind accessors; 0.27 exposes pData_ and size_.
inline QByteArray bytes(const Exiv2::DataBuf& buffer)
{
#if EXIV2_TEST_VERSION(0, 28, 0)
    return QByteArray(reinterpret_cast<const char*>(buffer.c_data()), qsizetype(buffer.size()));
#else
    return QByteArray(reinterpret_cast<const char*>(buffer.pData_), qsizetype(buffer.size_));
#endif
}

// An integer tag's value; 0.28 renamed toLong to toInt64.
inline qint64 integer(const Exiv2::Metadatum& datum, size_t n = 0)
{
#if EXIV2_TEST_VERSION(0, 28, 0)
    return datum.toInt64(n);
#else
    return datum.toLong(long(n));
#endif
}

}  // namespace zandrel::exiv2
