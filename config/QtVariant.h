#pragma once
// Between Variants (UTF-8 text) and Qt's QString.

#include "platform/Variant.h"

#include <QString>
#include <QStringList>

// Text of a variant as the runtime's VarToStr gave it (Null and Empty give "").
inline QString VarToQStr(const Variant& v)
{
    return QString::fromStdString(VarToStr(v));
}

inline Variant QStrToVar(const QString& s)
{
    return Variant(s.toStdString());
}

inline std::string Utf8(const QString& s)
{
    return s.toStdString();
}

inline QString QStr(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
