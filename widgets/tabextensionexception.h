#ifndef WIDGETS_TABEXTENSIONEXCEPTION_H
#define WIDGETS_TABEXTENSIONEXCEPTION_H

#include <QString>

// How building a page refuses a camera: the plug-in entry catches it and
// hands `code` to the host as its result. Thrown only from constructors.
class TabExtensionException
{
public:
    TabExtensionException(const QString& origin, const QString& message, int code);
    // C strings are Latin-1; a null pointer leaves its field empty.
    TabExtensionException(const char* origin, const char* message, int code);
    TabExtensionException(const TabExtensionException& other) = default;

    QString origin;  // qualified name of the operation that threw
    QString message;
    int code = 0;
};

// The camera is not one this plug-in serves; always code 4.
class TENotSupported : public TabExtensionException
{
public:
    static constexpr int Code = 4;

    TENotSupported(const QString& origin, const QString& message);
    TENotSupported(const char* origin, const char* message);
};

#endif
