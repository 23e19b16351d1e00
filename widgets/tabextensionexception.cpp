#include "widgets/tabextensionexception.h"

namespace {

QString FromLatin1(const char* text)
{
    return text ? QString::fromLatin1(text) : QString();
}

} // namespace

TabExtensionException::TabExtensionException(const QString& origin, const QString& message,
                                             int code)
    : origin(origin), message(message), code(code)
{
}

TabExtensionException::TabExtensionException(const char* origin, const char* message, int code)
    : origin(FromLatin1(origin)), message(FromLatin1(message)), code(code)
{
}

TENotSupported::TENotSupported(const QString& origin, const QString& message)
    : TabExtensionException(origin, message, Code)
{
}

TENotSupported::TENotSupported(const char* origin, const char* message)
    : TabExtensionException(origin, message, Code)
{
}
