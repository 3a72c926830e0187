// Builds binary property lists byte by byte for tests, including the ones no
// well-behaved writer makes: shared sub-objects, cycles, deep nesting, NUL in
// strings, lying trailers.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class BinaryPlistBuilder
{
public:
    // Each returns the new object's number.
    int boolean(bool value);
    int integer(qint64 value);
    int unsignedInteger(quint64 value); // 16-byte form
    int real(double value);
    int date(double secondsSince2001);
    int data(const QByteArray &bytes);
    int ascii(const QByteArray &bytes);
    int utf16(const QString &text);
    // Arrays and dictionaries may refer to objects added later (or to
    // themselves).
    int array(const QList<int> &elements);
    int dictionary(const QList<int> &keys, const QList<int> &values);
    int raw(const QByteArray &encoded);
    // The number the next object will get.
    int next() const { return int(m_objects.size()); }

    // What the trailer claims, when a test wants it to lie.
    struct Trailer
    {
        std::optional<quint64> objectCount;
        std::optional<quint64> topObject;
        std::optional<quint64> tableOffset;
        std::optional<int> offsetSize;
        std::optional<int> referenceSize;
    };
    QByteArray build(int top, const Trailer &trailer) const;
    QByteArray build(int top) const { return build(top, Trailer()); }

private:
    // Containers are kept as object numbers until build() knows the
    // reference size.
    struct Object
    {
        QByteArray encoded;
        int marker = 0;
        QList<int> references;
    };
    static QByteArray header(int type, quint64 count);
    QList<Object> m_objects;
};
