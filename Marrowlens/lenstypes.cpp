#include "lenstypes.h"

#include <QDBusMetaType>

QDBusArgument &operator<<(QDBusArgument &argument, const LensBadge &badge)
{
    argument.beginStructure();
    argument << badge.identifier << badge.label << badge.imagePath;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, LensBadge &badge)
{
    argument.beginStructure();
    argument >> badge.identifier >> badge.label >> badge.imagePath;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const LensMenuItem &item)
{
    argument.beginStructure();
    argument << item.action << item.title << item.iconPath << item.enabled;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, LensMenuItem &item)
{
    argument.beginStructure();
    argument >> item.action >> item.title >> item.iconPath >> item.enabled;
    argument.endStructure();
    return argument;
}

void registerLensTypes()
{
    qDBusRegisterMetaType<LensBadge>();
    qDBusRegisterMetaType<LensBadgeList>();
    qDBusRegisterMetaType<LensMenuItem>();
    qDBusRegisterMetaType<LensMenuItemList>();
    // QtDBus finds the types of a slot's output arguments by the names moc
    // recorded, which are these aliases.
    qRegisterMetaType<LensBadgeList>("LensBadgeList");
    qRegisterMetaType<LensMenuItemList>("LensMenuItemList");
}
