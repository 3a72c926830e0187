// A menu item that stands for a device or an app of the catalogue: its
// represented object, where it sits, and what it was last rendered with.
// A device item owns the submenu of its apps.
//
// Threads: main thread, like every menu item.
#pragma once

#include "menuitemaction.h"
#include "menuitemtext.h"

#include <QAction>
#include <QMenu>

#include <memory>

class CatalogueMenuAction : public QAction
{
    Q_OBJECT

public:
    CatalogueMenuAction(SimulatorDevicePtr device, QObject *parent)
        : QAction(parent), m_device(std::move(device))
    {}
    CatalogueMenuAction(SimulatorAppPtr app, AppItemPlacement placement, QObject *parent)
        : QAction(parent), m_app(std::move(app)), m_placement(placement)
    {}

    const SimulatorDevicePtr &device() const { return m_device; }
    const SimulatorAppPtr &app() const { return m_app; }
    AppItemPlacement placement() const { return m_placement; }

    void setSubmenu(std::unique_ptr<QMenu> submenu)
    {
        m_submenu = std::move(submenu);
        setMenu(m_submenu.get());
    }
    QMenu *submenu() const { return m_submenu.get(); }

    MenuItemAction renderedAction = MenuItemAction::None;
    MenuItemLevelOfDetail renderedLevel = MenuItemLevelOfDetail::Default;
    // A size request is on its way; cleared when the cached size is cleared.
    bool sizeRequested = false;

private:
    SimulatorDevicePtr m_device;
    SimulatorAppPtr m_app;
    AppItemPlacement m_placement = AppItemPlacement::DeviceSubmenu;
    std::unique_ptr<QMenu> m_submenu;
};
