// The structured values of the host interface, as they travel on the bus:
// a badge (a(sss) in the contract) and a menu item (a(sssb)).
//
// Threads: values; any thread.
#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>

struct LensBadge
{
    QString identifier;
    QString label;
    QString imagePath; // a PNG inside the extension's bundle
    friend bool operator==(const LensBadge &, const LensBadge &) = default;
};
using LensBadgeList = QList<LensBadge>;

struct LensMenuItem
{
    QString action; // handed back with performAction; never empty
    QString title;
    QString iconPath;
    bool enabled = true;
    friend bool operator==(const LensMenuItem &, const LensMenuItem &) = default;
};
using LensMenuItemList = QList<LensMenuItem>;

QDBusArgument &operator<<(QDBusArgument &argument, const LensBadge &badge);
const QDBusArgument &operator>>(const QDBusArgument &argument, LensBadge &badge);
QDBusArgument &operator<<(QDBusArgument &argument, const LensMenuItem &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, LensMenuItem &item);

// Makes both types known to QtDBus; call once before exporting or calling.
void registerLensTypes();

Q_DECLARE_METATYPE(LensBadge)
Q_DECLARE_METATYPE(LensMenuItem)
