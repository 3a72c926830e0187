// Shows items to the user in the file manager (the reveal actions). Behind an
// interface so the extension's actions can be checked without opening
// windows.
//
// Threads: main thread.
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QUrl>

class Revealer
{
public:
    virtual ~Revealer() = default;
    // Opens the folders holding `urls` with the items selected.
    virtual void revealItems(const QList<QUrl> &urls) = 0;
};

// org.freedesktop.FileManager1 ShowItems on the given bus, asked without
// waiting; when nobody answers there, each item's folder is opened with the
// desktop's handler for folders.
class DesktopRevealer : public Revealer
{
public:
    explicit DesktopRevealer(QDBusConnection bus) : m_bus(std::move(bus)) {}
    void revealItems(const QList<QUrl> &urls) override;

private:
    QDBusConnection m_bus;
};
